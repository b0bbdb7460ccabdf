// Constant values of the C analysis and their text forms.
#include "canalysis/constants/cvalue.h"

#include "base/mstrin.h"

#include <algorithm>
#include <cctype>

namespace qvm::canalysis {

// ---------------------------------------------------------------------------
// Constant value texts

namespace {

bool isBlankOrTab(char c)
{
    return c == ' ' || c == '\t';
}

void skipBlanks(std::string_view text, std::size_t& pos)
{
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) {
        ++pos;
    }
}

// Moves past a quoted constant starting at pos (the quote itself).
void skipQuoted(std::string_view text, std::size_t& pos)
{
    const char quote = text[pos++];
    while (pos < text.size() && text[pos] != quote) {
        pos += text[pos] == '\\' ? 2 : 1;
    }
    pos = std::min(pos + 1, text.size());
}

// The text of one element: up to the next ',' or '}' outside brackets and quotes.
std::string_view elementText(std::string_view text, std::size_t& pos)
{
    const std::size_t start = pos;
    int depth = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '"' || c == '\'') {
            skipQuoted(text, pos);
            continue;
        }
        if (c == '(' || c == '[' || c == '{') {
            ++depth;
        } else if ((c == ')' || c == ']' || c == '}') && depth > 0) {
            --depth;
        } else if (depth == 0 && (c == ',' || c == '}')) {
            break;
        }
        ++pos;
    }
    return text.substr(start, pos - start);
}

ConstValue readValue(std::string_view text, std::size_t& pos);

ConstValue readList(std::string_view text, std::size_t& pos)
{
    ConstValue list;
    list.isList = true;
    ++pos;  // '{'
    skipBlanks(text, pos);
    while (pos < text.size() && text[pos] != '}') {
        list.elements.push_back(readValue(text, pos));
        skipBlanks(text, pos);
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
            skipBlanks(text, pos);
        } else if (pos < text.size() && text[pos] != '}') {
            // Text after a nested list before the separator belongs to nothing.
            elementText(text, pos);
        }
    }
    if (pos < text.size()) {
        ++pos;  // '}'
    }
    return list;
}

ConstValue readValue(std::string_view text, std::size_t& pos)
{
    skipBlanks(text, pos);
    if (pos < text.size() && text[pos] == '{') {
        return readList(text, pos);
    }
    return constValueOf(base::ident(trimBlanks(elementText(text, pos))));
}

}  // namespace

ConstValue constValueOf(base::Ident text)
{
    ConstValue value;
    value.text = text;
    return value;
}

ConstValue constValueFromInitialiser(std::string_view initialiser)
{
    const std::string_view text = trimBlanks(initialiser);
    if (!text.empty() && text.front() == '{') {
        std::size_t pos = 0;
        return readList(text, pos);
    }
    return constValueOf(base::ident(text));
}

std::string constValueImage(const ConstValue& value)
{
    if (!value.isList) {
        return base::identText(value.text);
    }
    std::string text = "{";
    for (std::size_t i = 0; i < value.elements.size(); ++i) {
        if (i > 0) {
            text += ", ";
        }
        text += constValueImage(value.elements[i]);
    }
    return text + "}";
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlankOrTab(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlankOrTab(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string copySubstring(std::string_view text, std::size_t start, std::size_t length)
{
    if (start >= text.size()) {
        return {};
    }
    return std::string(text.substr(start, length));
}

std::size_t findSubstring(std::string_view text, std::string_view pattern, std::size_t from)
{
    return text.find(pattern, from);
}

std::string normaliseText(std::string_view text, bool keepDollar, bool upperCase)
{
    std::string result;
    int depth = 0;
    bool blankPending = false;
    for (const char c : text) {
        if (depth == 0 && isBlankOrTab(c)) {
            blankPending = !result.empty();
            continue;
        }
        if (c == '$' && !keepDollar) {
            continue;
        }
        if (blankPending) {
            result += ' ';
            blankPending = false;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        }
        result += upperCase ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Folding helpers

namespace {

constexpr int kMaxSignificantDigits = 50;
constexpr std::int64_t kExponentLimit = 1000000000;
constexpr int kRefusedExponent = 49;
constexpr int kNegligibleFractionExponent = -48;

using base::isDigit;

DFloat dfloatOfDigit(int digit)
{
    PInt value;
    pint_from_int(value, digit);
    DFloat result;
    dfloat_from_pint(result, value);
    return result;
}

// Index in PInt::bytes of the byte holding bit n (0 to 167).
std::size_t byteOfBit(int n)
{
    return n < 160 ? static_cast<std::size_t>(n / 8 + 1) : 0;
}

bool bitAt(const PInt& a, int n)
{
    return ((a.bytes[byteOfBit(n)] >> (n % 8)) & 1) != 0;
}

void setBit(PInt& a, int n)
{
    a.bytes[byteOfBit(n)] = static_cast<std::uint8_t>(a.bytes[byteOfBit(n)] | (1u << (n % 8)));
}

// The shift count: -1 for a negative count, else its lowest byte.
int shiftCount(const PInt& count)
{
    return count.isNegative() ? -1 : count.bytes[1];
}

template <typename Op>
void bytewise(PInt& result, const PInt& a, const PInt& b, Op op)
{
    for (std::size_t i = 0; i < kPIntBytes; ++i) {
        result.bytes[i] = static_cast<std::uint8_t>(op(a.bytes[i], b.bytes[i]));
    }
}

}  // namespace

DFloat dfloat_from_text(std::string_view text, std::size_t* consumed)
{
    std::size_t pos = 0;
    PInt integer;
    int significant = 0;
    std::int32_t dropped = 0;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        if (significant == kMaxSignificantDigits) {
            ++dropped;  // beyond the precision: only the magnitude counts
            continue;
        }
        pint_mul_int(integer, integer, 10);
        pint_add_int(integer, integer, text[pos] - '0');
        significant += integer.isZero() ? 0 : 1;
    }
    DFloat value;
    dfloat_from_pint(value, integer);
    dfloat_shift(value, dropped);
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        for (std::int32_t place = 1; pos < text.size() && isDigit(text[pos]); ++pos, ++place) {
            DFloat digit = dfloatOfDigit(text[pos] - '0');
            dfloat_shift(digit, -place);
            dfloat_add(value, value, digit);
        }
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t at = pos + 1;
        const bool negative = at < text.size() && text[at] == '-';
        if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
            ++at;
        }
        if (at < text.size() && isDigit(text[at])) {
            std::int64_t shift = 0;
            for (; at < text.size() && isDigit(text[at]); ++at) {
                shift = std::min(shift * 10 + (text[at] - '0'), kExponentLimit);
            }
            dfloat_shift(value, static_cast<std::int32_t>(negative ? -shift : shift));
            pos = at;
        }
    }
    dfloat_normalise(value);
    if (consumed) {
        *consumed = pos;
    }
    return value;
}

bool dfloat_to_pint(PInt& result, const DFloat& value)
{
    DFloat rest = value;
    dfloat_normalise(rest);
    if (rest.exponent >= kRefusedExponent) {
        return false;
    }
    PInt integer;
    std::int32_t fractionExponent = rest.exponent;
    if (rest.exponent > 0) {
        for (std::int32_t i = 0; i < rest.exponent; ++i) {
            pint_mul_int(integer, integer, 10);
            pint_add_int(integer, integer, rest.mantissa.bytes[0]);
            rest.mantissa.bytes[0] = 0;
            pint_mul_int(rest.mantissa, rest.mantissa, 10);
        }
        DFloat fraction{rest.sign, rest.mantissa, 0};
        dfloat_normalise(fraction);
        fractionExponent = fraction.isZero() ? kNegligibleFractionExponent : fraction.exponent;
    } else if (rest.isZero()) {
        fractionExponent = kNegligibleFractionExponent;
    }
    if (rest.sign) {
        PInt zero;
        pint_sub(integer, zero, integer);
        if (fractionExponent > kNegligibleFractionExponent) {
            pint_add_int(integer, integer, -1);
        }
    }
    result = integer;
    return true;
}

int dfloat_cmp(const DFloat& a, const DFloat& b)
{
    DFloat x = a;
    DFloat y = b;
    dfloat_normalise(x);
    dfloat_normalise(y);
    if (x.isZero() && y.isZero()) {
        return 0;
    }
    if (x.isZero()) {
        return y.sign ? 1 : -1;
    }
    if (y.isZero()) {
        return x.sign ? -1 : 1;
    }
    if (x.sign != y.sign) {
        return x.sign ? -1 : 1;
    }
    int order = 0;
    if (x.exponent != y.exponent) {
        order = x.exponent > y.exponent ? 1 : -1;
    } else {
        order = pint_cmp(x.mantissa, y.mantissa);
    }
    return x.sign ? -order : order;
}

void pint_not(PInt& result, const PInt& a)
{
    bytewise(result, a, a, [](unsigned x, unsigned) { return ~x; });
}

void pint_or(PInt& result, const PInt& a, const PInt& b)
{
    bytewise(result, a, b, [](unsigned x, unsigned y) { return x | y; });
}

void pint_and(PInt& result, const PInt& a, const PInt& b)
{
    bytewise(result, a, b, [](unsigned x, unsigned y) { return x & y; });
}

void pint_xor(PInt& result, const PInt& a, const PInt& b)
{
    bytewise(result, a, b, [](unsigned x, unsigned y) { return x ^ y; });
}

void pint_shift_left(PInt& result, const PInt& a, const PInt& count)
{
    const int n = shiftCount(count);
    PInt shifted;
    for (int bit = 0; n >= 0 && bit + n < kPIntBits; ++bit) {
        if (bitAt(a, bit)) {
            setBit(shifted, bit + n);
        }
    }
    result = shifted;
}

void pint_shift_right(PInt& result, const PInt& a, const PInt& count)
{
    const int n = shiftCount(count);
    PInt shifted;
    for (int bit = 0; n >= 0 && bit < kPIntBits; ++bit) {
        const int from = bit + n;
        if (from < kPIntBits ? bitAt(a, from) : a.isNegative()) {
            setBit(shifted, bit);
        }
    }
    result = shifted;
}

void pint_logical_not(PInt& result, const PInt& a)
{
    pint_from_int(result, a.isZero() ? 1 : 0);
}

void dfloat_logical_not(PInt& result, const DFloat& a)
{
    pint_from_int(result, a.isZero() ? 1 : 0);
}

}  // namespace qvm::canalysis
