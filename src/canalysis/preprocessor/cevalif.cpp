// Evaluation of the constant expressions of #if and #elif.
#include "canalysis/preprocessor/cevalif.h"

#include "base/mstrid.h"
#include "base/mstrin.h"
#include "canalysis/cerror.h"
#include "canalysis/preprocessor/cevalif_detail.h"
#include "canalysis/preprocessor/cprepr_cursor.h"
#include "canalysis/ctypesizes.h"
#include "y1_tab.tab.h"

#include <cstdint>
#include <limits>
#include <string>

namespace qvm::canalysis {

namespace {

MacroDefinedQuery& installedQuery()
{
    static MacroDefinedQuery query;
    return query;
}

bool charIsUnsigned()
{
    const auto& query = installedQuery();
    return query && query("__CHAR_UNSIGNED__");
}

constexpr std::size_t kMaxCharConstant = 1000;

std::uint64_t low32(std::int64_t value)
{
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(value));
}
constexpr std::size_t kErrorContext = 40;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

using cpp::isDigit;

// Names of the expression language: those of C without `$`.
bool isIdentStart(char c)
{
    return cpp::isIdStart(c) && c != '$';
}

bool isIdentChar(char c)
{
    return cpp::isIdChar(c) && c != '$';
}

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// The reader of the expression text; every function advances ctx.position.
class Lexer {
public:
    explicit Lexer(evalif::Context& ctx) : ctx_(ctx) {}

    int next(evalif::Value& value);

private:
    char peek(std::size_t ahead = 0) const
    {
        const std::size_t at = ctx_.position + ahead;
        return at < ctx_.text.size() ? ctx_.text[at] : '\0';
    }
    bool atEnd() const { return ctx_.position >= ctx_.text.size(); }

    int fail()
    {
        ctx_.reportError();
        return IFTOK_CPIFerror;
    }

    int twoCharOperator();
    int number(evalif::Value& value);
    int character(evalif::Value& value);
    int prefixedCharacter(evalif::Value& value, std::string_view prefix);
    std::uint32_t sourceCharacter();
    int identifier(evalif::Value& value);
    int sizeOf(evalif::Value& value);

    struct Escape {
        std::uint32_t value;
        bool exceedsByte;  // exceeds the code unit
    };
    // Plain constants: 8-bit units, no universal character names.
    Escape escape(std::uint32_t unitMask = 0xff, bool universal = false);
    std::uint32_t hexDigits(std::size_t most);

    evalif::Context& ctx_;
};

int Lexer::next(evalif::Value& value)
{
    value = {};
    while (!atEnd() && isBlank(peek())) {
        ++ctx_.position;
    }
    if (atEnd()) {
        return IFTOK_YYEOF;
    }
    if (const int token = twoCharOperator()) {
        return token;
    }
    const char c = peek();
    if (isDigit(c)) {
        return number(value);
    }
    if (c == '\'') {
        return character(value);
    }
    if (isIdentStart(c)) {
        return identifier(value);
    }
    if (std::string_view("!%&()*+,-./:<=>?@[]^{|}~").find(c) != std::string_view::npos) {
        ++ctx_.position;
        return static_cast<unsigned char>(c);
    }
    ++ctx_.position;  // a double quote or any other character
    return fail();
}

int Lexer::twoCharOperator()
{
    struct Pair {
        const char* text;
        int token;
    };
    static constexpr Pair operators[] = {
        {"&&", IFTOK_ANDAND}, {"||", IFTOK_OROR},     {"<<", IFTOK_LSHIFT},    {">>", IFTOK_RSHIFT},
        {"==", IFTOK_EQUAL},  {"!=", IFTOK_NOTEQUAL}, {"<=", IFTOK_LESSEQUAL}, {">=", IFTOK_GREATEREQUAL},
    };
    for (const auto& op : operators) {
        if (peek() == op.text[0] && peek(1) == op.text[1]) {
            ctx_.position += 2;
            return op.token;
        }
    }
    return 0;
}

// A number token: digits, letters and dots; its base, value and unsigned
// suffix. A dot or any other suffix letter is an error.
int Lexer::number(evalif::Value& value)
{
    const std::size_t start = ctx_.position;
    while (!atEnd() && (isIdentChar(peek()) || peek() == '.')) {
        ++ctx_.position;
    }
    const std::string_view token = ctx_.text.substr(start, ctx_.position - start);
    if (token.find('.') != std::string_view::npos) {
        return fail();
    }
    int base = 10;
    std::size_t digitsFrom = 0;
    if (token.size() >= 3 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
        base = 16;
        digitsFrom = 2;
    } else if (token[0] == '0') {
        base = 8;
    }
    std::uint64_t accumulated = 0;
    std::size_t i = digitsFrom;
    for (; i < token.size(); ++i) {
        const int digit = base == 16 ? base::hexDigitValue(token[i]) : (isDigit(token[i]) ? token[i] - '0' : -1);
        if (digit < 0) {
            break;
        }
        accumulated = accumulated * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    bool isUnsigned = (accumulated >> 63) != 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        if (c == 'u' || c == 'U') {
            isUnsigned = true;
        } else if (c != 'l' && c != 'L') {
            return fail();
        }
    }
    value.value = static_cast<std::int64_t>(accumulated);
    value.isUnsigned = isUnsigned;
    return IFTOK_NUMBER;
}

// Reads up to `most` hexadecimal digits.
std::uint32_t Lexer::hexDigits(std::size_t most)
{
    std::uint32_t accumulated = 0;
    for (std::size_t digits = 0; digits < most && !atEnd() && base::hexDigitValue(peek()) >= 0; ++digits) {
        accumulated = accumulated * 16 + static_cast<std::uint32_t>(base::hexDigitValue(peek()));
        ++ctx_.position;
    }
    return accumulated;
}

// Reads the escape after a backslash (the backslash already read).
Lexer::Escape Lexer::escape(std::uint32_t unitMask, bool universal)
{
    const char c = peek();
    if (atEnd()) {
        return {'\\', false};
    }
    ++ctx_.position;
    switch (c) {
    case 'a': return {7, false};
    case 'b': return {8, false};
    case 'e': return {27, false};
    case 'f': return {12, false};
    case 'n': return {10, false};
    case 'r': return {13, false};
    case 't': return {9, false};
    case 'v': return {11, false};
    case 'x': {
        std::uint32_t accumulated = 0;
        bool exceeds = false;
        while (base::hexDigitValue(peek()) >= 0 && !atEnd()) {
            exceeds = exceeds || accumulated > (unitMask >> 4);
            accumulated = accumulated * 16 + static_cast<std::uint32_t>(base::hexDigitValue(peek()));
            exceeds = exceeds || accumulated > unitMask;
            ++ctx_.position;
        }
        return {accumulated & unitMask, exceeds};
    }
    case 'u':
    case 'U':
        if (universal) {
            return {hexDigits(c == 'u' ? 4 : 8) & unitMask, false};
        }
        break;
    case '^':
        if (atEnd()) {
            return {'^', false};
        }
        ++ctx_.position;
        return {ctx_.text[ctx_.position - 1] == '?' ? 127U : static_cast<std::uint32_t>(ctx_.text[ctx_.position - 1] & 0x9f),
                false};
    default:
        break;
    }
    if (isOctalDigit(c)) {
        int accumulated = c - '0';
        for (int digits = 1; digits < 3 && isOctalDigit(peek()) && !atEnd(); ++digits) {
            accumulated = accumulated * 8 + (peek() - '0');
            ++ctx_.position;
        }
        const auto code = static_cast<std::uint32_t>(accumulated);
        return {code & unitMask, code > unitMask};
    }
    return {static_cast<unsigned char>(c), false};
}

// One character of a wide constant as written in the (UTF-8) source.
std::uint32_t Lexer::sourceCharacter()
{
    const auto lead = static_cast<unsigned char>(peek());
    ++ctx_.position;
    const int following = lead < 0xc0 ? 0 : lead < 0xe0 ? 1 : lead < 0xf0 ? 2 : lead < 0xf8 ? 3 : 0;
    if (following == 0) {
        return lead;
    }
    std::uint32_t code = lead & (0x3fU >> following);
    for (int k = 0; k < following; ++k) {
        const auto next = static_cast<unsigned char>(peek());
        if (atEnd() || (next & 0xc0) != 0x80) {
            return lead;  // not UTF-8: the byte stands for itself
        }
        code = (code << 6) | (next & 0x3fU);
        ++ctx_.position;
    }
    return code;
}

// L'x' (wchar_t: signed, 32 bits), u'x' (16 bits), U'x' (32 bits) and u8'x'
// (8 bits), the last three unsigned; the opening quote is next.
int Lexer::prefixedCharacter(evalif::Value& value, std::string_view prefix)
{
    const std::size_t start = ctx_.position - prefix.size();
    const bool isSigned = prefix == "L";
    const std::uint32_t unitMask = prefix == "u" ? 0xffffU : prefix == "u8" ? 0xffU : 0xffffffffU;
    ++ctx_.position;
    const std::size_t contentStart = ctx_.position;
    std::uint32_t last = 0;
    std::size_t characters = 0;
    bool exceeds = false;
    while (!atEnd() && peek() != '\'' && peek() != '\n') {
        if (peek() == '\\') {
            ++ctx_.position;
            const Escape code = escape(unitMask, true);
            exceeds = exceeds || code.exceedsByte;
            last = code.value;
        } else {
            last = (prefix == "u8" ? static_cast<unsigned char>(ctx_.text[ctx_.position++]) : sourceCharacter()) &
                   unitMask;
        }
        ++characters;
    }
    if (atEnd() || peek() != '\'' || characters == 0) {
        return fail();
    }
    ++ctx_.position;
    if (exceeds) {
        reportHere(CWarning, "NOFITBYTE", ctx_.text.substr(contentStart, ctx_.position - 1 - contentStart));
    }
    if (characters > 1) {
        // Too long for its type: the last character is its value.
        reportHere(CWarning, "MULCARCST", ctx_.text.substr(start, ctx_.position - start));
    }
    value.value = isSigned ? static_cast<std::int32_t>(last) : static_cast<std::int64_t>(last);
    value.isUnsigned = !isSigned;
    return IFTOK_CHARACTER;
}

// A plain character constant: one character or escape gives its (signed
// unless __CHAR_UNSIGNED__) byte value; more characters name a string
// identifier, taken as an unsigned value.
int Lexer::character(evalif::Value& value)
{
    ++ctx_.position;  // opening quote
    const std::size_t contentStart = ctx_.position;
    if (atEnd() || peek() == '\'' || peek() == '\n') {
        return fail();
    }
    Escape single{static_cast<unsigned char>(peek()), false};
    if (peek() == '\\') {
        ++ctx_.position;
        single = escape();
    } else {
        ++ctx_.position;
    }
    if (!atEnd() && peek() == '\'') {
        ++ctx_.position;
        if (single.exceedsByte) {
            reportHere(CWarning, "NOFITBYTE", ctx_.text.substr(contentStart, ctx_.position - 1 - contentStart));
        }
        int byte = static_cast<int>(single.value & 0xff);
        if ((byte & 0x80) != 0 && !charIsUnsigned()) {
            byte -= 256;
        }
        value.value = byte;
        return IFTOK_CHARACTER;
    }
    // Several characters: their text up to the next quote names a string identifier.
    ctx_.position = contentStart;
    while (!atEnd() && peek() != '\'' && peek() != '\n') {
        ++ctx_.position;
    }
    const std::size_t length = ctx_.position - contentStart;
    if (atEnd() || peek() != '\'' || length > kMaxCharConstant) {
        return fail();
    }
    ++ctx_.position;
    base::initIdentTable();
    const base::Ident id = base::ident(ctx_.text.substr(contentStart, length));
    // The identifier is an address; its low 32 bits keep the value within
    // the unsigned range that the comparison rules reduce operands to.
    value.value = static_cast<std::int64_t>(low32(static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(id))));
    value.isUnsigned = true;
    return IFTOK_CHARACTER;
}

int Lexer::identifier(evalif::Value& value)
{
    const std::size_t start = ctx_.position;
    while (!atEnd() && isIdentChar(peek())) {
        ++ctx_.position;
    }
    const std::string_view word = ctx_.text.substr(start, ctx_.position - start);
    if (word == "sizeof") {
        return sizeOf(value);
    }
    if (peek() == '\'' && !atEnd() && cpp::isLiteralPrefix(word)) {
        return prefixedCharacter(value, word);
    }
    return IFTOK_NAME;
}

// `sizeof` has been read: the balanced parenthesised text that follows names the type.
int Lexer::sizeOf(evalif::Value& value)
{
    while (!atEnd() && isBlank(peek())) {
        ++ctx_.position;
    }
    if (peek() != '(' || atEnd()) {
        return fail();
    }
    ++ctx_.position;
    const std::size_t start = ctx_.position;
    int depth = 1;
    while (!atEnd()) {
        const char c = peek();
        ++ctx_.position;
        if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            const std::string_view typeText = ctx_.text.substr(start, ctx_.position - 1 - start);
            value.value = typeSizes().sizeofBytes(typeText);
            return IFTOK_SIZEOF;
        }
    }
    return fail();
}

std::int64_t wrap(std::uint64_t bits)
{
    return static_cast<std::int64_t>(bits);
}

std::int64_t quotientOrRemainder(evalif::BinaryOp op, std::int64_t left, std::int64_t right)
{
    if (right == 0) {
        reportHere(CWarning, "DIVISZERO", {});
        right = 1;
    }
    if (left == std::numeric_limits<std::int64_t>::min() && right == -1) {
        return op == evalif::BinaryOp::Divide ? left : 0;
    }
    return op == evalif::BinaryOp::Divide ? left / right : left % right;
}

evalif::Value shift(evalif::BinaryOp op, evalif::Value left, evalif::Value right)
{
    const bool toLeft = op == evalif::BinaryOp::ShiftLeft;
    if (left.isUnsigned) {
        const auto word = static_cast<std::uint32_t>(left.value);
        const auto count = static_cast<unsigned>(right.value & 31);
        const std::uint32_t shifted = toLeft ? word << count : word >> count;
        return {static_cast<std::int64_t>(shifted), true};
    }
    const auto count = static_cast<unsigned>(right.value & 63);
    if (toLeft) {
        return {wrap(static_cast<std::uint64_t>(left.value) << count), false};
    }
    return {left.value >> count, false};
}

bool compare(evalif::BinaryOp op, std::int64_t left, std::int64_t right)
{
    using evalif::BinaryOp;
    switch (op) {
    case BinaryOp::Equal: return left == right;
    case BinaryOp::NotEqual: return left != right;
    case BinaryOp::Less: return left < right;
    case BinaryOp::Greater: return left > right;
    case BinaryOp::LessEqual: return left <= right;
    default: return left >= right;
    }
}

}  // namespace

namespace evalif {

void Context::reportError()
{
    if (failed) {
        return;
    }
    failed = true;
    const std::size_t end = position < text.size() ? position : text.size();
    const std::string_view argument =
        end <= kErrorContext ? text.substr(0, end) : text.substr(end - (kErrorContext - 1), kErrorContext - 1);
    reportHere(CWarning, "EXPERRONE", argument);
}

Value binary(BinaryOp op, Value left, Value right)
{
    switch (op) {
    case BinaryOp::ShiftLeft:
    case BinaryOp::ShiftRight:
        return shift(op, left, right);
    case BinaryOp::LogicalAnd:
        return {left.value != 0 && right.value != 0, false};
    case BinaryOp::LogicalOr:
        return {left.value != 0 || right.value != 0, false};
    default:
        break;
    }
    const bool isUnsigned = left.isUnsigned || right.isUnsigned;
    const std::int64_t a = isUnsigned ? static_cast<std::int64_t>(low32(left.value)) : left.value;
    const std::int64_t b = right.value;
    const auto ua = static_cast<std::uint64_t>(a);
    const auto ub = static_cast<std::uint64_t>(b);
    switch (op) {
    case BinaryOp::Multiply: return {wrap(ua * ub), isUnsigned};
    case BinaryOp::Divide:
    case BinaryOp::Remainder: return {quotientOrRemainder(op, a, b), isUnsigned};
    case BinaryOp::Add: return {wrap(ua + ub), isUnsigned};
    case BinaryOp::Subtract: return {wrap(ua - ub), isUnsigned};
    case BinaryOp::BitAnd: return {wrap(ua & ub), isUnsigned};
    case BinaryOp::BitXor: return {wrap(ua ^ ub), isUnsigned};
    case BinaryOp::BitOr: return {wrap(ua | ub), isUnsigned};
    default: return {compare(op, a, b), false};
    }
}

Value unary(UnaryOp op, Value operand)
{
    const auto bits = static_cast<std::uint64_t>(operand.value);
    switch (op) {
    case UnaryOp::Negate: return {wrap(0 - bits), operand.isUnsigned};
    case UnaryOp::Not: return {operand.value == 0, false};
    case UnaryOp::Complement: return {wrap(~bits), operand.isUnsigned};
    case UnaryOp::Plus: break;
    }
    return operand;
}

Value conditional(Value condition, Value whenTrue, Value whenFalse)
{
    return condition.value != 0 ? whenTrue : whenFalse;
}

}  // namespace evalif

void setMacroDefinedQuery(MacroDefinedQuery query)
{
    installedQuery() = std::move(query);
}

const MacroDefinedQuery& macroDefinedQuery()
{
    return installedQuery();
}

int C_CPP_eval_if(const char* text)
{
    const std::string_view expression = text ? std::string_view(text) : std::string_view();
    if (expression.find_first_not_of(" \t\n\r\f") == std::string_view::npos) {
        reportHere(CWarning, "EMPTYEXPR", "#if");
        return 0;
    }
    evalif::Context ctx;
    ctx.text = expression;
    cpifparse(ctx);
    if (ctx.failed || !ctx.accepted) {
        return 0;
    }
    if (ctx.textLeft) {
        reportHere(CWarning, "ERRAFTEND", {});
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(ctx.result.value)));
}

}  // namespace qvm::canalysis

int cpiflex(CPIFSTYPE* token, qvm::canalysis::evalif::Context& ctx)
{
    return qvm::canalysis::Lexer(ctx).next(*token);
}
