// Declaration parser over arbitrary preprocessed text.
#include "canalysis/declarations/ctabsy.h"
#include "canalysis/ctypesizes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

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
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    C_CPP_parse_decls(text, table, {}, "fuzz.h", 1, silent);
    C_CPP_parse_decls(text, table, "SCN", "fuzz.h", 1, silent);
    for (const Symbol* symbol : table.symbolsOf(nullptr)) {
        (void)C_CPP_decl_image(*symbol, true);
        (void)C_CPP_scalar_count(symbol->type.get());
        (void)C_CPP_is_const(symbol->type.get());
    }
    for (const Tag* tag : table.tagsOf(nullptr)) {
        CType type;
        type.kind = tag->kind;
        type.name = tag->name;
        type.aggregate = tag->aggregate.get();
        type.enumeration = tag->enumeration.get();
        (void)C_CPP_type_image(&type, {}, true);
    }
    (void)C_CPP_type_of_type_name(text.substr(0, 200), table, {}, "fuzz.h", 1);
    return 0;
}
