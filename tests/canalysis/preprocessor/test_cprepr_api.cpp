// The preprocessing cycle through its entry points: reports, cycles run one
// after the other, the analysis switch and the lists kept for the C analysis.
#include "canalysis/preprocessor/cprepr.h"

#include "canalysis/preprocessor/cevalif.h"

#include "support/creports.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvm::canalysis {
namespace {

using testing::CReport;

class CpreprApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::unsetenv("QVMTGT");
        ::unsetenv("TRVTGT");
        ::unsetenv("ZWK_ADD_USR_INCLUDE");
        installCallback(collector());
        C_CPP_init_prepro(false, false, {}, {}, {}, table_, true);
    }

    void TearDown() override
    {
        C_CPP_end_prepro(table_, true);
        installCallback({});
        C_CPP_set_resource_limits(static_cast<std::size_t>(-1), static_cast<std::size_t>(-1));
    }

    DiagnosticCallback collector() { return testing::recordInto(reports_); }

    std::string run(const std::string& text, int analyseAll = 1, const std::string& file = "s.pts", int line = 1)
    {
        std::string result;
        errors_ = C_CPP_prepro_buffer(text, analyseAll, file, line, result, table_, collector());
        return result;
    }

    bool reported(const std::string& code) const
    {
        for (const auto& r : reports_) {
            if (r.code == code) {
                return true;
            }
        }
        return false;
    }

    MacroTable table_;
    std::vector<CReport> reports_;
    int errors_ = 0;
};

TEST_F(CpreprApi, TheHashOfTheMacroTable)
{
    EXPECT_EQ(MacroTable::hash(""), 0u);
    EXPECT_EQ(MacroTable::hash("A"), 65u);
    EXPECT_EQ(MacroTable::hash("AB"), (65u * 4 + 66) % 1403);
    // Long names wrap in 32 bits before the mask and the modulo.
    std::uint32_t h = 0;
    for (const char c : std::string("a_rather_long_macro_name_for_the_hash")) {
        h = h * 4 + static_cast<unsigned char>(c);
    }
    EXPECT_EQ(MacroTable::hash("a_rather_long_macro_name_for_the_hash"), (h & 0x7fffffffu) % 1403);
}

TEST(MacroRecords, NamesFoundTillLastRemoved)
{
    MacroTable table;
    // Same first character, and lengths equal or 32 apart.
    const std::string longName = "A" + std::string(33, 'b');
    MacroEntry& a = table.insert("AB", kKindUser);
    table.insert("AC", kKindUser);
    table.insert(longName, kKindUser);
    EXPECT_EQ(table.find("AD"), nullptr);
    table.remove(&a);
    EXPECT_EQ(table.find("AB"), nullptr);
    EXPECT_NE(table.find("AC"), nullptr);
    EXPECT_NE(table.find(longName), nullptr);
    table.removeAll("AC", [](MacroKind) {});
    EXPECT_EQ(table.find("AC"), nullptr);
    EXPECT_NE(table.find(longName), nullptr);
    table.removeIf([](const MacroEntry&) { return true; });
    EXPECT_EQ(table.find(longName), nullptr);
    table.insert("AB", kKindUser);
    EXPECT_NE(table.find("AB"), nullptr);
    table.clear();
    EXPECT_EQ(table.find("AB"), nullptr);
    table.insert("AB", kKindUser);
    EXPECT_NE(table.find("AB"), nullptr);
}

TEST_F(CpreprApi, MacrosLiveUntilCycleEnds)
{
    run("#define KEEP 42\n");
    EXPECT_EQ(run("KEEP\n"), "#line 1 \"s.pts\"\n42\n");
    EXPECT_TRUE(C_CPP_macro_defined("KEEP"));
    C_CPP_end_prepro(table_, false);
    EXPECT_EQ(table_.find("KEEP"), nullptr);
    EXPECT_NE(table_.find("__LINE__"), nullptr);
    EXPECT_FALSE(C_CPP_macro_defined("__LINE__"));  // no cycle open
    C_CPP_init_prepro(false, false, {}, {}, {}, table_, false);
    EXPECT_EQ(run("KEEP\n"), "#line 1 \"s.pts\"\nKEEP\n");
}

TEST_F(CpreprApi, TextsStartAtGivenLine)
{
    EXPECT_EQ(run("__LINE__ __FILE__\n", 1, "script.pts", 40), "#line 40 \"script.pts\"\n40 \"script.pts\"\n");
    run("#if 1\n", 1, "script.pts", 12);
    run("#bogus\n#endif\n#endif\n", 1, "other.pts", 3);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].code, "UNBAENDIF");
    EXPECT_EQ(reports_[0].file, "other.pts");
    EXPECT_EQ(reports_[0].line, 5);
}

TEST_F(CpreprApi, NamelessTextsNoLineLines)
{
    EXPECT_EQ(run("a\n\n\n\n\n\n\n\n\n\nb __FILE__\n", 1, ""), "a\n\n\n\n\n\n\n\n\n\nb \"\"\n");
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].code, "FICINCONN");
    EXPECT_EQ(reports_[0].argument, "__FILE__");
    EXPECT_EQ(reports_[0].line, 0);
}

TEST_F(CpreprApi, AnalysisSwitchSkipsText)
{
    const std::string text = "a\n#pragma tarvo stop_analyse\nb\n#pragma tarvo start_analyse\nc\n";
    EXPECT_EQ(run(text, 0), "#line 1 \"s.pts\"\na\n\n\n\nc\n");
    EXPECT_EQ(run("#pragma tarvo stop_analyze\n", 0), "#line 1 \"s.pts\"\n\n");
    // The switch stays off for the next text until a start pragma or an alias of one.
    EXPECT_EQ(run("x\n#pragma tarvo pragma RESUME \"tarvo start_analyze\"\ny\n", 0), "#line 1 \"s.pts\"\n");
    run("#pragma tarvo pragma RESUME \"tarvo start_analyze\"\n", 1);
    EXPECT_EQ(run("x\n#pragma  RE SUME\ny\n", 0), "#line 1 \"s.pts\"\n\n\ny\n");
    // Everything is processed when the analyse-all flag is given.
    run("#pragma tarvo stop_analyse\n", 1);
    EXPECT_EQ(run("z\n", 1), "#line 1 \"s.pts\"\nz\n");
}

TEST_F(CpreprApi, EvaluatorWarningsOnDirective)
{
    run("\n#if 1 2\n#endif\n#if 1/0\nyes\n#endif\n", 1, "e.h");
    ASSERT_GE(reports_.size(), 2u);
    EXPECT_EQ(reports_[0].code, "ERRAFTEND");
    EXPECT_EQ(reports_[0].file, "e.h");
    EXPECT_EQ(reports_[0].line, 2);
    EXPECT_EQ(reports_[1].code, "DIVISZERO");
    EXPECT_EQ(reports_[1].line, 4);
    EXPECT_EQ(errors_, 0);
}

TEST_F(CpreprApi, IfLinesUseTheMacroTable)
{
    run("#define TWO 2\n");
    EXPECT_EQ(C_CPP_eval_if_line("TWO * 3 + defined(TWO) + defined TWO"), 8);
    EXPECT_EQ(C_CPP_eval_if_line("#machine(TWO) && #lint(on)"), 0);
    EXPECT_EQ(C_CPP_eval_if_line("UNKNOWN + 5"), 5);
}

TEST_F(CpreprApi, CharUnsignedReachesEvaluator)
{
    run("#if '\\377' < 0\nsigned\n#endif\n#define __CHAR_UNSIGNED__\n#if '\\377' > 0\nunsigned\n#endif\n");
    EXPECT_EQ(run("#if '\\377' > 0\nunsigned\n#endif\n"), "#line 1 \"s.pts\"\n\nunsigned\n\n");
}

TEST_F(CpreprApi, SearchListAndSystemDirectories)
{
    C_CPP_end_prepro(table_, true);
    ::setenv("QVMTGT", "/opt/tgt", 1);
    ::setenv("TRVTGT", "/opt/other", 1);
    ::setenv("ZWK_ADD_USR_INCLUDE", "", 1);
    C_CPP_init_prepro(false, false, {}, {"inc1", "inc2"}, {}, table_, true);
    const std::vector<std::string> expected{"inc1", "inc2", "/opt/tgt/lib", "/usr/include", "/usr/local/include"};
    EXPECT_EQ(C_CPP_search_list(), expected);
    EXPECT_EQ(C_CPP_system_directories(),
              (std::vector<std::string>{"/opt/tgt/lib", "/usr/include", "/usr/local/include"}));
    run("#pragma tarvo incl_std \"C:\\a b\",d\\e\n");
    EXPECT_EQ(C_CPP_system_directories().back(), "d\\\\e");
    EXPECT_EQ(C_CPP_search_list().back(), "d\\e");
    ::unsetenv("QVMTGT");
    ::unsetenv("TRVTGT");
    ::unsetenv("ZWK_ADD_USR_INCLUDE");
}

TEST_F(CpreprApi, TypeModifiersUntilCycleEnds)
{
    run("#pragma tarvo type_modifier = near\n#pragma tarvo type_modifier=far\n#pragma tarvo type_modifier = near\n");
    EXPECT_EQ(C_CPP_type_modifiers(), (std::vector<std::string>{"near", "far"}));
    C_CPP_end_prepro(table_, false);
    EXPECT_TRUE(C_CPP_type_modifiers().empty());
    C_CPP_init_prepro(false, false, {}, {}, {}, table_, false);
}

TEST_F(CpreprApi, InitialFileAtOnce)
{
    testing::TempDir dir;
    testing::writeFile(dir / "defs.h", "#define FROM_FILE 7\n");
    C_CPP_end_prepro(table_, true);
    C_CPP_init_prepro(false, false, {"OPT=3"}, {}, (dir / "defs.h").string(), table_, true);
    EXPECT_EQ(run("FROM_FILE OPT\n"), "#line 1 \"s.pts\"\n7 3\n");
}

TEST_F(CpreprApi, ReturningFatalKeepsEngine)
{
    run("#include \"no/such/file.h\"\nafter\n");
    EXPECT_TRUE(reported("IMPOUVFIC"));
    EXPECT_EQ(run("#define R(x) R(x)\nR(R(1))\n"), "#line 1 \"s.pts\"\n\nR(R(1))\n");
}

TEST_F(CpreprApi, LimitsStopRunawayExpansion)
{
    std::string text;
    for (int i = 0; i < 40; ++i) {
        text += "#define m" + std::to_string(i) + " m" + std::to_string(i + 1) + " m" + std::to_string(i + 1) + "\n";
    }
    text += "m0\n";
    C_CPP_set_resource_limits(1 << 20, 100000);
    const std::string result = run(text);
    EXPECT_LT(result.size(), 2u << 20);
}

TEST_F(CpreprApi, OwnedContextsKeepTheirOwnState)
{
    Preprocessor first;
    Preprocessor second;
    MacroTable firstTable;
    MacroTable secondTable;
    first.init(false, false, {"ONE=1"}, {}, {}, firstTable, true);
    second.init(false, true, {}, {}, {}, secondTable, true);
    std::string result;
    first.process("#pragma tarvo type_modifier = near\n#if ONE\n", 1, "a.h", 1, result, firstTable, collector());
    second.process("#define TWO 2\n__STDC__ TWO ONE\n", 1, "b.h", 1, result, secondTable, collector());
    EXPECT_EQ(result, "#line 1 \"b.h\"\n\n__STDC__ 2 ONE\n");  // traditional: no __STDC__
    EXPECT_TRUE(first.macroDefined("ONE"));
    EXPECT_FALSE(first.macroDefined("TWO"));
    EXPECT_FALSE(C_CPP_macro_defined("ONE"));
    EXPECT_EQ(first.typeModifiers(), std::vector<std::string>{"near"});
    EXPECT_TRUE(second.typeModifiers().empty());
    EXPECT_EQ(second.evalIfLine("TWO * 2"), 4);
    reports_.clear();
    second.end(secondTable, true);
    EXPECT_TRUE(reports_.empty());
    first.end(firstTable, true);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].code, "UNTERCOND");
    EXPECT_EQ(reports_[0].file, "a.h");
}

TEST_F(CpreprApi, CallHooksTakenBack)
{
    installPositionProvider([] { return std::pair<std::string, int>("outer.c", 42); });
    run("\n#if 1/0\n#endif\n#define __CHAR_UNSIGNED__\n", 1, "in.h");
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].file, "in.h");
    EXPECT_EQ(reports_[0].line, 2);
    reports_.clear();
    // Between texts the evaluator reports where its caller is, and sees the
    // macros of the open cycle until the cycle ends.
    EXPECT_EQ(C_CPP_eval_if("1/0 + ('\\377' > 0)"), 2);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].file, "outer.c");
    EXPECT_EQ(reports_[0].line, 42);
    C_CPP_end_prepro(table_, true);
    EXPECT_EQ(C_CPP_eval_if("'\\377' > 0"), 0);
    installPositionProvider({});
    C_CPP_init_prepro(false, false, {}, {}, {}, table_, true);
}

TEST_F(CpreprApi, ThrowingFatalKeepsContext)
{
    struct Fatal : std::runtime_error {
        using std::runtime_error::runtime_error;
    };
    auto throwing = [this](int severity, std::string_view code, std::string_view argument, std::string_view file,
                           int line) {
        collector()(severity, code, argument, file, line);
        if (severity == CFatal) {
            throw Fatal(std::string(code));
        }
    };
    std::string result;
    EXPECT_THROW(C_CPP_prepro_buffer("#define F(x) <x>\nF(\n#include \"none.h\"\n1)\n", 1, "f.h", 1, result,
                                     table_, throwing),
                 Fatal);
    EXPECT_EQ(run("F(2) __LINE__\n", 1, "g.h", 5), "#line 5 \"g.h\"\n<2> 5\n");
    EXPECT_EQ(C_CPP_eval_if_line("defined F"), 1);
}

// A text of one line may be copied without a scan when nothing in it would
// change: whether it is or not, it comes out as in a text of several lines.
TEST_F(CpreprApi, OneLineTextsAsLongerOnes)
{
    run("#define M 2\n#define L 99\n#define F(x) [x]\n");
    const std::string texts[] = {
        "a + b(c, 1.5e+3, 0x1FUL)",
        "f(\"x \\\" y\", 'c', \"M\")",
        "\tlast_1.state != M && n->L[2] > 0",
        "1L + L",
        "F(3) + F",
        "__LINE__ __FILE__",
        "a /* c */ b // d",
        "s <: 1 :> ?\?( 2 ?\?)",
        "'x + y",
        "say \"open",
        "$name @ `x` ~y",
        "L\"w\" u8\"v\" M'c'",
        "x\x01y",
        "p \\ q",
    };
    for (const std::string& text : texts) {
        reports_.clear();
        const std::string single = run(text, 1, "s.pts", 7);
        const std::vector<CReport> singleReports = reports_;
        reports_.clear();
        const std::string longer = run(text + "\n\n", 1, "s.pts", 7);
        EXPECT_EQ(single + "\n", longer) << text;
        ASSERT_EQ(singleReports.size(), reports_.size()) << text;
        for (std::size_t i = 0; i < reports_.size(); ++i) {
            EXPECT_EQ(singleReports[i].code, reports_[i].code) << text;
            EXPECT_EQ(singleReports[i].line, reports_[i].line) << text;
        }
    }
    EXPECT_EQ(run("x + M", 1, "s.pts", 3), "#line 3 \"s.pts\"\nx + 2\n");
    // A backslash at the end joins the text's last line with nothing.
    EXPECT_EQ(run("a \\", 1, "s.pts", 3), "#line 3 \"s.pts\"\na ");
    run("#if 0\n");  // left open: the conditional does not reach later texts
    EXPECT_EQ(run("x + y", 1, "s.pts", 3), "#line 3 \"s.pts\"\nx + y\n");
    EXPECT_EQ(run("x + y\n", 1, "", 3), "x + y\n");
    run("#define Z 1");
    EXPECT_EQ(run("Z"), "#line 1 \"s.pts\"\n1\n");
    run("#endif\n");
}

TEST(CpreprText, KeepsLinesContinuations)
{
    EXPECT_EQ(C_CPP_prepare_text("a"), "a\n");
    EXPECT_EQ(C_CPP_prepare_text("?\?=x\n"), "#x  \n");
    EXPECT_EQ(C_CPP_prepare_text("<:x ?\?( \\\n"), "[x [    \\\n");
    EXPECT_EQ(C_CPP_prepare_text("x ?\?/  \r\n"), "x     \\\r\n");
    EXPECT_EQ(C_CPP_prepare_text("a?\?!b\n"), "a?\?!b\n");
}

TEST(CpreprText, ReplacementsEveryPosition)
{
    for (std::size_t before = 0; before < 20; ++before) {
        const std::string lead(before, 'x');
        EXPECT_EQ(C_CPP_prepare_text(lead + "?\?=y\n"), lead + "#y  \n") << before;
        EXPECT_EQ(C_CPP_prepare_text(lead + "<:y\n"), lead + "[y \n") << before;
        EXPECT_EQ(prepareOwnedText(lead + "y%>"), lead + "y} \n") << before;
        EXPECT_EQ(prepareOwnedText(lead + "? < : %\n"), lead + "? < : %\n") << before;
    }
}

TEST(CpreprText, DigraphsFoundAnywhere)
{
    const std::pair<const char*, char> digraphs[] = {{"<:", '['}, {":>", ']'}, {"<%", '{'}, {"%>", '}'}, {"%:", '#'}};
    for (std::size_t before = 0; before < 20; ++before) {
        const std::string lead(before, 'x');
        for (const auto& [digraph, replacement] : digraphs) {
            EXPECT_EQ(prepareOwnedText(lead + digraph + "abcdefghij\n"), lead + replacement + "abcdefghij \n")
                << before << digraph;
        }
        EXPECT_EQ(prepareOwnedText(lead + "?<?:?%>?>:<:%<%:>%:%?%<>?\n"), lead + "?<?:?}?>:[%{]#%?%<>?     \n")
            << before;
    }
}

TEST(CpreprText, HandedOverTextSameWay)
{
    for (const std::string text : {"", "a", "a\nb", "a\n\n", "x <: y\n%:z", "?\?=x\nok\n", "a : b % c < d ?\n"}) {
        EXPECT_EQ(prepareOwnedText(text), C_CPP_prepare_text(text)) << text;
    }
}

}  // namespace
}  // namespace qvm::canalysis
