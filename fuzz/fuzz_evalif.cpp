// Fuzzes the #if evaluator with arbitrary texts, the sizeof list and the
// __CHAR_UNSIGNED__ answer included.
#include "base/mstrid.h"
#include "canalysis/cerror.h"
#include "canalysis/preprocessor/cevalif.h"
#include "canalysis/ctypesizes.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = [] {
        qvm::base::initIdentTable();
        qvm::canalysis::installCallback([](int, std::string_view, std::string_view, std::string_view, int) {});
        qvm::canalysis::typeSizes().registerSize("struct s", 12);
        return true;
    }();
    (void)ready;
    if (size == 0) {
        return 0;
    }
    // Multi-character constants store their texts for good: start afresh
    // now and then so that a long run stays within its memory limit.
    if (qvm::base::identCount() > 200000) {
        qvm::base::resetIdentTable();
        qvm::base::initIdentTable();
    }
    const bool charUnsigned = (data[0] & 1) != 0;
    qvm::canalysis::setMacroDefinedQuery([charUnsigned](std::string_view) { return charUnsigned; });
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);  // NUL-terminated copy
    qvm::canalysis::C_CPP_eval_if(text.c_str());
    return 0;
}
