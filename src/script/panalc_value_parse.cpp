// Reading of value texts: a small tokenizer that knows strings, character
// constants and bracket nesting, and a recursive descent over its tokens
// that cuts the text into lists, elements, designators and C pieces.
#include "canalysis/declarations/cexpr.h"
#include "diag/i18nerrgest.h"
#include "script/panalc_value_detail.h"

#include <algorithm>
#include <array>

namespace qvm::script::value {

namespace {

struct Token {
    enum Kind { Word, Number, Literal, Open, Close, Arrow, DotDot, Comma, Other };
    Kind kind = Other;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t match = 0;  // Open and Close: index of the other bracket
};

// Character classes of the value texts, as the "C" locale the run keeps has
// them: letters, digits and '_' make words; blanks separate tokens.
enum CharClass : unsigned char { kWordChar = 1, kDigitChar = 2, kBlankChar = 4 };

constexpr auto kCharClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        classes[c] = static_cast<unsigned char>((letter || digit || c == '_' ? kWordChar : 0) |
                                                (digit ? kDigitChar : 0));
    }
    for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        classes[static_cast<unsigned char>(c)] |= kBlankChar;
    }
    return classes;
}();

bool hasClass(char c, CharClass cls)
{
    return (kCharClasses[static_cast<unsigned char>(c)] & cls) != 0;
}

bool isWordChar(char c)
{
    return hasClass(c, kWordChar);
}

bool isDigitChar(char c)
{
    return hasClass(c, kDigitChar);
}

std::size_t literalEnd(std::string_view text, std::size_t pos)
{
    const char quote = text[pos];
    for (++pos; pos < text.size(); ++pos) {
        if (text[pos] == '\\') {
            ++pos;
        } else if (text[pos] == quote) {
            return pos + 1;
        }
    }
    return text.size();
}

// A number stops before "..", so that 1..3 reads as a range.
std::size_t numberEnd(std::string_view text, std::size_t pos)
{
    const std::size_t start = pos;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '.' && pos + 1 < text.size() && text[pos + 1] == '.') {
            break;
        }
        const bool exponentSign = (c == '+' || c == '-') && pos > start &&
                                  std::string_view("eEpP").find(text[pos - 1]) != std::string_view::npos;
        if (!isWordChar(c) && c != '.' && !exponentSign) {
            break;
        }
        ++pos;
    }
    return pos;
}

Token readToken(std::string_view text, std::size_t pos)
{
    const char c = text[pos];
    const auto next = [&](std::size_t offset) { return pos + offset < text.size() ? text[pos + offset] : '\0'; };
    if (c == '"' || c == '\'') {
        return {Token::Literal, pos, literalEnd(text, pos)};
    }
    if (isDigitChar(c) || (c == '.' && isDigitChar(next(1)))) {
        return {Token::Number, pos, numberEnd(text, pos)};
    }
    if (isWordChar(c)) {
        std::size_t end = pos;
        while (end < text.size() && isWordChar(text[end])) {
            ++end;
        }
        return {Token::Word, pos, end};
    }
    if (c == '=' && next(1) == '>') {
        return {Token::Arrow, pos, pos + 2};
    }
    if (c == '.' && next(1) == '.') {
        return next(2) == '.' ? Token{Token::Other, pos, pos + 3} : Token{Token::DotDot, pos, pos + 2};
    }
    switch (c) {
    case '(': case '[': case '{': return {Token::Open, pos, pos + 1};
    case ')': case ']': case '}': return {Token::Close, pos, pos + 1};
    case ',': return {Token::Comma, pos, pos + 1};
    default: return {Token::Other, pos, pos + 1};
    }
}

char closerOf(char opener)
{
    return opener == '(' ? ')' : opener == '[' ? ']' : '}';
}

// A value whose text is known but not yet read.
struct Pending {
    ValueSyntax* value;
    std::size_t first;  // its tokens
    std::size_t end;
};

// The lists a parse works in, kept with their room from one value to the
// next: every value of the script is read on the same thread.
struct ParseRoom {
    std::vector<Token> tokens;
    std::vector<std::size_t> open;  // indices of the brackets still open
    std::vector<Pending> pending;

    // The room of an unusually long value goes back once it is read.
    void keepSmall()
    {
        constexpr std::size_t kKeptTokens = 4096;
        if (tokens.capacity() > kKeptTokens) {
            *this = ParseRoom();
        }
    }
};

class Parser {
public:
    Parser(std::string_view text, const Place& place, std::vector<ElementSyntax>& elements, ParseRoom& room)
        : text_(text), place_(place), elements_(elements), tokens_(room.tokens), open_(room.open),
          pending_(room.pending)
    {
        tokens_.clear();
        open_.clear();
        pending_.clear();
    }

    // Values are read from a list of pending ones rather than by recursion,
    // so that no nesting depth weighs on the call stack; the list is taken
    // last first and filled in reverse, so reports come in text order.
    std::optional<ValueSyntax> parse()
    {
        elements_.clear();
        if (!tokenize()) {
            return std::nullopt;
        }
        // A list of n elements holds n - 1 commas and its opening bracket:
        // there are never more elements than tokens, and the elements keep
        // their places while pending.
        elements_.reserve(tokens_.size());
        ValueSyntax root;
        pending_.push_back({&root, 0, tokens_.size()});
        while (!pending_.empty()) {
            const Pending next = pending_.back();
            pending_.pop_back();
            readValue(next, pending_);
        }
        if (failed_) {
            return std::nullopt;
        }
        return root;
    }

private:
    bool tokenize()
    {
        // Values run about two characters a token.
        tokens_.reserve(text_.size() / 2 + 8);
        std::vector<std::size_t>& open = open_;
        for (std::size_t pos = 0; pos < text_.size();) {
            if (hasClass(text_[pos], kBlankChar)) {
                ++pos;
                continue;
            }
            Token token = readToken(text_, pos);
            pos = token.end;
            if (token.kind == Token::Open) {
                if (open.size() >= static_cast<std::size_t>(canalysis::kMaxExprDepth)) {
                    diag::reportLocated(diag::Warning, "EXPERRONE", "", place_.file, place_.line);
                    return false;
                }
                open.push_back(tokens_.size());
            } else if (token.kind == Token::Close) {
                if (open.empty() || closerOf(text_[tokens_[open.back()].begin]) != text_[token.begin]) {
                    return unbalanced();
                }
                token.match = open.back();
                tokens_[open.back()].match = tokens_.size();
                open.pop_back();
            }
            tokens_.push_back(token);
        }
        return open.empty() || unbalanced();
    }

    bool unbalanced()
    {
        diag::reportLocated(diag::Warning, "EXPERRONE", text_, place_.file, place_.line);
        return false;
    }

    std::string_view textOf(std::size_t first, std::size_t end) const
    {
        if (first >= end) {
            return {};
        }
        return text_.substr(tokens_[first].begin, tokens_[end - 1].end - tokens_[first].begin);
    }

    bool isOpen(std::size_t index, char bracket) const
    {
        return tokens_[index].kind == Token::Open && text_[tokens_[index].begin] == bracket;
    }

    // The next token of that kind at the nesting level of first, or end.
    std::size_t findAtLevel(std::size_t first, std::size_t end, Token::Kind kind) const
    {
        for (std::size_t i = first; i < end; ++i) {
            if (tokens_[i].kind == kind) {
                return i;
            }
            if (tokens_[i].kind == Token::Open) {
                i = tokens_[i].match;
            }
        }
        return end;
    }

    void empty()
    {
        diag::reportLocated(diag::Error, "FORBEMPTY", "", place_.file, place_.line);
        failed_ = true;
    }

    bool enclosedBy(std::size_t first, std::size_t end, char bracket) const
    {
        return first < end && isOpen(first, bracket) && tokens_[first].match == end - 1;
    }

    // One element without designator: a parenthesised expression, not a list.
    bool isSinglePositional(std::size_t first, std::size_t end) const
    {
        return first < end && findAtLevel(first, end, Token::Comma) == end &&
               findAtLevel(first, end, Token::Arrow) == end;
    }

    void readValue(const Pending& next, std::vector<Pending>& pending)
    {
        ValueSyntax& value = *next.value;
        std::size_t first = next.first;
        std::size_t end = next.end;
        value.text = textOf(first, end);
        while (enclosedBy(first, end, '(') && isSinglePositional(first + 1, end - 1)) {
            ++first;
            --end;
        }
        if (first == end) {
            empty();
        } else if (enclosedBy(first, end, '[') && findAtLevel(first + 1, end - 1, Token::DotDot) != end - 1) {
            readBounded(value, first + 1, end - 1);
        } else if (enclosedBy(first, end, '{') || enclosedBy(first, end, '(')) {
            value.text = textOf(first, end);
            readList(value, first + 1, end - 1, pending);
        }
    }

    void readBounded(ValueSyntax& value, std::size_t first, std::size_t end)
    {
        const std::size_t dots = findAtLevel(first, end, Token::DotDot);
        value.kind = ValueSyntax::Bounded;
        value.lower = textOf(first, dots);
        value.upper = textOf(dots + 1, end);
        if (value.lower.empty() && value.upper.empty()) {
            empty();
        }
    }

    // The elements get their designators now and their values when their
    // turn in the pending list comes.
    void readList(ValueSyntax& list, std::size_t first, std::size_t end, std::vector<Pending>& pending)
    {
        list.kind = ValueSyntax::List;
        if (first == end) {
            empty();
            return;
        }
        // One walk of the list's level finds each element's comma and first
        // arrow. The elements' room was reserved for as many as there are
        // tokens: they keep their places while their values are pending,
        // where they stand, to be taken first to last.
        const std::size_t firstElement = elements_.size();
        const std::size_t firstPending = pending.size();
        std::size_t start = first;
        std::size_t arrow = end;  // the element's first, end when none yet
        for (std::size_t i = first;; ++i) {
            if (i == end || tokens_[i].kind == Token::Comma) {
                ElementSyntax& element = elements_.emplace_back();
                if (arrow != end) {
                    element.designator = readDesignator(start, arrow);
                }
                pending.push_back({&element.value, arrow == end ? start : arrow + 1, i});
                if (i == end) {
                    break;
                }
                start = i + 1;
                arrow = end;
            } else if (tokens_[i].kind == Token::Arrow && arrow == end) {
                arrow = i;
            } else if (tokens_[i].kind == Token::Open) {
                i = tokens_[i].match;
            }
        }
        list.elements = std::span(elements_).subspan(firstElement, elements_.size() - firstElement);
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstPending), pending.end());
    }

    Designator readDesignator(std::size_t first, std::size_t end)
    {
        Designator designator;
        designator.text = textOf(first, end);
        if (first == end) {
            empty();
            return designator;
        }
        if (end - first == 1 && tokens_[first].kind == Token::Word) {
            if (designator.text == "OTHERS") {
                designator.kind = Designator::Others;
                return designator;
            }
            designator.name = base::ident(designator.text);
            if (canalysis::findEnumerationConstant(designator.name) == nullptr) {
                designator.kind = Designator::Field;
                return designator;
            }
        }
        if (isOpen(first, '[') && tokens_[first].match == end - 1) {
            ++first;
            --end;
        }
        const std::size_t dots = findAtLevel(first, end, Token::DotDot);
        if (dots == end) {
            designator.kind = Designator::Index;
            designator.lower = designator.upper = textOf(first, end);
        } else {
            designator.kind = Designator::Range;
            designator.lower = textOf(first, dots);
            designator.upper = textOf(dots + 1, end);
        }
        if (designator.lower.empty() || designator.upper.empty()) {
            empty();
        }
        return designator;
    }

    std::string_view text_;
    const Place& place_;
    std::vector<ElementSyntax>& elements_;
    std::vector<Token>& tokens_;
    std::vector<std::size_t>& open_;
    std::vector<Pending>& pending_;
    bool failed_ = false;
};

}  // namespace

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::optional<ValueSyntax> parseValueText(std::string_view text, const Place& place,
                                          std::vector<ElementSyntax>& elements)
{
    thread_local ParseRoom room;
    std::optional<ValueSyntax> syntax = Parser(text, place, elements, room).parse();
    room.keepSmall();
    return syntax;
}

}  // namespace qvm::script::value
