// Constant value texts and the folding helpers over constants.
#include "canalysis/constants/cvalue.h"
#include "constants_support.h"

#include <gtest/gtest.h>

namespace {

using namespace qvm::canalysis;
using qvm::testing::decimalOf;
using qvm::testing::pintFromDecimal;
using qvm::testing::pintOf;

class ConstFold : public qvm::testing::DiagnosticsCapture {
protected:
    static std::string read(std::string_view text, std::size_t* consumed = nullptr)
    {
        return dfloat_image(dfloat_from_text(text, consumed), 19);
    }
    static std::string floor(std::string_view text)
    {
        PInt result = pintOf(12345);
        if (!dfloat_to_pint(result, dfloat_from_text(text))) {
            return "refused";
        }
        return decimalOf(result);
    }
};

TEST_F(ConstFold, ReadsDigitsFractionAndExponent)
{
    EXPECT_EQ(read("1.5"), "0.15E1");
    EXPECT_EQ(read("15e-1"), "0.15E1");
    EXPECT_EQ(read("1.5E+2"), "0.15E3");
    EXPECT_EQ(read("0.1"), "0.1");
    EXPECT_EQ(read("0.13"), "0.13");
    EXPECT_EQ(read(".25"), "0.25");
    EXPECT_EQ(read("0"), "0.0");
    EXPECT_EQ(read("000.000"), "0.0");
    EXPECT_EQ(read("3.14159265358979323846"), "0.3141592653589793238E1");
    // Beyond the precision only the magnitude of the integer digits counts.
    EXPECT_EQ(read("123456789012345678901234567890123456789012345678901234567890.5"),
              "0.1234567890123456789E60");
    EXPECT_TRUE(takeCodes().empty());
}

TEST_F(ConstFold, ReadingStopsAtFirstMisfit)
{
    std::size_t consumed = 0;
    EXPECT_EQ(read("1.5x", &consumed), "0.15E1");
    EXPECT_EQ(consumed, 3u);
    EXPECT_EQ(read("2e", &consumed), "0.2E1");
    EXPECT_EQ(consumed, 1u);
    EXPECT_EQ(read("2e+f", &consumed), "0.2E1");
    EXPECT_EQ(consumed, 1u);
    EXPECT_EQ(read("-1", &consumed), "0.0");  // no leading sign
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(read("7.5e-99999999999999999999", &consumed).substr(0, 6), "0.75E-");
    EXPECT_TRUE(takeCodes().empty());
}

TEST_F(ConstFold, BigIntegerConversionFloors)
{
    EXPECT_EQ(floor("2.5"), "2");
    EXPECT_EQ(floor("0.5"), "0");
    EXPECT_EQ(floor("0"), "0");
    EXPECT_EQ(floor("1e47"), "100000000000000000000000000000000000000000000000");  // 0.1E48
    EXPECT_EQ(floor("1.5e47"), "150000000000000000000000000000000000000000000000");
    EXPECT_EQ(floor("1e48"), "refused");  // 0.1E49

    const auto negative = [](std::string_view text) {
        DFloat value = dfloat_from_text(text);
        value.sign = 1;
        PInt result;
        EXPECT_TRUE(dfloat_to_pint(result, value));
        return decimalOf(result);
    };
    EXPECT_EQ(negative("2.5"), "-3");
    EXPECT_EQ(negative("2"), "-2");
    EXPECT_EQ(negative("0.5"), "-1");
    EXPECT_EQ(negative("1e-48"), "-1");  // 0.1E-47
    EXPECT_EQ(negative("1e-49"), "0");   // 0.1E-48: a fraction of exponent -48 counts as none
    EXPECT_TRUE(takeCodes().empty());
}

TEST_F(ConstFold, DecimalFloatingComparison)
{
    const auto cmp = [](std::string_view a, bool negA, std::string_view b, bool negB) {
        DFloat x = dfloat_from_text(a);
        DFloat y = dfloat_from_text(b);
        x.sign = negA && !x.isZero();
        y.sign = negB && !y.isZero();
        const int order = dfloat_cmp(x, y);
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    };
    EXPECT_EQ(cmp("0", false, "0.0", true), 0);
    EXPECT_EQ(cmp("1.5", false, "15e-1", false), 0);
    EXPECT_EQ(cmp("1.5", false, "1.25", false), 1);
    EXPECT_EQ(cmp("1.5", true, "1.25", true), -1);
    EXPECT_EQ(cmp("100", false, "99", false), 1);
    EXPECT_EQ(cmp("100", true, "99", true), -1);
    EXPECT_EQ(cmp("0", false, "1", true), 1);
    EXPECT_EQ(cmp("1", true, "0", false), -1);
    EXPECT_EQ(cmp("1e-30", false, "1", true), 1);
}

TEST_F(ConstFold, BitwiseShiftAndLogicalHelpers)
{
    PInt result;
    pint_not(result, pintOf(0));
    EXPECT_EQ(decimalOf(result), "-1");
    pint_or(result, pintOf(12), pintOf(3));
    EXPECT_EQ(decimalOf(result), "15");
    pint_and(result, pintOf(-4), pintOf(7));
    EXPECT_EQ(decimalOf(result), "4");
    pint_xor(result, pintOf(-1), pintOf(5));
    EXPECT_EQ(decimalOf(result), "-6");

    pint_shift_left(result, pintOf(3), pintOf(100));
    EXPECT_EQ(decimalOf(result), "3802951800684688204490109616128");
    pint_shift_left(result, pintOf(1), pintOf(167));
    EXPECT_EQ(result, qvm::testing::pintMin());
    pint_shift_left(result, pintOf(1), pintOf(168));
    EXPECT_TRUE(result.isZero());
    pint_shift_left(result, pintOf(5), pintOf(256 + 1));  // only the lowest byte of the count
    EXPECT_EQ(decimalOf(result), "10");
    pint_shift_right(result, pintOf(-1000), pintOf(3));
    EXPECT_EQ(decimalOf(result), "-125");
    pint_shift_right(result, pintOf(-1000), pintOf(200));
    EXPECT_EQ(decimalOf(result), "-1");
    pint_shift_right(result, pintOf(-1000), pintOf(-1));  // a negative count gives 0
    EXPECT_TRUE(result.isZero());
    pint_shift_left(result, pintOf(7), pintOf(-3));
    EXPECT_TRUE(result.isZero());

    pint_logical_not(result, pintOf(0));
    EXPECT_EQ(decimalOf(result), "1");
    pint_logical_not(result, pintOf(-9));
    EXPECT_EQ(decimalOf(result), "0");
    dfloat_logical_not(result, dfloat_from_text("0.0"));
    EXPECT_EQ(decimalOf(result), "1");
    dfloat_logical_not(result, dfloat_from_text("1e-40"));
    EXPECT_EQ(decimalOf(result), "0");
    EXPECT_TRUE(takeCodes().empty());
}

TEST(ConstText, SingleValuesAndBraceLists)
{
    qvm::base::initIdentTable();
    EXPECT_EQ(constValueImage(constValueOf(qvm::base::ident("42"))), "42");
    const ConstValue single = constValueFromInitialiser("  0x10 + 1\t");
    EXPECT_FALSE(single.isList);
    EXPECT_EQ(single.text, qvm::base::ident("0x10 + 1"));

    const ConstValue list = constValueFromInitialiser("{1,{ 2 ,3 }, f(a, b), \"x,}\", ',', {}, }");
    ASSERT_TRUE(list.isList);
    ASSERT_EQ(list.elements.size(), 6u);
    EXPECT_TRUE(list.elements[1].isList);
    EXPECT_EQ(constValueImage(list), "{1, {2, 3}, f(a, b), \"x,}\", ',', {}}");
    EXPECT_EQ(constValueImage(constValueFromInitialiser("{}")), "{}");
    EXPECT_EQ(constValueImage(constValueFromInitialiser("{ {1, 2}, {3} }")), "{{1, 2}, {3}}");
}

TEST(ConstText, TextHelpers)
{
    EXPECT_EQ(trimBlanks(" \t a b \t"), "a b");
    EXPECT_EQ(trimBlanks("\n a"), "\n a");
    EXPECT_EQ(copySubstring("abcdef", 2, 3), "cde");
    EXPECT_EQ(copySubstring("abc", 2, 10), "c");
    EXPECT_EQ(copySubstring("abc", 5, 1), "");
    EXPECT_EQ(findSubstring("a..b..c", "..", 2), 4u);

    EXPECT_EQ(normaliseText("  a   +\t$b ( x   y )  ", false, false), "a + b ( x   y )");
    EXPECT_EQ(normaliseText("a  $b", true, true), "A $B");
    EXPECT_EQ(normaliseText("f(g( a  b ))  c", false, true), "F(G( A  B )) C");
}

}  // namespace
