// The scenario tree through qvmprepro and qvminspect model: which scenarios
// and procedures the selection options leave marked for generation, the
// level blocks of each level, instance blocks in every instance mode, filter
// prefixes and SET/UNSET letters, and every message of these rules.
#include "script_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace qvm::testing;
using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kHeader = "HEADER \"a\", \"b\", \"c\"\n";

class ScenarioRules : public ScriptRunTest {
protected:
    ScenarioRules() : ScriptRunTest("int compute(int value);\n") {}

    // The listing's rows of one entry code, without their indent.
    static std::vector<std::string> rowsOf(const RunResult& run, const std::string& code)
    {
        std::vector<std::string> found = modelRows(run, code);
        for (std::string& row : found) {
            row.erase(0, row.find_first_not_of(' '));
        }
        return found;
    }

    // Names (qualified names for scenarios) of the rows marked generate=yes.
    static std::vector<std::string> generated(const RunResult& run, const std::string& code)
    {
        std::vector<std::string> names;
        for (const std::string& row : rowsOf(run, code)) {
            if (row.find("generate=yes") == std::string::npos) {
                continue;
            }
            const std::size_t qualified = row.find("qualified=\"");
            names.push_back(qualified == std::string::npos
                                ? row.substr(code.size() + 1, row.find('\t', code.size() + 1) - code.size() - 1)
                                : row.substr(qualified + 11, row.find('"', qualified + 11) - qualified - 11));
        }
        return names;
    }
};

// ---- selection over one tree ----

// Three levels, families on some scenarios, an instance block, and a
// procedure called only by a level block of AB.
const std::string kTree = kHeader +
                          "DECLARE_INSTANCE east, west\n"
                          "# int shared;\n"
                          "PROC cleanup()\n  PAUSE 0\nEND PROC\n"
                          "SCENARIO A\n"
                          "FAMILY smoke\n"
                          "INITIALIZATION\n  PAUSE 1\nEND INITIALIZATION\n"
                          "  SCENARIO B\n  FAMILY slow\n"
                          "    SCENARIO C\n      PAUSE 1\n    END SCENARIO\n"
                          "    SCENARIO D\n    FAMILY smoke, fast\n"
                          "INSTANCE east :\n      PAUSE 2\nEND INSTANCE\n"
                          "    END SCENARIO\n"
                          "  END SCENARIO\n"
                          "  SCENARIO E\n    PAUSE 3\n  END SCENARIO\n"
                          "END SCENARIO\n"
                          "SCENARIO AB\nFAMILY fast\n"
                          "  SCENARIO B\n    PAUSE 4\n  END SCENARIO\n"
                          "TERMINATION cleanup()\n"
                          "END SCENARIO\n"
                          "SCENARIO F\n  PAUSE 5\nEND SCENARIO\n";

struct Selection {
    const char* title;
    std::vector<std::string> options;
    std::vector<std::string> scenarios;   // qualified names generated, in script order
    std::vector<std::string> procedures;  // procedures generated
};

class Tree : public ScenarioRules, public ::testing::WithParamInterface<Selection> {};

TEST_P(Tree, Marks)
{
    const RunResult run = model(kTree, GetParam().options);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(generated(run, "ENT_SCENARIO"), ElementsAreArray(GetParam().scenarios));
    EXPECT_THAT(generated(run, "ENT_PROC"), ElementsAreArray(GetParam().procedures));
}

INSTANTIATE_TEST_SUITE_P(
    Options, Tree,
    ::testing::Values(
        Selection{"Everything", {}, {"", "A", "A.B", "A.B.C", "A.B.D", "A.E", "AB", "AB.B", "F"}, {"cleanup"}},
        Selection{"ScnKeepsAncestors", {"-SCN=A.B"}, {"", "A", "A.B", "A.B.C", "A.B.D"}, {}},
        Selection{"ScnOfTwoLeaves", {"-SCN=A.B.D,F"}, {"", "A", "A.B", "A.B.D", "F"}, {}},
        Selection{"ScnIsNoTextPrefix", {"-SCN=AB.B"}, {"", "AB", "AB.B"}, {"cleanup"}},
        Selection{"ExscnTakesDescendants", {"-EXSCN=A"}, {"", "AB", "AB.B", "F"}, {"cleanup"}},
        // AB's block is analysed before AB turns out to hold nothing generated.
        Selection{"ExscnEmptyingALevel", {"-EXSCN=A.B,AB.B"}, {"", "A", "A.E", "F"}, {}},
        Selection{"FamilyKeepsNoFamily", {"-FAMILY=smoke"}, {"", "A", "A.E", "F"}, {}},
        Selection{"FamilyBelowLeftOut", {"-FAMILY=smoke", "-NOFAST"}, {"", "A", "A.E", "F"}, {}},
        Selection{"FamilyOfBlockOwner", {"-FAMILY=fast"}, {"", "AB", "AB.B", "F"}, {"cleanup"}},
        Selection{"ExfamilyDropsASubtree", {"-EXFAMILY=slow"}, {"", "A", "A.E", "AB", "AB.B", "F"}, {"cleanup"}},
        Selection{"FamilyThenName", {"-FAMILY=smoke,slow", "-SCN=A.B.D"}, {"", "A", "A.B", "A.B.D"}, {}},
        Selection{"InstanceKeepsTree", {"-INSTANCE=west", "-EXSCN=F"},
                  {"", "A", "A.B", "A.B.C", "A.B.D", "A.E", "AB", "AB.B"}, {"cleanup"}}),
    [](const ::testing::TestParamInfo<Selection>& info) { return std::string(info.param.title); });

// F has no FAMILY line: a family option keeps it unless its name is excluded.
TEST_F(ScenarioRules, NothingSelectedIsError)
{
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-FAMILY=none", "-EXSCN=F"}, {"-FAMILY=smoke", "-SCN=A.B"}, {"-SCN=G"}}) {
        const RunResult run = prepro(kTree, options);
        EXPECT_EQ(run.status, 5) << options.front();
        EXPECT_THAT(allMessagesOf(run.err),
                    ::testing::Contains(PlainMessage{
                        "E", "NOSCENGEN", "No scenario generated (see options -SCN, -EXSCN, -FAMILY, -EXFAMILY)"}));
        EXPECT_FALSE(std::filesystem::exists(work / "out.c"));
    }
    // A -SCN name that only ends qualified names: the scenarios it meant are named.
    const RunResult lastName = prepro(kTree, {"-SCN=B"});
    EXPECT_EQ(lastName.status, 5);
    for (const char* qualified : {"A.B", "AB.B"}) {
        EXPECT_THAT(allMessagesOf(lastName.err),
                    ::testing::Contains(PlainMessage{"I", "SCNLASTNM",
                                                     std::string("Scenario ") + qualified +
                                                         " ends with the name B given to -SCN; -SCN takes qualified names"}));
    }
}

// Without FAST the scenarios left out are analysed all the same: their
// errors are reported, and neither they nor what they call is generated.
TEST_F(ScenarioRules, FastSkipsLeftOut)
{
    const std::string script = kHeader + "# int x;\nPROC q()\n  PAUSE 1\nEND PROC\n"
                                         "SCENARIO kept\n  PAUSE 1\nEND SCENARIO\n"
                                         "SCENARIO dropped\n  SCENARIO inner\n    RESET undeclared\n    CALL q()\n"
                                         "  END SCENARIO\nINITIALIZATION nowhere()\nEND SCENARIO\n";
    const RunResult fast = prepro(script, {"-SCN=kept"});
    EXPECT_EQ(fast.status, 0) << fast.err;
    const RunResult slow = model(script, {"-SCN=kept", "-NOFAST"});
    EXPECT_THAT(messagesOf(slow.err),
                ElementsAre(Message{"E", "IDENTINCO", "main.pts", 11}, Message{"E", "UNKCLPROC", "main.pts", 14},
                            Message{"I", "NOPROCCAL", "main.pts", 3}));
    EXPECT_THAT(generated(slow, "ENT_SCENARIO"), ElementsAre("", "kept"));
    EXPECT_THAT(generated(slow, "ENT_PROC"), IsEmpty());
    EXPECT_THAT(rowsOf(slow, "ENT_SCENARIO"), ElementsAre(HasSubstr("\"\""), HasSubstr("kept"),
                                                          HasSubstr("dropped"), HasSubstr("dropped.inner")));
    EXPECT_THAT(rowsOf(slow, "ENT_CALL"), ElementsAre(HasSubstr("procedure=\"q\"")));
    EXPECT_THAT(rowsOf(model(script, {"-SCN=kept"}), "ENT_CALL"), IsEmpty());
}

// ---- the tree itself ----

TEST_F(ScenarioRules, NamesLoopsLeafFlags)
{
    const RunResult run = model(kHeader + "# int x;\nSCENARIO T LOOP 3\n  SCENARIO T\n    PAUSE 1\n  END SCENARIO\n"
                                          "END SCENARIO\nSCENARIO U\n  SCENARIO T\n    PAUSE 1\n  END SCENARIO\n"
                                          "  SCENARIO T\n    PAUSE 2\n  END SCENARIO\nEND SCENARIO\n");
    // T in different parents is fine; the second T of U is reported and still analysed.
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"E", "SCENALREX", "main.pts", 12}, "Scenario 'T' already exists at this level")));
    EXPECT_THAT(rowsOf(run, "ENT_SCENARIO"),
                ElementsAre(HasSubstr("qualified=\"\" loop=0 leaf=0"), HasSubstr("qualified=\"T\" loop=3 leaf=0"),
                            HasSubstr("qualified=\"T.T\" loop=0 leaf=1"), HasSubstr("qualified=\"U\" loop=0 leaf=0"),
                            HasSubstr("qualified=\"U.T\" loop=0 leaf=1"), HasSubstr("qualified=\"U.T\" loop=0 leaf=1")));
    EXPECT_EQ(rowsOf(run, "ENT_PAUSE").size(), 3u);
}

TEST_F(ScenarioRules, LevelBlocksFirst)
{
    const RunResult run = model(kHeader + "# int x;\nPROC p(int a)\n  PAUSE a\nEND PROC\n"
                                          "SCENARIO s\n"
                                          "  SCENARIO t\n    PAUSE 1\n  END SCENARIO\n"
                                          "EXCEPTION p(2)\n"
                                          "INITIALIZATION\n\n  # int local;\n  PAUSE local\nEND INITIALIZATION\n"
                                          "TERMINATION\n  PAUSE 3\nEND TERMINATION\n"
                                          "END SCENARIO\n"
                                          "INITIALIZATION p(4)\n");
    EXPECT_EQ(run.status, 0) << run.err;
    const auto all = lines(run.out);
    const auto at = [&](const std::string& code) {
        return std::find_if(all.begin(), all.end(), [&](const std::string& l) { return l.find(code) != std::string::npos; });
    };
    // Root level: the block written after the scenarios comes first.
    EXPECT_LT(at("ENT_INITIALIZATION\tp\tmain.pts:20"), at("ENT_SCENARIO\ts\t"));
    EXPECT_THAT(rowsOf(run, "ENT_EXCEPTION"), ElementsAre("ENT_EXCEPTION\tp\tmain.pts:10\tDSC_EXCEPTION procedure=\"p\""));
    EXPECT_THAT(rowsOf(run, "ENT_INITIALIZATION"),
                ElementsAre("ENT_INITIALIZATION\tp\tmain.pts:20\tDSC_INITIALIZATION procedure=\"p\"",
                            "ENT_INITIALIZATION\t\"\"\tmain.pts:11\tDSC_INITIALIZATION procedure=-"));
    EXPECT_THAT(rowsOf(run, "ENT_TERMINATION"), ElementsAre("ENT_TERMINATION\t\"\"\tmain.pts:16\tDSC_TERMINATION procedure=-"));
    // In s: EXCEPTION, INITIALIZATION, TERMINATION in script order, then t.
    EXPECT_LT(at("ENT_EXCEPTION"), at("ENT_INITIALIZATION\t\"\""));
    EXPECT_LT(at("ENT_TERMINATION"), at("ENT_SCENARIO\tt\t"));
    // The block's declarations live in their own C scope.
    EXPECT_THAT(rowsOf(run, "ENT_PAUSE"), ::testing::Contains(HasSubstr("ENT_PAUSE\tlocal\tmain.pts:14")));
    EXPECT_THAT(generated(run, "ENT_PROC"), ElementsAre("p"));
    EXPECT_EQ(model(kHeader + "# int x;\nSCENARIO s\nINITIALIZATION\n  PAUSE 1\nEND INITIALIZATION\n"
                              "SCENARIO t\n  PAUSE local\nEND SCENARIO\nINITIALIZATION\n  # int local;\n"
                              "  PAUSE local\nEND INITIALIZATION\nEND SCENARIO\n")
                  .status,
              5);
}

// A tree as deep as the parser takes, with long names: the analysis keeps
// one bounded path, not every qualified name.
TEST_F(ScenarioRules, DeepLongNamesBounded)
{
    const int depth = 3000;
    std::string script = kHeader + "# int x;\n";
    for (int i = 0; i < depth; ++i) {
        script += "SCENARIO S" + std::to_string(i) + std::string(2000, 'N') + "\n";
    }
    script += "  # int y;\n";
    for (int i = 0; i < depth; ++i) {
        script += "END SCENARIO\n";
    }
    writeFile(work / "main.pts", script);
    // Every qualified name held at once would take some 9 GB.
    const RunResult run = runProgram(
        "/bin/sh",
        {"-c", "ldd \"$0\" | grep -q libasan || ulimit -v 1000000; exec \"$0\" \"$@\"", QVM_PREPRO_BIN, "main",
         "api.h", "out"},
        {{"FENWIRDIR", std::string(QVM_SHARE_DIR)}}, work.path());
    // The 21st level is deeper than the program counts; the leaf's C scope,
    // named after its whole path, is longer than the bridge takes.
    EXPECT_EQ(run.status, 5) << run.err.substr(0, 2000);
    EXPECT_THAT(messagesOf(run.err), ElementsAre(Message{"E", "SCENDEPTH", "main.pts", 23},
                                                 Message{"E", "DEBORUBAN", "main.pts", depth + 3}));
}

// ---- instances ----

TEST_F(ScenarioRules, InstanceBlocksFollowMode)
{
    const std::string script = kHeader + "DECLARE_INSTANCE east\nDECLARE_INSTANCE west, north\n"
                                         "INSTANCE west :\n  # int west_only;\nEND INSTANCE\n"
                                         "SCENARIO s\n"
                                         "INSTANCE east, north :\n  # int pair;\nEND INSTANCE\n"
                                         "  PAUSE 1\n"
                                         "INSTANCE west :\n  PAUSE 2\n  IF (1) THEN\n    PAUSE 3\n  END IF\nEND INSTANCE\n"
                                         "END SCENARIO\n";
    const auto codes = [&](const RunResult& run) {
        std::vector<std::string> found;
        for (const std::string& line : lines(run.out)) {
            if ((line.find("ENT_INSTANCE") != std::string::npos && line.find("_DECL") == std::string::npos) ||
                line.find("ENT_PAUSE") != std::string::npos ||
                line.find("ENT_HASH_LINE") != std::string::npos) {
                found.push_back(line.substr(line.find_first_not_of(' '), line.find('\t') - line.find_first_not_of(' ')) +
                                " " + line.substr(line.find('\t') + 1, line.find('\t', line.find('\t') + 1) - line.find('\t') - 1));
            }
        }
        return found;
    };
    // Mode 2: every block with its markers and uses.
    const RunResult all = model(script);
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_THAT(rowsOf(all, "ENT_INSTANCE_DECL"),
                ElementsAre(HasSubstr("number=2"), HasSubstr("number=3"), HasSubstr("number=4")));
    EXPECT_THAT(codes(all),
                ElementsAre("ENT_INSTANCE_BEGIN \"\"", "ENT_INSTANCE_USE west", "ENT_HASH_LINE  int west_only;",
                            "ENT_INSTANCE_END \"\"", "ENT_INSTANCE_HASH_BEGIN \"\"", "ENT_INSTANCE_USE east",
                            "ENT_INSTANCE_USE north", "ENT_HASH_LINE  int pair;", "ENT_INSTANCE_HASH_END \"\"",
                            "ENT_PAUSE 1", "ENT_INSTANCE_BODY_BEGIN \"\"", "ENT_INSTANCE_USE west", "ENT_PAUSE 2",
                            "ENT_PAUSE 3", "ENT_INSTANCE_BODY_END \"\""));
    EXPECT_THAT(lines(all.out).back(), "instance-mode=2 instance=0 timers=0");
    // Mode 1: only the chosen instance's contents, no markers.
    const RunResult west = model(script, {"-INSTANCE=west"});
    EXPECT_THAT(codes(west), ElementsAre("ENT_HASH_LINE  int west_only;", "ENT_PAUSE 1", "ENT_PAUSE 2", "ENT_PAUSE 3"));
    EXPECT_THAT(lines(west.out).back(), "instance-mode=1 instance=2 timers=0");
    const RunResult north = model(script, {"-INSTANCE=north"});
    EXPECT_THAT(codes(north), ElementsAre("ENT_HASH_LINE  int pair;", "ENT_PAUSE 1"));
    // Mode 3: the instance is chosen at run time, so every block keeps its markers.
    const RunResult south = prepro(script, {"-INSTANCE=south"});
    EXPECT_EQ(south.status, 0);
    EXPECT_THAT(allMessagesOf(south.err),
                ::testing::Contains(PlainMessage{"I", "ISTNOPLAN", "Instance south undeclared in test plan"}));
    const RunResult southModel = model(script, {"-INSTANCE=south"});
    EXPECT_THAT(codes(southModel), ElementsAre("ENT_INSTANCE_BEGIN \"\"", "ENT_INSTANCE_USE west",
                                               "ENT_HASH_LINE  int west_only;", "ENT_INSTANCE_END \"\"",
                                               "ENT_INSTANCE_HASH_BEGIN \"\"", "ENT_INSTANCE_USE east",
                                               "ENT_INSTANCE_USE north", "ENT_HASH_LINE  int pair;",
                                               "ENT_INSTANCE_HASH_END \"\"", "ENT_PAUSE 1",
                                               "ENT_INSTANCE_BODY_BEGIN \"\"", "ENT_INSTANCE_USE west", "ENT_PAUSE 2",
                                               "ENT_PAUSE 3", "ENT_INSTANCE_BODY_END \"\""));
    // Mode 0: no instances at all.
    EXPECT_THAT(lines(model(kHeader + "# int x;\nSCENARIO s\n  PAUSE 1\nEND SCENARIO\n").out).back(),
                "instance-mode=0 instance=0 timers=0");
}

// The order of instance blocks is checked on the script as written, whichever
// instance is chosen.
TEST_F(ScenarioRules, DeclBlocksFirstPerInstance)
{
    const std::string script = kHeader + "DECLARE_INSTANCE east, west\nSCENARIO s\n"
                                         "INSTANCE east :\n  PAUSE 1\nEND INSTANCE\n"
                                         "INSTANCE west :\n  # int late;\nEND INSTANCE\n"
                                         "END SCENARIO\n"
                                         "SCENARIO t\nINSTANCE west :\n  # int early;\nEND INSTANCE\n  PAUSE 2\n"
                                         "END SCENARIO\n";
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"-INSTANCE=west"}, {"-INSTANCE=east"}, {"-INSTANCE=south"}}) {
        const RunResult run = prepro(script, options);
        EXPECT_EQ(run.status, 5);
        EXPECT_THAT(messagesOf(run.err),
                    ElementsAre(IsMessage({"E", "BADIBSEQ", "main.pts", 7},
                                          "Invalid sequence of instance declarations-blocks and instruction-blocks")));
    }
}

// ---- every message of the rules ----

struct RuleCase {
    const char* title;
    std::string script;
    std::vector<std::string> options;
    int status;
    std::vector<Message> expected;
};

class Scn : public ScenarioRules, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(Scn, Reported)
{
    const RunResult run = prepro(GetParam().script, GetParam().options);
    EXPECT_EQ(run.status, GetParam().status) << run.err;
    const auto reported = messagesOf(run.err);
    ASSERT_THAT(reported, ElementsAreArray(GetParam().expected)) << run.err;
    for (std::size_t i = 0; i < reported.size(); ++i) {
        if (!GetParam().expected[i].text.empty()) {
            EXPECT_EQ(reported[i].text, GetParam().expected[i].text);
        }
    }
}

std::string scenario(const std::string& body)
{
    return "SCENARIO s\n" + body + "END SCENARIO\n";
}

const std::string kProc = kHeader + "PROC p()\n  PAUSE 1\nEND PROC\n";

INSTANTIATE_TEST_SUITE_P(
    Rules, Scn,
    ::testing::Values(
        RuleCase{"ScenarioTwice",
                 kHeader + "# int x;\nSCENARIO T\n  PAUSE 1\nEND SCENARIO\nSCENARIO T\n  PAUSE 2\nEND SCENARIO\n",
                 {}, 5, {{"E", "SCENALREX", "main.pts", 6, "Scenario 'T' already exists at this level"}}},
        RuleCase{"FamilyTwiceOnALine",
                 kHeader + "# int x;\nSCENARIO T\nFAMILY F1, F2, F1, F1\n  PAUSE 1\nEND SCENARIO\n",
                 {}, 3,
                 {{"W", "FNAMNOTUS", "main.pts", 4, "Family name 'F1' already used it will be ignored"},
                  {"W", "FNAMNOTUS", "main.pts", 4}}},
        RuleCase{"TwoInitializations",
                 kProc + scenario("INITIALIZATION p()\nINITIALIZATION\n  PAUSE 1\nEND INITIALIZATION\n"
                                  "  SCENARIO t\n    PAUSE 1\n  END SCENARIO\n"),
                 {}, 5, {{"E", "TOOMCHINI", "main.pts", 7, "At the same level only one initialization bloc can be used"}}},
        RuleCase{"TwoTerminations",
                 kProc + scenario("TERMINATION q()\n  SCENARIO t\n    PAUSE 1\n  END SCENARIO\nTERMINATION p()\n"),
                 {}, 5,
                 {{"E", "UNKCLPROC", "main.pts", 6, "Unknown procedure 'q'"}, {"E", "TOOMCHTER", "main.pts", 10}}},
        RuleCase{"TwoRootExceptions",
                 kProc + "EXCEPTION\n  PAUSE 1\nEND EXCEPTION\n" + scenario("  PAUSE 1\n") + "EXCEPTION p()\n",
                 {}, 5, {{"E", "TOOMCHEXC", "main.pts", 11}}},
        RuleCase{"OneBlockOfEachKind",
                 kProc + "INITIALIZATION p()\n" +
                     scenario("INITIALIZATION p()\nTERMINATION p()\nEXCEPTION p()\n  SCENARIO t\n    PAUSE 1\n"
                              "  END SCENARIO\n"),
                 {}, 0, {}},
        RuleCase{"InstanceDeclaredTwice", kHeader + "DECLARE_INSTANCE a, b\nDECLARE_INSTANCE c, a, d\n" + scenario("  PAUSE 1\n"),
                 {}, 5, {{"E", "ISTNALRDEC", "main.pts", 3, "Instance a is already declared"}}},
        RuleCase{"UndeclaredInstances",
                 kHeader + "DECLARE_INSTANCE a\nINSTANCE a, z :\n  # int x;\nEND INSTANCE\n" +
                     scenario("INSTANCE y, a, w :\n  PAUSE 1\nEND INSTANCE\n"),
                 {}, 5,
                 {{"E", "UNDECISTN", "main.pts", 3, "Instance 'z' not declared"},
                  {"E", "UNDECISTN", "main.pts", 7, "Instance 'y' not declared"}}},
        RuleCase{"UndeclaredWhenChosen",
                 kHeader + "DECLARE_INSTANCE a\n" + scenario("INSTANCE y :\n  PAUSE 1\nEND INSTANCE\n"),
                 {"-INSTANCE=a"}, 0, {}},
        RuleCase{"NoInstancesDeclared",
                 kHeader + "# int x;\n" +
                     scenario("  PAUSE 1\nINSTANCE a :\n  # int y;\nEND INSTANCE\nINSTANCE a :\n  PAUSE 2\nEND INSTANCE\n"),
                 {}, 5,
                 {{"E", "NODCLISTN", "main.pts", 5, "Use of instances without any declarations"},
                  {"E", "NODCLISTN", "main.pts", 8}}},
        RuleCase{"DeclBlockAfterInstr",
                 kHeader + "DECLARE_INSTANCE a\nPROC late()\n  PAUSE 1\nINSTANCE a :\n  # int z;\nEND INSTANCE\n"
                           "END PROC\n" +
                     scenario("INSTANCE a :\n  # int first;\nEND INSTANCE\n  CALL late()\nINSTANCE a :\n  # int y;\n"
                              "END INSTANCE\n"),
                 {}, 5, {{"E", "BADIBSEQ", "main.pts", 5}, {"E", "BADIBSEQ", "main.pts", 14}}},
        RuleCase{"FilterPrefixes",
                 kHeader + "# int x;\n" +
                     scenario("%+A PAUSE 1\n%A~ PAUSE 2\n%A+ PAUSE 3\n%A~~B PAUSE 4\n%A~+B PAUSE 5\n%A++B PAUSE 6\n"
                              "%%+A PAUSE 7\n%A+~B PAUSE 8\n%~A+B~C PAUSE 9\n%%~A PAUSE 10\n%ZYX PAUSE 11\n"),
                 {}, 5,
                 {{"E", "BADFLTSTX", "main.pts", 4, "Incorrect filter syntax '+A'"},
                  {"E", "BADFLTSTX", "main.pts", 5, "Incorrect filter syntax 'A~'"},
                  {"E", "BADFLTSTX", "main.pts", 6},
                  {"E", "BADFLTSTX", "main.pts", 7},
                  {"E", "BADFLTSTX", "main.pts", 8},
                  {"E", "BADFLTSTX", "main.pts", 9},
                  {"E", "BADFLTSTX", "main.pts", 10, "Incorrect filter syntax '%+A'"}}},
        RuleCase{"FilterLetters",
                 kHeader + "# int x;\n" + scenario("  SET(\"A1\")\n  UNSET(\"a-B\")\n  SET(\"XYZ\")\n"),
                 {}, 5,
                 {{"E", "BADLETFLT", "main.pts", 4, "Character '1' not allowed inside a filter description"},
                  {"E", "BADLETFLT", "main.pts", 5, "Character 'a' not allowed inside a filter description"},
                  {"E", "BADLETFLT", "main.pts", 5, "Character '-' not allowed inside a filter description"}}}),
    [](const ::testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.title); });

}  // namespace
