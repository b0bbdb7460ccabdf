// The pieces generated text is made of: texts, single characters and
// numbers, the numbers in decimal. Writers append pieces to their buffers
// where they would otherwise join temporary strings. A piece of a kind of
// its own is a small type with, beside it (found by argument-dependent
// lookup), either a pieceParts giving the tuple of the common pieces it is
// made of, or an appendPiece for a text that needs more work.
#pragma once

#include <array>
#include <bit>
#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

namespace qvm::codegen {

inline void appendPiece(std::string& out, std::string_view text)
{
    out += text;
}

// A character array piece is a string literal: its text is all but the
// final NUL, known without scanning for it.
template <std::size_t Size>
void appendPiece(std::string& out, const char (&literal)[Size])
{
    static_assert(Size >= 1);
    out.append(literal, Size - 1);
}

inline void appendPiece(std::string& out, char c)
{
    out += c;
}

namespace detail {

inline constexpr auto kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

inline constexpr auto kPowersOfTen = [] {
    std::array<unsigned long long, 20> powers{};
    unsigned long long power = 1;
    for (unsigned long long& each : powers) {
        each = power;
        power *= 10;
    }
    return powers;
}();

// Writes the number in decimal at at, '-' first when it is negative; gives
// the end. At most 21 characters: the digits and sign of any 64-bit number.
// Generated texts hold many numbers, most of them short; this is what
// std::to_chars does, without its checks and calls.
template <std::integral Number>
char* placeDecimal(char* at, Number value)
{
    using Magnitude = std::conditional_t<(sizeof(Number) > sizeof(unsigned)), unsigned long long, unsigned>;
    auto magnitude = static_cast<Magnitude>(value);
    if constexpr (std::is_signed_v<Number>) {
        if (value < 0) {
            *at++ = '-';
            magnitude = Magnitude{0} - magnitude;
        }
    }
    // Most numbers of the generated texts (depths, indices, file ids,
    // flags) have one digit.
    if (magnitude < 10) {
        *at = static_cast<char>('0' + magnitude);
        return at + 1;
    }
    // The digits less one from log2 (1233 / 4096 is just above log10(2)),
    // one too many below the next power of ten. Zero has one digit, as one.
    const Magnitude odd = magnitude | 1U;
    const auto estimate = static_cast<std::size_t>(std::bit_width(odd)) * 1233 >> 12;
    const std::size_t length = estimate + (odd >= kPowersOfTen[estimate] ? 1 : 0);
    char* const end = at + length;
    char* digits = end;
    while (magnitude >= 100) {
        const std::size_t pair = static_cast<std::size_t>(magnitude % 100) * 2;
        magnitude /= 100;
        digits -= 2;
        digits[0] = kDigitPairs[pair];
        digits[1] = kDigitPairs[pair + 1];
    }
    if (magnitude >= 10) {
        const std::size_t pair = static_cast<std::size_t>(magnitude) * 2;
        digits[-2] = kDigitPairs[pair];
        digits[-1] = kDigitPairs[pair + 1];
    } else {
        digits[-1] = static_cast<char>('0' + magnitude);
    }
    return end;
}

}  // namespace detail

// A run of blanks: the indentation of a line.
struct Blanks {
    std::size_t count = 0;
};

inline void appendPiece(std::string& out, Blanks blanks)
{
    out.append(blanks.count, ' ');
}

template <std::integral Number>
void appendPiece(std::string& out, Number value)
{
    char digits[24];
    const char* end = detail::placeDecimal(digits, value);
    // By length: the iterator-pair append goes through the general replace.
    out.append(digits, static_cast<std::size_t>(end - digits));
}

template <typename Piece>
concept MadeOfParts = requires(const Piece& piece) { pieceParts(piece); };

template <typename... Pieces>
void appendPieces(std::string& out, const Pieces&... pieces);

template <MadeOfParts Piece>
void appendPiece(std::string& out, const Piece& piece)
{
    std::apply([&](const auto&... parts) { appendPieces(out, parts...); }, pieceParts(piece));
}

namespace detail {

// A piece as a tuple of the pieces it stands for: its parts, or itself.
template <typename Piece>
auto partsOf(const Piece& piece)
{
    if constexpr (MadeOfParts<Piece>) {
        return pieceParts(piece);
    } else {
        return std::tuple<const Piece&>(piece);
    }
}

// The pieces of the kinds above, which are written in place (below); the
// others go through their appendPiece.
template <typename Piece>
concept PlacedPiece = std::same_as<Piece, char> || (std::integral<Piece> && !std::same_as<Piece, bool>) ||
                      std::same_as<Piece, Blanks> || std::is_convertible_v<const Piece&, std::string_view>;

// Blanks up to this many are written as one block of this size, which the
// next pieces then write over: the room made for them is never less.
inline constexpr std::size_t kBlankBlock = 32;
inline constexpr char kBlankBlockText[kBlankBlock + 1] = "                                ";

// Copies the text to at; gives the end of the copy. Most pieces are short:
// those of up to 32 characters are copied as two overlapping blocks of a
// fixed size each, which needs no call. The text may not overlap the room.
inline char* copyText(char* at, std::string_view text)
{
    const char* from = text.data();
    const std::size_t size = text.size();
    if (size > 32) {
        std::memcpy(at, from, size);
    } else if (size >= 16) {
        std::memcpy(at, from, 16);
        std::memcpy(at + size - 16, from + size - 16, 16);
    } else if (size >= 8) {
        std::memcpy(at, from, 8);
        std::memcpy(at + size - 8, from + size - 8, 8);
    } else if (size >= 4) {
        std::memcpy(at, from, 4);
        std::memcpy(at + size - 4, from + size - 4, 4);
    } else if (size > 0) {
        at[0] = from[0];
        at[size / 2] = from[size / 2];
        at[size - 1] = from[size - 1];
    }
    return at + size;
}

// The most characters a piece writes.
template <PlacedPiece Piece>
std::size_t pieceRoom(const Piece& piece)
{
    if constexpr (std::is_array_v<Piece>) {
        return std::extent_v<Piece> - 1;
    } else if constexpr (std::same_as<Piece, char>) {
        return 1;
    } else if constexpr (std::same_as<Piece, Blanks>) {
        return piece.count > kBlankBlock ? piece.count : kBlankBlock;
    } else if constexpr (std::integral<Piece>) {
        return 24;  // the digits and sign of any 64-bit number
    } else {
        return std::string_view(piece).size();
    }
}

// Writes the piece at at; gives the end of what it wrote.
template <PlacedPiece Piece>
char* placePiece(char* at, const Piece& piece)
{
    if constexpr (std::is_array_v<Piece>) {
        std::memcpy(at, piece, std::extent_v<Piece> - 1);
        return at + std::extent_v<Piece> - 1;
    } else if constexpr (std::same_as<Piece, char>) {
        *at = piece;
        return at + 1;
    } else if constexpr (std::same_as<Piece, Blanks>) {
        if (piece.count <= kBlankBlock) {
            std::memcpy(at, kBlankBlockText, kBlankBlock);
        } else {
            std::memset(at, ' ', piece.count);
        }
        return at + piece.count;
    } else if constexpr (std::integral<Piece>) {
        return placeDecimal(at, piece);
    } else {
        return copyText(at, std::string_view(piece));
    }
}

}  // namespace detail

// Several pieces of the common kinds are written in place, in room made
// once for all of them, rather than appended one by one: each append checks
// and grows the text on its own, and the lines of the writers are many.
// No piece may view out itself, which making room may move.
template <typename... Pieces>
void appendPieces(std::string& out, const Pieces&... pieces)
{
    if constexpr ((MadeOfParts<Pieces> || ...)) {
        // The parts take the place of their pieces.
        std::apply([&](const auto&... flat) { appendPieces(out, flat...); }, std::tuple_cat(detail::partsOf(pieces)...));
    } else if constexpr (sizeof...(Pieces) >= 3 && (detail::PlacedPiece<Pieces> && ...)) {
        const std::size_t start = out.size();
        out.resize(start + (detail::pieceRoom(pieces) + ...));
        char* end = out.data() + start;
        ((end = detail::placePiece(end, pieces)), ...);
        out.resize(static_cast<std::size_t>(end - out.data()));
    } else {
        (appendPiece(out, pieces), ...);
    }
}

// The pieces joined into one text.
template <typename... Pieces>
std::string joinedPieces(const Pieces&... pieces)
{
    std::string text;
    appendPieces(text, pieces...);
    return text;
}

// Appends a step to a path for as long as it lives, then cuts the path back.
class PathStep {
public:
    explicit PathStep(std::string& path) : path_(path), size_(path.size()) {}
    PathStep(const PathStep&) = delete;
    PathStep& operator=(const PathStep&) = delete;
    ~PathStep() { path_.resize(size_); }

    // "path.field", or the field alone at the top; nothing for no field.
    void field(std::string_view name)
    {
        if (name.empty()) {
            return;
        }
        if (!path_.empty()) {
            path_ += '.';
        }
        path_ += name;
    }
    template <typename... Pieces>
    void pieces(const Pieces&... pieces)
    {
        appendPieces(path_, pieces...);
    }

private:
    std::string& path_;
    std::size_t size_;
};

}  // namespace qvm::codegen
