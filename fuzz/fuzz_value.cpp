// The value analysis of INIT= and EV= texts on arbitrary text, against a
// fixed set of C types: the first byte picks the variable and the keyword,
// the rest is the value text.
#include "base/mstrid.h"
#include "canalysis/ctypesizes.h"
#include "canalysis/preprocessor/cprepr.h"
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "script/ancgest.h"
#include "script/valuetree.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Every kind of type a value meets: typedef chains, enumerations, nested
// structures, unions and arrays, unnamed members, bit-fields, pointers.
constexpr const char* kDeclarations =
    "typedef unsigned char U8; typedef U8 Byte; typedef enum { RED, GREEN = 4, BLUE } Colour;\n"
    "typedef struct Point { int x, y; } Point; union Data { int i; float f; char c; };\n"
    "struct Flags { unsigned ready : 1, mode : 3; int level; };\n"
    "struct Msg { int id; Colour colour; char name[8]; Point pos; int tab[4], grid[2][3]; union Data data;\n"
    "  char *text; void *ptr; struct Flags flags; Byte code; double ratio; union { long l; struct { int a, b; }; }; };\n"
    "#define SIZE 4\n#define PAIR {1, 2}\n#define NIL 0\n"
    "struct Msg msg, other; Point pt, *pp; union Data data; int tab[SIZE], grid[2][3], open[], zero;\n"
    "char name[8], *text; void *ptr, *NONIL; Colour colour; struct Flags flags; long count; double ratio;\n"
    "int trv_msgrcv;\n";

constexpr std::array kVariables{"msg", "pt", "pp", "data", "tab", "grid", "open", "name", "text",
                                "ptr", "colour", "flags", "count", "ratio", "msg.pos", "msg.grid[1]"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace qvm;
    if (size < 1 || size > 16384) {
        return 0;
    }
    static const bool catalogsReady = (diag::registerBuiltinCatalogs(), base::initIdentTable(), true);
    (void)catalogsReady;
    diag::setConsoleSink([](std::string_view) {});
    script::resetCAnalysis();
    canalysis::typeSizes().reset();
    canalysis::C_CPP_set_resource_limits(1 << 20, 10000, false);
    const char* variable = kVariables[data[0] % kVariables.size()];
    const std::string value = std::string(data[0] & 0x80 ? "INIT=" : "EV=") +
                              std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        script::startCAnalysis(script::CModePedantic, {}, {}, {});
        script::declareCText(kDeclarations, {}, "fuzz.h", 1);
        if (const auto tree = script::analyseValue(variable, value, {}, "fuzz.pts", 1)) {
            (void)script::dumpValueTree(*tree);
        }
        script::endCAnalysis();
    } catch (const RunAbort&) {
        // A fatal or internal report ends a run; here it ends one input.
    }
    diag::resetRun();
    return 0;
}
