// Big integers and decimal floating values: the arithmetic, its reports and
// the text forms. Random operands are checked against a reference in
// check_pint.py; these are the cases worth reading.
#include "canalysis/constants/mfmath.h"
#include "constants_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace qvm::canalysis;
using qvm::testing::decimalOf;
using qvm::testing::pintFromDecimal;
using qvm::testing::pintMax;
using qvm::testing::pintMin;
using qvm::testing::pintOf;
using Codes = std::vector<std::string>;

class BigInteger : public qvm::testing::DiagnosticsCapture {
protected:
    std::string image(const PInt& value, int format, int size)
    {
        std::string text;
        pint_image(value, format, size, text);
        return text;
    }
};

TEST_F(BigInteger, MaxPlusOneWrapsToMinByte)
{
    PInt sum;
    pint_add(sum, pintMax(), pintOf(1));
    EXPECT_EQ(takeCodes(), Codes{"OVERFLOW"});
    EXPECT_EQ(static_cast<std::int8_t>(sum.bytes[0]), -128);
    EXPECT_EQ(sum, pintMin());

    pint_add_int(sum, pintMax(), 1);
    EXPECT_EQ(takeCodes(), Codes{"OVERFLOW"});
    EXPECT_EQ(sum, pintMin());
}

TEST_F(BigInteger, OverflowOnlyOutOfRange)
{
    PInt result;
    pint_add(result, pintMin(), pintOf(-1));
    pint_sub(result, pintMin(), pintOf(1));
    pint_sub(result, pintOf(0), pintMin());
    pint_mul_int(result, pintMax(), 2);
    EXPECT_EQ(takeCodes(), Codes(4, "OVERFLOW"));

    pint_add(result, pintMax(), pintOf(-1));
    pint_sub(result, pintMin(), pintOf(-1));
    pint_sub(result, pintOf(-1), pintMax());
    EXPECT_EQ(result, pintMin());
    pint_mul_int(result, pintFromDecimal("-1000000000000"), -7);
    EXPECT_EQ(decimalOf(result), "7000000000000");
    EXPECT_TRUE(takeCodes().empty());
}

TEST_F(BigInteger, MultipliesMagnitudes)
{
    PInt product;
    const PInt big = pintFromDecimal("-12345678901234567890123");
    pint_mul(product, big, big);
    EXPECT_EQ(decimalOf(product), "152415787532388367504942236884722755800955129");
    EXPECT_TRUE(takeCodes().empty());

    // A magnitude reaching bit 167 overflows, even for the smallest value.
    pint_mul(product, pintMin(), pintOf(1));
    EXPECT_EQ(takeCodes(), Codes{"OVERFLOW"});
    pint_mul(product, pintMax(), pintOf(2));
    EXPECT_EQ(takeCodes(), Codes{"OVERFLOW"});
    pint_mul(product, pintMin(), pintOf(0));
    EXPECT_TRUE(product.isZero());
    EXPECT_TRUE(takeCodes().empty());
}

TEST_F(BigInteger, SmallDivisorFrom1To255)
{
    PInt quotient;
    int remainder = 0;
    EXPECT_EQ(statusOf([&] { pint_div_int(quotient, pintOf(10), 256, remainder); }), 9);
    EXPECT_EQ(takeCodes(), Codes{"ERRINTFCT"});
    EXPECT_EQ(statusOf([&] { pint_div_int(quotient, pintOf(10), 0, remainder); }), 9);
    EXPECT_NE(console.find("gfmath div_euclid_pint"), std::string::npos);
}

TEST_F(BigInteger, SmallDivisionFromSignedTop)
{
    PInt quotient;
    int remainder = 0;
    pint_div_int(quotient, pintFromDecimal("1000000000000000000000000000001"), 7, remainder);
    EXPECT_EQ(decimalOf(quotient), "142857142857142857142857142857");
    EXPECT_EQ(remainder, 2);

    // -7: every step divides -1 (the carried remainder) until the last byte,
    // where -7 / 2 leaves the digit -3 stored as the byte 253 and remainder -1.
    pint_div_int(quotient, pintOf(-7), 2, remainder);
    EXPECT_EQ(decimalOf(quotient), "253");
    EXPECT_EQ(remainder, -1);
}

TEST_F(BigInteger, LongDivisionTruncatesToZero)
{
    PInt quotient;
    PInt remainder;
    pint_div(quotient, pintOf(-7), pintOf(2), remainder);
    EXPECT_EQ(decimalOf(quotient), "-3");
    EXPECT_EQ(decimalOf(remainder), "-1");
    pint_div(quotient, pintMin(), pintFromDecimal("-1000000000000000000000"), remainder);
    EXPECT_EQ(decimalOf(quotient), "187072209578355573530071658587");
    EXPECT_EQ(decimalOf(remainder), "-684226515959365500928");
    EXPECT_TRUE(takeCodes().empty());

    pint_div(quotient, pintOf(5), pintOf(0), remainder);
    EXPECT_EQ(takeCodes(), Codes{"DIVBYZERO"});
    pint_div(quotient, pintMin(), pintOf(-1), remainder);
    EXPECT_EQ(takeCodes(), Codes{"OVERFLOW"});
}

TEST_F(BigInteger, ComparisonAndSmallIntegers)
{
    EXPECT_EQ(pint_cmp(pintMin(), pintMax()), -1);
    EXPECT_EQ(pint_cmp(pintOf(256), pintOf(255)), 1);
    EXPECT_EQ(pint_cmp(pintOf(-1), pintOf(-1)), 0);
    EXPECT_EQ(pint_cmp(pintOf(-1), pintOf(0)), -1);

    EXPECT_EQ(pint_to_int(pintOf(-2147483647)), -2147483647);
    EXPECT_EQ(pint_to_int(pintOf(2147483647)), 2147483647);
    EXPECT_TRUE(takeCodes().empty());
    EXPECT_EQ(pint_to_int(pintFromDecimal("2147483648")), 0);
    EXPECT_EQ(pint_to_int(pintOf(-2147483647 - 1)), 0);  // its magnitude passes 0x7fffff before the last byte
    EXPECT_EQ(takeCodes(), Codes(2, "OVERFLOW"));
}

TEST_F(BigInteger, FitsExtendTruncateOnBitN)
{
    EXPECT_FALSE(pint_fits(pintOf(128), 7));
    EXPECT_TRUE(pint_fits(pintOf(128), 8));
    EXPECT_TRUE(pint_fits(pintOf(-128), 7));
    EXPECT_FALSE(pint_fits(pintOf(-129), 7));
    EXPECT_TRUE(pint_fits(pintMin(), 167));
    // Bit n inside a byte, at a byte's top and bottom, and near the top.
    for (const int n : {0, 6, 15, 16, 31, 100, 160, 166}) {
        PInt top = pintOf(1);
        for (int i = 0; i < n; ++i) {
            pint_mul_int(top, top, 2);
        }
        PInt below = top;
        pint_add_int(below, below, -1);
        PInt negative;
        pint_sub(negative, pintOf(0), top);
        EXPECT_TRUE(pint_fits(below, n)) << n;
        EXPECT_FALSE(pint_fits(top, n)) << n;
        EXPECT_TRUE(pint_fits(negative, n)) << n;
        pint_add_int(negative, negative, -1);
        EXPECT_FALSE(pint_fits(negative, n)) << n;
    }

    PInt value = pintOf(0x80);
    pint_extend(value, 7);
    EXPECT_EQ(decimalOf(value), "-128");
    pint_truncate(value, 8);
    EXPECT_EQ(decimalOf(value), "128");
    value = pintOf(-1);
    pint_truncate(value, 160);
    EXPECT_EQ(value.bytes[0], 0);
    EXPECT_EQ(value.bytes[20], 0xff);
}

TEST_F(BigInteger, ImagesInEveryFormat)
{
    const PInt v255 = pintOf(255);
    EXPECT_EQ(image(v255, 0, 8), "0FFH");
    EXPECT_EQ(image(v255, 8, 8), "0xFF");
    EXPECT_EQ(image(v255, 0, 0), "00FFH");
    EXPECT_EQ(image(v255, 1, 0), "255");
    EXPECT_EQ(image(pintOf(-255), 1, 0), "-255");
    EXPECT_EQ(image(pintOf(-255), 3, 16), "-255");
    EXPECT_EQ(image(pintOf(0), 6, 0), "0");
    EXPECT_EQ(image(pintMin(), 1, 0), "-187072209578355573530071658587684226515959365500928");

    EXPECT_EQ(image(pintOf(5), 2, 8), "00000101B");
    EXPECT_EQ(image(pintOf(5), 7, 16), "0b0000000000000101");
    EXPECT_EQ(image(pintOf(-1), 8, 16), "0xFFFF");
    EXPECT_EQ(image(pintOf(-1), 8, -16), "0xFFFF");
    EXPECT_EQ(image(pintOf(-1), 0, 0), "0FFH");
    EXPECT_EQ(image(pintOf(0x1234), 8, 8), "0x1234");    // a higher byte that is not sign extension
    EXPECT_EQ(image(pintOf(-256), 8, 8), "0xFF00");
    EXPECT_EQ(image(pintOf(0x12), 0, 0), "0012H");       // byte 0, then the bytes after the zeros
    PInt mixed = pintOf(1);
    mixed.bytes[0] = 0x12;
    EXPECT_EQ(image(mixed, 8, 0), "0x12" + std::string(38, '0') + "01");
    EXPECT_TRUE(takeCodes().empty());

    EXPECT_EQ(image(pintOf(1), 8, 168), "0x0001");
    EXPECT_EQ(takeCodes(), Codes{"OVERFLOW"});
    std::string text;
    EXPECT_EQ(statusOf([&] { pint_image(v255, 4, 0, text); }), 9);
    EXPECT_EQ(takeCodes(), Codes{"TRFSTRINT"});
}

class DecFloat : public qvm::testing::DiagnosticsCapture {
protected:
    static DFloat fromInt(const std::string& decimal)
    {
        DFloat value;
        dfloat_from_pint(value, pintFromDecimal(decimal));
        return value;
    }
    // a / b as a decimal floating value.
    static DFloat ratio(const std::string& a, const std::string& b)
    {
        DFloat result;
        dfloat_div(result, fromInt(a), fromInt(b));
        return result;
    }
};

TEST_F(DecFloat, BuiltFromABigInteger)
{
    const DFloat fifteen = fromInt("15");
    EXPECT_EQ(fifteen.mantissa.bytes[0], 1);
    EXPECT_EQ(fifteen.mantissa.bytes[20], 0x80);  // .5
    EXPECT_EQ(fifteen.exponent, 2);
    EXPECT_EQ(dfloat_image(fifteen, 19), "0.15E2");
    EXPECT_EQ(dfloat_image(ratio("3", "2"), 19), "0.15E1");
    EXPECT_EQ(dfloat_image(fromInt("0"), 19), "0.0");
    EXPECT_EQ(dfloat_image(fromInt("-1"), 0), "-0.1E1");
    EXPECT_EQ(dfloat_image(fromInt("-187072209578355573530071658587684226515959365500928"), 19),
              "-0.1870722095783555735E51");
}

TEST_F(DecFloat, NormalisedToOneIntegerDigit)
{
    DFloat value;
    value.mantissa.bytes[0] = static_cast<std::uint8_t>(-12);  // -12.0: the sign flips
    value.exponent = 0;
    dfloat_normalise(value);
    EXPECT_EQ(value.sign, 1);
    EXPECT_EQ(value.mantissa.bytes[0], 1);
    EXPECT_EQ(value.exponent, 1);
    EXPECT_EQ(dfloat_image(value, 19), "-0.12E1");
    EXPECT_EQ(dfloat_image(value, 3), "-0.119E1");  // 1.2 is not exact in binary

    DFloat zero;
    zero.sign = 1;
    zero.exponent = 7;
    dfloat_normalise(zero);
    EXPECT_EQ(zero.sign, 0);
    EXPECT_EQ(zero.exponent, 0);
}

TEST_F(DecFloat, Arithmetic)
{
    DFloat result;
    dfloat_add(result, fromInt("15"), fromInt("-20"));
    EXPECT_EQ(dfloat_image(result, 19), "-0.5E1");
    dfloat_sub(result, fromInt("15"), fromInt("15"));
    EXPECT_EQ(dfloat_image(result, 19), "0.0");
    dfloat_mul(result, fromInt("-25"), fromInt("-4"));
    EXPECT_EQ(dfloat_image(result, 19), "0.1E3");
    dfloat_mul(result, fromInt("25"), fromInt("0"));
    EXPECT_TRUE(result.isZero());
    EXPECT_EQ(dfloat_image(ratio("1", "8"), 19), "0.125");
    EXPECT_EQ(dfloat_image(ratio("-1", "40"), 19), "-0.25E-1");
    EXPECT_EQ(dfloat_image(ratio("100000000000000000000000000000000000000000000000000", "3"), 5), "0.33333E50");

    DFloat shifted = fromInt("5");
    dfloat_shift(shifted, -3);
    dfloat_add(result, shifted, fromInt("1"));
    EXPECT_EQ(dfloat_image(result, 19), "0.1005E1");
    EXPECT_TRUE(takeCodes().empty());

    dfloat_div(result, fromInt("1"), fromInt("0"));
    EXPECT_EQ(takeCodes(), Codes{"DIVBYZERO"});
}

TEST_F(DecFloat, TextRoundsOnlyAtTheDigitLimit)
{
    // 1/3 and 2/3 are cut at the limit without rounding.
    EXPECT_EQ(dfloat_image(ratio("1", "3"), 19), "0.3333333333333333333");
    EXPECT_EQ(dfloat_image(ratio("2", "3"), 4), "0.6666");
    EXPECT_EQ(dfloat_image(ratio("2", "3"), 25), "0.6666666666666666666");
    // A last 7 to 9 after a 9 rounds up through the nines.
    EXPECT_EQ(dfloat_image(fromInt("1299999999999999999997"), 19), "0.13E22");
    EXPECT_EQ(dfloat_image(fromInt("99999999999999999999"), 19), "0.1E21");
    EXPECT_EQ(dfloat_image(fromInt("129996"), 5), "0.13E6");
    // A last 0 to 3 after a 0 goes with the trailing zeros.
    EXPECT_EQ(dfloat_image(fromInt("1500000000000000000002"), 19), "0.15E22");
    EXPECT_EQ(dfloat_image(fromInt("1000000000000000000003"), 19), "0.1E22");
    EXPECT_EQ(dfloat_image(fromInt("150004"), 5), "0.15E6");
    EXPECT_EQ(dfloat_image(fromInt("150004"), 6), "0.150004E6");
}

TEST_F(DecFloat, Up17DigitIntegersPrintExactly)
{
    std::mt19937_64 random(17);
    for (int i = 0; i < 3000; ++i) {
        const std::string digits = std::to_string(random() % 100000000000000000ULL >> (random() % 57));
        std::string significant = digits;
        while (significant.size() > 1 && significant.back() == '0') {
            significant.pop_back();
        }
        const std::string expected =
            digits == "0" ? "0.0" : "0." + significant + "E" + std::to_string(digits.size());
        ASSERT_EQ(dfloat_image(fromInt(digits), 19), expected);
        ASSERT_EQ(dfloat_image(fromInt("-" + digits), 19), digits == "0" ? expected : "-" + expected);
    }
}

TEST_F(DecFloat, OpsUndoEachOtherAt15Digits)
{
    std::mt19937_64 random(15);
    for (int i = 0; i < 2000; ++i) {
        const DFloat p = fromInt(std::to_string(static_cast<long long>(random() % 2000001) - 1000000));
        const DFloat q = fromInt(std::to_string(static_cast<long long>(random() % 999999) + 1));
        DFloat result;
        dfloat_div(result, p, q);
        dfloat_mul(result, result, q);
        ASSERT_EQ(dfloat_image(result, 15), dfloat_image(p, 15));
        dfloat_add(result, p, q);
        dfloat_sub(result, result, q);
        ASSERT_EQ(dfloat_image(result, 19), dfloat_image(p, 19));
    }
    EXPECT_TRUE(takeCodes().empty());
}

}  // namespace
