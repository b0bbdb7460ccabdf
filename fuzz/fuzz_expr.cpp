// Expression parser and typing over arbitrary text, against a fixed set of
// declarations.
#include "canalysis/declarations/cexpr.h"
#include "canalysis/ctypesizes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view kDeclarations =
    "typedef unsigned char U8; typedef struct { int x; char name[8]; } P;\n"
    "struct list { struct list *next; P item; union { int i; float f; } u; } head, *cur;\n"
    "enum e { E1, E2 = 4 } en; int (*fp)(char, ...); char *str; double d; long arr[3][4];\n"
    "int f(int, P *); const volatile U8 reg;\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace qvm::canalysis;
    if (size > 16384) {
        return 0;
    }
    C_CPP_reset_analysis();
    typeSizes().reset();
    const DiagnosticCallback silent = [](int, std::string_view, std::string_view, std::string_view, int) {};
    SymbolTable table;
    C_CPP_parse_decls(kDeclarations, table, {}, "fuzz.h", 1, silent);
    C_CPP_set_expression_table(&table, {});
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto tree = C_CPP_parse_expr(text, "fuzz.pts", 1, silent);
    if (tree) {
        const TypePtr type = C_CPP_type_expr(*tree, "fuzz.pts", 1, {}, silent, table);
        (void)C_CPP_type_image(type.get());
        (void)C_CPP_expr_image(tree->root);
    }
    (void)C_CPP_read_constant(text, "fuzz.pts", 1, silent);
    C_CPP_set_expression_table(nullptr, {});
    return 0;
}
