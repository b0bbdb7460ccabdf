// The expression lexer's constants, the expression grammar and the typing of
// expressions, through their entry points and through qvminspect.
#include "canalysis/declarations/cexpr.h"
#include "canalysis/ctypesizes.h"
#include "script/ancgest.h"

#include "support/creports.h"
#include "support/messages.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace qvm::canalysis {
namespace {

using testing::CReport;

class CExpr : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::unsetenv("KQ_NOWCHAR");
        C_CPP_reset_analysis();
        typeSizes().reset();
        C_CPP_set_expression_table(&table_, {});
    }

    void TearDown() override
    {
        C_CPP_set_expression_table(nullptr, {});
        installCallback({});
        typeSizes().reset();
        C_CPP_reset_analysis();
    }

    DiagnosticCallback collector() { return testing::recordInto(reports_); }

    CConstant constant(const std::string& text)
    {
        const auto read = C_CPP_read_constant(text, "s.pts", 4, collector());
        EXPECT_TRUE(read.has_value()) << text;
        return read.value_or(CConstant{});
    }

    std::string decimal(const CConstant& value)
    {
        std::string text;
        pint_image(value.value, 1, 0, text);
        return text;
    }

    std::vector<std::string> codes() const { return testing::codesOf(reports_); }

    void declare(const std::string& text)
    {
        C_CPP_parse_decls(text, table_, {}, "if.h", 1, collector());
    }

    // Type image of an expression, with the reports it gave.
    std::string typeOf(const std::string& text, const std::string& scope = {})
    {
        auto tree = C_CPP_parse_expr(text, "s.pts", 9, collector());
        if (!tree) {
            return "<none>";
        }
        const TypePtr type = C_CPP_type_expr(*tree, "s.pts", 9, scope, collector(), table_);
        std::string image = C_CPP_type_image(type.get());
        C_CPP_free_expr(tree);
        return image;
    }

    SymbolTable table_;
    std::vector<CReport> reports_;
};

using Codes = std::vector<std::string>;

TEST_F(CExpr, IntegerConstantsEveryBase)
{
    EXPECT_EQ(decimal(constant("0FFh")), "255");
    EXPECT_EQ(constant("0FFh").text, "0x0FF");
    EXPECT_EQ(decimal(constant("0x0FF")), "255");
    EXPECT_EQ(decimal(constant("101b")), "5");
    EXPECT_EQ(decimal(constant("0b101")), "5");
    EXPECT_EQ(decimal(constant("017")), "15");
    EXPECT_EQ(decimal(constant("123i64")), "123");
    EXPECT_EQ(constant("123i64").size, -32);
    EXPECT_EQ(constant("12u").size, 32);
    EXPECT_EQ(constant("12L").lengthClass, 1);
    EXPECT_EQ(constant("12ull").lengthClass, 2);
    EXPECT_EQ(constant("12ull").size, 64);
    EXPECT_TRUE(reports_.empty());
    // The trailing letters count only before the end, ',', ']' or '}'.
    const auto followed = C_CPP_read_constant("12h + 1", "s.pts", 1, collector());
    EXPECT_EQ(codes(), Codes{"INVFINNUM"});
    EXPECT_EQ(decimal(*followed), "12");
}

TEST_F(CExpr, MalformedNumbersWarnWithTheirText)
{
    const std::vector<std::pair<std::string, Codes>> cases = {
        {"08", {"CARNUMERI"}},     {"12a4", {"CARNONNUM"}},   {"0x", {"CSTNUMERI"}},
        {"0x1.5", {"CSTBASE16"}},  {"1.2.3", {"CSTINCORR"}},  {"1e", {"ERREXPOSA"}},
        {"1.5ff", {"CARDOUFLO"}},  {"1.5q", {"INVFINNUM"}},   {"12uu", {"CARDOUINT"}},
        {"12lll", {"CARTRIINT"}},  {"12lx", {"INVFINNUM"}},   {"18446744073709551616u", {"ENTOUTRAN"}},
        {"9223372036854775808", {"ENTOUTRAN"}},
    };
    for (const auto& [text, expected] : cases) {
        reports_.clear();
        constant(text);
        EXPECT_EQ(codes(), expected) << text;
        if (!reports_.empty()) {
            EXPECT_EQ(reports_[0].argument, text);
            EXPECT_EQ(reports_[0].severity, CWarning);
        }
    }
    EXPECT_EQ(decimal(constant("18446744073709551616u")), "0");  // reduced to the unsigned long long size
}

// An integer constant takes the first type of its list that holds its value:
// int, long, long long when decimal; each with its unsigned twin when octal,
// hexadecimal or binary; only unsigned ones with u; from long on with l.
TEST_F(CExpr, IntegerConstantFirstTypeFits)
{
    struct Row {
        std::string text;
        int size;            // with a 32-bit long
        int lengthClass;
        int sizeLong64;      // with a 64-bit long
        int lengthClassLong64;
    };
    const std::vector<Row> rows = {
        {"2147483647", -32, 0, -32, 0},          {"2147483648", -64, 2, -64, 1},
        {"0x7FFFFFFF", -32, 0, -32, 0},          {"0x80000000", 32, 0, 32, 0},
        {"020000000000", 32, 0, 32, 0},          {"0b11111111111111111111111111111111", 32, 0, 32, 0},
        {"0x100000000", -64, 2, -64, 1},         {"0xFFFFFFFFFFFFFFFF", 64, 2, 64, 1},
        {"4294967295u", 32, 0, 32, 0},           {"4294967296u", 64, 2, 64, 1},
        {"12l", -32, 1, -64, 1},                 {"2147483648L", -64, 2, -64, 1},
        {"0x80000000L", 32, 1, -64, 1},          {"0x80000000ul", 32, 1, 64, 1},
        {"12ll", -64, 2, -64, 2},                {"0x8000000000000000ll", 64, 2, 64, 2},
        {"5000000000", -64, 2, -64, 1},          {"0x890CFDE9", 32, 0, 32, 0},
    };
    for (const bool long64 : {false, true}) {
        typeSizes().longBits = long64 ? 64 : 32;
        for (const Row& row : rows) {
            const CConstant read = constant(row.text);
            EXPECT_EQ(read.size, long64 ? row.sizeLong64 : row.size) << row.text << " long64=" << long64;
            EXPECT_EQ(read.lengthClass, long64 ? row.lengthClassLong64 : row.lengthClass)
                << row.text << " long64=" << long64;
        }
    }
    EXPECT_TRUE(reports_.empty()) << codes().front();
}

TEST_F(CExpr, IntegersBeyond64BitsExact)
{
    const std::vector<std::tuple<std::string, std::string, Codes>> cases = {
        {"9223372036854775807ll", "9223372036854775807", {}},
        {"9223372036854775808ll", "9223372036854775808", {"ENTOUTRAN"}},
        {"18446744073709551615ull", "18446744073709551615", {}},
        {"0x10000000000000000ull", "0", {"ENTOUTRAN"}},
        {"99999999999999999999999", "99999999999999999999999", {"ENTOUTRAN"}},
        {"0777777777777777777777777", "4722366482869645213695", {"ENTOUTRAN"}},
    };
    for (const auto& [text, value, expected] : cases) {
        reports_.clear();
        EXPECT_EQ(decimal(constant(text)), value) << text;
        EXPECT_EQ(codes(), expected) << text;
    }
}

TEST_F(CExpr, FloatingConstants)
{
    const CConstant value = constant("1.5e3");
    EXPECT_EQ(value.kind, kConstFloating);
    EXPECT_EQ(dfloat_image(value.floating, 0), "0.15E4");
    EXPECT_EQ(dfloat_image(constant(".25").floating, 0), "0.25");
    EXPECT_TRUE(constant("2.0f").isFloatSuffix);
    EXPECT_EQ(constant("2.0L").lengthClass, 1);
    EXPECT_TRUE(reports_.empty());
}

TEST_F(CExpr, CharacterConstantsAndEscapes)
{
    EXPECT_EQ(decimal(constant("'a'")), "97");
    EXPECT_EQ(constant("'a'").size, -8);
    EXPECT_EQ(decimal(constant("'\\377'")), "-1");
    EXPECT_EQ(constant("'\\377'").text, "'\\377'");
    EXPECT_EQ(constant("'\\n'").text, "'\\n'");
    EXPECT_EQ(constant("'\\\\'").text, "'\\\\'");
    EXPECT_EQ(constant("'\\''").text, "'\\''");
    EXPECT_EQ(decimal(constant("'\\x41'")), "65");
    EXPECT_EQ(decimal(constant("'\\E'")), "27");
    EXPECT_EQ(decimal(constant("'\\?'")), "63");
    EXPECT_EQ(decimal(constant("L'x'")), "120");
    EXPECT_EQ(constant("L'x'").size, -32);
    EXPECT_TRUE(reports_.empty());

    typeSizes().charUnsigned = true;
    EXPECT_EQ(decimal(constant("'\\377'")), "255");
    EXPECT_EQ(constant("'\\377'").size, 8);
    typeSizes().charUnsigned = false;

    const std::vector<std::pair<std::string, Codes>> cases = {
        {"'\\400'", {"SEQOUTRAN"}}, {"'\\x'", {"NOHEXDIGI"}}, {"'\\q'", {"SEQUEINCO"}}, {"''", {"CSTCARVID"}},
        {"'a", {"INVCSTCAR"}},      {"'abcde'", {"TOLOCSTCA"}}, {"L'ab'", {"MULCARCST"}},
    };
    for (const auto& [text, expected] : cases) {
        reports_.clear();
        constant(text);
        EXPECT_EQ(codes(), expected) << text;
    }
}

TEST_F(CExpr, MultibyteConstantsKqNowchar)
{
    const CConstant first = constant("'ab'");
    EXPECT_EQ(decimal(first), "24930");  // 0x6162
    EXPECT_EQ(first.lengthClass, 1);
    constant("'cd'");
    ASSERT_EQ(codes(), Codes{"MULTIBYTE"});
    EXPECT_EQ(reports_[0].severity, CInformation);

    C_CPP_reset_analysis();
    reports_.clear();
    ::setenv("KQ_NOWCHAR", "1", 1);
    const CConstant refused = constant("'ab'");
    ::unsetenv("KQ_NOWCHAR");
    EXPECT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, "deprecated use of single quote strings");
    EXPECT_EQ(refused.kind, kConstString);
    constant("'cd'");  // multibyte constants stay off for the run
    EXPECT_EQ(codes(), (Codes{"SYNTAXERR", "SYNTAXERR"}));
}

TEST_F(CExpr, StringsResolveTheirEscapes)
{
    const CConstant text = constant("\"a\\tb\\101\"");
    EXPECT_EQ(text.kind, kConstString);
    EXPECT_EQ(base::identText(text.name), "a\tbA");
    EXPECT_TRUE(constant("L\"w\"").wide);
    EXPECT_TRUE(reports_.empty());
}

TEST_F(CExpr, UnaryOperatorsOnConstantsAreFolded)
{
    auto tree = C_CPP_parse_expr("-(5)", "s.pts", 1, collector());
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->root->kind, kExprUnary);
    tree = C_CPP_parse_expr("-5", "s.pts", 1, collector());
    EXPECT_EQ(tree->root->kind, kExprInteger);
    EXPECT_EQ(decimal(tree->root->constant), "-5");
    tree = C_CPP_parse_expr("~0u", "s.pts", 1, collector());
    EXPECT_EQ(C_CPP_expr_image(tree->root), "-1U");
    tree = C_CPP_parse_expr("!7", "s.pts", 1, collector());
    EXPECT_EQ(decimal(tree->root->constant), "0");
    tree = C_CPP_parse_expr("-1.5", "s.pts", 1, collector());
    EXPECT_EQ(tree->root->kind, kExprFloating);
    EXPECT_EQ(dfloat_image(tree->root->constant.floating, 0), "-0.15E1");
    EXPECT_EQ(C_CPP_parse_expr("  ", "s.pts", 1, collector()), nullptr);
    EXPECT_TRUE(reports_.empty());
}

TEST_F(CExpr, ImagesWriteTheTreeBackAsC)
{
    declare("struct s { int a[4]; } v, *p; int f(int, int); typedef unsigned char U;");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"v.a[1..2]", "v.a[1..2]"},
        {"p->a[0] + f(1, 2L) * 3u", "p->a[0] + f(1, 2L) * 3U"},
        {"(p ? 1 : 2)", "((p?1:2))"},
        {"sizeof(U) + sizeof v", "sizeof(U) + sizeof(v)"},
        {"(U)-v.a[0]", "(U)-v.a[0]"},
        {"\"a\\\"b\\n\"", "\"a\\\"b\\n\""},
        {"L\"w\"", "L\"w\""},
        {"{1, 2}", "{1, 2}"},
        {"[1..9]", "[1..9]"},
        {"!&*p == 3ll", "!&*p == 3LL"},
    };
    for (const auto& [text, image] : cases) {
        auto tree = C_CPP_parse_expr(text, "s.pts", 1, collector());
        ASSERT_TRUE(tree) << text;
        EXPECT_EQ(C_CPP_expr_image(tree->root), image) << text;
    }
    EXPECT_TRUE(reports_.empty());
}

TEST_F(CExpr, CastsAreRecognisedOnlyForTypeNames)
{
    declare("typedef int T; int x;");
    auto tree = C_CPP_parse_expr("(unsigned char) x", "s.pts", 1, collector());
    EXPECT_EQ(tree->root->kind, kExprCast);
    tree = C_CPP_parse_expr("(x) + 1", "s.pts", 1, collector());
    EXPECT_EQ(tree->root->kind, kExprBinary);
    tree = C_CPP_parse_expr("(T *)0", "s.pts", 1, collector());
    EXPECT_EQ(tree->root->kind, kExprCast);
    EXPECT_EQ(C_CPP_type_image(tree->root->type.get()), "T *");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(C_CPP_find_symbol("__tarvo_var", table_, {}), nullptr);
}

TEST_F(CExpr, RefusedFormsAndSyntaxErrors)
{
    declare("int i, a;");
    const std::vector<std::pair<std::string, Codes>> cases = {
        {"i++", {"POSTINCRE"}}, {"i--", {"POSTDECRE"}}, {"--i", {"POSTDECRE"}}, {"a = 1", {"AFFECTATI"}},
        {"a += 1", {"AFFECTATI"}}, {"a, i", {"SOUSEXPRE"}}, {"[1..]", {"SYNTAXERR"}}, {"[..1]", {"SYNTAXERR"}},
        {"(1", {"EXPERRONE"}}, {"1 +", {"EXPERRONE"}}, {"a => i", {"EXPERRONE"}},
    };
    for (const auto& [text, expected] : cases) {
        reports_.clear();
        auto tree = C_CPP_parse_expr(text, "s.pts", 1, collector());
        EXPECT_EQ(codes(), expected) << text;
        ASSERT_TRUE(tree) << text;
    }
    reports_.clear();
    C_CPP_parse_expr("[1..]", "s.pts", 1, collector());
    EXPECT_EQ(reports_[0].argument, "[min..max]");
    reports_.clear();
    C_CPP_parse_expr(std::string(20000, '(') + "1", "s.pts", 1, collector());
    EXPECT_EQ(codes(), Codes{"EXPERRONE"});
    // A left-recursive chain beyond the deepest nesting is refused before
    // anything walks it.
    reports_.clear();
    std::string chain = "i";
    for (int n = 0; n <= kMaxExprDepth; ++n) {
        chain += " + i";
    }
    auto deep = C_CPP_parse_expr(chain, "s.pts", 1, collector());
    EXPECT_EQ(codes(), Codes{"EXPERRONE"});
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->root->kind, kExprError);
}

TEST_F(CExpr, UsualArithmeticConversions)
{
    declare("long lv; int x; float fl; double d; long double ld; unsigned u; unsigned long ul; long long ll;\n"
            "unsigned long long ull; char c; unsigned char uc; short s; unsigned short us; enum e { E } en;\n"
            "typedef unsigned long UL; UL tul; int *p; _Bool bo; __int128 q; unsigned __int128 uq;");
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"lv", "x", "long"},
        {"fl", "d", "double"},
        {"fl", "ld", "long double"},
        {"d", "ld", "long double"},
        {"fl", "ll", "float"},
        {"x", "u", "unsigned"},
        {"lv", "u", "unsigned long"},  // long cannot hold every unsigned int
        {"ll", "u", "long long"},
        {"ll", "ul", "long long"},
        {"ll", "ull", "unsigned long long"},
        {"ul", "x", "unsigned long"},
        {"tul", "x", "UL"},
        {"c", "c", "int"},
        {"c", "uc", "int"},
        {"s", "us", "int"},
        {"en", "c", "int"},
        {"en", "lv", "long"},
        {"us", "lv", "long"},
        {"bo", "c", "int"},
        {"q", "x", "__int128"},
        {"q", "ul", "__int128"},
        {"q", "uq", "unsigned __int128"},
    };
    for (const auto& [a, b, expected] : cases) {
        for (const char* op : {" + ", " * ", " - ", " % "}) {
            if (std::string(op) == " % " && (a == "fl" || a == "d")) {
                continue;
            }
            EXPECT_EQ(typeOf(a + op + b), expected) << a << op << b;
            EXPECT_EQ(typeOf(b + op + a), expected) << b << op << a;
        }
    }
    // Shifts take the promoted left operand.
    EXPECT_EQ(typeOf("c << lv"), "int");
    EXPECT_EQ(typeOf("ul >> c"), "unsigned long");
    EXPECT_EQ(typeOf("p + lv"), "int *");
    EXPECT_EQ(typeOf("lv + p"), "int *");
    EXPECT_TRUE(reports_.empty());
}

TEST_F(CExpr, TypingFollowsTheDeclarations)
{
    declare("typedef struct { int x; char name[8]; } P; struct list { struct list *next; P item; } head, *cur;\n"
            "union u { int i; float f; } un; enum e { E1, E2 } en; int (*fp)(char); char *str;\n"
            "double d; long l; unsigned short us;");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"head.item.x", "int"},
        {"cur->next->item.name", "char [8]"},
        {"cur->item.name[2]", "char"},
        {"un.f", "float"},
        {"en", "enum e"},
        {"E2", "int"},
        {"fp(1)", "int"},
        {"*str", "char"},
        {"&head", "struct list *"},
        {"d * l", "double"},
        {"l + us", "long"},
        {"str + 1", "char *"},
        {"str - str", "long"},
        {"l < d", "int"},
        {"(char)d", "char"},
        {"(long  unsigned\tint)d", "long unsigned int"},
        {"(int long long)us", "int long long"},
        {"(long double)l", "long double"},
        {"(signed)d", "signed"},
        {"(unsigned long * *)str", "unsigned long **"},
        {"(P*)str", "P *"},
        {"(P)head.item", "P"},
        {"sizeof(P)", "unsigned int"},
        {"d ? l : us", "long"},
        {"{1, 2}", "int [2]"},
    };
    for (const auto& [text, type] : cases) {
        EXPECT_EQ(typeOf(text), type) << text;
    }
    EXPECT_TRUE(reports_.empty());
}

TEST_F(CExpr, TypingWarnings)
{
    declare("struct s { int a; } v, *p; int n; int f(void);");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"p.a", "POINSTRUC"},   {"n.a", "INVCHASTR"},   {"v->a", "NOPOSTRUC"}, {"v.b", "CHAMPINCO"},
        {"unknown", "IDENTIINC"}, {"n[1]", "NONTABLEA"}, {"n(1)", "NONFONCTI"}, {"*n", "NONPOINTE"},
        {"v * 2", "OPERARITH"}, {"-v", "OPERARITH"},    {"v % 2", "OPERENTIE"}, {"~p", "OPERENTIE"},
        {"!v", "OPERSCALA"},    {"v < 1", "OPERSCALA"}, {"{1, v}", "TYPESDIFF"},
    };
    for (const auto& [text, code] : cases) {
        reports_.clear();
        typeOf(text);
        EXPECT_EQ(codes(), Codes{code}) << text;
    }
    reports_.clear();
    typeOf("p.a");
    EXPECT_EQ(reports_[0].argument, "p");
    reports_.clear();
    typeOf("v.b");
    EXPECT_EQ(reports_[0].argument, "b");
}

TEST_F(CExpr, ScopesAndTheParentTable)
{
    declare("int g;");
    C_CPP_parse_decls("char local;", table_, "SCN", "s.pts", 3, collector());
    SymbolTable parent;
    C_CPP_parse_decls("long inherited;", parent, {}, "p.h", 1, collector());
    table_.parent = &parent;
    EXPECT_EQ(typeOf("local", "SCN"), "char");
    EXPECT_EQ(typeOf("g", "SCN"), "int");
    EXPECT_EQ(typeOf("inherited"), "long");
    EXPECT_TRUE(reports_.empty());
    typeOf("local");
    EXPECT_EQ(codes(), Codes{"IDENTIINC"});
    table_.parent = nullptr;
}

TEST_F(CExpr, ExpressionClassesOfTypes)
{
    declare("char *s; char a[10]; long l; int i; char c; float f; double d; long double ld; int *p;\n"
            "enum e { A } en; struct t { int x; } st; union u { int x; } un; void v(void); short sh;");
    const std::vector<std::pair<std::string, int>> cases = {
        {"s", 6}, {"a", 7}, {"l", 3}, {"i", 2}, {"c", 1}, {"f", 4}, {"d", 5}, {"ld", 5}, {"p", 9},
        {"en", 0}, {"st", 10}, {"un", 12}, {"v", 13}, {"sh", 2}, {"{1, 2}", 11},
    };
    for (const auto& [text, expected] : cases) {
        auto tree = C_CPP_parse_expr(text, "s.pts", 1, collector());
        const TypePtr type = C_CPP_type_expr(*tree, "s.pts", 1, {}, collector(), table_);
        EXPECT_EQ(script::expressionClassOfType(type.get()), expected) << text;
    }
    EXPECT_EQ(script::expressionClassOfType(nullptr), 2);
    EXPECT_EQ(script::expressionClassOfType(C_CPP_new_type(kVoid).get()), 14);
    EXPECT_EQ(script::expressionClassOfType(C_CPP_new_type(kEllipsis).get()), 15);
}

TEST(CExprInspect, ConstAndTypeCommands)
{
    using qvm::testing::runInspect;
    const auto hex = runInspect({"const", "0FFh"});
    EXPECT_EQ(hex.status, 0);
    EXPECT_EQ(hex.out, "integer\t255 0x000000FF\t-32\tint\n");
    EXPECT_EQ(runInspect({"const", "1.5e3"}).out, "floating\t0.15E4\t-64\tint\n");
    EXPECT_EQ(runInspect({"const", "\"a\\x41\""}).out, "string\t\"aA\"\t0\tint\n");
    EXPECT_EQ(runInspect({"const", "7ul"}).out, "integer\t7 0x00000007\t32\tlong\n");
    const auto bad = runInspect({"const", "08"});
    EXPECT_EQ(bad.status, 3);
    EXPECT_THAT(qvm::testing::allMessagesOf(bad.err),
                ::testing::ElementsAre(qvm::testing::PlainMessage{
                    "W", "CARNUMERI", "[1] Digit not allowed in the base of numeric constant 08"}))
        << bad.err;

    const std::string data = std::string(QVM_TESTDATA_DIR) + "/canalysis/";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"last_status.doors[2].info.fault.code", "u16\t2\n"},
        {"door_names[1]", "const char *const\t6\n"},
        {"door_names", "const char *const [8]\t11\n"},
        {"tick_count", "volatile u32\t3\n"},
        {"door_send", "int (const command_msg_t *command)\t13\n"},
        {"last_status", "status_msg_t\t10\n"},
        {"(u8 *)door_buffer(0)", "u8 *\t6\n"},
        {"door_log", "int (const char *format, ...)\t13\n"},
    };
    for (const auto& [expression, expected] : cases) {
        const auto run = runInspect({"type", "embedded.h", expression}, {}, data);
        EXPECT_EQ(run.status, 0) << expression << run.err;
        EXPECT_EQ(run.out, expected) << expression;
    }
    const auto warned = runInspect({"type", "embedded.h", "last_status->count"}, {}, data);
    EXPECT_EQ(warned.status, 3);
    EXPECT_THAT(qvm::testing::allMessagesOf(warned.err),
                ::testing::ElementsAre(qvm::testing::PlainMessage{
                    "W", "NOPOSTRUC",
                    "[1] Left operand of -> is not a pointer to a structure or a union last_status"}))
        << warned.err;
}

}  // namespace
}  // namespace qvm::canalysis
