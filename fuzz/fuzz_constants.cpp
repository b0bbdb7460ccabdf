// Fuzzes the decimal floating reader and text form, the conversion back to a
// big integer, and the big-integer operations on operands taken from the input.
#include "canalysis/constants/cvalue.h"
#include "canalysis/constants/mfmath.h"
#include "diag/i18nerrgest.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace qvm::canalysis;

PInt operandAt(const std::uint8_t* data, std::size_t size, std::size_t offset)
{
    PInt value;
    for (std::size_t i = 0; i < kPIntBytes && offset + i < size; ++i) {
        value.bytes[i] = data[offset + i];
    }
    return value;
}

void exerciseBigIntegers(const std::uint8_t* data, std::size_t size)
{
    const PInt a = operandAt(data, size, 1);
    const PInt b = operandAt(data, size, 1 + kPIntBytes);
    PInt r;
    PInt rest;
    int remainder = 0;
    pint_add(r, a, b);
    pint_sub(r, a, b);
    pint_mul(r, a, b);
    pint_mul_int(r, a, static_cast<std::int32_t>(b.bytes[1] << 24 | b.bytes[2] << 16 | b.bytes[3]));
    pint_div(r, a, b, rest);
    pint_div_int(r, a, std::max(1, static_cast<int>(b.bytes[1])), remainder);
    pint_shift_left(r, a, b);
    pint_shift_right(r, a, b);
    pint_to_int(a);
    std::string text;
    for (const int format : {0, 1, 2, 7, 8}) {
        pint_image(a, format, data[0] % 200, text);
    }
    DFloat x;
    DFloat y;
    DFloat z;
    dfloat_from_pint(x, a);
    dfloat_from_pint(y, b);
    dfloat_mul(z, x, y);
    dfloat_div(z, x, y);
    dfloat_sub(z, x, y);
    dfloat_image(z, data[0] % 25);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = [] {
        qvm::diag::setConsoleSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;
    if (size == 0) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const DFloat value = dfloat_from_text(text);
    dfloat_image(value, data[0] % 25);
    PInt integer;
    dfloat_to_pint(integer, value);
    DFloat doubled;
    dfloat_add(doubled, value, value);
    dfloat_cmp(value, doubled);
    exerciseBigIntegers(data, size);
    return 0;
}
