// Exact constants: a 168-bit two's-complement big integer and the decimal
// floating value built on it. Results may be written over an operand.
// Overflow and division errors are reported at the current position and the
// truncated result stays in place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qvm::canalysis {

constexpr std::size_t kPIntBytes = 21;
constexpr int kPIntBits = 168;

// bytes[0] is the most significant byte and is signed; bytes[1] to bytes[20]
// hold the rest, least significant first (bytes[1] has weight 1).
struct PInt {
    std::array<std::uint8_t, kPIntBytes> bytes{};

    bool operator==(const PInt&) const = default;
    bool isNegative() const { return (bytes[0] & 0x80) != 0; }
    bool isZero() const;
};

void pint_add(PInt& result, const PInt& a, const PInt& b);
void pint_sub(PInt& result, const PInt& a, const PInt& b);
void pint_add_int(PInt& result, const PInt& a, std::int32_t n);
void pint_mul(PInt& result, const PInt& a, const PInt& b);
void pint_mul_int(PInt& result, const PInt& a, std::int32_t n);

// Division by a divisor from 1 to 255, byte by byte from the most
// significant byte (which is divided as a signed byte).
void pint_div_int(PInt& quotient, const PInt& a, int divisor, int& remainder);

// Truncating division; the remainder has the sign of a.
void pint_div(PInt& quotient, const PInt& a, const PInt& b, PInt& remainder);

// 1 when a > b, 0 when equal, -1 when a < b.
int pint_cmp(const PInt& a, const PInt& b);

void pint_from_int(PInt& result, std::int32_t n);
void pint_from_int64(PInt& result, std::int64_t n);
std::int32_t pint_to_int(const PInt& a);

// Bits are numbered from 0 (lowest bit of bytes[1]) to 167 (top of bytes[0]).
// pint_fits: every bit from bit n up equals bit n. pint_extend copies bit n
// into every higher bit; pint_truncate clears every bit from bit n up.
bool pint_fits(const PInt& a, int n);
void pint_extend(PInt& a, int n);
void pint_truncate(PInt& a, int n);

// Forms of an integer's image; callers may pass the numbers, which follow
// the display kinds of value texts (base::DisplayKind).
enum PIntImage : int {
    kImageHexSuffix = 0,     // "...H", a leading 0 before a letter digit
    kImageDecimal = 1,
    kImageBinarySuffix = 2,  // "...B"
    kImageUnsigned = 3,      // decimal
    kImageDefault = 6,       // decimal
    kImageBinaryPrefix = 7,  // "0b..."
    kImageHexPrefix = 8,     // "0x..."
};
// The widest size an image shows; a larger one is an overflow.
constexpr int kMaxImageBits = 160;

// The image of a in one of the PIntImage forms (any other is an internal
// error). size is the size in bits of the value's type (sign ignored) or 0.
void pint_image(const PInt& a, int format, int size, std::string& text);

// Decimal floating value: sign x mantissa x 10^(exponent - 1), the mantissa a
// fixed-point number with bytes[0] as integer part and bytes[1..20] as fraction.
struct DFloat {
    int sign = 0;               // nonzero for negative
    PInt mantissa;              // unsigned fixed point; bytes[0] is the integer part (1-9 once normalised)
    std::int32_t exponent = 0;  // power of ten the mantissa is scaled by

    bool isZero() const { return mantissa.isZero(); }
};

void dfloat_normalise(DFloat& a);
void dfloat_from_pint(DFloat& result, const PInt& a);
void dfloat_add(DFloat& result, const DFloat& a, const DFloat& b);
void dfloat_sub(DFloat& result, const DFloat& a, const DFloat& b);
void dfloat_mul(DFloat& result, const DFloat& a, const DFloat& b);
void dfloat_div(DFloat& result, const DFloat& a, const DFloat& b);

// Brings both operands to the larger exponent (the other mantissa divided by 10).
void dfloat_align(DFloat& a, DFloat& b);

// Multiplies the value by 10^n.
void dfloat_shift(DFloat& a, std::int32_t n);

// "0.ddd" with at most `digits` digits (19 when not from 1 to 19), then "E"
// and the exponent when it is not 0; zero is "0.0".
std::string dfloat_image(const DFloat& a, int digits);

}  // namespace qvm::canalysis
