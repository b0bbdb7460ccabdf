// libFuzzer target: any text through the C preprocessor must end without a
// crash, a hang or unbounded memory. Reports are swallowed (a fatal report
// returns, so the engine must go on safely after it).
#include "canalysis/cerror.h"
#include "canalysis/preprocessor/cprepr.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace qvm::canalysis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static MacroTable table;
    const DiagnosticCallback ignore = [](int, std::string_view, std::string_view, std::string_view, int) {};
    installCallback(ignore);
    // Exponential macros are stopped by the budget; files are never opened.
    C_CPP_set_resource_limits(std::size_t{4} << 20, 20000, false);
    C_CPP_init_prepro(size > 0 && (data[0] & 1) != 0, size > 0 && (data[0] & 2) != 0, {"FUZZ=1"}, {}, {}, table,
                      true);
    std::string result;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    C_CPP_prepro_buffer(text, size > 1 ? (data[1] & 1) : 1, "fuzz.c", 1, result, table, ignore);
    C_CPP_prepro_buffer("#if defined(FUZZ) && FUZZ\nx\n#endif\n", 1, "again.c", 1, result, table, ignore);
    C_CPP_end_prepro(table, true);
    table.clear();
    return 0;
}
