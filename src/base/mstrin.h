// Bounded strings and the display format suffix of value texts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace qvm::base {

constexpr std::size_t kMaxConcat = 24576;

// A decimal digit '0'..'9'; any other character or an end-of-input code is not.
constexpr bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

// A letter of the basic character set, whatever the locale: identifiers of
// C and of scripts are made of these.
constexpr bool isAsciiLetter(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A word whose eight bytes are all c: scanners that test eight characters
// at a time compare against it.
constexpr std::uint64_t repeatedBytes(unsigned char c)
{
    return 0x0101010101010101ULL * c;
}

// Value of a hexadecimal digit of either case, -1 for any other character.
constexpr int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The text without the characters of `blanks` at both ends.
constexpr std::string_view trimmed(std::string_view text, std::string_view blanks = " \t")
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Blanks of a C text: spaces, tabs and line ends.
constexpr bool isTextBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text with every blank taken out.
std::string withoutBlanks(std::string_view text);

// Appends each text to destination, stopping at kMaxConcat characters.
void boundedAppend(std::string& destination, std::initializer_list<std::string_view> texts);

// A new text of at most kMaxConcat characters.
std::string boundedConcat(std::initializer_list<std::string_view> texts);

// How a value is displayed; the generated program reads the numbers.
enum DisplayKind : int {
    DisplayHex = 0,
    DisplayDecimal = 1,
    DisplayBinary = 2,
    DisplayUnsigned = 3,
    DisplayFixed = 4,     // F
    DisplayExponent = 5,  // E
    DisplayDefault = 6,
};

struct DisplayFormat {
    DisplayKind kind = DisplayDefault;
    int size = 0;  // bits; negative means signed
};

// Parses the "#" suffix of a value text. No '#' gives the default format.
// Refused (nullopt) for a '#' with nothing after it, and after reporting
// "BASEINCON", "TAILLEERR" or "TAILLEDIV" at the current position.
std::optional<DisplayFormat> displayFormat(std::string_view valueText);

}  // namespace qvm::base
