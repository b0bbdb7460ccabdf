// The character rules of C source text in one place: character classes and a
// cursor that steps over continuations, quoted literals, comments, numbers,
// identifiers and directive names. The scanner, the directives, the
// definition parser and the token rules of pastes all read through it.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace qvm::canalysis::cpp {

enum CharClassBit : unsigned char {
    kIdChar = 1,
    kIdStart = 2,
    kHSpace = 4,
    kAnySpace = 8,
    kDigit = 16,
    kScanStop = 32,  // the main loop must look at this character
    kReplacementStart = 64,  // may begin a trigraph or a digraph
    kPasteOperator = 128,  // two of them in a row may form one operator
};

// Put before an identifier that must not be expanded when the text is
// scanned again (a name met while its own expansion was in progress).
constexpr char kNoExpandMark = '\x01';

// Stands between two expansion results that would otherwise join into one
// token. It prints as a blank, while `#` and `##` see no blank there. Only
// the texts of expansions and argument buffers carry it: in a file it is an
// ordinary byte.
constexpr char kPadMark = '\x1f';

// The class bits of every byte, computed when compiling: the scanner asks
// for them on every character.
constexpr std::array<unsigned char, 256> makeCharClasses()
{
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        unsigned char bits = 0;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
        const bool digit = c >= '0' && c <= '9';
        if (letter) {
            bits |= kIdStart | kIdChar | kScanStop;
        }
        if (digit) {
            bits |= kIdChar | kDigit | kScanStop;
        }
        if (c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r') {
            bits |= kHSpace | kAnySpace;
        }
        if (c == '\n') {
            bits |= kAnySpace | kScanStop;
        }
        if (c == '/' || c == '"' || c == '\'' || c == '\\' || c == '#' || c == '.' ||
            c == static_cast<unsigned char>(kNoExpandMark) || c == static_cast<unsigned char>(kPadMark)) {
            bits |= kScanStop;
        }
        if (c == '?' || c == '<' || c == ':' || c == '%') {
            bits |= kReplacementStart;
        }
        if (std::string_view("+-*/%<>=!&|^.#:").find(static_cast<char>(c)) != std::string_view::npos) {
            bits |= kPasteOperator;
        }
        table[static_cast<std::size_t>(c)] = bits;
    }
    return table;
}

inline constexpr std::array<unsigned char, 256> kCharClasses = makeCharClasses();

constexpr const std::array<unsigned char, 256>& charClasses()
{
    return kCharClasses;
}

// A line number that stops at the largest int instead of overflowing: a
// #line directive may set it anywhere up to there.
class LineCounter {
public:
    LineCounter(int value = 0) : value_(value) {}
    operator int() const { return value_; }
    LineCounter& operator++() { return *this += 1; }
    LineCounter& operator+=(int lines)
    {
        const long long sum = static_cast<long long>(value_) + lines;
        value_ = sum > kLargest ? kLargest : static_cast<int>(sum);
        return *this;
    }

private:
    static constexpr int kLargest = std::numeric_limits<int>::max();
    int value_;
};

inline bool hasClass(char c, unsigned char bits)
{
    return (charClasses()[static_cast<unsigned char>(c)] & bits) != 0;
}
inline bool isIdChar(char c) { return hasClass(c, kIdChar); }
inline bool isIdStart(char c) { return hasClass(c, kIdStart); }
inline bool isHSpace(char c) { return hasClass(c, kHSpace); }
inline bool isAnySpace(char c) { return hasClass(c, kAnySpace); }
inline bool isDigit(char c) { return hasClass(c, kDigit); }

// The prefixes of wide and Unicode character constants and strings.
inline bool isLiteralPrefix(std::string_view word)
{
    return word == "L" || word == "u" || word == "U" || word == "u8";
}

// Length of a backslash-newline (or backslash, CR, newline) at p, 0 if none.
inline std::size_t spliceLength(std::string_view t, std::size_t p)
{
    if (p < t.size() && t[p] == '\\') {
        if (p + 1 < t.size() && t[p + 1] == '\n') {
            return 2;
        }
        if (p + 2 < t.size() && t[p + 1] == '\r' && t[p + 2] == '\n') {
            return 3;
        }
    }
    return 0;
}

// How far a preprocessing number reaches.
enum class NumberRule {
    Source,       // letters, digits, `_`, `.` (two dots end it), a sign after `e` or `E`
    Traditional,  // the same without signs
    Pasted,       // the token a paste must form: also signs after `p` or `P`, any dots
};

// Where stepping through a quoted literal stopped.
enum class QuoteStop {
    Closed,   // after the closing quote
    Newline,  // at a newline inside the literal (not consumed)
    Pad,      // at a padding mark (only when asked to stop there)
    End,      // at the end of the text
};

// A reading position in a text: the caller's index of the next character
// and line number, both advanced as the cursor reads. Continuations are
// skipped wherever a rule allows them and count a line each.
class Cursor {
public:
    Cursor(std::string_view text, std::size_t& pos, LineCounter& line) : text_(text), pos_(pos), line_(line) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek(std::size_t ahead = 0) const
    {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    std::size_t spliceHere() const { return spliceLength(text_, pos_); }

    // One character on; a newline counts a line.
    void advance()
    {
        line_ += peek() == '\n' ? 1 : 0;
        ++pos_;
    }

    // Skips any continuations at the position.
    void skipSplices()
    {
        while (const std::size_t length = spliceHere()) {
            pos_ += length;
            ++line_;
        }
    }

    // The opening of a comment at the position ("/*" or "//", continuations
    // between the two characters allowed): the second character, or 0.
    char commentOpener() const;

    // From just after an opening quote (or from inside the literal after an
    // earlier stop) to just after the closing quote. Escape pairs are kept
    // whole; continuations are skipped and left out of copy, which (when
    // given) receives the characters read.
    QuoteStop stepQuoted(char quote, std::string* copy, bool stopAtPad = false);

    // From a comment opener (see commentOpener) to just after "*/" or to the
    // newline that ends a line comment. An unterminated block comment moves
    // to the end of the text and is remembered in unclosedComment. Returns
    // the lines it spans after its opener.
    int skipComment();

    // From the first character of a number over the rest of it; copy (when
    // given) receives it without continuations.
    void stepNumber(std::string* copy, NumberRule rule);

    // An identifier from the position; a continuation inside it is skipped.
    std::string readIdentifier();
    // The same without a copy: a view of the text, or of spliced when
    // continuations split the name.
    std::string_view readIdentifier(std::string& spliced);

    // Blanks, continuations and block comments.
    void skipBlanksAndComments();

    // From a `#`: the directive name after it (empty when no identifier
    // follows), the position just after the name.
    std::string readDirectiveName();

    // To the newline that ends the line (not consumed), over literals and
    // comments, which may not end it.
    void skipToLineEnd();

    // The line where a block comment that the text ends inside began.
    std::optional<int> unclosedComment;

private:
    std::string_view text_;
    std::size_t& pos_;
    LineCounter& line_;
};

// The two readers met most often are kept where the scanner can inline them.

inline void Cursor::stepNumber(std::string* copy, NumberRule rule)
{
    const std::string_view t = text_;
    // The characters between continuations are copied a run at a time.
    auto copyRun = [&](std::size_t from) {
        if (copy != nullptr) {
            copy->append(t.substr(from, pos_ - from));
        }
    };
    std::size_t runStart = pos_;
    char previous = t[pos_];
    ++pos_;
    while (pos_ < t.size()) {
        if (spliceHere() != 0) {
            copyRun(runStart);
            skipSplices();
            runStart = pos_;
            continue;
        }
        const char c = t[pos_];
        bool part = isIdChar(c);
        if (c == '.') {
            part = rule == NumberRule::Pasted || peek(1) != '.';
        } else if (c == '+' || c == '-') {
            const bool decimalExponent = previous == 'e' || previous == 'E';
            const bool binaryExponent = previous == 'p' || previous == 'P';
            part = (rule == NumberRule::Source && decimalExponent) ||
                   (rule == NumberRule::Pasted && (decimalExponent || binaryExponent));
        }
        if (!part) {
            break;
        }
        previous = c;
        ++pos_;
    }
    copyRun(runStart);
}

inline std::string_view Cursor::readIdentifier(std::string& spliced)
{
    const std::string_view t = text_;
    std::size_t p = pos_;
    while (p < t.size() && isIdChar(t[p])) {
        ++p;
    }
    const std::string_view name = t.substr(pos_, p - pos_);
    pos_ = p;
    if (spliceHere() == 0) {
        return name;
    }
    // A continuation inside the name moves after it.
    spliced = name;
    while (const std::size_t length = spliceHere()) {
        const std::size_t q = pos_ + length;
        if (q >= t.size() || !isIdChar(t[q])) {
            break;
        }
        ++line_;
        pos_ = q;
        while (pos_ < t.size() && isIdChar(t[pos_])) {
            spliced += t[pos_++];
        }
    }
    return spliced;
}

inline std::string Cursor::readIdentifier()
{
    std::string spliced;
    return std::string(readIdentifier(spliced));
}

// The length of a quoted literal from its opening quote (the whole rest of
// the text when it is not closed).
std::size_t quotedLength(std::string_view text, std::size_t open);

// The length of a number from its first character.
std::size_t numberLength(std::string_view text, std::size_t from, NumberRule rule);

}  // namespace qvm::canalysis::cpp
