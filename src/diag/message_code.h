// Message codes checked when the program is compiled: a report names its code
// as a string literal, and a literal that is in no catalog does not compile.
#pragma once

#include "message_codes.h"  // generated from the catalogs at build time

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace qvm::diag {

// Codes reported on purpose although no catalog gives them a text: their
// message line is the prefix alone.
inline constexpr std::string_view kCodesWithoutText[] = {
    "COPYRIGHT",  // second line of the start banner
    "WARNERR",    // #error and #warning directives of the C preprocessor
    // syntax errors of the test script met on ..., CATCH, LOOP, TIMEOUT and
    // a scoped identifier: paired with their tokens, reported as "UNEXPTOKN"
    "UNEXPALLC", "UNEXPCATC", "UNEXPLOOP", "UNEXPTOUT", "UNEXPIDWH",
    "NOTSTATIC",  // a SHARE of a variable that is not static
};

static_assert(std::ranges::is_sorted(generated::kCatalogCodes), "the generated code list must be sorted");

constexpr bool isCatalogCode(std::string_view code)
{
    return std::ranges::binary_search(generated::kCatalogCodes, code);
}

constexpr bool isKnownCode(std::string_view code)
{
    return isCatalogCode(code) || std::ranges::find(kCodesWithoutText, code) != std::end(kCodesWithoutText);
}

namespace detail {
// Never defined and not constexpr: a constant evaluation that reaches it
// fails, which is how a misspelt code stops the compilation.
void message_code_is_in_no_catalog();
}  // namespace detail

// The code of a report. Built from a string literal, it is checked against
// the catalogs by the compiler; a code known only at run time goes through
// fromText.
class MessageCode {
public:
    // No code: only a placeholder in tables of codes.
    constexpr MessageCode() = default;

    template <std::size_t N>
    consteval MessageCode(const char (&code)[N]) : text_(code, N - 1)
    {
        if (!isKnownCode(text_)) {
            detail::message_code_is_in_no_catalog();
        }
    }

    // A code that reaches the diagnostics as text (the reports of the C
    // analysis callback). The text must outlive the code. An unknown code
    // is still reported: its line is the prefix alone.
    static constexpr MessageCode fromText(std::string_view code) { return MessageCode(code, 0); }

    constexpr std::string_view text() const { return text_; }
    constexpr bool empty() const { return text_.empty(); }
    // Whether a catalog gives the code a text, or it is one reported without.
    constexpr bool known() const { return isKnownCode(text_); }

    friend constexpr bool operator==(MessageCode, MessageCode) = default;

private:
    constexpr MessageCode(std::string_view code, int) : text_(code) {}

    std::string_view text_;
};

}  // namespace qvm::diag
