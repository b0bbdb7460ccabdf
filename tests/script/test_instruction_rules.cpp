// The instruction rules through qvminspect model: calls of procedures and C
// functions with their arguments and hidden return variables, the use of
// procedures, VAR value entries, CASE values, timers, and every message of
// the rules with its severity and line.
#include "script_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qvm::testing;
using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;

const std::string kHeader = "HEADER \"a\", \"b\", \"c\"\n";

const std::string kInterface =
    "typedef struct { int code; char text[8]; } event_t;\n"
    "typedef struct { int x; int y; } point_t;\n"
    "typedef union { int i; float f; } data_t;\n"
    "typedef struct { point_t pos; data_t data; int tab[4]; } shape_t;\n"
    "typedef int link_id;\n"
    "enum color { RED, GREEN, BLUE };\n"
    "int compute(int value);\n"
    "void act(void);\n"
    "long total(int count, ...);\n"
    "char *label(int id);\n"
    "int legacy();\n"
    "point_t origin_point(void);\n"
    "int fill(point_t *p, int n);\n"
    "int bump(int *counter, int step);\n"
    "#define COMPUTE_TWICE(v) compute((v) * 2)\n"
    "#define ALIAS compute\n"
    "extern const int limit;\n"
    "static int counter;\n"
    "int plain_global;\n";

// Declarations of the script's own variables, on line 2 of every script.
const std::string kVariables = "# int x; long big; double ratio; point_t pt; shape_t shape; int tab[6];\n";

// The expected listing: columns written " | " apart stand for the tabs.
std::string listing(const std::vector<std::string>& rows)
{
    std::string out;
    for (std::string row : rows) {
        for (std::size_t at = row.find(" | "); at != std::string::npos; at = row.find(" | ", at)) {
            row.replace(at, 3, "\t");
        }
        out += row + "\n";
    }
    return out;
}

class InstrRules : public ScriptRunTest {
protected:
    InstrRules() : ScriptRunTest(kInterface) {}
};

TEST_F(InstrRules, CallsAndValuesEntries)
{
    const std::string script = kHeader + kVariables +
                               "PROC leafproc(int a, long b)\n"
                               "  IF (a > 0) THEN\n"
                               "    PAUSE a\n"
                               "  END IF\n"
                               "END PROC\n"
                               "PROC middle()\n"
                               "  CASE (x) IS\n"
                               "    WHEN 1 =>\n"
                               "      CALL leafproc(1, big)\n"
                               "    WHEN RED => WHEN OTHERS =>\n"
                               "      EXIT\n"
                               "  END CASE\n"
                               "END PROC\n"
                               "PROC lonely()\n"
                               "  CALL leafproc(2, 3)\n"
                               "END PROC\n"
                               "SCENARIO s\n"
                               "  CALL compute(1)\n"
                               "  WHILE (x < 3)\n"
                               "    CALL label(x) @ \"ok\"\n"
                               "  END WHILE\n"
                               "  CALL bump(REF(x @ 1 @ big), 2) @ 0 @ x\n"
                               "  CALL middle()\n"
                               "  VAR tab, EV=(4 => 1, 1..2 => [0..9], OTHERS => 7)\n"
                               "  VAR shape, INIT=(pos => (1, 2), data => (f => 1.5))\n"
                               "END SCENARIO\n"
                               "SCENARIO t\n"
                               "  CALL ALIAS(2) @ 4\n"
                               "END SCENARIO\n";
    const RunResult run = model(script);
    // The call passes big, a long, for an int *: the compiler's warning.
    EXPECT_EQ(run.status, 3) << run.err;
    const std::string expected = listing({
        "ENT_SCRIPT | \"\" | main.pts:1 | DSC_SCRIPT header1=\"\"a\"\" header2=\"\"b\"\" header3=\"\"c\"\"",
        "ENT_HASH_LINE |  int x; long big; double ratio; point_t pt; shape_t shape; int tab[6]; | main.pts:2 | -",
        // Used from a scenario through middle's CASE.
        "ENT_PROC | leafproc | main.pts:3 | DSC_PROC generate=yes",
        "  ENT_PARAM | a | main.pts:3 | DSC_PARAM type=\"int\" class=2",
        "  ENT_PARAM | b | main.pts:3 | DSC_PARAM type=\"long\" class=3",
        "  ENT_IF | \"\" | main.pts:4 | DSC_IF text=\"a > 0\" class=2",
        "    ENT_PAUSE | a | main.pts:5 | -",
        "ENT_PROC | middle | main.pts:8 | DSC_PROC generate=yes",
        "  ENT_PARAM | \"\" | main.pts:8 | DSC_PARAM type=\"\" class=14",
        "  ENT_CASE | \"\" | main.pts:9 | DSC_CASE text=\"x\" class=2",
        "    ENT_WHEN | \"\" | main.pts:10 | DSC_WHEN",
        "      ENT_WHEN_VALUE | 1 | main.pts:10 | -",
        "      ENT_CALL | leafproc | main.pts:11 | DSC_CALL expected=\"\" result=\"\" procedure=\"leafproc\" cfunction=0",
        "        ENT_ARG | 1 | main.pts:11 | DSC_ARG text=\"1\" ref=0 class=2 param=2",
        "        ENT_ARG | big | main.pts:11 | DSC_ARG text=\"big\" ref=0 class=3 param=3",
        "    ENT_WHEN | \"\" | main.pts:12 | DSC_WHEN",
        "      ENT_WHEN_VALUE | RED | main.pts:12 | -",
        "      ENT_WHEN_VALUE | OTHERS | main.pts:12 | -",
        "      ENT_EXIT | \"\" | main.pts:13 | -",
        // Its call of leafproc uses nothing: lonely itself is never called.
        "ENT_PROC | lonely | main.pts:16 | DSC_PROC generate=no",
        "  ENT_PARAM | \"\" | main.pts:16 | DSC_PARAM type=\"\" class=14",
        "  ENT_CALL | leafproc | main.pts:17 | DSC_CALL expected=\"\" result=\"\" procedure=\"leafproc\" cfunction=0",
        "    ENT_ARG | 2 | main.pts:17 | DSC_ARG text=\"2\" ref=0 class=2 param=2",
        "    ENT_ARG | 3 | main.pts:17 | DSC_ARG text=\"3\" ref=0 class=2 param=3",
        "ENT_SCENARIO | \"\" | main.pts:32 | DSC_SCENARIO qualified=\"\" loop=0 leaf=0 line=31 generate=yes",
        "  ENT_SCENARIO | s | main.pts:19 | DSC_SCENARIO qualified=\"s\" loop=0 leaf=1 line=28 generate=yes",
        // Hidden return variables: each prepended at the head of the
        // scenario, the one of the WHILE body too.
        "    ENT_RETURN_VAR | trv_return_1 | main.pts:22 | DSC_RETURN_VAR number=1 class=6",
        "    ENT_RETURN_VAR | trv_return_0 | main.pts:20 | DSC_RETURN_VAR number=0 class=2",
        "    ENT_CALL | compute | main.pts:20 | DSC_CALL expected=\"\" result=\"trv_return_0\" procedure=- cfunction=1 "
        "return=2 params=2",
        "      ENT_ARG | 1 | main.pts:20 | DSC_ARG text=\"1\" ref=0 class=2 param=2",
        "    ENT_WHILE | \"\" | main.pts:21 | DSC_WHILE text=\"x < 3\" class=2",
        // A string constant is an array of characters, counted as a string.
        "      ENT_CALL | label | main.pts:22 | DSC_CALL expected=\"\"ok\"\" result=\"trv_return_1\" procedure=- "
        "cfunction=1 return=6 params=2 expectedclass=6",
        "        ENT_ARG | x | main.pts:22 | DSC_ARG text=\"x\" ref=0 class=2 param=2",
        "    ENT_CALL | bump | main.pts:24 | DSC_CALL expected=\"0\" result=\"x\" procedure=- cfunction=1 return=2 "
        "params=9,2 expectedclass=2 resultclass=2",
        "      ENT_ARG | x | main.pts:24 | DSC_ARG text=\"x\" ref=1 class=2 param=9 expected=\"1\" expectedclass=2 "
        "result=\"big\" resultclass=3",
        "      ENT_ARG | 2 | main.pts:24 | DSC_ARG text=\"2\" ref=0 class=2 param=2",
        "    ENT_CALL | middle | main.pts:25 | DSC_CALL expected=\"\" result=\"\" procedure=\"middle\" cfunction=0",
        // Elements by increasing index; OTHERS fills the three gaps.
        "    ENT_VAR | tab | main.pts:26 | DSC_VAR variable=\"tab\" keyword=\"EV\" "
        "check=\"EV=(4 => 1, 1..2 => [0..9], OTHERS => 7)\" message=- format=-1",
        "      ENT_AGGREGATE | \"\" | main.pts:26 | DSC_VALUE bounds=0..5 class=11 type=\"int [6]\"",
        "        ENT_OTHERS_VALUE | 7 | main.pts:26 | DSC_VALUE index=0..0 value=\"7\" class=2 type=\"int\"",
        "        ENT_BOUNDED_VALUE | \"\" | main.pts:26 | DSC_VALUE index=1..2 lower=\"0\" upper=\"9\" class=2 "
        "type=\"int\"",
        "        ENT_OTHERS_VALUE | 7 | main.pts:26 | DSC_VALUE index=3..3 value=\"7\" class=2 type=\"int\"",
        "        ENT_SCALAR_VALUE | 1 | main.pts:26 | DSC_VALUE index=4..4 value=\"1\" class=2 type=\"int\"",
        "        ENT_OTHERS_VALUE | 7 | main.pts:26 | DSC_VALUE index=5..5 value=\"7\" class=2 type=\"int\"",
        "    ENT_VAR | shape | main.pts:27 | DSC_VAR variable=\"shape\" keyword=\"INIT\" "
        "check=\"INIT=(pos => (1, 2), data => (f => 1.5))\" message=- format=-1",
        "      ENT_AGGREGATE | \"\" | main.pts:27 | DSC_VALUE class=10 type=\"shape_t\"",
        "        ENT_FIELD_VALUE | pos | main.pts:27 | DSC_VALUE class=10 type=\"point_t\"",
        "          ENT_AGGREGATE | \"\" | main.pts:27 | DSC_VALUE class=10 type=\"point_t\"",
        "            ENT_FIELD_VALUE | x | main.pts:27 | DSC_VALUE value=\"1\" class=2 type=\"int\"",
        "              ENT_SCALAR_VALUE | 1 | main.pts:27 | DSC_VALUE value=\"1\" class=2 type=\"int\"",
        "            ENT_FIELD_VALUE | y | main.pts:27 | DSC_VALUE value=\"2\" class=2 type=\"int\"",
        "              ENT_SCALAR_VALUE | 2 | main.pts:27 | DSC_VALUE value=\"2\" class=2 type=\"int\"",
        "        ENT_FIELD_VALUE | data | main.pts:27 | DSC_VALUE member=1 class=12 type=\"data_t\"",
        "          ENT_AGGREGATE | \"\" | main.pts:27 | DSC_VALUE member=1 class=12 type=\"data_t\"",
        "            ENT_UNION_VALUE | f | main.pts:27 | DSC_VALUE value=\"1.5\" class=4 type=\"float\"",
        "              ENT_SCALAR_VALUE | 1.5 | main.pts:27 | DSC_VALUE value=\"1.5\" class=4 type=\"float\"",
        "  ENT_SCENARIO | t | main.pts:29 | DSC_SCENARIO qualified=\"t\" loop=0 leaf=1 line=31 generate=yes",
        // Numbered through the run; the macro name is expanded first.
        "    ENT_RETURN_VAR | trv_return_2 | main.pts:30 | DSC_RETURN_VAR number=2 class=2",
        "    ENT_CALL | compute | main.pts:30 | DSC_CALL expected=\"4\" result=\"trv_return_2\" procedure=- "
        "cfunction=1 return=2 params=2 expectedclass=2",
        "      ENT_ARG | 2 | main.pts:30 | DSC_ARG text=\"2\" ref=0 class=2 param=2",
        "instance-mode=0 instance=0 timers=0",
    });
    EXPECT_EQ(run.out, expected);
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"W", "ARGPTRINC", "main.pts", 24},
                                      "Pointer to an incompatible type in argument 1 of bump (long * given, int * "
                                      "expected)"),
                            IsMessage({"I", "NOPROCCAL", "main.pts", 16}, "Procedure lonely is never used")));
}

// A whole call that is a macro is expanded and its function found.
TEST_F(InstrRules, CallsOfMacrosAreExpanded)
{
    const RunResult run = model(kHeader + kVariables + "SCENARIO s\n  CALL COMPUTE_TWICE(x + 1)\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(rowsOf(run, "ENT_CALL"), ElementsAre(HasSubstr("\tcompute\tmain.pts:4\tDSC_CALL expected=\"\" "
                                                               "result=\"trv_return_0\"")));
    EXPECT_THAT(rowsOf(run, "ENT_CALL"), ElementsAre(HasSubstr("expanded=1")));
    EXPECT_THAT(rowsOf(run, "ENT_ARG"), ElementsAre(HasSubstr("text=\"(x + 1) * 2\" ref=0 class=2 param=2")));
}

// Void functions, variadic lists and functions called with no value kept.
TEST_F(InstrRules, ParameterListsOfCFunctions)
{
    const RunResult run = model(kHeader + kVariables +
                                "SCENARIO s\n  CALL act()\n  CALL total(1)\n  CALL total(1, ratio, pt, \"s\")\n"
                                "  CALL origin_point()\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    // No value to keep for a void function; a structure value is kept.
    EXPECT_THAT(rowsOf(run, "ENT_RETURN_VAR"),
                ElementsAre(HasSubstr("trv_return_2\tmain.pts:7\tDSC_RETURN_VAR number=2 class=10"),
                            HasSubstr("trv_return_1"), HasSubstr("trv_return_0")));
    EXPECT_THAT(rowsOf(run, "ENT_ARG"),
                ElementsAre(HasSubstr("text=\"1\" ref=0 class=2 param=2"), HasSubstr("text=\"1\" ref=0 class=2 param=2"),
                            HasSubstr("text=\"ratio\" ref=0 class=5 param=15"),
                            HasSubstr("text=\"pt\" ref=0 class=10 param=15"),
                            HasSubstr("text=\"\"s\"\" ref=0 class=7 param=15")));
}

// A procedure is used when a scenario calls it or names it in a level
// block, and with it every procedure its body calls and every DEF_MESSAGE
// its body makes.
TEST_F(InstrRules, ProceduresAreUsedTransitively)
{
    const std::string procedures = "MESSAGE event_t : ping\n"
                                   "PROC deepest()\n  WHILE (1)\n    IF (1) THEN\n      EXIT\n    ELSE\n"
                                   "      DEF_MESSAGE ping, EV=(code => 1)\n    END IF\n  END WHILE\nEND PROC\n"
                                   "PROC deep()\n  CALL deepest()\nEND PROC\n"
                                   "PROC cleanup(int a)\n  CALL deep()\nEND PROC\n";
    const RunResult unused = model(kHeader + procedures + "SCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_THAT(rowsOf(unused, "ENT_PROC"), ElementsAre(HasSubstr("generate=no"), HasSubstr("generate=no"),
                                                       HasSubstr("generate=no")));
    EXPECT_THAT(rowsOf(unused, "ENT_DEF_MESSAGE"), ElementsAre(HasSubstr("generate=no")));
    EXPECT_EQ(messagesOf(unused.err).size(), 3u) << unused.err;

    const std::string leaf = "SCENARIO t\n  EXIT\nEND SCENARIO\nEND SCENARIO\n";
    const RunResult levelBlock = model(kHeader + procedures + "SCENARIO s\nTERMINATION cleanup(1)\n" + leaf);
    EXPECT_EQ(levelBlock.status, 0) << levelBlock.err;
    EXPECT_THAT(rowsOf(levelBlock, "ENT_PROC"), ElementsAre(HasSubstr("generate=yes"), HasSubstr("generate=yes"),
                                                           HasSubstr("generate=yes")));
    EXPECT_THAT(rowsOf(levelBlock, "ENT_DEF_MESSAGE"), ElementsAre(HasSubstr("inproc=1 tree=yes generate=yes")));
    EXPECT_THAT(rowsOf(levelBlock, "ENT_ARG"), ElementsAre(HasSubstr("text=\"1\" ref=0 class=2 param=2")));

    // The call form checks its arguments as a CALL does.
    const RunResult tooMany = model(kHeader + procedures + "SCENARIO s\nTERMINATION cleanup(1, 2)\n" + leaf);
    EXPECT_THAT(messagesOf(tooMany.err),
                ElementsAre(IsMessage({"E", "NOMOREARG", "main.pts", 19}, "Illegal Argument #2 (cleanup)")));
}

// Conditions are typed; MATCHING-family pieces are rewritten for the
// generated code first.
TEST_F(InstrRules, ConditionsTypedAfterRewrite)
{
    const RunResult run = model(kHeader + "MESSAGE event_t : ping\nCOMMTYPE link IS link_id\nCHANNEL link : ch\n"
                                          "CALLBACK event_t : msg ON link : id\n  MESSAGE_DATE\n  NO_MESSAGE\n"
                                          "END CALLBACK\n# double ratio; point_t pt;\nSCENARIO s\n"
                                          "  IF (MATCHING(ping, ch) && 1) THEN\n    EXIT\n  END IF\n"
                                          "  WHILE (NOTMATCHED(ping))\n    EXIT\n  END WHILE\n"
                                          "  CASE (ratio * 2) IS\n    WHEN 1 => EXIT\n  END CASE\n"
                                          "  IF (pt) THEN\n    EXIT\n  END IF\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(rowsOf(run, "ENT_IF"),
                ElementsAre("    ENT_IF\t\"\"\tmain.pts:11\tDSC_IF text=\"MATCHING(ping,ch)&& 1\" "
                            "code=\"TRV_MATCHING_2(trv_msg_event_t[0],trv_state_channel[0][0])&& 1\" class=2",
                            "    ENT_IF\t\"\"\tmain.pts:20\tDSC_IF text=\"pt\" class=10"));
    EXPECT_THAT(rowsOf(run, "ENT_WHILE"),
                ElementsAre(HasSubstr("text=\"NOTMATCHED(ping)\" code=\"TRV_NOTMATCHED_1(trv_msg_event_t[0])\" "
                                      "class=2")));
    EXPECT_THAT(rowsOf(run, "ENT_CASE"), ElementsAre(HasSubstr("text=\"ratio * 2\" class=5")));
}

TEST_F(InstrRules, VarChecksModeAndFormat)
{
    const RunResult run = model(kHeader + kVariables + "MESSAGE event_t : ping\nFORMAT= x # integer\n"
                                "SCENARIO s\n  VAR x, VA=3\n  VAR pt.x, EV==\n  VAR ping, EV=(code => 1)\n"
                                "  VAR tab, EV=(OTHERS => 0)\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(rowsOf(run, "ENT_VAR"),
                ElementsAre(HasSubstr("variable=\"x\" keyword=\"VA\" check=\"VA=3\" message=- format=6"),
                            HasSubstr("variable=\"pt.x\" keyword=\"EV\" check=\"EV=(pt.x)\" message=- format=-1"),
                            HasSubstr("variable=\"ping\" keyword=\"EV\" check=\"EV=(code => 1)\" message=\"ping\""),
                            HasSubstr("variable=\"tab\"")));
    // OTHERS alone covers the whole array.
    EXPECT_THAT(rowsOf(run, "ENT_OTHERS_VALUE"), ElementsAre(HasSubstr("DSC_VALUE index=0..5 value=\"0\"")));
}

// A FORMAT's display base follows its type after a blank: the script lexer
// ends a FORMAT= text at a top-level comma, so the comma form is the bridge's
// alone.
TEST_F(InstrRules, FormatBasesAfterTheType)
{
    const RunResult run = model(kHeader + kVariables + "FORMAT= x # integer HEX\nFORMAT= big # integer BIN\n"
                                "SCENARIO s\n  FORMAT= ratio # double\n  VAR x, EV=1\n  VAR big, EV=2\n"
                                "  VAR ratio, EV=0.5\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(rowsOf(run, "ENT_VAR"),
                ElementsAre(HasSubstr("variable=\"x\" keyword=\"EV\" check=\"EV=1\" message=- format=0"),
                            HasSubstr("variable=\"big\" keyword=\"EV\" check=\"EV=2\" message=- format=2"),
                            HasSubstr("format=6")));
    const RunResult badBase =
        model(kHeader + kVariables + "FORMAT= x # integer HEXA\nSCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_EQ(badBase.status, 5);
    EXPECT_THAT(badBase.err, HasSubstr("BASEINCON"));
}

TEST_F(InstrRules, TimersNumberedPerRun)
{
    const RunResult run = model(kHeader + kVariables + "TIMER first\nSCENARIO s\n  IF (x) THEN\n    TIMER second\n"
                                "  END IF\n  RESET second\n  RESET first\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).back(), "instance-mode=0 instance=0 timers=2");
    EXPECT_THAT(rowsOf(run, "ENT_TIMER_DECL"),
                ElementsAre("ENT_TIMER_DECL\tfirst\tmain.pts:3\tDSC_TIMER number=0",
                            "    ENT_TIMER_DECL\tsecond\tmain.pts:6\tDSC_TIMER number=1"));
    EXPECT_THAT(rowsOf(run, "ENT_TIMER"), ElementsAre(HasSubstr("\tfirst\tmain.pts:3\tDSC_TIMER number=0"),
                                                      HasSubstr("\tsecond\tmain.pts:6\tDSC_TIMER number=1")));
    EXPECT_EQ(rowsOf(run, "ENT_RESET").size(), 2u);
}

// SHARE takes the variables of the global C scope, static, extern or plain:
// all of them live for the whole run. Anything else is NOTSTATIC, a code
// without text.
TEST_F(InstrRules, SharedVarsAreGlobal)
{
    const RunResult run = model(kHeader + "SHARE counter\nSHARE plain_global\nSHARE limit\nSHARE nowhere\n"
                                          "SHARE compute\nSCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 5);
    EXPECT_THAT(rowsOf(run, "ENT_SHARE"), ElementsAre("ENT_SHARE\tcounter\tmain.pts:2\t-",
                                                      "ENT_SHARE\tplain_global\tmain.pts:3\t-",
                                                      "ENT_SHARE\tlimit\tmain.pts:4\t-"));
    std::vector<std::string> codes;
    for (const PlainMessage& message : allMessagesOf(run.err)) {
        codes.push_back(message.severity + "-" + message.code);
    }
    EXPECT_THAT(codes, ElementsAre("E-NOTSTATIC", "E-NOTSTATIC"));
}

// Long and deep instructions end with their one message per instruction.
TEST_F(InstrRules, LargeInstrsInOnePass)
{
    std::string arguments = "1";
    std::string values = "1";
    for (int i = 0; i < 3000; ++i) {
        arguments += ", x";
        values += ", 2";
    }
    const std::string nested = std::string(2000, '(') + "x" + std::string(2000, ')');
    const RunResult run = model(kHeader + kVariables + "PROC one(int a)\n  EXIT\nEND PROC\nSCENARIO s\n"
                                "  CALL total(" + arguments + ")\n  CALL one(" + arguments + ")\n"
                                "  VAR tab, EV=(" + values + ")\n  CALL compute(" + nested + ")\n"
                                "  CALL NOWHERE(" + nested + ")\nEND SCENARIO\n");
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"E", "NOMOREARG", "main.pts", 8}, "Illegal Argument #2 (one)"),
                            IsMessage({"E", "BNDOUTARR", "main.pts", 9}, "Array interval out of range : (6..6)"),
                            Message{"E", "UKNFCTCLL", "main.pts", 11}));
    EXPECT_EQ(rowsOf(run, "ENT_ARG").size(), 3001u + 1u + 1u);
}

// Every message of the instruction rules, one script each: code, severity
// and line; the texts of the ones whose argument is built.
struct RuleCase {
    const char* title;
    std::string body;  // the scenario's instructions, from line 12
    std::vector<PlainMessage> texts;
    std::vector<Message> expected;
};

// Lines 3 to 8: two procedures.
const std::string kProcedures = "PROC one(int a)\n  EXIT\nEND PROC\nPROC none()\n  EXIT\nEND PROC\n";

class Instr : public InstrRules, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(Instr, Reported)
{
    const RunResult run =
        model(kHeader + kVariables + kProcedures + "SCENARIO s\n  CALL one(1)\n  CALL none()\n" + GetParam().body +
                  "END SCENARIO\n",
              {"-TRACE=TIME"});
    EXPECT_THAT(messagesOf(run.err), ElementsAreArray(GetParam().expected)) << run.err;
    EXPECT_THAT(allMessagesOf(run.err), IsSupersetOf(GetParam().texts));
    EXPECT_FALSE(run.out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Instr,
    ::testing::Values(
        RuleCase{"UnknownFunction", "  CALL nowhere(1)\n  CALL NOWHERE(x)\n",
                 {{"E", "UKNFCTCLL", "[main.pts:12] Function \"nowhere\" is unknown"}},
                 {{"E", "UKNFCTCLL", "main.pts", 12}, {"E", "UKNFCTCLL", "main.pts", 13}}},
        RuleCase{"ProcWithReturnCodes", "  CALL none() @ 1\n",
                 {{"E", "NORETNFCT", "[main.pts:12] PTS procedure 'none' must be used without return codes"}},
                 {{"E", "NORETNFCT", "main.pts", 12}}},
        RuleCase{"StructuresWithAt", "  CALL origin_point() @ pt\n  CALL compute(1) @ 1 @ pt\n",
                 {{"E", "NOTSTRUCT", "[main.pts:12] Structure or array forbidden with @ (pt)"},
                  {"E", "NOTSTRUCT", "[main.pts:13] Structure or array forbidden with @ (pt)"}},
                 {{"E", "NOTSTRUCT", "main.pts", 12}, {"W", "INCOMPTYP", "main.pts", 13},
                  {"W", "INCOMPTYP", "main.pts", 13}, {"E", "NOTSTRUCT", "main.pts", 13}}},
        RuleCase{"BadExpectedResult", "  CALL label(1) @ 3.5\n  CALL compute(1) @ 1 @ ratio\n"
                                                       "  CALL label(2) @ \"a\" @ x\n",
                 {{"W", "INCOMPTYP", "[main.pts:12] Incompatible types (3.5)"},
                  {"W", "INCOMPTYP", "[main.pts:14] Incompatible types (x)"},
                  {"W", "INCOMPTYP", "[main.pts:14] Incompatible types (x)"}},
                 {{"W", "INCOMPTYP", "main.pts", 12}, {"W", "INCOMPTYP", "main.pts", 14},
                  {"W", "INCOMPTYP", "main.pts", 14}}},
        RuleCase{"ConstantResult", "  CALL compute(1) @ 1 @ limit\n",
                 {{"W", "EXPRCONST", "[main.pts:12] Return variable limit can't be a constant"}},
                 {{"W", "EXPRCONST", "main.pts", 12}}},
        RuleCase{"TooManyArguments", "  CALL one(1, 2, 3)\n  CALL none(1)\n  CALL act(x)\n  CALL compute(1, 2)\n",
                 {{"E", "NOMOREARG", "[main.pts:12] Illegal Argument #2 (one)"},
                  {"E", "NOMOREARG", "[main.pts:13] Illegal Argument #1 (none)"},
                  {"E", "NOMOREARG", "[main.pts:14] Illegal Argument #1 (act)"},
                  {"E", "NOMOREARG", "[main.pts:15] Illegal Argument #2 (compute)"}},
                 {{"E", "NOMOREARG", "main.pts", 12}, {"E", "NOMOREARG", "main.pts", 13},
                  {"E", "NOMOREARG", "main.pts", 14}, {"E", "NOMOREARG", "main.pts", 15}}},
        RuleCase{"TooFewArguments", "  CALL one()\n  CALL compute()\n  CALL total()\n  CALL fill(&pt)\n",
                 {{"E", "TOOFEWARG", "[main.pts:12] Too few arguments for this service one"},
                  {"E", "TOOFEWARG", "[main.pts:13] Too few arguments for this service compute"},
                  {"E", "TOOFEWARG", "[main.pts:14] Too few arguments for this service total"},
                  {"E", "TOOFEWARG", "[main.pts:15] Too few arguments for this service fill"}},
                 {{"E", "TOOFEWARG", "main.pts", 12}, {"E", "TOOFEWARG", "main.pts", 13},
                  {"E", "TOOFEWARG", "main.pts", 14}, {"E", "TOOFEWARG", "main.pts", 15}}},
        RuleCase{"RefsEmptyArgsAndAt",
                 "  CALL one(REF(x))\n  CALL one(x @ 1)\n  CALL fill(&pt, )\n",
                 {{"E", "NOREFPROC", "[main.pts:12] Keyword REF can not be used in procedure CALL (1 (one))"},
                  {"E", "NOTERPROC", "[main.pts:13] Keyword @ can not be used in procedure CALL (1 (one))"},
                  {"E", "CALLARGWT", "[main.pts:14] Expected argument in CALL (2 (fill))"}},
                 {{"E", "NOREFPROC", "main.pts", 12}, {"E", "NOTERPROC", "main.pts", 13},
                  {"E", "CALLARGWT", "main.pts", 14}}},
        // A procedure's arguments are judged by their classes, a C
        // function's by their C types as a C compiler judges them.
        RuleCase{"BadArguments",
                 "  CALL one(pt)\n  CALL fill(x, 1)\n  CALL fill(REF(pt), 1)\n  CALL fill(&shape, 1)\n"
                 "  CALL bump(&limit, 1)\n  CALL fill(pt, 1)\n  CALL fill(0, RED)\n  CALL total(1, pt, &x)\n"
                 "  CALL compute(5000000000)\n  CALL compute(2.5)\n  CALL compute(-2147483648)\n",
                 {{"W", "INCOMPTYP", "[main.pts:12] Incompatible types (pt)"},
                  {"W", "ARGINTPTR",
                   "[main.pts:13] Integer and pointer mixed up in argument 1 of fill (int given, point_t * expected)"},
                  {"W", "ARGPTRINC",
                   "[main.pts:15] Pointer to an incompatible type in argument 1 of fill (shape_t * given, point_t * "
                   "expected)"},
                  {"W", "ARGQUALOS",
                   "[main.pts:16] Qualifier of the pointed-to type lost in argument 1 of bump (const int * given, "
                   "int * expected)"},
                  {"E", "ARGNOCONV",
                   "[main.pts:17] Type that cannot be converted in argument 1 of fill (point_t given, point_t * "
                   "expected)"},
                  {"W", "ARGVALCHG",
                   "[main.pts:20] Constant that its parameter's type changes in argument 1 of compute (long long "
                   "given, int expected)"}},
                 {{"W", "INCOMPTYP", "main.pts", 12}, {"W", "ARGINTPTR", "main.pts", 13},
                  {"W", "ARGPTRINC", "main.pts", 15}, {"W", "ARGQUALOS", "main.pts", 16},
                  {"E", "ARGNOCONV", "main.pts", 17}, {"W", "ARGVALCHG", "main.pts", 20},
                  {"W", "ARGVALCHG", "main.pts", 21}}},
        RuleCase{"OutOfArrayValues",
                 "  VAR tab, EV=(6 => 1, -1 => 2)\n  VAR tab, EV=(0..5 => 1, OTHERS => 0)\n  VAR x, EV=(1, 2)\n",
                 {{"E", "BNDOUTARR", "[main.pts:12] Array interval out of range : (6..6)"},
                  {"W", "OTHERSEMP", "[main.pts:13] OTHERS empty tab"}},
                 {{"E", "BNDOUTARR", "main.pts", 12}, {"W", "OTHERSEMP", "main.pts", 13},
                  {"E", "INCOMPTYP", "main.pts", 14}, {"E", "VARNOGOOD", "main.pts", 14}}},
        // A constant compared with a variable or a function's result must
        // keep its bits in their type: the check casts both sides to it.
        RuleCase{"ConstantsTooBig",
                 "  VAR x, EV=5000000000\n  VAR x, EV=0xFFFFFFFF\n  VAR x, EV=[1.5 .. 3]\n  VAR ratio, EV=1.5\n"
                 "  VAR big, INIT=-2147483649\n  CALL compute(1) @ 5000000000\n  CALL compute(2) @ [0 .. 0x1FFFFFFFF]\n"
                 "  CALL compute(3) @ 0xFFFFFFFF\n",
                 {{"W", "ENTOUTRAN", "[main.pts:12] Integer constant out of range 5000000000"},
                  {"E", "INCOMPTYP", "[main.pts:14] Incompatible types (1.5)"},
                  {"W", "ENTOUTRAN", "[main.pts:18] Integer constant out of range 0x1FFFFFFFF"},
                  {"E", "VARNOGOOD", "[main.pts:18] Incorrect expression ([0 .. 0x1FFFFFFFF])"}},
                 {{"W", "ENTOUTRAN", "main.pts", 12}, {"E", "VARNOGOOD", "main.pts", 12},
                  {"E", "INCOMPTYP", "main.pts", 14}, {"E", "VARNOGOOD", "main.pts", 14},
                  {"W", "ENTOUTRAN", "main.pts", 16}, {"E", "VARNOGOOD", "main.pts", 16},
                  {"W", "ENTOUTRAN", "main.pts", 17}, {"E", "VARNOGOOD", "main.pts", 17},
                  {"W", "ENTOUTRAN", "main.pts", 18}, {"E", "VARNOGOOD", "main.pts", 18}}},
        RuleCase{"WhenValues",
                 "  CASE (x) IS\n    WHEN ratio => EXIT\n    WHEN 'a' => EXIT\n    WHEN GREEN => EXIT\n"
                 "    WHEN 'a' => EXIT\n    WHEN OTHERS => EXIT\n    WHEN OTHERS => EXIT\n  END CASE\n",
                 {{"E", "WHWACONST", "[main.pts:13] Waiting for integer constant in WHEN : ratio"},
                  {"E", "ALRCASDEF", "[main.pts:16] When identifier already used ''a''"}},
                 {{"E", "WHWACONST", "main.pts", 13}, {"E", "ALRCASDEF", "main.pts", 16},
                  {"E", "ALRCASDEF", "main.pts", 18}}},
        RuleCase{"TimersAndResets", "  TIMER t\n  TIMER t\n  RESET nothing\n  RESET x\n",
                 {{"E", "IDENREDEF", "[main.pts:13] Identifier t redefined"},
                  {"E", "IDENTINCO", "[main.pts:14] Unknown identifier nothing"}},
                 {{"E", "IDENREDEF", "main.pts", 13}, {"E", "IDENTINCO", "main.pts", 14}}},
        RuleCase{"PauseAndPrint", "  PAUSE\n  PAUSE 1.5\n  PRINT n, \"abc\"\n  PRINT n,\n  PAUSE big\n",
                 {{"E", "TOOFEWARG", "[main.pts:12] Too few arguments for this service PAUSE"},
                  {"W", "INCOMPTYP", "[main.pts:13] Incompatible types (1.5)"},
                  {"W", "INCOMPTYP", "[main.pts:14] Incompatible types (\"abc\")"},
                  {"E", "TOOFEWARG", "[main.pts:15] Too few arguments for this service PRINT"}},
                 {{"E", "TOOFEWARG", "main.pts", 12}, {"W", "INCOMPTYP", "main.pts", 13},
                  {"W", "INCOMPTYP", "main.pts", 14}, {"E", "TOOFEWARG", "main.pts", 15}}},
        RuleCase{"TraceCountedOnce", "  TRACE_ON\n  TRACE_ON\n  FLUSH_TRACE\n  TRACE_OFF\n",
                 {},
                 {{"I", "IGNEDTRON", "main.pts", 12}, {"I", "IGNEDTROF", "main.pts", 15},
                  {"I", "IGNEDFTRC", "main.pts", 14}}},
        RuleCase{"FormatGivenTwice", "  FORMAT= x # int\n  FORMAT= x # int\n",
                 {{"E", "FORMREDEF", "[main.pts:13]  Several FORMAT instructions for the same variable x "}},
                 {{"E", "FORMREDEF", "main.pts", 13}}}),
    [](const ::testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.title); });

TEST_F(InstrRules, DeclarationMessages)
{
    const RunResult run = model(kHeader + kVariables +
                                "PROC act()\n  EXIT\nEND PROC\n"
                                "PROC typed(unknown_t a, int b)\n  EXIT\nEND PROC\n"
                                "PROC typed()\n  EXIT\nEND PROC\nTIMER x\n"
                                "SCENARIO s\n  CALL act()\n  CALL typed(x, 1)\nEND SCENARIO\n");
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"E", "UKNNATTYP", "main.pts", 6}, "Unknown native type (unknown_t)"),
                            IsMessage({"E", "PROCALREX", "main.pts", 9}, "Procedure 'typed' already declared"),
                            IsMessage({"E", "IDENREDEF", "main.pts", 12}, "Identifier x redefined"),
                            IsMessage({"E", "SAMEFCTNM", "main.pts", 14},
                                      "A local procedure and an API function have the same name (act)"),
                            Message{"I", "NOPROCCAL", "main.pts", 3}));
    // The unknown type's parameter has the unspecified class, compatible with anything.
    EXPECT_THAT(rowsOf(run, "ENT_PARAM"),
                ElementsAre(HasSubstr("class=14"), HasSubstr("\ta\tmain.pts:6\tDSC_PARAM type=\"unknown_t\" class=17"),
                            HasSubstr("\tb\tmain.pts:6\tDSC_PARAM type=\"int\" class=2")));
}

}  // namespace
