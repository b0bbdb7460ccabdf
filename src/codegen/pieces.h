// The pieces generated text is made of: texts, single characters and
// numbers, the numbers in decimal. Writers append pieces to their buffers
// where they would otherwise join temporary strings. A piece of a kind of
// its own is a small type with an appendPiece beside it, found by
// argument-dependent lookup.
#pragma once

#include <charconv>
#include <concepts>
#include <string>
#include <string_view>

namespace qvm::codegen {

inline void appendPiece(std::string& out, std::string_view text)
{
    out += text;
}

inline void appendPiece(std::string& out, char c)
{
    out += c;
}

template <std::integral Number>
void appendPiece(std::string& out, Number value)
{
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, written.ptr);
}

template <typename... Pieces>
void appendPieces(std::string& out, const Pieces&... pieces)
{
    (appendPiece(out, pieces), ...);
}

// The pieces joined into one text.
template <typename... Pieces>
std::string joinedPieces(const Pieces&... pieces)
{
    std::string text;
    appendPieces(text, pieces...);
    return text;
}

}  // namespace qvm::codegen
