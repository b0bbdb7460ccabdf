// The #if evaluator: lexer, grammar, arithmetic rules and warnings, through
// C_CPP_eval_if and through `qvminspect if`. Generated expressions are
// compared with an independent evaluation in check_evalif.py.
#include "base/mstrid.h"
#include "canalysis/cerror.h"
#include "canalysis/preprocessor/cevalif.h"
#include "canalysis/ctypesizes.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace qvm::canalysis;

struct Warning {
    std::string code;
    std::string argument;
    bool operator==(const Warning&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Warning& warning)
{
    return out << warning.code << "(" << warning.argument << ")";
}

using Warnings = std::vector<Warning>;

class EvalIf : public ::testing::Test {
protected:
    void SetUp() override
    {
        qvm::base::initIdentTable();
        typeSizes().reset();
        setMacroDefinedQuery({});
        installCallback([this](int severity, std::string_view code, std::string_view argument, std::string_view,
                               int) {
            EXPECT_EQ(severity, CWarning);
            warnings.push_back({std::string(code), std::string(argument)});
        });
    }
    void TearDown() override
    {
        installCallback({});
        setMacroDefinedQuery({});
        typeSizes().reset();
    }

    // Evaluates and expects no warning.
    int value(const std::string& text)
    {
        warnings.clear();
        const int result = C_CPP_eval_if(text.c_str());
        EXPECT_TRUE(warnings.empty()) << text << " warned " << ::testing::PrintToString(warnings);
        return result;
    }

    // Evaluates and gives the warnings.
    Warnings warningsOf(const std::string& text, int expectedValue)
    {
        warnings.clear();
        EXPECT_EQ(C_CPP_eval_if(text.c_str()), expectedValue) << text;
        return warnings;
    }

    Warnings warnings;
};

TEST_F(EvalIf, EdgeCasesOfTheConditions)
{
    EXPECT_EQ(warningsOf("1.0", 0), (Warnings{{"EXPERRONE", "1.0"}}));
    EXPECT_EQ(value("0x10 == 16"), 1);
    EXPECT_EQ(value("010 == 8"), 1);
    EXPECT_EQ(value("08"), 8);
    EXPECT_EQ(value("019"), 17);
    EXPECT_EQ(warningsOf("1/0", 1), (Warnings{{"DIVISZERO", ""}}));
    EXPECT_EQ(value("sizeof(int) == 4"), 1);
    EXPECT_NE(value("'ab'"), 0);
    EXPECT_EQ(value("-1 > 0u"), 1);
    EXPECT_EQ(warningsOf("1 2", 1), (Warnings{{"ERRAFTEND", ""}}));
}

TEST_F(EvalIf, SizeofUsesTheSharedTypeSizes)
{
    EXPECT_EQ(value("sizeof(char) + sizeof(short) * 10 + sizeof(long) * 100"), 421);
    EXPECT_EQ(value("sizeof (long long)"), 0);
    EXPECT_EQ(value("sizeof(struct s)"), 0);
    typeSizes().intBits = 16;
    typeSizes().registerSize("int", 2);
    EXPECT_EQ(value("sizeof(int) == 4"), 0);
    typeSizes().registerSize("struct s", 12);
    typeSizes().registerSize("struct s", 24);
    EXPECT_EQ(value("sizeof(struct s)"), 24);
    EXPECT_EQ(value("sizeof( struct s)"), 0);  // the text is compared exactly
    typeSizes().registerSize("(x)", 5);
    EXPECT_EQ(value("sizeof((x)) + 1"), 6);
    EXPECT_EQ(warningsOf("sizeof int", 0), (Warnings{{"EXPERRONE", "sizeof "}}));
    EXPECT_EQ(warningsOf("sizeof(int", 0), (Warnings{{"EXPERRONE", "sizeof(int"}}));
}

TEST_F(EvalIf, NumbersBasesAndSuffixes)
{
    EXPECT_EQ(value("0XfF + 0x1aULl"), 255 + 26);
    EXPECT_EQ(value("0"), 0);
    EXPECT_EQ(value("123456789012"), static_cast<int>(123456789012LL & 0xffffffff));
    EXPECT_EQ(value("0xffffffffffffffff > 0"), 1);  // bit 63 set: unsigned
    EXPECT_EQ(value("-1 > 0"), 0);
    EXPECT_EQ(value("0x100000000 == 0"), 0);  // 64-bit inside, 32-bit result
    EXPECT_EQ(value("0x100000000 + 5"), 5);
    EXPECT_EQ(warningsOf("12abc", 0), (Warnings{{"EXPERRONE", "12abc"}}));
    EXPECT_EQ(warningsOf("0x", 0), (Warnings{{"EXPERRONE", "0x"}}));
    EXPECT_EQ(warningsOf("1 + 2.", 0), (Warnings{{"EXPERRONE", "1 + 2."}}));
    EXPECT_EQ(warningsOf("(1)+.5", 0), (Warnings{{"EXPERRONE", "(1)+."}}));
}

TEST_F(EvalIf, CharacterConstantsAndEscapes)
{
    EXPECT_EQ(value("'a'"), 97);
    EXPECT_EQ(value("'\\n' + '\\t' * 100"), 10 + 900);
    EXPECT_EQ(value("'\\a' + '\\b' + '\\e' + '\\f' + '\\r' + '\\v'"), 7 + 8 + 27 + 12 + 13 + 11);
    EXPECT_EQ(value("'\\x41' + '\\101' + '\\7'"), 65 + 65 + 7);
    EXPECT_EQ(value("'\\^a' + '\\^?'"), ('a' & 0x9f) + 127);
    EXPECT_EQ(value("'\\q' + '\\''"), 'q' + '\'');
    EXPECT_EQ(value("'\\377'"), -1);
    EXPECT_EQ(value("'\\x80' < 0"), 1);
    EXPECT_EQ(value("'\xe9'"), -23);

    setMacroDefinedQuery([](std::string_view name) { return name == "__CHAR_UNSIGNED__"; });
    EXPECT_EQ(value("'\\377'"), 255);
    EXPECT_EQ(value("'\xe9'"), 233);

    EXPECT_EQ(warningsOf("'\\x141'", 'A'), (Warnings{{"NOFITBYTE", "\\x141"}}));
    EXPECT_EQ(warningsOf("'\\777' == 255", 1), (Warnings{{"NOFITBYTE", "\\777"}}));
}

TEST_F(EvalIf, WideAndUnicodeCharacterConstants)
{
    EXPECT_EQ(value("L'\\0' - 1 > 0"), 0);
    EXPECT_EQ(value("L'\\xffffffff' == -1"), 1);
    EXPECT_EQ(value("L'a' == 97 && u'a' == 97 && U'a' == 97 && u8'a' == 97"), 1);
    EXPECT_EQ(value("u'\\xffff' == 65535 && U'\\xffffffff' > 0"), 1);
    EXPECT_EQ(value("u8'\\xff' == 255"), 1);
    EXPECT_EQ(value("L'\\u00e9' == 0xe9 && U'\\U0001F600' == 0x1f600"), 1);
    EXPECT_EQ(value("L'\xc3\xa9' == 0xe9 && u'\xe2\x82\xac' == 0x20ac"), 1);
    EXPECT_EQ(value("L'\xff' == 255"), 1);  // not UTF-8: the byte itself
    EXPECT_EQ(warningsOf("L'ab'", 'b'), (Warnings{{"MULCARCST", "L'ab'"}}));
    EXPECT_EQ(warningsOf("u8'\\x100'", 0), (Warnings{{"NOFITBYTE", "\\x100"}}));
    EXPECT_EQ(warningsOf("u'\\x12345' == 0x2345", 1), (Warnings{{"NOFITBYTE", "\\x12345"}}));
    EXPECT_EQ(warningsOf("L''", 0), (Warnings{{"EXPERRONE", "L'"}}));
    // Plain constants keep their rules: one byte, sign-extended; \u is a u.
    EXPECT_EQ(value("'\\xff' == -1 && '\\u' == 'u'"), 1);
    EXPECT_EQ(value("Lx"), 0);
}

TEST_F(EvalIf, MultiCharConstantsAreIds)
{
    EXPECT_EQ(value("'ab' == 'ab'"), 1);
    EXPECT_EQ(value("'ab' != 'abc'"), 1);
    EXPECT_EQ(value("'ab' > -1"), 1);  // unsigned: -1 never reduced on the right
    EXPECT_EQ(value("'\\777a' == '\\777a'"), 1);  // no byte check on several characters
    EXPECT_EQ(value(std::string("'") + std::string(1000, 'z') + "' != 0"), 1);
    EXPECT_EQ(warningsOf(std::string("'") + std::string(1001, 'z') + "'", 0).at(0).code, "EXPERRONE");
    EXPECT_EQ(warningsOf("''", 0), (Warnings{{"EXPERRONE", "'"}}));
    EXPECT_EQ(warningsOf("'ab", 0), (Warnings{{"EXPERRONE", "'ab"}}));
    EXPECT_EQ(warningsOf("'a\n' == 1", 0), (Warnings{{"EXPERRONE", "'a"}}));
}

TEST_F(EvalIf, UnsignedCutsLeftTo32Bits)
{
    EXPECT_EQ(value("-1 + 0u == 4294967295"), 1);
    EXPECT_EQ(value("0u + -1"), -1);
    EXPECT_EQ(value("0u + -1 == -1"), 0);  // only the left operand is reduced
    EXPECT_EQ(value("-1 == 0xffffffffu"), 1);
    EXPECT_EQ(value("-1 < 0u"), 0);
    EXPECT_EQ(value("0x1ffffffffu / 2 == 0x7fffffff"), 1);
    EXPECT_EQ(value("10u / -2"), -5);  // the right operand stays signed 64-bit
    EXPECT_EQ(value("-7 % 3u"), 4294967289LL % 3);
    EXPECT_EQ(value("(0u - 1) > 0"), 1);
    EXPECT_EQ(value("-1u > 0"), 1);  // unary minus keeps the flag
    EXPECT_EQ(value("~0u == 0xffffffff"), 1);
    EXPECT_EQ(value("(1 ? 0u : 0) - 1 > 0"), 1);
    EXPECT_EQ(value("(1 > 0u) - 2 < 0"), 1);  // comparisons are signed
}

TEST_F(EvalIf, Shifts)
{
    EXPECT_EQ(value("1 << 40 >> 38"), 4);
    EXPECT_EQ(value("-16 >> 2"), -4);
    EXPECT_EQ(value("-16 >> 66"), -4);  // signed counts are taken modulo 64
    EXPECT_EQ(value("1u << 33"), 2);     // unsigned: 32 bits, count modulo 32
    EXPECT_EQ(value("0x80000000u << 1"), 0);
    EXPECT_EQ(value("-16u >> 2 == 0x3ffffffc"), 1);
    EXPECT_EQ(value("1 << -1 == 0x80000000 << 32"), 1);
}

TEST_F(EvalIf, PrecedenceAndAssociativity)
{
    EXPECT_EQ(value("2 + 3 * 4"), 14);
    EXPECT_EQ(value("10 - 4 - 3"), 3);
    EXPECT_EQ(value("1 | 2 ^ 3 & 4"), 1 | (2 ^ (3 & 4)));
    EXPECT_EQ(value("1 == 2 < 3"), 1);
    EXPECT_EQ(value("1 << 2 + 1"), 8);
    EXPECT_EQ(value("0 ? 1 : 0 ? 2 : 3"), 3);
    EXPECT_EQ(value("1 ? 2 : 3, 4"), 4);
    EXPECT_EQ(value("(1, 2) + 1"), 3);
    EXPECT_EQ(value("- - 3 + !0 + ~0"), 3);
    EXPECT_EQ(value("0 && 1 || 1 && 2"), 1);
    EXPECT_EQ(value("undefined_macro + 7"), 7);
    EXPECT_EQ(warningsOf("0 && 1/0", 0), (Warnings{{"DIVISZERO", ""}}));  // both operands are evaluated
    EXPECT_EQ(warningsOf("1 ? 2 : 3 % 0", 2), (Warnings{{"DIVISZERO", ""}}));
}

TEST_F(EvalIf, ErrorsAndTheirArgument)
{
    EXPECT_EQ(warningsOf("", 0), (Warnings{{"EMPTYEXPR", "#if"}}));
    EXPECT_EQ(warningsOf(" \t\r\n\f", 0), (Warnings{{"EMPTYEXPR", "#if"}}));
    EXPECT_EQ(C_CPP_eval_if(nullptr), 0);
    EXPECT_EQ(warningsOf("1 +", 0), (Warnings{{"EXPERRONE", "1 +"}}));
    EXPECT_EQ(warningsOf("1 + \"s\"", 0), (Warnings{{"EXPERRONE", "1 + \""}}));
    EXPECT_EQ(warningsOf("1 + $", 0), (Warnings{{"EXPERRONE", "1 + $"}}));
    EXPECT_EQ(warningsOf("a = 1", 0), (Warnings{{"ERRAFTEND", ""}}));  // `a` is complete
    EXPECT_EQ(warningsOf("1 + = 1", 0), (Warnings{{"EXPERRONE", "1 + ="}}));
    EXPECT_EQ(warningsOf("(1 2)", 0), (Warnings{{"EXPERRONE", "(1 2"}}));
    EXPECT_EQ(warningsOf("3 )", 3), (Warnings{{"ERRAFTEND", ""}}));
    EXPECT_EQ(warningsOf("1/0 2", 1), (Warnings{{"DIVISZERO", ""}, {"ERRAFTEND", ""}}));

    // At most 40 characters: from the start; beyond, the last 39 before the position.
    const std::string forty = "1 + 2 + 3 + 4 + 5 + 6 + 7 + 8 + 9 + 10 +";
    ASSERT_EQ(forty.size(), 40u);
    EXPECT_EQ(warningsOf(forty, 0), (Warnings{{"EXPERRONE", forty}}));
    EXPECT_EQ(warningsOf(forty + " )", 0), (Warnings{{"EXPERRONE", (forty + " )").substr(3)}}));
}

TEST_F(EvalIf, ParserStackHolds150States)
{
    const auto nested = [](int depth) { return std::string(depth, '(') + "1" + std::string(depth, ')'); };
    EXPECT_EQ(value(nested(140)), 1);
    const Warnings deep = warningsOf(nested(150), 0);
    ASSERT_EQ(deep.size(), 1u);
    EXPECT_EQ(deep[0].code, "EXPERRONE");
    EXPECT_EQ(deep[0].argument, std::string(39, '('));
    EXPECT_EQ(warningsOf(std::string(100000, '-') + "1", 0).size(), 1u);
}

TEST(InspectIf, PrintsValueAndDiagnostics)
{
    using qvm::testing::runInspect;
    auto run = runInspect({"if", "(1 << 4) + 0x10 == 32"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1\n");
    EXPECT_EQ(run.err, "");

    run = runInspect({"if", "-1 > 0u"});
    EXPECT_EQ(run.out, "1\n");

    run = runInspect({"if", "1/0"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "1\n");
    EXPECT_EQ(run.err, "Fenwir-W-DIVISZERO,   Division by zero in expression\n");

    run = runInspect({"if", "1.0"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "0\n");
    EXPECT_EQ(run.err, "Fenwir-W-EXPERRONE,   Error in expression 1.0\n");

    run = runInspect({"if", "'\\377'", "-DEFINE=__CHAR_UNSIGNED__"});
    EXPECT_EQ(run.out, "255\n");

    run = runInspect({"if"});
    EXPECT_EQ(run.status, 2);
}

}  // namespace
