// Character classes and the cursor over C source text.
#include "canalysis/preprocessor/cprepr_cursor.h"

namespace qvm::canalysis::cpp {

namespace {

// The first position from `from` whose character meets stop, npos when none.
// (find_first_of looks every character up in its set through a call: this
// loop is several times cheaper on long comments and lines.)
template <typename Stop>
std::size_t firstWhere(std::string_view text, std::size_t from, Stop stop)
{
    while (from < text.size() && !stop(text[from])) {
        ++from;
    }
    return from < text.size() ? from : std::string_view::npos;
}

}  // namespace

char Cursor::commentOpener() const
{
    if (peek() != '/') {
        return 0;
    }
    std::size_t p = pos_ + 1;
    while (const std::size_t length = spliceLength(text_, p)) {
        p += length;
    }
    const char second = p < text_.size() ? text_[p] : '\0';
    return second == '*' || second == '/' ? second : 0;
}

QuoteStop Cursor::stepQuoted(char quote, std::string* copy, bool stopAtPad)
{
    const std::string_view t = text_;
    while (true) {
        std::size_t p = pos_;
        while (p < t.size()) {
            const char c = t[p];
            if (c == quote || c == '\\' || c == '\n' || (c == kPadMark && stopAtPad)) {
                break;
            }
            ++p;
        }
        if (copy != nullptr) {
            copy->append(t.substr(pos_, p - pos_));
        }
        pos_ = p;
        if (p >= t.size()) {
            return QuoteStop::End;
        }
        const char c = t[p];
        if (c == quote) {
            if (copy != nullptr) {
                *copy += c;
            }
            ++pos_;
            return QuoteStop::Closed;
        }
        if (c == '\n') {
            return QuoteStop::Newline;
        }
        if (c == kPadMark) {
            return QuoteStop::Pad;
        }
        if (spliceHere() != 0) {
            skipSplices();
            continue;
        }
        // An escape: the backslash and the character it escapes.
        ++pos_;
        if (copy != nullptr) {
            *copy += '\\';
        }
        if (pos_ < t.size() && t[pos_] != '\n') {
            if (copy != nullptr) {
                *copy += t[pos_];
            }
            ++pos_;
        }
    }
}

int Cursor::skipComment()
{
    ++pos_;
    skipSplices();
    const bool block = peek() == '*';
    ++pos_;
    const int bodyLine = line_;
    const std::string_view t = text_;
    if (!block) {
        while (pos_ < t.size() && t[pos_] != '\n') {
            if (spliceHere() != 0) {
                skipSplices();
            } else {
                ++pos_;
            }
        }
        return line_ - bodyLine;
    }
    while (true) {
        const std::size_t q = firstWhere(t, pos_, [](char c) { return c == '*' || c == '\n'; });
        if (q == std::string_view::npos) {
            pos_ = t.size();
            unclosedComment = bodyLine;
            return line_ - bodyLine;
        }
        pos_ = q + 1;
        if (t[q] == '\n') {
            ++line_;
            continue;
        }
        skipSplices();
        if (peek() == '/') {
            ++pos_;
            return line_ - bodyLine;
        }
    }
}

void Cursor::skipBlanksAndComments()
{
    while (!atEnd()) {
        if (isHSpace(peek())) {
            ++pos_;
        } else if (spliceHere() != 0) {
            skipSplices();
        } else if (commentOpener() == '*') {
            skipComment();
        } else {
            return;
        }
    }
}

std::string Cursor::readDirectiveName()
{
    ++pos_;
    skipBlanksAndComments();
    return isIdStart(peek()) ? readIdentifier() : std::string();
}

void Cursor::skipToLineEnd()
{
    const std::string_view t = text_;
    while (pos_ < t.size()) {
        const std::size_t p =
            firstWhere(t, pos_, [](char c) { return c == '\n' || c == '/' || c == '"' || c == '\'' || c == '\\'; });
        if (p == std::string_view::npos) {
            pos_ = t.size();
            return;
        }
        pos_ = p;
        const char c = t[p];
        if (c == '\n') {
            return;
        }
        if (c == '\\') {
            if (spliceHere() != 0) {
                skipSplices();
            } else {
                pos_ = std::min(p + 2, t.size());
            }
        } else if (c == '/') {
            if (commentOpener() != 0) {
                skipComment();
            } else {
                ++pos_;
            }
        } else {
            ++pos_;
            stepQuoted(c, nullptr);
        }
    }
}

std::size_t quotedLength(std::string_view text, std::size_t open)
{
    std::size_t pos = open + 1;
    LineCounter line = 0;
    Cursor cursor(text, pos, line);
    while (true) {
        const QuoteStop stop = cursor.stepQuoted(text[open], nullptr);
        if (stop == QuoteStop::Closed || stop == QuoteStop::End) {
            return pos - open;
        }
        ++pos;  // a newline inside the literal
    }
}

std::size_t numberLength(std::string_view text, std::size_t from, NumberRule rule)
{
    std::size_t pos = from;
    LineCounter line = 0;
    Cursor(text, pos, line).stepNumber(nullptr, rule);
    return pos - from;
}

}  // namespace qvm::canalysis::cpp
