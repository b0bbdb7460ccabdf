// The script lexer and parser on arbitrary bytes: the input is the script;
// INCLUDE finds one small in-memory file, every other name is missing.
// Run with the keyword dictionary: -dict=fuzz/fuzz_script.dict
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "script/stxpti.h"
#include "script_input.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool catalogsReady = (qvm::diag::registerBuiltinCatalogs(), true);
    (void)catalogsReady;
    qvm::diag::setConsoleSink([](std::string_view) {});

    const std::string script(reinterpret_cast<const char*>(data), size);
    qvm::script::ParseOptions options;
    options.reader = qvm::fuzz::inMemoryScript(script, "#define INCLUDED 1\nSCENARIO inner\n  EXIT\nEND SCENARIO\n");
    options.comments = size % 2 == 0;
    try {
        const qvm::script::ParsedScript parsed = qvm::script::parseScript("fuzz.pts", options);
        (void)qvm::script::dumpTree(parsed.root);
    } catch (const qvm::RunAbort&) {
        // A fatal or internal report ends a run; here it ends one input.
    }
    try {
        qvm::script::scanTokens("fuzz.pts", options, [](const qvm::script::TokenRecord&) {});
    } catch (const qvm::RunAbort&) {
    }
    qvm::diag::resetRun();
    return 0;
}
