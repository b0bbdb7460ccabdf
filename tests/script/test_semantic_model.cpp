// The semantic model through qvminspect model and qvmprepro: entries in
// script order and in the scope of their block, the declarations every
// script sees, header values, instances, closing informations,
// the second error check and the internal checks a script can reach.
#include "script_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace qvm::testing;
using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string kHeader = "HEADER \"a\", \"b\", \"c\"\n";

const std::string kInterface =
    "typedef struct { int code; char text[8]; } event_t;\n"
    "typedef int link_id;\n"
    "int compute(int value);\n"
    "void act(void);\n";

// One line of the model listing: two blanks per depth, then the four columns.
constexpr auto row = modelRow;

class SemanticModel : public ScriptRunTest {
protected:
    SemanticModel() : ScriptRunTest(kInterface) {}

    std::string lastLine(const RunResult& run)
    {
        const auto all = lines(run.out);
        return all.empty() ? std::string() : all.back();
    }
};

TEST_F(SemanticModel, EntriesInTheirBlockScope)
{
    const std::string script =
        "HEADER \"golden\", $QVM_MODEL_VERSION, $QVM_MODEL_UNSET\n"
        "# int shared_value;\n"
        "# int other_value;\n"
        "MESSAGE event_t : ping, pong\n"
        "COMMTYPE link IS link_id\n"
        "CHANNEL link : ch1, ch2\n"
        "CALLBACK event_t : msg ON link : id\n"
        "  MESSAGE_DATE\n"
        "  IF (id) THEN\n"
        "    NO_MESSAGE\n"
        "  END IF\n"
        "  NO_MESSAGE\n"
        "END CALLBACK\n"
        "PROCSEND event_t : msg ON link : id\n"
        "  # int sent;\n"
        "END PROCSEND\n"
        "TIMER t0\n"
        "PROC helper(int a)\n"
        "  TIMER t1\n"
        "  RESET t1\n"
        "END PROC\n"
        "PROC unused()\n"
        "  ERROR\n"
        "END PROC\n"
        "SCENARIO first\n"
        "INITIALIZATION\n"
        "  CALL helper(1)\n"
        "END INITIALIZATION\n"
        "SCENARIO leaf LOOP 3\n"
        "FAMILY smoke\n"
        "  # int local;\n"
        "%A  SEND(ping, ch1)\n"
        "  WHILE (local < 3)\n"
        "    IF (local) THEN\n"
        "      PAUSE 1\n"
        "    ELSE\n"
        "      PRINT trace_name, local\n"
        "    END IF\n"
        "  END WHILE\n"
        "  CASE (local) IS\n"
        "    WHEN 1 => WHEN 2 =>\n"
        "      EXIT\n"
        "    WHEN OTHERS =>\n"
        "      VAR local, EV==\n"
        "  END CASE\n"
        "  WAITTIL(MATCHING(pong, ch2), WTIME > 100)\n"
        "  DEF_MESSAGE ping, EV= { 1, \"a\" }\n"
        "  ADD_ID(ch1, 3)\n"
        "  CLEAR_ID(ch2)\n"
        "  FD_DEL(x)\n"
        "  COMMENT checked\n"
        "  @ local = 0;\n"
        "  SET(\"AB\")\n"
        "  UNSET(\"A\")\n"
        "  RENDEZVOUS meet\n"
        "  INTERSEND(\"peer\", \"text\")\n"
        "  INTERRECV(local)\n"
        "  DISABLE_CLEANUP unused()\n"
        "END SCENARIO\n"
        "END SCENARIO\n";
    const RunResult run = model(script, {}, {{"QVM_MODEL_VERSION", "2.5"}, {"QVM_MODEL_UNSET", std::nullopt}});
    EXPECT_EQ(run.status, 0) << run.err;
    // Declarations first (with the hidden twins at the head of the global
    // scope), then the root scenario holding the tree; FD_DEL makes nothing.
    const std::string expected =
        row(0, "ENT_SCRIPT", "\"\"", "main.pts:1",
            "DSC_SCRIPT header1=\"\"golden\"\" header2=\"2.5\" header3=\"\"") +
        row(0, "ENT_WAITTIL_REF", "\"\"", "main.pts:46", "- aux=0") +
        row(0, "ENT_TIMER_DECL", "t0", "main.pts:17", "DSC_TIMER number=0") +
        row(0, "ENT_HASH_LINE", " int shared_value;", "main.pts:2", "-") +
        row(0, "ENT_HASH_LINE", " int other_value;", "main.pts:3", "-") +
        row(0, "ENT_EVENT_STRUCT", "event_t", "main.pts:4", "DSC_EVENT_STRUCT index=0 messages=2 callback=- selection=no rcvcheck=yes") +
        row(0, "ENT_MESSAGE_VAR", "ping", "main.pts:4", "DSC_MESSAGE_VAR structure=\"event_t\" index=0 used=yes sent=yes") +
        row(0, "ENT_MESSAGE_VAR", "pong", "main.pts:4", "DSC_MESSAGE_VAR structure=\"event_t\" index=1 used=yes sent=no") +
        row(0, "ENT_COMMTYPE", "link", "main.pts:5",
            "DSC_COMMTYPE idtype=\"link_id\" index=0 channels=2 multiplexing=0 used=yes") +
        row(0, "ENT_CHANNEL", "ch1", "main.pts:6", "DSC_CHANNEL commtype=\"link\" index=0 used=no") +
        row(0, "ENT_CHANNEL", "ch2", "main.pts:6", "DSC_CHANNEL commtype=\"link\" index=1 used=yes") +
        row(0, "ENT_CALLBACK", "event_t_ON_link", "main.pts:7",
            "DSC_CALLBACK commtype=\"link\" structure=\"event_t\" msgvar=\"msg\" idvar=\"id\" used=yes") +
        row(1, "ENT_MESSAGE_DATE", "\"\"", "main.pts:8", "-") +
        row(1, "ENT_IF", "\"\"", "main.pts:9", "DSC_IF text=\"id\" class=2") +
        row(2, "ENT_NO_MESSAGE", "\"\"", "main.pts:10", "-") +
        row(1, "ENT_NO_MESSAGE", "\"\"", "main.pts:12", "-") +
        row(0, "ENT_PROCSEND", "event_t_ON_link_for_procsend", "main.pts:14",
            "DSC_PROCSEND commtype=\"link\" structure=\"event_t\" msgvar=\"msg\" idvar=\"id\" used=yes") +
        row(1, "ENT_HASH_LINE", " int sent;", "main.pts:15", "-") +
        row(0, "ENT_TIMER", "t0", "main.pts:17", "DSC_TIMER number=0") +
        row(0, "ENT_PROC", "helper", "main.pts:18", "DSC_PROC generate=yes") +
        row(1, "ENT_PARAM", "a", "main.pts:18", "DSC_PARAM type=\"int\" class=2") +
        row(1, "ENT_TIMER_DECL", "t1", "main.pts:19", "DSC_TIMER number=1") +
        row(1, "ENT_TIMER", "t1", "main.pts:19", "DSC_TIMER number=1") +
        row(1, "ENT_RESET", "t1", "main.pts:20", "-") +
        row(0, "ENT_PROC", "unused", "main.pts:22", "DSC_PROC generate=yes") +
        row(1, "ENT_PARAM", "\"\"", "main.pts:22", "DSC_PARAM type=\"\" class=14") +
        row(1, "ENT_ERROR", "\"\"", "main.pts:23", "-") +
        row(0, "ENT_SCENARIO", "\"\"", "main.pts:61",
            "DSC_SCENARIO qualified=\"\" loop=0 leaf=0 line=60 generate=yes") +
        row(1, "ENT_SCENARIO", "first", "main.pts:25",
            "DSC_SCENARIO qualified=\"first\" loop=0 leaf=0 line=60 generate=yes") +
        row(2, "ENT_INITIALIZATION", "\"\"", "main.pts:26", "DSC_INITIALIZATION procedure=-") +
        row(3, "ENT_CALL", "helper", "main.pts:27",
            "DSC_CALL expected=\"\" result=\"\" procedure=\"helper\" cfunction=0") +
        row(4, "ENT_ARG", "1", "main.pts:27", "DSC_ARG text=\"1\" ref=0 class=2 param=2") +
        row(2, "ENT_SCENARIO", "leaf", "main.pts:29",
            "DSC_SCENARIO qualified=\"first.leaf\" loop=3 leaf=1 line=59 generate=yes") +
        row(3, "ENT_FAMILY", "smoke", "main.pts:30", "-") +
        row(3, "ENT_HASH_LINE", " int local;", "main.pts:31", "-") +
        row(3, "ENT_SEND", "ping", "main.pts:32",
            "DSC_SEND message=\"ping\" channel=\"ch1\" procsend=\"event_t_ON_link_for_procsend\" filter=\"A\"") +
        row(3, "ENT_WHILE", "\"\"", "main.pts:33", "DSC_WHILE text=\"local < 3\" class=2") +
        row(4, "ENT_IF", "\"\"", "main.pts:34", "DSC_IF text=\"local\" class=2 else=1") +
        row(5, "ENT_PAUSE", "1", "main.pts:35", "-") + "        ELSE\n" +
        row(5, "ENT_PRINT", "trace_name", "main.pts:37", "DSC_PRINT first=\"trace_name\" second=\"local\"") +
        row(3, "ENT_CASE", "\"\"", "main.pts:40", "DSC_CASE text=\"local\" class=2") +
        row(4, "ENT_WHEN", "\"\"", "main.pts:41", "DSC_WHEN") + row(5, "ENT_WHEN_VALUE", "1", "main.pts:41", "-") +
        row(5, "ENT_WHEN_VALUE", "2", "main.pts:41", "-") + row(5, "ENT_EXIT", "\"\"", "main.pts:42", "-") +
        row(4, "ENT_WHEN", "\"\"", "main.pts:43", "DSC_WHEN") +
        row(5, "ENT_WHEN_VALUE", "OTHERS", "main.pts:43", "-") +
        row(5, "ENT_VAR", "local", "main.pts:44",
            "DSC_VAR variable=\"local\" keyword=\"EV\" check=\"EV=(local)\" message=- format=-1") +
        row(6, "ENT_SCALAR_VALUE", "(local)", "main.pts:44", "DSC_VALUE value=\"(local)\" class=2 type=\"int\"") +
        row(3, "ENT_WAITTIL", "\"\"", "main.pts:46",
            "DSC_WAITTIL number=0 condition=\"MATCHING(pong,ch2)\" timeout=\"WTIME > 100\" limit=\"100\" "
            "condcode=\"TRV_MATCHING_2(trv_msg_event_t[1],trv_state_channel[0][1])\"") +
        row(4, "ENT_MATCH_PIECE", "pong", "main.pts:46",
            "DSC_MATCH_PIECE display=\"MATCHING(pong,ch2)\" "
            "code=\"TRV_MATCHING_2(trv_msg_event_t[1],trv_state_channel[0][1])\" message=\"pong\" channel=\"ch2\"") +
        row(4, "ENT_POLL_PAIR", "ch2", "main.pts:46",
            "DSC_POLL_PAIR structure=\"event_t\" channel=\"ch2\" callback=\"event_t_ON_link\"") +
        row(3, "ENT_DEF_MESSAGE", "ping", "main.pts:47",
            "DSC_DEF_MESSAGE number=1 message=\"ping\" check=\"EV= { 1, \"a\" }\" inproc=0 tree=yes generate=yes") +
        row(3, "ENT_ADD_ID", "ch1", "main.pts:48", "DSC_ADD_ID channel=\"ch1\" id=\"3\" constant=1") +
        row(3, "ENT_CLEAR_ID", "ch2", "main.pts:49", "DSC_CLEAR_ID channel=\"ch2\"") +
        row(3, "ENT_COMMENT", "checked", "main.pts:51", "-") +
        row(3, "ENT_AT_LINE", " local = 0;", "main.pts:52", "-") +
        row(3, "ENT_SET", "\"AB\"", "main.pts:53", "-") + row(3, "ENT_UNSET", "\"A\"", "main.pts:54", "-") +
        row(3, "ENT_RENDEZVOUS", "meet", "main.pts:55", "DSC_RENDEZVOUS name=\"meet\"") +
        row(3, "ENT_INTERSEND", "\"\"", "main.pts:56", "DSC_INTERSEND first=\"\"peer\"\" class1=7 second=\"\"text\"\" class2=7") +
        row(3, "ENT_INTERRECV", "\"\"", "main.pts:57", "DSC_INTERRECV first=\"local\" class1=2") +
        row(3, "ENT_DISABLE_CLEANUP", "unused", "main.pts:58", "DSC_DISABLE_CLEANUP procedure=\"unused\"") +
        "commtypes=1 highest-channel=1 event-structs=1\n"
        "instance-mode=0 instance=0 timers=2\n";
    EXPECT_EQ(run.out, expected);
    // DISABLE_CLEANUP names its procedure in the generated program: it is used
    // as the initialisation's call uses its own.
    EXPECT_THAT(messagesOf(run.err), IsEmpty());
}

TEST_F(SemanticModel, HashLinesBeforeNextDecl)
{
    const std::string types = "# typedef struct { int code; } raw_t;\n# typedef raw_t msg_t;\n";
    const RunResult before = model(kHeader + types + "MESSAGE msg_t : m1\nSCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_EQ(before.status, 0) << before.err;
    EXPECT_THAT(rowsOf(before, "ENT_MESSAGE_VAR"),
                ElementsAre("ENT_MESSAGE_VAR\tm1\tmain.pts:4\tDSC_MESSAGE_VAR structure=\"msg_t\" index=0 used=no sent=no"));

    // Declared after the message, the type is unknown when "msg_t m1;" is.
    const RunResult after = model(kHeader + "# int first;\nMESSAGE msg_t : m1\n" + types +
                                  "SCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_NE(after.status, 0);
    EXPECT_THAT(messagesOf(after.err), Not(IsEmpty()));

    // Lines of one group report at their own line; the built-in declarations
    // are there before the first of them (and their names are reserved).
    const RunResult builtins = model(kHeader +
                                     "# char WTIME;\n# char I3;\n# char NONIL;\n# char TRV_OCCID;\n# char J20;\n"
                                     "# char not_builtin;\n#if NIL != 0\n#error NIL\n#endif\n"
                                     "SCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_EQ(builtins.status, 5) << builtins.err;
    EXPECT_THAT(messagesOf(builtins.err),
                ElementsAre(Message{"W", "REDEFSYMB", "main.pts", 2}, Message{"W", "REDEFSYMB", "main.pts", 3},
                            Message{"W", "REDEFSYMB", "main.pts", 4}, Message{"W", "REDEFSYMB", "main.pts", 5},
                            Message{"W", "REDEFSYMB", "main.pts", 6}, Message{"E", "RESRUNTIM", "main.pts", 2},
                            Message{"E", "RESGENPRG", "main.pts", 3}, Message{"E", "RESRUNTIM", "main.pts", 4},
                            Message{"E", "RESPREFIX", "main.pts", 5}, Message{"E", "RESGENPRG", "main.pts", 6}));
}

// Arguments are typed in the C scope of their block, after the built-in
// declarations of every script.
TEST_F(SemanticModel, ArgumentsSeeBuiltins)
{
    const RunResult run = model(kHeader + "# int x, r;\n# void g(long w, ...);\nSCENARIO s\n"
                                          "  CALL g(WTIME, I3, NONIL, TRV_OCCID, TRV_TIMEOUT, x, REF(x @ 1 @ r))\n"
                                          "END SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(rowsOf(run, "ENT_ARG"),
                ElementsAre("      ENT_ARG\tWTIME\tmain.pts:5\tDSC_ARG text=\"WTIME\" ref=0 class=3 param=3",
                            "      ENT_ARG\tI3\tmain.pts:5\tDSC_ARG text=\"I3\" ref=0 class=2 param=15",
                            "      ENT_ARG\tNONIL\tmain.pts:5\tDSC_ARG text=\"NONIL\" ref=0 class=8 param=15",
                            "      ENT_ARG\tTRV_OCCID\tmain.pts:5\tDSC_ARG text=\"TRV_OCCID\" ref=0 class=2 param=15",
                            "      ENT_ARG\tTRV_TIMEOUT\tmain.pts:5\tDSC_ARG text=\"TRV_TIMEOUT\" ref=0 class=3 param=15",
                            "      ENT_ARG\tx\tmain.pts:5\tDSC_ARG text=\"x\" ref=0 class=2 param=15",
                            "      ENT_ARG\tx\tmain.pts:5\tDSC_ARG text=\"x\" ref=1 class=2 param=15 expected=\"1\" "
                            "expectedclass=2 result=\"r\" resultclass=2"));
}

// A C function's value that the script does not keep goes to a hidden
// variable, numbered through the run, at the head of the generated function.
TEST_F(SemanticModel, UnkeptResultsHidden)
{
    const RunResult run = model(kHeader + "# int x;\nSCENARIO s\n  PAUSE 1\n  IF (x) THEN\n    CALL compute(1)\n"
                                          "  END IF\n  CALL act()\n  CALL compute(2) @ 1 @ x\nEND SCENARIO\n"
                                          "SCENARIO t\n  CALL compute(3) @ 1\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    const auto all = lines(run.out);
    ASSERT_GE(all.size(), 12u) << run.out;
    EXPECT_EQ(all[4], "    ENT_RETURN_VAR\ttrv_return_0\tmain.pts:6\tDSC_RETURN_VAR number=0 class=2");
    EXPECT_EQ(all[5], "    ENT_PAUSE\t1\tmain.pts:4\t-");
    EXPECT_THAT(rowsOf(run, "ENT_CALL"),
                ElementsAre(HasSubstr("result=\"trv_return_0\""), HasSubstr("\tact\tmain.pts:8\tDSC_CALL expected=\"\" "
                                                                          "result=\"\""),
                            HasSubstr("expected=\"1\" result=\"x\""),
                            HasSubstr("expected=\"1\" result=\"trv_return_1\"")));
    EXPECT_THAT(rowsOf(run, "ENT_RETURN_VAR"),
                ElementsAre(HasSubstr("trv_return_0"), "    ENT_RETURN_VAR\ttrv_return_1\tmain.pts:12\tDSC_RETURN_VAR "
                                                       "number=1 class=2"));
}

TEST_F(SemanticModel, AfterErrorOrExitWarned)
{
    const RunResult run = model(kHeader + "# int x;\nSCENARIO s\n  ERROR\n  PAUSE 1\n  PAUSE 2\n"
                                          "  IF (x) THEN\n    EXIT\n    FD_DEL(x)\n    PAUSE 3\n  END IF\n"
                                          "END SCENARIO\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"W", "NOEXEINST", "main.pts", 5},
                                      "Instructions written after ERROR or EXIT are not executed"),
                            Message{"W", "NOEXEINST", "main.pts", 10}));
}

TEST_F(SemanticModel, NoRuleEndsTheRun)
{
    const std::string scenario = "SCENARIO s\n  EXIT\nEND SCENARIO\n";
    const RunResult declaration = model(kHeader + "CATCH oops WITH handler\n" + scenario);
    EXPECT_EQ(declaration.status, 9);
    EXPECT_THAT(messagesOf(declaration.err),
                ElementsAre(IsMessage({"S", "STXNODNWT", "main.pts", 2},
                                      "Unexpected Syntax node '18' . Ask for maintenance help.")));
    EXPECT_EQ(declaration.out, "");

    const RunResult instruction = model(kHeader + "# int x;\nSCENARIO s\n  CATCH ... WITH handler\nEND SCENARIO\n");
    EXPECT_EQ(instruction.status, 9);
    EXPECT_THAT(messagesOf(instruction.err), ElementsAre(Message{"S", "STXNODNWT", "main.pts", 4}));

    const RunResult virtualBlock =
        model(kHeader + "VIRTUAL CALLBACK event_t : m ON link : id\n  EXIT\nEND CALLBACK\n" + scenario);
    EXPECT_EQ(virtualBlock.status, 9);
    EXPECT_THAT(messagesOf(virtualBlock.err),
                ElementsAre(IsMessage({"S", "STXNODNWT", "main.pts", 2}, HasSubstr("'27'"))));

    // An instance block inside an instance block of a body.
    const RunResult nested = model(kHeader + "DECLARE_INSTANCE one\nSCENARIO s\nINSTANCE one :\n"
                                             "  IF (1) THEN\n  INSTANCE one :\n    EXIT\n  END INSTANCE\n"
                                             "  END IF\nEND INSTANCE\nEND SCENARIO\n");
    EXPECT_EQ(nested.status, 9);
    EXPECT_THAT(messagesOf(nested.err),
                ElementsAre(IsMessage({"S", "ISTBADLVL", "main.pts", 6},
                                      "Beginning of INSTANCE bloc included in higher order INSTANCE bloc ")));
}

TEST_F(SemanticModel, InstanceOptionSelects)
{
    const std::string script = kHeader + "DECLARE_INSTANCE one, two\nDECLARE_INSTANCE three\n"
                                         "INSTANCE two :\n  # int only_two;\nEND INSTANCE\n"
                                         "SCENARIO s\nINSTANCE one, three :\n  EXIT\nEND INSTANCE\n"
                                         "END SCENARIO\n";
    const RunResult second = model(script, {"-INSTANCE=two"});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(lastLine(second), "instance-mode=1 instance=2 timers=0");
    EXPECT_THAT(rowsOf(second, "ENT_INSTANCE_DECL"),
                ElementsAre("ENT_INSTANCE_DECL\tone\tmain.pts:2\tDSC_INSTANCE_DECL number=2",
                            "ENT_INSTANCE_DECL\ttwo\tmain.pts:2\tDSC_INSTANCE_DECL number=3",
                            "ENT_INSTANCE_DECL\tthree\tmain.pts:3\tDSC_INSTANCE_DECL number=4"));
    // The selected instance keeps its declarations and drops the others' instructions, without markers.
    EXPECT_THAT(rowsOf(second, "ENT_HASH_LINE"), ElementsAre(HasSubstr("only_two")));
    EXPECT_THAT(rowsOf(second, "ENT_EXIT"), IsEmpty());
    EXPECT_THAT(rowsOf(second, "ENT_INSTANCE_BODY_BEGIN"), IsEmpty());

    const RunResult undeclared = model(script, {"-INSTANCE=four"});
    EXPECT_EQ(undeclared.status, 0) << undeclared.err;
    EXPECT_EQ(lastLine(undeclared), "instance-mode=3 instance=0 timers=0");
    EXPECT_EQ(lastMessageOf(undeclared.err), (PlainMessage{"I", "ISTNOPLAN", "Instance four undeclared in test plan"}));
    // An undeclared instance leaves the choice to run time: every block keeps its markers.
    EXPECT_THAT(rowsOf(undeclared, "ENT_HASH_LINE"), ElementsAre(HasSubstr("only_two")));
    EXPECT_THAT(rowsOf(undeclared, "ENT_INSTANCE_USE"),
                ElementsAre(HasSubstr("\ttwo\tmain.pts:4"), HasSubstr("\tone\tmain.pts:8"),
                            HasSubstr("\tthree\tmain.pts:8")));

    // Without the option every block keeps its markers and its uses.
    const RunResult all = model(script);
    EXPECT_EQ(lastLine(all), "instance-mode=2 instance=0 timers=0");
    EXPECT_THAT(rowsOf(all, "ENT_INSTANCE_BEGIN"), ElementsAre("ENT_INSTANCE_BEGIN\t\"\"\tmain.pts:4\t-"));
    EXPECT_THAT(rowsOf(all, "ENT_INSTANCE_BODY_BEGIN"),
                ElementsAre("    ENT_INSTANCE_BODY_BEGIN\t\"\"\tmain.pts:8\t-"));
    EXPECT_THAT(rowsOf(all, "ENT_INSTANCE_USE"),
                ElementsAre("ENT_INSTANCE_USE\ttwo\tmain.pts:4\tDSC_INSTANCE_USE name=\"two\"",
                            "    ENT_INSTANCE_USE\tone\tmain.pts:8\tDSC_INSTANCE_USE name=\"one\"",
                            "    ENT_INSTANCE_USE\tthree\tmain.pts:8\tDSC_INSTANCE_USE name=\"three\""));

    // Instance blocks in a body need declared instances.
    const RunResult none = model(kHeader + "# int x;\nSCENARIO s\nINSTANCE one :\n  EXIT\nEND INSTANCE\nEND SCENARIO\n");
    EXPECT_EQ(none.status, 5);
    EXPECT_THAT(messagesOf(none.err), ElementsAre(Message{"E", "NODCLISTN", "main.pts", 4}));
}

TEST_F(SemanticModel, TriggerSocketType)
{
    const RunResult run = model(kHeader + "TRIGGER event_t first, second\nSCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    const auto all = lines(run.out);
    ASSERT_GE(all.size(), 9u) << run.out;
    EXPECT_EQ(all[1], "ENT_COMMTYPE\ttrv_socket\t:0\tDSC_COMMTYPE idtype=\"int\" index=0 channels=1 multiplexing=1 used=no");
    EXPECT_EQ(all[5], "ENT_CHANNEL\ttrv_v1_3_ch_0\tmain.pts:2\tDSC_CHANNEL commtype=\"trv_socket\" index=0 used=no");
    EXPECT_EQ(all[6], "ENT_CALLBACK\tevent_t_ON_trv_socket\tmain.pts:2\tDSC_CALLBACK commtype=\"trv_socket\" "
                      "structure=\"event_t\" msgvar=\"trv_msg\" idvar=\"trv_ids\" countvar=\"trv_n\" used=no");
    EXPECT_EQ(all[7], "  ENT_HASH_LINE\tint fd;\tmain.pts:2\t-");
    EXPECT_EQ(all[8], "  ENT_COMMENT\tEntree dans le callback event_t\tmain.pts:2\t-");

    // With COMMTYPE the script declares its own types.
    const RunResult commtype = model(kHeader + "COMMTYPE link IS link_id\nSCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_THAT(rowsOf(commtype, "ENT_COMMTYPE"), ElementsAre(HasSubstr("\tlink\t")));
}

TEST_F(SemanticModel, TraceFollowsTraceLevel)
{
    const std::string script = kHeader + "# int x;\nSCENARIO s\n  TRACE_ON\n  TRACE_OFF\n  TRACE_ON\n"
                                         "  FLUSH_TRACE\nEND SCENARIO\n";
    const RunResult time = model(script, {"-TRACE=TIME"});
    EXPECT_EQ(time.status, 0);
    EXPECT_THAT(rowsOf(time, "ENT_TRACE_ON"), IsEmpty());
    EXPECT_THAT(messagesOf(time.err), ElementsAre(Message{"I", "IGNEDTRON", "main.pts", 4},
                                                  Message{"I", "IGNEDTROF", "main.pts", 5},
                                                  Message{"I", "IGNEDFTRC", "main.pts", 7}));

    const RunResult circular = model(script, {"-TRACE=CIRCULAR"});
    EXPECT_THAT(messagesOf(circular.err), IsEmpty());
    EXPECT_EQ(rowsOf(circular, "ENT_TRACE_ON").size(), 2u);
    EXPECT_EQ(rowsOf(circular, "ENT_FLUSH_TRACE").size(), 1u);

    const std::string callback = kHeader + "MESSAGE event_t : m\nCOMMTYPE link IS link_id\n"
                                           "CALLBACK event_t : msg ON link : id\n  FLUSH_TRACE\n"
                                           "  IF (id) THEN\n    FLUSH_TRACE\n  END IF\n  MESSAGE_DATE\n  NO_MESSAGE\n"
                                           "END CALLBACK\nSCENARIO s\n  MESSAGE_DATE\nEND SCENARIO\n";
    EXPECT_THAT(messagesOf(model(callback, {"-TRACE=CIRCULAR"}).err),
                ElementsAre(Message{"E", "FTINCBPS", "main.pts", 5}, Message{"E", "MSGDINBBL", "main.pts", 13}));
}

TEST_F(SemanticModel, ProceduresUsedByCalls)
{
    const RunResult run = model(kHeader + "PROC leafproc()\n  EXIT\nEND PROC\n"
                                          "PROC middle()\n  CALL leafproc()\nEND PROC\n"
                                          "PROC lonely(int a)\n  CALL middle()\nEND PROC\n"
                                          "SCENARIO s\n  CALL middle()\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(rowsOf(run, "ENT_PROC"), ElementsAre(HasSubstr("generate=yes"), HasSubstr("generate=yes"),
                                                     HasSubstr("generate=no")));
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"I", "NOPROCCAL", "main.pts", 8}, "Procedure lonely is never used")));
}

TEST_F(SemanticModel, DuplicatesRefused)
{
    const RunResult run = model(kHeader + "COMMTYPE link IS link_id\nCOMMTYPE link IS link_id WITH MULTIPLEXING, MULTIPLEXING\n"
                                          "CHANNEL link : a, b, a, c\nPROC p()\n  EXIT\nEND PROC\nPROC p()\n  EXIT\nEND PROC\n"
                                          "DECLARE_INSTANCE i1, i1, i2\n"
                                          "SCENARIO T\n  CALL p()\nEND SCENARIO\nSCENARIO T\n  CASE (1) IS\n"
                                          "    WHEN 1 => EXIT\n    WHEN 1 => EXIT\n  END CASE\nEND SCENARIO\n");
    EXPECT_EQ(run.status, 5);
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(Message{"E", "COMALRDEC", "main.pts", 3}, Message{"E", "PROPALDEC", "main.pts", 3},
                            Message{"E", "CHAALRDEC", "main.pts", 4}, Message{"E", "PROCALREX", "main.pts", 8},
                            Message{"E", "ISTNALRDEC", "main.pts", 11}, Message{"E", "SCENALREX", "main.pts", 15},
                            Message{"E", "ALRCASDEF", "main.pts", 18}));
    // Both communication types exist; the channel list stops at the second a.
    const RunResult listed = model(kHeader + "COMMTYPE link IS link_id\nCOMMTYPE link IS link_id\n"
                                             "CHANNEL link : a, b, a, c\nSCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_EQ(rowsOf(listed, "ENT_COMMTYPE").size(), 2u);
    EXPECT_THAT(rowsOf(listed, "ENT_CHANNEL"), ElementsAre(HasSubstr("\ta\t"), HasSubstr("\tb\t")));
}

// The second error check: a semantic error leaves no output behind, not even
// the studio log of the writers.
TEST_F(SemanticModel, ErrorsEndWithoutOutput)
{
    const std::vector<std::string> options{"-NOLOG", "-STUDIO_LOG=studio.log"};
    const RunResult clean = prepro(kHeader + "# int x;\nSCENARIO s\n  EXIT\nEND SCENARIO\n", options);
    EXPECT_EQ(clean.status, 0);
    EXPECT_THAT(readFile(work / "studio.log"), HasSubstr("TDC out.tdc"));

    std::filesystem::remove(work / "studio.log");
    std::filesystem::remove(work / "out.c");
    const RunResult faulty =
        prepro(kHeader + "# int x = ;\nSCENARIO s\n  RESET WTIME\n  CLEAR_ID(c)\nEND SCENARIO\n", options);
    EXPECT_EQ(faulty.status, 5);
    EXPECT_FALSE(std::filesystem::exists(work / "studio.log"));
    EXPECT_FALSE(std::filesystem::exists(work / "out.c"));
    const auto reported = messagesOf(readFile(work / "main.lis"));
    ASSERT_EQ(reported.size(), 2u) << readFile(work / "main.lis");
    EXPECT_EQ(reported[0].file, "main.pts");
    EXPECT_EQ(reported[0].line, 2);
    EXPECT_EQ(reported[1], (Message{"E", "UNKCHANAM", "main.pts", 5}));
}

// The checks the model answers on its own, one script each: what is
// reported, where; the rest of the script is accepted.
struct RuleCase {
    const char* title;
    std::string script;
    std::vector<Message> expected;
};

class Sem : public SemanticModel, public ::testing::WithParamInterface<RuleCase> {};

const std::string kTypes = kHeader + "MESSAGE event_t : ping\nCOMMTYPE link IS link_id\nCOMMTYPE mux IS link_id WITH "
                                     "MULTIPLEXING\nCHANNEL link : ch\n";

std::string scenarioOf(const std::string& body)
{
    return "SCENARIO s\n" + body + "END SCENARIO\n";
}

TEST_P(Sem, Reported)
{
    const RunResult run = model(GetParam().script);
    EXPECT_THAT(messagesOf(run.err), ::testing::ElementsAreArray(GetParam().expected)) << run.err;
    EXPECT_FALSE(run.out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Sem,
    ::testing::Values(
        RuleCase{"MultiplexedNoCount",
                 kTypes + "CALLBACK event_t : m ON mux : id\n  MESSAGE_DATE\n  NO_MESSAGE\nEND CALLBACK\n" +
                     scenarioOf("  EXIT\n"),
                 {{"E", "CBNOMATCH", "main.pts", 6}}},
        RuleCase{"PlainTypeWithCount",
                 kTypes + "CALLBACK event_t : m ON link : id [ n ]\n  EXIT\nEND CALLBACK\n" + scenarioOf("  EXIT\n"),
                 {{"E", "CBNOMATCH", "main.pts", 6}}},
        RuleCase{"MessageDateInAnIf",
                 kTypes + "CALLBACK event_t : m ON link : id\n  IF (id) THEN\n    MESSAGE_DATE\n  END IF\n"
                          "  NO_MESSAGE\nEND CALLBACK\n" + scenarioOf("  EXIT\n"),
                 {{"E", "NOMSGDCAL", "main.pts", 6}}},
        RuleCase{"SecondCallbackOfPair",
                 kTypes + "CALLBACK event_t : m ON link : id\n  MESSAGE_DATE\n  NO_MESSAGE\nEND CALLBACK\n"
                          "CALLBACK event_t : m ON link : id\n  EXIT\nEND CALLBACK\n" + scenarioOf("  EXIT\n"),
                 {{"E", "CBALRDEFI", "main.pts", 10}}},
        RuleCase{"BlocksOfUnknownTypes",
                 kTypes + "PROCSEND event_t : m ON nolink : id\n  EXIT\nEND PROCSEND\n"
                          "PROCSEND other_t : m ON link : id\n  EXIT\nEND PROCSEND\nCHANNEL nolink : c2\n" +
                     scenarioOf("  EXIT\n"),
                 {{"E", "COMMNODEC", "main.pts", 6}, {"E", "UKNMSGTYP", "main.pts", 9},
                  {"E", "COMMNODEC", "main.pts", 12}}},
        RuleCase{"MessageDeclaredTwice", kTypes + "MESSAGE event_t : pong, ping, other\n" + scenarioOf("  EXIT\n"),
                 {{"E", "TRGALRDEC", "main.pts", 6}}},
        RuleCase{"MessageDateInAWhile",
                 kTypes + "PROC p()\n  WHILE (1)\n    MESSAGE_DATE\n  END WHILE\nEND PROC\n" +
                     scenarioOf("  CALL p()\n  NO_MESSAGE\n"),
                 {{"E", "NOMSINBBL", "main.pts", 13}}},
        RuleCase{"SendWithoutProcsend", kTypes + scenarioOf("  SEND(ping, ch)\n  SEND(pong, ch)\n"),
                 {{"E", "PSNOTDECL", "main.pts", 7}, {"E", "UNKMSGNAM", "main.pts", 8}}},
        RuleCase{"DefOfUndeclaredVar",
                 kTypes + scenarioOf("  DEF_MESSAGE pong, EV= 1\n  DEF_TRIGGER(ping, 1, \"ab\")\n"),
                 {{"E", "UNDECTRGV", "main.pts", 7}}},
        RuleCase{"BadCleanupProcedures",
                 kTypes + "PROC p(int a)\n  EXIT\nEND PROC\n" +
                     scenarioOf("  ENABLE_CLEANUP q()\n  DISABLE_CLEANUP p()\n  CALL p(1)\n"),
                 {{"E", "UNKCLPROC", "main.pts", 10}, {"E", "CLVOIDPRC", "main.pts", 11}}}),
    [](const ::testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.title); });

}  // namespace
