// Helpers of the constant tests: building big integers from text and
// capturing what the diagnostics service writes.
#pragma once

#include "canalysis/constants/mfmath.h"
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "support/console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvm::testing {

// A big integer from a decimal text with an optional leading '-'.
inline canalysis::PInt pintFromDecimal(const std::string& text)
{
    canalysis::PInt value;
    const bool negative = !text.empty() && text[0] == '-';
    for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
        canalysis::pint_mul_int(value, value, 10);
        canalysis::pint_add_int(value, value, negative ? '0' - text[i] : text[i] - '0');
    }
    return value;
}

inline canalysis::PInt pintOf(int value)
{
    canalysis::PInt result;
    canalysis::pint_from_int(result, value);
    return result;
}

inline std::string decimalOf(const canalysis::PInt& value)
{
    std::string text;
    canalysis::pint_image(value, 1, 0, text);
    return text;
}

// The largest value: byte 0 = 127, every other byte 255.
inline canalysis::PInt pintMax()
{
    canalysis::PInt value;
    value.bytes.fill(0xff);
    value.bytes[0] = 0x7f;
    return value;
}

inline canalysis::PInt pintMin()
{
    canalysis::PInt value;
    value.bytes[0] = 0x80;
    return value;
}

// Captures the message lines of the diagnostics service for one test.
class DiagnosticsCapture : public qvm::testing::ConsoleTest {
protected:
    // The codes of the lines written so far, in order; clears the capture.
    std::vector<std::string> takeCodes()
    {
        std::vector<std::string> codes;
        std::size_t at = 0;
        while ((at = console.find("Fenwir-", at)) != std::string::npos) {
            const std::size_t start = at + 9;
            const std::size_t end = console.find(',', start);
            codes.push_back(console.substr(start, end - start));
            at = end;
        }
        console.clear();
        return codes;
    }
};

}  // namespace qvm::testing
