// Exact constant arithmetic: the big integer and decimal conversions.
#include "canalysis/constants/mfmath.h"

#include "diag/i18nerrgest.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace qvm::canalysis {

namespace {

// The value's bytes in order of weight: digits[0] has weight 1, digits[20]
// is the signed top byte. All arithmetic below works on this form.
using Digits = std::array<std::uint8_t, kPIntBytes>;
constexpr std::size_t kTop = kPIntBytes - 1;

Digits digitsOf(const PInt& a)
{
    Digits d{};
    std::copy(a.bytes.begin() + 1, a.bytes.end(), d.begin());
    d[kTop] = a.bytes[0];
    return d;
}

PInt pintOf(const Digits& d)
{
    PInt a;
    std::copy(d.begin(), d.begin() + kTop, a.bytes.begin() + 1);
    a.bytes[0] = d[kTop];
    return a;
}

bool signBit(const Digits& d)
{
    return (d[kTop] & 0x80) != 0;
}

bool isZero(const Digits& d)
{
    return std::all_of(d.begin(), d.end(), [](std::uint8_t b) { return b == 0; });
}

// Two's-complement negation modulo 2^168.
Digits negated(const Digits& d)
{
    Digits r{};
    unsigned carry = 1;
    for (std::size_t i = 0; i < kPIntBytes; ++i) {
        const unsigned sum = static_cast<std::uint8_t>(~d[i]) + carry;
        r[i] = static_cast<std::uint8_t>(sum);
        carry = sum >> 8;
    }
    return r;
}

// The magnitude as an unsigned 168-bit number (2^167 for the smallest value).
Digits magnitude(const Digits& d)
{
    return signBit(d) ? negated(d) : d;
}

Digits sumOf(const Digits& a, const Digits& b)
{
    Digits r{};
    unsigned carry = 0;
    for (std::size_t i = 0; i < kPIntBytes; ++i) {
        const unsigned sum = a[i] + b[i] + carry;
        r[i] = static_cast<std::uint8_t>(sum);
        carry = sum >> 8;
    }
    return r;
}

Digits differenceOf(const Digits& a, const Digits& b)
{
    Digits r{};
    int borrow = 0;
    for (std::size_t i = 0; i < kPIntBytes; ++i) {
        const int difference = a[i] - b[i] - borrow + 512;
        r[i] = static_cast<std::uint8_t>(difference);
        borrow = 2 - (difference >> 8);
    }
    return r;
}

// Unsigned comparison of two magnitudes.
int compareUnsigned(const Digits& a, const Digits& b)
{
    for (std::size_t i = kPIntBytes; i-- > 0;) {
        if (a[i] != b[i]) {
            return a[i] > b[i] ? 1 : -1;
        }
    }
    return 0;
}

// Unsigned division by a small divisor; returns the remainder.
unsigned divideUnsigned(Digits& d, unsigned divisor)
{
    unsigned remainder = 0;
    for (std::size_t i = kPIntBytes; i-- > 0;) {
        const unsigned current = remainder * 256 + d[i];
        d[i] = static_cast<std::uint8_t>(current / divisor);
        remainder = current % divisor;
    }
    return remainder;
}

// Unsigned multiplication by a small factor; returns what passed the top byte.
unsigned multiplyUnsigned(Digits& d, unsigned factor)
{
    unsigned carry = 0;
    for (auto& byte : d) {
        const unsigned product = byte * factor + carry;
        byte = static_cast<std::uint8_t>(product);
        carry = product >> 8;
    }
    return carry;
}

// Full product of two magnitudes, 42 places.
std::array<std::uint8_t, 2 * kPIntBytes> wideProduct(const Digits& a, const Digits& b)
{
    std::array<std::uint32_t, 2 * kPIntBytes> places{};
    for (std::size_t i = 0; i < kPIntBytes; ++i) {
        for (std::size_t j = 0; j < kPIntBytes; ++j) {
            places[i + j] += static_cast<std::uint32_t>(a[i]) * b[j];
        }
    }
    std::array<std::uint8_t, 2 * kPIntBytes> result{};
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::uint64_t value = places[i] + carry;
        result[i] = static_cast<std::uint8_t>(value);
        carry = value >> 8;
    }
    return result;
}

void overflow()
{
    diag::errorAt("OVERFLOW");
}

Digits fromInt64(std::int64_t n)
{
    Digits d{};
    auto bits = static_cast<std::uint64_t>(n);
    const std::uint8_t fill = n < 0 ? 0xff : 0x00;
    for (std::size_t i = 0; i < kPIntBytes; ++i) {
        d[i] = i < 8 ? static_cast<std::uint8_t>(bits >> (8 * i)) : fill;
    }
    return d;
}

bool bitAt(const Digits& d, int n)
{
    return ((d[static_cast<std::size_t>(n / 8)] >> (n % 8)) & 1) != 0;
}

void setBit(Digits& d, int n, bool on)
{
    const auto mask = static_cast<std::uint8_t>(1u << (n % 8));
    auto& byte = d[static_cast<std::size_t>(n / 8)];
    byte = on ? static_cast<std::uint8_t>(byte | mask) : static_cast<std::uint8_t>(byte & ~mask);
}

}  // namespace

bool PInt::isZero() const
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

void pint_add(PInt& result, const PInt& a, const PInt& b)
{
    const Digits x = digitsOf(a);
    const Digits y = digitsOf(b);
    const Digits sum = sumOf(x, y);
    result = pintOf(sum);
    if (signBit(x) == signBit(y) && signBit(sum) != signBit(x)) {
        overflow();
    }
}

void pint_sub(PInt& result, const PInt& a, const PInt& b)
{
    const Digits x = digitsOf(a);
    const Digits y = digitsOf(b);
    const Digits difference = differenceOf(x, y);
    result = pintOf(difference);
    if (signBit(x) != signBit(y) && signBit(difference) != signBit(x)) {
        overflow();
    }
}

void pint_add_int(PInt& result, const PInt& a, std::int32_t n)
{
    PInt addend;
    pint_from_int(addend, n);
    pint_add(result, a, addend);
}

void pint_mul(PInt& result, const PInt& a, const PInt& b)
{
    const Digits x = digitsOf(a);
    const Digits y = digitsOf(b);
    const auto product = wideProduct(magnitude(x), magnitude(y));
    Digits low{};
    std::copy(product.begin(), product.begin() + kPIntBytes, low.begin());
    const bool beyond = std::any_of(product.begin() + kPIntBytes, product.end(), [](std::uint8_t b) { return b != 0; });
    result = pintOf(signBit(x) != signBit(y) ? negated(low) : low);
    if (beyond || signBit(low)) {
        overflow();
    }
}

void pint_mul_int(PInt& result, const PInt& a, std::int32_t n)
{
    const Digits x = digitsOf(a);
    Digits r{};
    std::int64_t carry = 0;
    for (std::size_t i = 0; i < kTop; ++i) {
        const std::int64_t product = static_cast<std::int64_t>(x[i]) * n + carry;
        r[i] = static_cast<std::uint8_t>(product & 0xff);
        carry = product >> 8;
    }
    const std::int64_t top = static_cast<std::int64_t>(static_cast<std::int8_t>(x[kTop])) * n + carry;
    r[kTop] = static_cast<std::uint8_t>(top & 0xff);
    result = pintOf(r);
    const int signA = isZero(x) ? 0 : (signBit(x) ? -1 : 1);
    const int signN = n == 0 ? 0 : (n < 0 ? -1 : 1);
    const int signR = isZero(r) ? 0 : (signBit(r) ? -1 : 1);
    if (top < -128 || top > 127 || signR != signA * signN) {
        overflow();
    }
}

void pint_div_int(PInt& quotient, const PInt& a, int divisor, int& remainder)
{
    if (divisor < 1 || divisor > 255) {
        diag::internalAt("ERRINTFCT", "gfmath div_euclid_pint");
    }
    const PInt source = a;
    int rest = static_cast<std::int8_t>(source.bytes[0]);
    quotient.bytes[0] = static_cast<std::uint8_t>(rest / divisor);
    rest %= divisor;
    for (std::size_t i = kPIntBytes - 1; i >= 1; --i) {
        const int current = rest * 256 + source.bytes[i];
        quotient.bytes[i] = static_cast<std::uint8_t>(current / divisor);
        rest = current % divisor;
    }
    remainder = rest;
}

void pint_div(PInt& quotient, const PInt& a, const PInt& b, PInt& remainder)
{
    const Digits x = digitsOf(a);
    const Digits y = digitsOf(b);
    if (isZero(y)) {
        diag::errorAt("DIVBYZERO");
        quotient = PInt{};
        remainder = PInt{};
        return;
    }
    const Digits dividend = magnitude(x);
    const Digits divisor = magnitude(y);
    Digits q{};
    Digits r{};
    for (int bit = kPIntBits - 1; bit >= 0; --bit) {
        multiplyUnsigned(r, 2);
        setBit(r, 0, bitAt(dividend, bit));
        if (compareUnsigned(r, divisor) >= 0) {
            r = differenceOf(r, divisor);
            setBit(q, bit, true);
        }
    }
    const bool negativeQuotient = signBit(x) != signBit(y);
    quotient = pintOf(negativeQuotient ? negated(q) : q);
    remainder = pintOf(signBit(x) ? negated(r) : r);
    if (!negativeQuotient && signBit(q)) {
        overflow();  // the smallest value divided by -1
    }
}

int pint_cmp(const PInt& a, const PInt& b)
{
    const auto topA = static_cast<std::int8_t>(a.bytes[0]);
    const auto topB = static_cast<std::int8_t>(b.bytes[0]);
    if (topA != topB) {
        return topA > topB ? 1 : -1;
    }
    for (std::size_t i = kPIntBytes - 1; i >= 1; --i) {
        if (a.bytes[i] != b.bytes[i]) {
            return a.bytes[i] > b.bytes[i] ? 1 : -1;
        }
    }
    return 0;
}

void pint_from_int(PInt& result, std::int32_t n)
{
    result = pintOf(fromInt64(n));
}

void pint_from_int64(PInt& result, std::int64_t n)
{
    result = pintOf(fromInt64(n));
}

std::int32_t pint_to_int(const PInt& a)
{
    const Digits d = digitsOf(a);
    const Digits m = magnitude(d);
    std::uint32_t accumulated = 0;
    for (std::size_t i = kPIntBytes; i-- > 0;) {
        if (accumulated > 0x7fffff) {
            overflow();
            return 0;
        }
        accumulated = accumulated * 256 + m[i];
    }
    const auto value = static_cast<std::int32_t>(accumulated);
    return signBit(d) ? -value : value;
}

bool pint_fits(const PInt& a, int n)
{
    if (n >= kPIntBits - 1) {
        return true;
    }
    n = std::max(n, 0);
    const Digits d = digitsOf(a);
    const bool reference = bitAt(d, n);
    int bit = n + 1;
    for (; bit % 8 != 0; ++bit) {
        if (bitAt(d, bit) != reference) {
            return false;
        }
    }
    // Whole bytes above: each must repeat the reference bit.
    const std::uint8_t fill = reference ? 0xff : 0x00;
    return std::all_of(d.begin() + bit / 8, d.end(), [fill](std::uint8_t byte) { return byte == fill; });
}

void pint_extend(PInt& a, int n)
{
    if (n < 0 || n >= kPIntBits - 1) {
        return;
    }
    Digits d = digitsOf(a);
    const bool sign = bitAt(d, n);
    for (int bit = n + 1; bit < kPIntBits; ++bit) {
        setBit(d, bit, sign);
    }
    a = pintOf(d);
}

void pint_truncate(PInt& a, int n)
{
    Digits d = digitsOf(a);
    for (int bit = std::max(n, 0); bit < kPIntBits; ++bit) {
        setBit(d, bit, false);
    }
    a = pintOf(d);
}

namespace {

// The bytes a hexadecimal or binary image shows, most significant first.
std::vector<std::uint8_t> shownBytes(const PInt& a, int size)
{
    const Digits d = digitsOf(a);
    std::size_t first = kTop;  // index of the most significant byte shown
    if (size > 0) {
        const std::size_t kept = static_cast<std::size_t>(size + 7) / 8;
        // A uniform run of 0 bytes, or of 255 bytes resting on a byte with its
        // top bit set, above the size is only the sign extension.
        const std::uint8_t fill = d[kTop];
        if (fill == 0 || fill == 0xff) {
            while (first >= kept && d[first] == fill && (fill == 0 || (d[first - 1] & 0x80) != 0)) {
                --first;
            }
        }
        std::vector<std::uint8_t> shown;
        for (std::size_t i = first + 1; i-- > 0;) {
            shown.push_back(d[i]);
        }
        return shown;
    }
    std::vector<std::uint8_t> shown{d[kTop]};
    std::size_t i = kTop;
    if (d[kTop] == 0 || d[kTop] == 0xff) {
        while (i > 0 && d[i - 1] == d[kTop]) {
            --i;
        }
    }
    while (i-- > 0) {
        shown.push_back(d[i]);
    }
    return shown;
}

std::string hexDigits(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const auto byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0xf];
    }
    return text;
}

std::string binaryDigits(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    for (const auto byte : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            text += ((byte >> bit) & 1) != 0 ? '1' : '0';
        }
    }
    return text;
}

std::string decimalImage(const PInt& a)
{
    const Digits d = digitsOf(a);
    Digits m = magnitude(d);
    if (isZero(m)) {
        return "0";
    }
    std::string reversed;
    while (!isZero(m)) {
        reversed += static_cast<char>('0' + divideUnsigned(m, 10));
    }
    if (signBit(d)) {
        reversed += '-';
    }
    return {reversed.rbegin(), reversed.rend()};
}

}  // namespace

void pint_image(const PInt& a, int format, int size, std::string& text)
{
    switch (format) {
    case kImageDecimal:
    case kImageUnsigned:
    case kImageDefault:
        text = decimalImage(a);
        return;
    case kImageHexSuffix:
    case kImageBinarySuffix:
    case kImageBinaryPrefix:
    case kImageHexPrefix:
        break;
    default:
        diag::internalAt("TRFSTRINT", "gfmath pint_image");
    }
    size = size < 0 ? -size : size;
    if (size > kMaxImageBits) {
        overflow();
        size = 0;
    }
    const auto bytes = shownBytes(a, size);
    switch (format) {
    case kImageHexSuffix:
        text = hexDigits(bytes);
        if (text[0] >= 'A') {
            text.insert(0, "0");
        }
        text += 'H';
        break;
    case kImageBinarySuffix: text = binaryDigits(bytes) + "B"; break;
    case kImageBinaryPrefix: text = "0b" + binaryDigits(bytes); break;
    default: text = "0x" + hexDigits(bytes); break;
    }
}

// ---------------------------------------------------------------------------
// Decimal floating values. The mantissa is handled as an unsigned fixed-point
// number: digits[20] is the integer part.

namespace {

std::int32_t addExponents(std::int64_t a, std::int64_t b)
{
    const std::int64_t sum = a + b;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

DFloat normalisedCopy(const DFloat& a)
{
    DFloat copy = a;
    dfloat_normalise(copy);
    return copy;
}

void setZero(DFloat& a)
{
    a = DFloat{};
}

}  // namespace

void dfloat_normalise(DFloat& a)
{
    Digits m = digitsOf(a.mantissa);
    if (signBit(m)) {
        m = negated(m);
        a.sign = a.sign ? 0 : 1;
    }
    if (isZero(m)) {
        setZero(a);
        return;
    }
    while (m[kTop] >= 10) {
        divideUnsigned(m, 10);
        a.exponent = addExponents(a.exponent, 1);
    }
    while (m[kTop] == 0) {
        multiplyUnsigned(m, 10);
        a.exponent = addExponents(a.exponent, -1);
    }
    a.mantissa = pintOf(m);
    a.sign = a.sign ? 1 : 0;
}

void dfloat_from_pint(DFloat& result, const PInt& a)
{
    const Digits d = digitsOf(a);
    Digits rest = magnitude(d);
    Digits m{};
    std::int32_t digits = 0;
    unsigned lastRemainder = 0;
    while (!isZero(rest)) {
        const unsigned digit = divideUnsigned(rest, 10);
        lastRemainder = divideUnsigned(m, 10);
        m[kTop] = static_cast<std::uint8_t>(m[kTop] + digit);
        ++digits;
    }
    if (lastRemainder >= 5) {
        m = sumOf(m, fromInt64(1));
    }
    result.sign = signBit(d) ? 1 : 0;
    result.mantissa = pintOf(m);
    result.exponent = digits;
    dfloat_normalise(result);
}

void dfloat_align(DFloat& a, DFloat& b)
{
    DFloat& smaller = a.exponent < b.exponent ? a : b;
    const std::int32_t target = std::max(a.exponent, b.exponent);
    Digits m = digitsOf(smaller.mantissa);
    while (smaller.exponent < target && !isZero(m)) {
        divideUnsigned(m, 10);
        ++smaller.exponent;
    }
    smaller.exponent = target;
    smaller.mantissa = pintOf(m);
}

void dfloat_add(DFloat& result, const DFloat& a, const DFloat& b)
{
    if (a.isZero()) {
        result = b;
        return;
    }
    if (b.isZero()) {
        result = a;
        return;
    }
    DFloat x = normalisedCopy(a);
    DFloat y = normalisedCopy(b);
    dfloat_align(x, y);
    const Digits mx = digitsOf(x.mantissa);
    const Digits my = digitsOf(y.mantissa);
    DFloat sum;
    sum.exponent = x.exponent;
    if ((x.sign != 0) == (y.sign != 0)) {
        sum.mantissa = pintOf(sumOf(mx, my));
        sum.sign = x.sign;
    } else if (compareUnsigned(mx, my) >= 0) {
        sum.mantissa = pintOf(differenceOf(mx, my));
        sum.sign = x.sign;
    } else {
        sum.mantissa = pintOf(differenceOf(my, mx));
        sum.sign = y.sign;
    }
    dfloat_normalise(sum);
    result = sum;
}

void dfloat_sub(DFloat& result, const DFloat& a, const DFloat& b)
{
    DFloat negatedB = b;
    negatedB.sign = b.sign ? 0 : 1;
    dfloat_add(result, a, negatedB);
    if (result.isZero()) {
        setZero(result);
    }
}

void dfloat_mul(DFloat& result, const DFloat& a, const DFloat& b)
{
    if (a.isZero() || b.isZero()) {
        setZero(result);
        return;
    }
    const DFloat x = normalisedCopy(a);
    const DFloat y = normalisedCopy(b);
    const auto product = wideProduct(digitsOf(x.mantissa), digitsOf(y.mantissa));
    Digits m{};
    std::copy(product.begin() + kTop, product.begin() + kTop + kPIntBytes, m.begin());
    DFloat r;
    r.sign = (x.sign != 0) != (y.sign != 0) ? 1 : 0;
    r.mantissa = pintOf(m);
    r.exponent = addExponents(addExponents(x.exponent, y.exponent), -1);
    dfloat_normalise(r);
    result = r;
}

void dfloat_div(DFloat& result, const DFloat& a, const DFloat& b)
{
    if (b.isZero()) {
        diag::errorAt("DIVBYZERO");
        setZero(result);
        return;
    }
    if (a.isZero()) {
        setZero(result);
        return;
    }
    const DFloat x = normalisedCopy(a);
    const DFloat y = normalisedCopy(b);
    // Fifty quotient digits by repeated subtraction: the first is the integer part.
    constexpr int kQuotientDigits = 50;
    const Digits divisor = digitsOf(y.mantissa);
    Digits rest = digitsOf(x.mantissa);
    Digits quotient{};
    for (int i = 0; i < kQuotientDigits; ++i) {
        unsigned digit = 0;
        while (compareUnsigned(rest, divisor) >= 0) {
            rest = differenceOf(rest, divisor);
            ++digit;
        }
        multiplyUnsigned(quotient, 10);
        quotient = sumOf(quotient, fromInt64(digit));
        multiplyUnsigned(rest, 10);
    }
    DFloat r;
    dfloat_from_pint(r, pintOf(quotient));
    r.exponent = addExponents(r.exponent, static_cast<std::int64_t>(x.exponent) - y.exponent - (kQuotientDigits - 1));
    r.sign = (x.sign != 0) != (y.sign != 0) ? 1 : 0;
    result = r;
}

void dfloat_shift(DFloat& a, std::int32_t n)
{
    if (!a.isZero()) {
        a.exponent = addExponents(a.exponent, n);
    }
}

namespace {

// Rounds a text of digits cut at the digit limit: a last 7 to 9 after a 9
// rounds up through the 9s, a last 0 to 3 after a 0 goes with the zeros.
void roundCutDigits(std::string& digits, std::int32_t& exponent)
{
    if (digits.size() < 2) {
        return;
    }
    const char last = digits.back();
    const char before = digits[digits.size() - 2];
    if (last >= '7' && before == '9') {
        digits.pop_back();
        while (!digits.empty() && digits.back() == '9') {
            digits.pop_back();
        }
        if (digits.empty()) {
            digits = "1";
            exponent = addExponents(exponent, 1);
        } else {
            ++digits.back();
        }
    } else if (last <= '3' && before == '0') {
        digits.pop_back();
        while (digits.size() > 1 && digits.back() == '0') {
            digits.pop_back();
        }
    }
}

}  // namespace

std::string dfloat_image(const DFloat& a, int digitLimit)
{
    const DFloat value = normalisedCopy(a);
    if (value.isZero()) {
        return "0.0";
    }
    const std::size_t limit = digitLimit >= 1 && digitLimit <= 19 ? static_cast<std::size_t>(digitLimit) : 19;
    Digits m = digitsOf(value.mantissa);
    std::string digits;
    digits += static_cast<char>('0' + m[kTop]);
    m[kTop] = 0;
    while (!isZero(m) && digits.size() < limit) {
        multiplyUnsigned(m, 10);
        digits += static_cast<char>('0' + m[kTop]);
        m[kTop] = 0;
    }
    std::int32_t exponent = value.exponent;
    if (digits.size() == limit) {
        roundCutDigits(digits, exponent);
    }
    std::string text = value.sign ? "-0." : "0.";
    text += digits;
    if (exponent != 0) {
        text += "E" + std::to_string(exponent);
    }
    return text;
}

}  // namespace qvm::canalysis
