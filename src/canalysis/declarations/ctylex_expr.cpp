// The expression lexer: operators, identifiers, casts, and numeric,
// character and string constants evaluated into typed constant values.
#include "canalysis/declarations/ctylex.h"

#include "base/mstrin.h"
#include "canalysis/preprocessor/cprepr.h"

#include "canalysis/ctypesizes.h"
#include "canalysis/constants/cvalue.h"
#include "y3_tab.tab.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace qvm::canalysis {

namespace {

using base::isDigit;

void warn(const char* code, std::string_view argument)
{
    reportLex(CWarning, code, argument);
}

// Reads a numeric constant from text (which starts with a digit or a '.'
// followed by a digit); `after` is the text that follows the number.
class NumberReader {
public:
    NumberReader(std::string_view number, std::string_view after) : number_(number), after_(after) {}

    // The constant: its base (0x, 0b or 0 prefix, H or B suffix), value, size and
    // length class; faults of the text are warned and the value kept.
    CConstant read()
    {
        constant_.text = std::string(number_);
        std::string_view body = number_;
        int base = 10;
        if (suffixBaseApplies()) {
            const char last = body.back();
            body.remove_suffix(1);
            if (last == 'h' || last == 'H') {
                base = 16;
                constant_.text = "0x" + std::string(body);
            } else {
                base = 2;
                constant_.text = std::string(body);
            }
        } else if (body.size() > 1 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
            base = 16;
            body.remove_prefix(2);
        } else if (body.size() > 1 && body[0] == '0' && (body[1] == 'b' || body[1] == 'B') &&
                   (body.size() == 2 || isDigit(body[2]))) {
            base = 2;
            body.remove_prefix(2);
        } else if (body.size() > 1 && body[0] == '0') {
            base = 8;
        }
        if (base != 16 && isFloating(body)) {
            return readFloating(body);
        }
        if (base == 16 && body.find('.') != std::string_view::npos) {
            warn("CSTBASE16", number_);
        }
        return readInteger(body, base);
    }

private:
    std::string_view number_;  // the constant's text, suffix included
    std::string_view after_;   // the text after it
    CConstant constant_;       // the constant being built

    // A trailing H (hexadecimal) or B (binary) counts only before the end of
    // the text, ',', ']' or '}'.
    bool suffixBaseApplies() const
    {
        const char last = number_.back();
        const bool hexadecimalLetter = last == 'h' || last == 'H';
        const bool binaryLetter = last == 'b' || last == 'B';
        if (!hexadecimalLetter && !binaryLetter) {
            return false;
        }
        if (number_.size() > 1 && number_[0] == '0' && (number_[1] == 'x' || number_[1] == 'X')) {
            return false;
        }
        std::size_t i = 0;
        while (i < after_.size() && std::isspace(static_cast<unsigned char>(after_[i])) != 0) {
            ++i;
        }
        return i == after_.size() || after_[i] == ',' || after_[i] == ']' || after_[i] == '}';
    }

    static bool isFloating(std::string_view body)
    {
        for (const char c : body) {
            if (c == '.' || c == 'e' || c == 'E') {
                return true;
            }
            if (!isDigit(c)) {
                return false;
            }
        }
        return false;
    }

    // A floating constant: digits with one '.', an optional exponent and an
    // f or l suffix; double unless written with f.
    CConstant readFloating(std::string_view body)
    {
        constant_.kind = kConstFloating;
        std::size_t i = 0;
        int points = 0;
        while (i < body.size() && (isDigit(body[i]) || body[i] == '.')) {
            if (body[i] == '.' && ++points == 2) {
                warn("CSTINCORR", number_);
            }
            ++i;
        }
        if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
            ++i;
            if (i < body.size() && (body[i] == '+' || body[i] == '-')) {
                ++i;
            }
            if (i >= body.size() || !isDigit(body[i])) {
                warn("ERREXPOSA", number_);
            }
            while (i < body.size() && isDigit(body[i])) {
                ++i;
            }
        }
        constant_.floating = dfloat_from_text(body.substr(0, i));
        bool sawF = false;
        bool sawL = false;
        for (; i < body.size(); ++i) {
            bool& seen = (body[i] == 'f' || body[i] == 'F') ? sawF : sawL;
            if (body[i] != 'f' && body[i] != 'F' && body[i] != 'l' && body[i] != 'L') {
                warn("INVFINNUM", number_);
                break;
            }
            if (seen) {
                warn("CARDOUFLO", number_);
            }
            seen = true;
        }
        constant_.isFloatSuffix = sawF;
        constant_.lengthClass = sawL ? kLengthLong : kLengthInt;
        constant_.size = sawF ? -32 : -64;
        return constant_;
    }

    // An integer constant of the base: digits, then the u/l/i64 suffix;
    // a value that no type of its kind holds warns ENTOUTRAN.
    CConstant readInteger(std::string_view body, int base)
    {
        std::size_t i = 0;
        bool anyDigit = false;
        bool badDigit = false;
        // The digits are gathered in a machine integer as long as it holds
        // them, which is nearly always; a longer number goes on in value.
        constexpr std::int64_t kSmallLimit = (std::numeric_limits<std::int64_t>::max() - 15) / 16;
        std::int64_t small = 0;
        bool wide = false;
        PInt value;
        for (; i < body.size(); ++i) {
            const char c = body[i];
            int digit = base == 16 ? base::hexDigitValue(c) : (isDigit(c) ? c - '0' : -1);
            if (digit < 0) {
                if (startsSuffix(body.substr(i))) {
                    break;
                }
                if (c == '.' && base == 16) {
                    continue;  // reported as a decimal point in a hexadecimal constant
                }
                if ((std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.') &&
                    digitFollows(body.substr(i + 1), base)) {
                    warn("CARNONNUM", number_);
                    continue;
                }
                break;
            }
            if (digit >= base && !badDigit) {
                warn("CARNUMERI", number_);
                badDigit = true;
            }
            anyDigit = true;
            if (!wide && small <= kSmallLimit) {
                small = small * base + digit;
                continue;
            }
            if (!wide) {
                pint_from_int64(value, small);
                wide = true;
            }
            pint_mul_int(value, value, base);
            pint_add_int(value, value, digit);
        }
        if (!wide) {
            pint_from_int64(value, small);
        }
        if (!anyDigit) {
            warn("CSTNUMERI", number_);
        }
        readIntegerSuffix(body.substr(i));
        fitToType(value, base == 10);
        constant_.value = value;
        return constant_;
    }

    // Whether a digit of the base comes before the end of the number.
    static bool digitFollows(std::string_view rest, int base)
    {
        for (const char c : rest) {
            if (base == 16 ? base::hexDigitValue(c) >= 0 : isDigit(c)) {
                return true;
            }
        }
        return false;
    }

    static bool startsSuffix(std::string_view rest)
    {
        const char c = rest[0];
        if (c == 'u' || c == 'U' || c == 'l' || c == 'L') {
            return true;
        }
        return (c == 'i' || c == 'I') && rest.substr(1, 2) == "64";
    }

    bool unsigned_ = false;  // a u or U suffix was read
    int longs_ = 0;          // l and L suffix letters read

    void readIntegerSuffix(std::string_view suffix)
    {
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            const char c = suffix[i];
            if (c == 'u' || c == 'U') {
                if (unsigned_) {
                    warn("CARDOUINT", number_);
                }
                unsigned_ = true;
            } else if (c == 'l' || c == 'L') {
                if (++longs_ == 3) {
                    warn("CARTRIINT", number_);
                }
            } else if ((c == 'i' || c == 'I') && suffix.substr(i + 1, 2) == "64") {
                i += 2;
            } else {
                warn("INVFINNUM", number_);
                return;
            }
        }
    }

    // One type a constant may take: its length and signedness.
    struct IntegerType {
        LengthClass length;
        bool isUnsigned;
    };

    // The types the constant may take, in the order tried: from the length
    // its l suffixes ask for up to long long; a decimal constant stays signed
    // unless written with u, an octal, hexadecimal or binary one may also
    // take the unsigned type of each length.
    std::vector<IntegerType> candidateTypes(bool decimal) const
    {
        std::vector<IntegerType> candidates;
        const int first = std::min(longs_, 2);
        for (int length = first; length <= kLengthLongLong; ++length) {
            const auto lengthClass = static_cast<LengthClass>(length);
            if (!unsigned_) {
                candidates.push_back({lengthClass, false});
            }
            if (unsigned_ || !decimal) {
                candidates.push_back({lengthClass, true});
            }
        }
        return candidates;
    }

    static int bitsOf(LengthClass length)
    {
        const TypeSizes& sizes = typeSizes();
        return length == kLengthLongLong ? sizes.longLongBits : length == kLengthLong ? sizes.longBits : sizes.intBits;
    }

    static bool holds(const IntegerType& type, const PInt& value)
    {
        const int bits = bitsOf(type.length);
        return type.isUnsigned ? !value.isNegative() && pint_fits(value, bits) : pint_fits(value, bits - 1);
    }

    // The constant takes the first type that holds its value; only a value
    // that none holds is out of range, and is then reduced to the size of the
    // last type when written with u (other values keep every digit).
    void fitToType(PInt& value, bool decimal)
    {
        const std::vector<IntegerType> candidates = candidateTypes(decimal);
        const auto found =
            std::find_if(candidates.begin(), candidates.end(), [&](const IntegerType& type) { return holds(type, value); });
        IntegerType chosen = candidates.back();
        if (found != candidates.end()) {
            chosen = *found;
        } else {
            warn("ENTOUTRAN", number_);
            if (unsigned_) {
                pint_truncate(value, bitsOf(chosen.length));
            }
        }
        constant_.lengthClass = chosen.length;
        constant_.size = chosen.isUnsigned ? bitsOf(chosen.length) : -bitsOf(chosen.length);
    }
};

// Reads one character of a character or string constant at pos (after the
// opening quote): an escape sequence or a plain character.
class EscapeReader {
public:
    EscapeReader(std::string_view text, std::size_t& pos, bool checkRange) : text_(text), pos_(pos), check_(checkRange)
    {
    }

    // The value of the character or escape at the position, moved past it.
    unsigned read()
    {
        const char c = text_[pos_++];
        if (c != '\\' || pos_ >= text_.size()) {
            return static_cast<unsigned char>(c);
        }
        const std::size_t start = pos_ - 1;
        const char e = text_[pos_++];
        switch (e) {
        case 'a': return 7;
        case 'b': return 8;
        case 'f': return 12;
        case 'n': return 10;
        case 'r': return 13;
        case 't': return 9;
        case 'v': return 11;
        case 'E': return 27;
        case '?': case '"': case '\'': case '(': case '[': case '{': case '\\':
            return static_cast<unsigned char>(e);
        case 'x': {
            unsigned long value = 0;
            bool any = false;
            while (pos_ < text_.size() && base::hexDigitValue(text_[pos_]) >= 0) {
                value = (value << 4) | static_cast<unsigned>(base::hexDigitValue(text_[pos_++]));
                value &= 0xffffffffUL;
                any = true;
            }
            if (!any) {
                warn("NOHEXDIGI", text_.substr(start, pos_ - start));
                return 0;
            }
            return checked(static_cast<unsigned>(value), start);
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned value = static_cast<unsigned>(e - '0');
                for (int n = 1; n < 3 && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '7'; ++n) {
                    value = value * 8 + static_cast<unsigned>(text_[pos_++] - '0');
                }
                return checked(value, start);
            }
            warn("SEQUEINCO", text_.substr(start, pos_ - start));
            return static_cast<unsigned char>(e);
        }
    }

private:
    std::string_view text_;
    std::size_t& pos_;  // the caller's reading position, moved past what is read
    bool check_;        // values too large for the character size are reported

    unsigned checked(unsigned value, std::size_t start)
    {
        const int bits = typeSizes().charBits;
        if (check_ && bits < 32 && value >= (1u << bits)) {
            warn("SEQOUTRAN", text_.substr(start, pos_ - start));
        }
        return value;
    }
};

std::string characterText(unsigned value)
{
    switch (value) {
    case '\\': return "'\\\\'";
    case '\'': return "'\\''";
    case '\t': return "'\\t'";
    case '\n': return "'\\n'";
    default:
        break;
    }
    if (value < 256 && std::isprint(static_cast<int>(value)) != 0) {
        return "'" + std::string(1, static_cast<char>(value)) + "'";
    }
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "'\\%o'", value);
    return buffer;
}

}  // namespace

// Character constant at pos (on the quote, after any L); pos ends after it.
CConstant readCharacterConstant(std::string_view text, std::size_t& pos, bool wide)
{
    CConstant constant;
    const std::size_t start = wide ? pos - 1 : pos;
    ++pos;
    std::vector<unsigned> characters;
    std::string raw;
    bool closed = false;
    while (pos < text.size() && text[pos] != '\n') {
        if (text[pos] == '\'') {
            closed = true;
            ++pos;
            break;
        }
        const std::size_t before = pos;
        characters.push_back(EscapeReader(text, pos, !wide).read());
        raw.append(text.substr(before, pos - before));
    }
    const std::string written(text.substr(start, pos - start));
    constant.text = written;
    if (!closed) {
        warn("INVCSTCAR", written);
    }
    if (characters.empty()) {
        if (closed) {
            warn("CSTCARVID", written);
        }
        constant.size = -typeSizes().charBits;
        constant.isChar = true;
        return constant;
    }
    const TypeSizes& sizes = typeSizes();
    if (characters.size() > 1) {
        LexerSwitches& switches = lexerSwitches();
        if (!switches.multibyteReported && !switches.multibyteOff && std::getenv("KQ_NOWCHAR") != nullptr) {
            switches.multibyteOff = true;
        }
        if (wide) {
            warn("MULCARCST", written);
        } else if (switches.multibyteOff) {
            warn("SYNTAXERR", diagTextDeprecatedQuotes());
            std::string resolved;
            for (const unsigned c : characters) {
                resolved += static_cast<char>(c);
            }
            constant.kind = kConstString;
            constant.name = base::ident(resolved);
            return constant;
        } else if (characters.size() > 4) {
            warn("TOLOCSTCA", written);
        } else {
            if (!switches.multibyteReported) {
                switches.multibyteReported = true;
                reportLex(CInformation, "MULTIBYTE", written);
            }
            std::int32_t packed = 0;
            for (const unsigned c : characters) {
                packed = static_cast<std::int32_t>((static_cast<std::uint32_t>(packed) << 8) | (c & 0xffu));
            }
            pint_from_int(constant.value, packed);
            constant.size = -sizes.longBits;
            constant.lengthClass = kLengthLong;
            return constant;
        }
    }
    const unsigned value = characters.front();
    if (wide) {
        pint_from_int(constant.value, static_cast<std::int32_t>(value));
        constant.size = -sizes.intBits;
        return constant;
    }
    const int bits = sizes.charBits;
    const unsigned mask = bits >= 32 ? 0xffffffffu : (1u << bits) - 1;
    const unsigned low = value & mask;
    const bool topBit = bits < 32 && (low & (1u << (bits - 1))) != 0;
    std::int32_t extended = static_cast<std::int32_t>(low);
    if (!sizes.charUnsigned && topBit) {
        extended = static_cast<std::int32_t>(low | ~mask);
    }
    pint_from_int(constant.value, extended);
    constant.size = sizes.charUnsigned ? bits : -bits;
    constant.isChar = true;
    constant.text = characterText(low);
    return constant;
}

// String constant at pos (on the quote); pos ends after it.
CConstant readStringConstant(std::string_view text, std::size_t& pos, bool wide)
{
    CConstant constant;
    constant.kind = kConstString;
    constant.wide = wide;
    const std::size_t start = wide ? pos - 1 : pos;
    ++pos;
    std::string resolved;
    while (pos < text.size() && text[pos] != '"') {
        resolved += static_cast<char>(EscapeReader(text, pos, !wide).read());
    }
    if (pos < text.size()) {
        ++pos;
    }
    constant.text = std::string(text.substr(start, pos - start));
    constant.name = base::ident(resolved);
    return constant;
}

// The extent of a number starting at pos, and its constant.
CConstant readNumberConstant(std::string_view text, std::size_t& pos)
{
    const std::size_t start = pos;
    const bool hexadecimal = pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X');
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '.' && pos + 1 < text.size() && text[pos + 1] == '.') {
            break;  // the range operator
        }
        if (isIdentChar(c) || c == '.') {
            ++pos;
        } else if ((c == '+' || c == '-') && !hexadecimal && pos > start &&
                   (text[pos - 1] == 'e' || text[pos - 1] == 'E')) {
            ++pos;
        } else {
            break;
        }
    }
    return NumberReader(text.substr(start, pos - start), text.substr(pos)).read();
}

std::string diagTextDeprecatedQuotes()
{
    return "deprecated use of single quote strings";
}

}  // namespace qvm::canalysis

namespace qvm::canalysis {

namespace {

struct TwoCharOperator {
    std::string_view text;  // its two characters
    int token;              // the expression grammar's token
};

constexpr TwoCharOperator kTwoCharOperators[] = {
    {"..", ETOK_RANGE}, {"->", ETOK_ARROW}, {"=>", ETOK_FATARROW}, {"++", ETOK_INC}, {"--", ETOK_DEC},
    {"<<", ETOK_LSHIFT}, {">>", ETOK_RSHIFT}, {"<=", ETOK_LE},    {">=", ETOK_GE},  {"==", ETOK_EQ},
    {"!=", ETOK_NE},    {"&&", ETOK_ANDAND}, {"||", ETOK_OROR},
};

constexpr std::string_view kAssignOperators[] = {"+=", "-=", "*=", "/=", "%=", "&=", "|=", "^="};

// Whether text begins with the two characters of pair.
bool beginsWithPair(std::string_view text, std::string_view pair)
{
    return text.size() >= 2 && text[0] == pair[0] && text[1] == pair[1];
}

// The tokens of an expression for the expression grammar: constants,
// identifiers, keywords (declaration words), operators; a parenthesised type
// name is recognised as a cast through the expression table, and words
// without effect (__extension__) are skipped.
class ExprLexer {
public:
    ExprLexer(ExprParse& parse, CEXPRSTYPE& value) : parse_(parse), lx_(*parse.lex), value_(value) {}

    // The next token (0 at the end of the text), its value stored in value_.
    int next()
    {
        skipSpaces();
        while (!atEnd() && isIdentStart(peek()) && ignoredWordAhead()) {
            skipSpaces();
        }
        if (atEnd()) {
            return 0;
        }
        const char c = peek();
        if (c == 'L' && (peek(1) == '\'' || peek(1) == '"')) {
            ++lx_.pos;
            return constantToken(c == 'L' && peek() == '\'' ? readCharacterConstant(lx_.text, lx_.pos, true)
                                                            : readStringConstant(lx_.text, lx_.pos, true));
        }
        if (isDigit(c) || (c == '.' && isDigit(peek(1)))) {
            return constantToken(readNumberConstant(lx_.text, lx_.pos));
        }
        if (c == '\'') {
            return constantToken(readCharacterConstant(lx_.text, lx_.pos, false));
        }
        if (c == '"') {
            return constantToken(readStringConstant(lx_.text, lx_.pos, false));
        }
        if (isIdentStart(c)) {
            return word();
        }
        if (c == '(') {
            if (const int cast = tryCast()) {
                return cast;
            }
        }
        return operatorToken();
    }

private:
    ExprParse& parse_;    // the parse the tokens are for
    LexContext& lx_;      // its text and reading position
    CEXPRSTYPE& value_;   // the grammar's value of the token returned

    bool atEnd() const { return lx_.pos >= lx_.text.size(); }
    char peek(std::size_t ahead = 0) const
    {
        return lx_.pos + ahead < lx_.text.size() ? lx_.text[lx_.pos + ahead] : '\0';
    }

    void skipSpaces()
    {
        while (!atEnd()) {
            const char c = peek();
            if (c == '\n') {
                lx_.countLine();
                ++lx_.pos;
                lx_.lineStart = lx_.pos;
            } else if (c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r') {
                ++lx_.pos;
            } else if (c == '\\') {
                warn("CHAINUTIL", "'\\'");
                ++lx_.pos;
            } else {
                return;
            }
        }
    }

    int constantToken(CConstant constant)
    {
        lx_.tokenStore = constant.text;
        lx_.tokenText = lx_.tokenStore;
        ExprKind kind = kExprInteger;
        int token = ETOK_INT_CONST;
        if (constant.kind == kConstFloating) {
            kind = kExprFloating;
            token = ETOK_FLOAT_CONST;
        } else if (constant.kind == kConstString) {
            kind = kExprString;
            token = ETOK_STRING;
        }
        ExprNode* node = expr::node(parse_, kind);
        node->constant = std::move(constant);
        value_.node = node;
        return token;
    }

    // Steps over a word without effect in an expression (__extension__).
    bool ignoredWordAhead()
    {
        std::size_t end = lx_.pos;
        while (end < lx_.text.size() && isIdentChar(lx_.text[end])) {
            ++end;
        }
        std::string_view canonical;
        if (modernWord(lx_.text.substr(lx_.pos, end - lx_.pos), canonical) != ModernWord::Ignored) {
            return false;
        }
        lx_.pos = end;
        return true;
    }

    int word()
    {
        const std::string_view text = lx_.readWord();
        std::string_view canonical;
        const int keyword = declarationKeyword(text, canonical);
        if (keyword != 0) {
            return canonical == "sizeof" ? ETOK_SIZEOF : ETOK_KEYWORD;
        }
        if (modernWord(text, canonical) != ModernWord::None) {
            return ETOK_KEYWORD;
        }
        if (text == "__attribute__" || text == "__attribute" || text == "typeof" || text == "__typeof" ||
            text == "__typeof__") {
            return ETOK_KEYWORD;
        }
        ExprNode* node = expr::node(parse_, kExprIdentifier);
        node->name = base::ident(text);
        node->constant.kind = kConstIdentifier;
        node->constant.name = node->name;
        value_.node = node;
        return ETOK_IDENTIFIER;
    }

    // Whether the word at p can begin a type name: a word of the declaration
    // specifiers, a type name or a type modifier. Other words are no cast,
    // and need not be parsed as one.
    bool mayBeginTypeName(std::size_t p) const
    {
        std::size_t end = p;
        while (end < lx_.text.size() && isIdentChar(lx_.text[end])) {
            ++end;
        }
        const std::string_view word = lx_.text.substr(p, end - p);
        std::string_view canonical;
        const int keyword = declarationKeyword(word, canonical);
        if (keyword != 0) {
            return decl::beginsDeclaration(keyword);
        }
        if (isSkippedWord(word) || modernWord(word, canonical) != ModernWord::None) {
            return true;
        }
        if (parse_.table != nullptr) {
            const Symbol* symbol = parse_.table->find(base::ident(word), parse_.scope);
            if (symbol != nullptr && (symbol->storage & kTypedef) != 0) {
                return true;
            }
        }
        const auto& modifiers = C_CPP_type_modifiers();
        return std::find(modifiers.begin(), modifiers.end(), word) != modifiers.end();
    }

    // "(type name)": the text up to the matching ')' read as a type name.
    int tryCast()
    {
        std::size_t p = lx_.pos + 1;
        while (p < lx_.text.size() && std::isspace(static_cast<unsigned char>(lx_.text[p])) != 0) {
            ++p;
        }
        if (p >= lx_.text.size() || !isIdentStart(lx_.text[p]) || !mayBeginTypeName(p)) {
            return 0;
        }
        int depth = 0;
        std::size_t close = lx_.pos;
        for (; close < lx_.text.size(); ++close) {
            if (lx_.text[close] == '(') {
                ++depth;
            } else if (lx_.text[close] == ')' && --depth == 0) {
                break;
            } else if (lx_.text[close] == '"' || lx_.text[close] == '\'') {
                return 0;
            }
        }
        if (close >= lx_.text.size()) {
            return 0;
        }
        const std::string_view inner = lx_.text.substr(lx_.pos + 1, close - lx_.pos - 1);
        TypePtr type = expr::typeOfTypeName(parse_, inner);
        if (!type) {
            return 0;
        }
        lx_.tokenText = lx_.text.substr(lx_.pos, close + 1 - lx_.pos);
        lx_.pos = close + 1;
        ExprNode* node = expr::node(parse_, kExprCast);
        node->type = std::move(type);
        value_.node = node;
        return ETOK_CAST;
    }

    int operatorToken()
    {
        const std::string_view rest = lx_.text.substr(lx_.pos);
        for (const std::string_view assign : kAssignOperators) {
            if (beginsWithPair(rest, assign)) {
                lx_.tokenText = assign;
                lx_.pos += 2;
                value_.op = assign[0];
                return ETOK_ASSIGN_OP;
            }
        }
        for (const TwoCharOperator& two : kTwoCharOperators) {
            if (beginsWithPair(rest, two.text)) {
                lx_.tokenText = two.text;
                lx_.pos += 2;
                return two.token;
            }
        }
        lx_.tokenText = rest.substr(0, 1);
        ++lx_.pos;
        return static_cast<unsigned char>(rest[0]);
    }
};

}  // namespace

std::optional<CConstant> C_CPP_read_constant(std::string_view text, std::string_view file, int line,
                                             const DiagnosticCallback& callback)
{
    installCallback(callback);
    LexScope scope(text, file, line);
    std::size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])) != 0) {
        ++pos;
    }
    if (pos >= text.size()) {
        return std::nullopt;
    }
    const bool wide = text[pos] == 'L' && pos + 1 < text.size() && (text[pos + 1] == '\'' || text[pos + 1] == '"');
    if (wide) {
        ++pos;
    }
    const char c = text[pos];
    if (c == '\'') {
        return readCharacterConstant(text, pos, wide);
    }
    if (c == '"') {
        return readStringConstant(text, pos, wide);
    }
    if (isDigit(c) || (c == '.' && pos + 1 < text.size() && isDigit(text[pos + 1]))) {
        return readNumberConstant(text, pos);
    }
    if (isIdentStart(c)) {
        const std::size_t start = pos;
        while (pos < text.size() && isIdentChar(text[pos])) {
            ++pos;
        }
        CConstant constant;
        constant.kind = kConstIdentifier;
        constant.text = std::string(text.substr(start, pos - start));
        constant.name = base::ident(constant.text);
        return constant;
    }
    return std::nullopt;
}

}  // namespace qvm::canalysis

int cexprlex(CEXPRSTYPE* value, qvm::canalysis::ExprParse& parse)
{
    value->node = nullptr;
    return qvm::canalysis::ExprLexer(parse, *value).next();
}

void cexprerror(qvm::canalysis::ExprParse& /*parse*/, const char* /*message*/)
{
    qvm::canalysis::reportLex(qvm::canalysis::CWarning, "EXPERRONE", "");
}
