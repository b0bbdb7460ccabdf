// Communication declarations and instructions through qvminspect model: the
// entries, indices, used flags, match pieces and polling pairs they make,
// and every message of their rules with its severity and line.
#include "script_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qvm::testing;
using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kInterface =
    "typedef struct { int code; char text[8]; } event_t;\n"
    "typedef struct { int kind; union { int i; char c; } u; } other_t;\n"
    "typedef struct { long stamp; } tick_t;\n"
    "typedef int link_id;\n"
    "typedef struct { int host; } addr_t;\n"
    "typedef event_t *event_ptr;\n"
    "#define FIRST_LINK 7\n";

const std::string kHeader = "HEADER \"comm\", \"1\", \"x\"\n";

class CommRules : public ScriptRunTest {
protected:
    CommRules() : ScriptRunTest(kInterface, "comm.pts") {}

    RunResult analyse(const std::string& script) { return model(script); }

    // The listing lines that hold the text.
    std::vector<std::string> linesWith(const RunResult& run, const std::string& text)
    {
        std::vector<std::string> found;
        for (const std::string& line : lines(run.out)) {
            if (line.find(text) != std::string::npos) {
                found.push_back(line);
            }
        }
        return found;
    }
};

// One listing line: indent, code, name, position and descriptor.
std::string at(int depth, const std::string& code, const std::string& name, int line, const std::string& fields)
{
    return modelRow(depth, code, name, "comm.pts:" + std::to_string(line), fields);
}

TEST_F(CommRules, CommtypeScriptRecords)
{
    const RunResult run = analyse(kHeader +
                                  "MESSAGE event_t : ping, pong\n"                        // 2
                                  "MESSAGE other_t : oth\n"                               // 3
                                  "COMMTYPE link IS link_id\n"                            // 4
                                  "COMMTYPE net IS addr_t WITH MULTIPLEXING\n"            // 5
                                  "CHANNEL link : ch1, ch2\n"                             // 6
                                  "CHANNEL net : n1\n"                                    // 7
                                  "CALLBACK event_t : msg ON link : id\n"                 // 8
                                  "  MESSAGE_DATE\n  NO_MESSAGE\nEND CALLBACK\n"          // 9-11
                                  "CALLBACK other_t : msg ON net : ids [ n ]\n"           // 12
                                  "  MESSAGE_DATE\n  NO_MESSAGE\nEND CALLBACK\n"          // 13-15
                                  "CALLBACK event_t : msg ON net : ids [ n ]\n"           // 16
                                  "  MESSAGE_DATE\n  NO_MESSAGE\nEND CALLBACK\n"          // 17-19
                                  "PROCSEND event_t : msg ON link : id\n"                 // 20
                                  "  # int sent;\nEND PROCSEND\n"                         // 21-22
                                  "PROC never()\n"                                        // 23
                                  "  DEF_MESSAGE pong, EV= { 2, \"b\" }\n"                // 24
                                  "END PROC\n"                                            // 25
                                  "SCENARIO s\n"                                          // 26
                                  "  # int local;\n"                                      // 27
                                  "  SEND(ping, ch1)\n"                                   // 28
                                  "  WAITTIL(NOTMATCHED(oth) && MATCHING(pong, ch2), WTIME > 100)\n"  // 29
                                  "  ADD_ID(ch1, FIRST_LINK)\n"                           // 30
                                  "  ADD_ID(ch1, local)\n"                                // 31
                                  "  CLEAR_ID(n1)\n"                                      // 32
                                  "END SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string matched = "TRV_MATCHING_2(trv_msg_event_t[1],trv_state_channel[0][1])";
    const std::string expected =
        at(0, "ENT_SCRIPT", "\"\"", 1, "DSC_SCRIPT header1=\"\"comm\"\" header2=\"\"1\"\" header3=\"\"x\"\"") +
        at(0, "ENT_WAITTIL_REF", "\"\"", 29, "- aux=0") +
        at(0, "ENT_EVENT_STRUCT", "event_t", 2,
           "DSC_EVENT_STRUCT index=0 messages=2 callback=- selection=no rcvcheck=yes") +
        at(0, "ENT_MESSAGE_VAR", "ping", 2, "DSC_MESSAGE_VAR structure=\"event_t\" index=0 used=yes sent=yes") +
        at(0, "ENT_MESSAGE_VAR", "pong", 2, "DSC_MESSAGE_VAR structure=\"event_t\" index=1 used=yes sent=no") +
        at(0, "ENT_EVENT_STRUCT", "other_t", 3,
           "DSC_EVENT_STRUCT index=1 messages=1 callback=- selection=yes rcvcheck=no") +
        at(0, "ENT_MESSAGE_VAR", "oth", 3, "DSC_MESSAGE_VAR structure=\"other_t\" index=0 used=yes sent=no") +
        at(0, "ENT_COMMTYPE", "link", 4,
           "DSC_COMMTYPE idtype=\"link_id\" index=0 channels=2 multiplexing=0 used=yes") +
        at(0, "ENT_COMMTYPE", "net", 5, "DSC_COMMTYPE idtype=\"addr_t\" index=1 channels=1 multiplexing=1 used=yes") +
        at(0, "ENT_CHANNEL", "ch1", 6, "DSC_CHANNEL commtype=\"link\" index=0 used=no") +
        at(0, "ENT_CHANNEL", "ch2", 6, "DSC_CHANNEL commtype=\"link\" index=1 used=yes") +
        at(0, "ENT_CHANNEL", "n1", 7, "DSC_CHANNEL commtype=\"net\" index=0 used=no") +
        at(0, "ENT_CALLBACK", "event_t_ON_link", 8,
           "DSC_CALLBACK commtype=\"link\" structure=\"event_t\" msgvar=\"msg\" idvar=\"id\" used=yes") +
        at(1, "ENT_MESSAGE_DATE", "\"\"", 9, "-") + at(1, "ENT_NO_MESSAGE", "\"\"", 10, "-") +
        at(0, "ENT_CALLBACK", "other_t_ON_net", 12,
           "DSC_CALLBACK commtype=\"net\" structure=\"other_t\" msgvar=\"msg\" idvar=\"ids\" countvar=\"n\" "
           "used=yes") +
        at(1, "ENT_MESSAGE_DATE", "\"\"", 13, "-") + at(1, "ENT_NO_MESSAGE", "\"\"", 14, "-") +
        at(0, "ENT_CALLBACK", "event_t_ON_net", 16,
           "DSC_CALLBACK commtype=\"net\" structure=\"event_t\" msgvar=\"msg\" idvar=\"ids\" countvar=\"n\" "
           "used=no") +
        at(1, "ENT_MESSAGE_DATE", "\"\"", 17, "-") + at(1, "ENT_NO_MESSAGE", "\"\"", 18, "-") +
        at(0, "ENT_PROCSEND", "event_t_ON_link_for_procsend", 20,
           "DSC_PROCSEND commtype=\"link\" structure=\"event_t\" msgvar=\"msg\" idvar=\"id\" used=yes") +
        at(1, "ENT_HASH_LINE", " int sent;", 21, "-") +
        at(0, "ENT_PROC", "never", 23, "DSC_PROC generate=no") +
        at(1, "ENT_PARAM", "\"\"", 23, "DSC_PARAM type=\"\" class=14") +
        at(1, "ENT_DEF_MESSAGE", "pong", 24,
           "DSC_DEF_MESSAGE number=1 message=\"pong\" check=\"EV= { 2, \"b\" }\" inproc=1 tree=yes generate=no") +
        at(0, "ENT_SCENARIO", "\"\"", 34, "DSC_SCENARIO qualified=\"\" loop=0 leaf=0 line=33 generate=yes") +
        at(1, "ENT_SCENARIO", "s", 26, "DSC_SCENARIO qualified=\"s\" loop=0 leaf=1 line=33 generate=yes") +
        at(2, "ENT_HASH_LINE", " int local;", 27, "-") +
        at(2, "ENT_SEND", "ping", 28,
           "DSC_SEND message=\"ping\" channel=\"ch1\" procsend=\"event_t_ON_link_for_procsend\"") +
        at(2, "ENT_WAITTIL", "\"\"", 29,
           "DSC_WAITTIL number=0 condition=\"NOTMATCHED(oth)&&MATCHING(pong,ch2)\" timeout=\"WTIME > 100\" "
           "limit=\"100\" condcode=\"TRV_NOTMATCHED_1(trv_msg_other_t[0])&&" + matched + "\"") +
        // Without a channel every channel of every callback's type is polled.
        at(3, "ENT_MATCH_PIECE", "oth", 29,
           "DSC_MATCH_PIECE display=\"NOTMATCHED(oth)\" code=\"TRV_NOTMATCHED_1(trv_msg_other_t[0])\" "
           "message=\"oth\" channel=-") +
        at(3, "ENT_POLL_PAIR", "n1", 29,
           "DSC_POLL_PAIR structure=\"other_t\" channel=\"n1\" callback=\"other_t_ON_net\"") +
        at(3, "ENT_MATCH_PIECE", "pong", 29,
           "DSC_MATCH_PIECE display=\"MATCHING(pong,ch2)\" code=\"" + matched + "\" message=\"pong\" channel=\"ch2\"") +
        at(3, "ENT_POLL_PAIR", "ch2", 29,
           "DSC_POLL_PAIR structure=\"event_t\" channel=\"ch2\" callback=\"event_t_ON_link\"") +
        // A macro expanding to a number is assigned; a variable is copied.
        at(2, "ENT_ADD_ID", "ch1", 30, "DSC_ADD_ID channel=\"ch1\" id=\"FIRST_LINK\" constant=1") +
        at(2, "ENT_ADD_ID", "ch1", 31, "DSC_ADD_ID channel=\"ch1\" id=\"local\" constant=0") +
        at(2, "ENT_CLEAR_ID", "n1", 32, "DSC_CLEAR_ID channel=\"n1\"") +
        "commtypes=2 highest-channel=1 event-structs=2\n"
        "instance-mode=0 instance=0 timers=0\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"I", "NOPROCCAL", "comm.pts", 23}, "Procedure never is never used")));
}

TEST_F(CommRules, TriggerScriptChannels)
{
    const RunResult run = analyse(kHeader +
                                  "TRIGGER event_t first, second\n"                        // 2
                                  "TRIGGER other_t third\n"                                // 3
                                  "TRIGGER event_t fourth\n"                               // 4
                                  "PROC waiter()\n"                                        // 5
                                  "  DEF_MESSAGE second, EV= { 2, \"b\" }\n"               // 6
                                  "  WAITTIL(MATCHED(second), WTIME >= 50)\n"              // 7
                                  "END PROC\n"                                             // 8
                                  "SCENARIO s\n"                                           // 9
                                  "  DEF_TRIGGER(first, 1, \"a\")\n"                       // 10
                                  "  WAITTIL(MATCHING(first) || NOTMATCHING(third, trv_v1_3_ch_1), 0)\n"  // 11
                                  "  CALL waiter()\n"                                      // 12
                                  "END SCENARIO\n");
    EXPECT_EQ(run.status, 0) << run.err;
    const auto callbackBody = [](const std::string& structure, int line) {
        return at(1, "ENT_HASH_LINE", "int fd;", line, "-") +
               at(1, "ENT_COMMENT", "Entree dans le callback " + structure, line, "-") +
               at(1, "ENT_HASH_LINE",
                  "if ((fd=trv_pollevt(trv_ids, trv_n))) {  " + structure +
                      "_Init(&trv_msg, fd); trv_msgdate ( &(trv_ctx->trv_ctxrun),0 );} else return (TRV_NO_MESSAGE);",
                  line, "-");
    };
    const std::string expected =
        at(0, "ENT_SCRIPT", "\"\"", 1, "DSC_SCRIPT header1=\"\"comm\"\" header2=\"\"1\"\" header3=\"\"x\"\"") +
        at(0, "ENT_WAITTIL_REF", "\"\"", 11, "- aux=1") + at(0, "ENT_WAITTIL_REF", "\"\"", 7, "- aux=0") +
        "ENT_COMMTYPE\ttrv_socket\t:0\tDSC_COMMTYPE idtype=\"int\" index=0 channels=2 multiplexing=1 used=yes\n" +
        at(0, "ENT_EVENT_STRUCT", "event_t", 2,
           "DSC_EVENT_STRUCT index=0 messages=3 callback=\"event_t_ON_trv_socket\" channel=\"trv_v1_3_ch_0\" "
           "selection=no rcvcheck=yes") +
        at(0, "ENT_MESSAGE_VAR", "first", 2, "DSC_MESSAGE_VAR structure=\"event_t\" index=0 used=yes sent=no") +
        at(0, "ENT_MESSAGE_VAR", "second", 2, "DSC_MESSAGE_VAR structure=\"event_t\" index=1 used=yes sent=no") +
        at(0, "ENT_CHANNEL", "trv_v1_3_ch_0", 2, "DSC_CHANNEL commtype=\"trv_socket\" index=0 used=yes") +
        at(0, "ENT_CALLBACK", "event_t_ON_trv_socket", 2,
           "DSC_CALLBACK commtype=\"trv_socket\" structure=\"event_t\" msgvar=\"trv_msg\" idvar=\"trv_ids\" "
           "countvar=\"trv_n\" used=yes") +
        callbackBody("event_t", 2) +
        at(0, "ENT_EVENT_STRUCT", "other_t", 3,
           "DSC_EVENT_STRUCT index=1 messages=1 callback=\"other_t_ON_trv_socket\" channel=\"trv_v1_3_ch_1\" "
           "selection=yes rcvcheck=no") +
        at(0, "ENT_MESSAGE_VAR", "third", 3, "DSC_MESSAGE_VAR structure=\"other_t\" index=0 used=yes sent=no") +
        at(0, "ENT_CHANNEL", "trv_v1_3_ch_1", 3, "DSC_CHANNEL commtype=\"trv_socket\" index=1 used=yes") +
        at(0, "ENT_CALLBACK", "other_t_ON_trv_socket", 3,
           "DSC_CALLBACK commtype=\"trv_socket\" structure=\"other_t\" msgvar=\"trv_msg\" idvar=\"trv_ids\" "
           "countvar=\"trv_n\" used=yes") +
        callbackBody("other_t", 3) +
        // A known structure gets no second channel nor callback.
        at(0, "ENT_MESSAGE_VAR", "fourth", 4, "DSC_MESSAGE_VAR structure=\"event_t\" index=2 used=no sent=no") +
        at(0, "ENT_PROC", "waiter", 5, "DSC_PROC generate=yes") +
        at(1, "ENT_PARAM", "\"\"", 5, "DSC_PARAM type=\"\" class=14") +
        at(1, "ENT_DEF_MESSAGE", "second", 6,
           "DSC_DEF_MESSAGE number=1 message=\"second\" check=\"EV= { 2, \"b\" }\" inproc=1 tree=yes generate=yes") +
        at(1, "ENT_WAITTIL", "\"\"", 7,
           "DSC_WAITTIL number=0 condition=\"MATCHED(second)\" timeout=\"WTIME >= 50\" limit=\"50\" "
           "condcode=\"TRV_MATCHED_1(trv_msg_event_t[1])\"") +
        at(2, "ENT_MATCH_PIECE", "second", 7,
           "DSC_MATCH_PIECE display=\"MATCHED(second)\" code=\"TRV_MATCHED_1(trv_msg_event_t[1])\" "
           "message=\"second\" channel=\"trv_v1_3_ch_0\"") +
        at(2, "ENT_POLL_PAIR", "trv_v1_3_ch_0", 7,
           "DSC_POLL_PAIR structure=\"event_t\" channel=\"trv_v1_3_ch_0\" callback=\"event_t_ON_trv_socket\"") +
        at(0, "ENT_SCENARIO", "\"\"", 14, "DSC_SCENARIO qualified=\"\" loop=0 leaf=0 line=13 generate=yes") +
        at(1, "ENT_SCENARIO", "s", 9, "DSC_SCENARIO qualified=\"s\" loop=0 leaf=1 line=13 generate=yes") +
        at(2, "ENT_DEF_MESSAGE", "first", 10,
           "DSC_DEF_MESSAGE number=2 message=\"first\" check=\"EV={1,\"a\"}\" inproc=0 tree=yes generate=yes") +
        // The display never shows a channel in TRIGGER mode; a written one
        // still reaches the generated code.
        at(2, "ENT_WAITTIL", "\"\"", 11,
           "DSC_WAITTIL number=1 condition=\"MATCHING(first)||NOTMATCHING(third)\" timeout=\"0\" limit=\"0\" "
           "condcode=\"TRV_MATCHING_1(trv_msg_event_t[0])||"
           "TRV_NOTMATCHING_2(trv_msg_other_t[0],trv_state_channel[0][1])\"") +
        at(3, "ENT_MATCH_PIECE", "first", 11,
           "DSC_MATCH_PIECE display=\"MATCHING(first)\" code=\"TRV_MATCHING_1(trv_msg_event_t[0])\" "
           "message=\"first\" channel=\"trv_v1_3_ch_0\"") +
        at(3, "ENT_POLL_PAIR", "trv_v1_3_ch_0", 11,
           "DSC_POLL_PAIR structure=\"event_t\" channel=\"trv_v1_3_ch_0\" callback=\"event_t_ON_trv_socket\"") +
        at(3, "ENT_MATCH_PIECE", "third", 11,
           "DSC_MATCH_PIECE display=\"NOTMATCHING(third)\" "
           "code=\"TRV_NOTMATCHING_2(trv_msg_other_t[0],trv_state_channel[0][1])\" message=\"third\" "
           "channel=\"trv_v1_3_ch_1\"") +
        at(3, "ENT_POLL_PAIR", "trv_v1_3_ch_1", 11,
           "DSC_POLL_PAIR structure=\"other_t\" channel=\"trv_v1_3_ch_1\" callback=\"other_t_ON_trv_socket\"") +
        at(2, "ENT_CALL", "waiter", 12, "DSC_CALL expected=\"\" result=\"\" procedure=\"waiter\" cfunction=0") +
        // One type, and one channel index skipped per structure.
        "commtypes=1 highest-channel=2 event-structs=2\n"
        "instance-mode=0 instance=0 timers=0\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_THAT(messagesOf(run.err), IsEmpty());
}

// The received-message check is prepared once per structure, on the first
// SEND of a message or its first DEF_MESSAGE.
TEST_F(CommRules, ReceivedChecksOncePerType)
{
    const std::string declarations =
        "MESSAGE event_t : ping, pong\nMESSAGE tick_t : tick\nCOMMTYPE link IS link_id\nCHANNEL link : ch\n"
        "PROCSEND event_t : msg ON link : id\n  EXIT\nEND PROCSEND\nPROCSEND tick_t : msg ON link : id\n  EXIT\nEND PROCSEND\n";
    const RunResult sent =
        analyse(kHeader + declarations + "SCENARIO s\n  SEND(ping, ch)\n  SEND(pong, ch)\n  SEND(ping, ch)\n"
                                         "END SCENARIO\n");
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_THAT(linesWith(sent, "ENT_EVENT_STRUCT"),
                ElementsAre(HasSubstr("rcvcheck=yes"), HasSubstr("rcvcheck=no")));
    EXPECT_THAT(linesWith(sent, "ENT_MESSAGE_VAR"),
                ElementsAre(HasSubstr("used=yes sent=yes"), HasSubstr("used=yes sent=yes"),
                            HasSubstr("used=no sent=no")));
    // "int trv_msgrcv;" is declared once, when first needed.
    const RunResult redeclared =
        analyse(kHeader + declarations + "# char trv_msgrcv;\nSCENARIO s\n  DEF_MESSAGE tick, EV= { 3 }\n"
                                         "  DEF_MESSAGE ping, EV= { 1, \"a\" }\n  SEND(pong, ch)\nEND SCENARIO\n");
    EXPECT_THAT(linesWith(redeclared, "ENT_EVENT_STRUCT"),
                ElementsAre(HasSubstr("rcvcheck=yes"), HasSubstr("rcvcheck=yes")));
    EXPECT_THAT(messagesOf(redeclared.err),
                ElementsAre(IsMessage({"E", "RESPREFIX", "comm.pts", 12}, HasSubstr("'trv_msgrcv' is reserved")),
                            IsMessage({"W", "REDEFSYMB", "comm.pts", 14}, HasSubstr("trv_msgrcv"))));
}

struct CommCase {
    const char* title;
    std::string script;
    std::vector<Message> expected;
};

class Comm : public CommRules, public ::testing::WithParamInterface<CommCase> {};

// Lines 2 to 6 declare two messages of two structures, a plain and a
// multiplexed type with one channel each, and a callback of the plain one.
const std::string kBase = kHeader +
                          "MESSAGE event_t : ping, pong\n"
                          "MESSAGE other_t : oth\n"
                          "COMMTYPE link IS link_id\n"
                          "COMMTYPE mux IS link_id WITH MULTIPLEXING\n"
                          "CHANNEL link : ch\nCHANNEL mux : mch\n"
                          "CALLBACK event_t : msg ON link : id\n  MESSAGE_DATE\n  NO_MESSAGE\nEND CALLBACK\n";
// The first line after kBase.
constexpr int kAfterBase = 12;

std::string scenario(const std::string& body)
{
    return "SCENARIO s\n" + body + "END SCENARIO\n";
}

TEST_P(Comm, Reported)
{
    const RunResult run = analyse(GetParam().script);
    EXPECT_THAT(messagesOf(run.err), ElementsAreArray(GetParam().expected)) << run.err;
    EXPECT_NE(run.status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Comm,
    ::testing::Values(
        CommCase{"DuplicateCommtypes",
                 kBase + "COMMTYPE link IS link_id\nCOMMTYPE bad IS no_such_t WITH MULTIPLEXING, MULTIPLEXING\n" +
                     scenario("  EXIT\n"),
                 {{"E", "COMALRDEC", "comm.pts", kAfterBase}, {"E", "IDCNOTDEC", "comm.pts", kAfterBase + 1},
                  {"E", "PROPALDEC", "comm.pts", kAfterBase + 1}}},
        CommCase{"BadChannels",
                 kBase + "CHANNEL nolink : c1\nCHANNEL link : c2, ch, c3\n" + scenario("  CLEAR_ID(c3)\n"),
                 {{"E", "COMMNODEC", "comm.pts", kAfterBase}, {"E", "CHAALRDEC", "comm.pts", kAfterBase + 1},
                  {"E", "UNKCHANAM", "comm.pts", kAfterBase + 3}}},
        CommCase{"UnknownStructMsgs",
                 kBase + "MESSAGE no_such_t : lost\nMESSAGE event_t : fresh, ping, never\n" +
                     scenario("  DEF_MESSAGE lost, EV= 1\n  DEF_MESSAGE never, EV= { 1, \"a\" }\n"),
                 {{"E", "UKNEVTSTC", "comm.pts", kAfterBase}, {"E", "TRGALRDEC", "comm.pts", kAfterBase + 1},
                  {"E", "UNDECTRGV", "comm.pts", kAfterBase + 3}, {"E", "UNDECTRGV", "comm.pts", kAfterBase + 4}}},
        CommCase{"SecondBlocksOfAPair",
                 kBase + "CALLBACK event_t : m ON link : id\n  EXIT\nEND CALLBACK\n"
                         "PROCSEND event_t : m ON link : id\n  EXIT\nEND PROCSEND\n"
                         "PROCSEND event_t : m ON link : id\n  EXIT\nEND PROCSEND\n" + scenario("  EXIT\n"),
                 {{"E", "CBALRDEFI", "comm.pts", kAfterBase}, {"E", "PSALRDEFI", "comm.pts", kAfterBase + 6}}},
        CommCase{"BlocksOfUnknownTypes",
                 kBase + "CALLBACK event_t : m ON nolink : id\n  EXIT\nEND CALLBACK\n"
                         "PROCSEND tick_t : m ON link : id\n  EXIT\nEND PROCSEND\n" + scenario("  EXIT\n"),
                 {{"E", "COMMNODEC", "comm.pts", kAfterBase}, {"E", "UKNMSGTYP", "comm.pts", kAfterBase + 3}}},
        CommCase{"CountVarsMultiplex",
                 kBase + "CALLBACK event_t : m ON mux : id\n  EXIT\nEND CALLBACK\n"
                         "CALLBACK other_t : m ON link : id [ n ]\n  EXIT\nEND CALLBACK\n" + scenario("  EXIT\n"),
                 {{"E", "CBNOMATCH", "comm.pts", kAfterBase}, {"E", "CBNOMATCH", "comm.pts", kAfterBase + 3}}},
        CommCase{"PointerMsgsNoBlocks",
                 kBase + "MESSAGE event_ptr : pm\nCALLBACK event_ptr : m ON link : id\n  EXIT\nEND CALLBACK\n"
                         "PROCSEND event_ptr : m ON link : id\n  EXIT\nEND PROCSEND\n" + scenario("  EXIT\n"),
                 {{"E", "CBNPTTYPE", "comm.pts", kAfterBase + 1}, {"E", "PSNPTTYPE", "comm.pts", kAfterBase + 4}}},
        CommCase{"CallbackWithoutEnd",
                 kBase + "CALLBACK other_t : m ON link : id\n  IF (id) THEN\n    MESSAGE_DATE\n    NO_MESSAGE\n"
                         "  END IF\nEND CALLBACK\n" + scenario("  EXIT\n"),
                 {{"E", "NOMSGDCAL", "comm.pts", kAfterBase}, {"E", "NONMSGCAL", "comm.pts", kAfterBase}}},
        CommCase{"EndsOutsideCallbacks",
                 kBase + "PROC p()\n  WHILE (1)\n    MESSAGE_DATE\n    NO_MESSAGE\n  END WHILE\nEND PROC\n"
                         "PROCSEND event_t : m ON link : id\n  MESSAGE_DATE\nEND PROCSEND\n" +
                     scenario("  CALL p()\n  IF (1) THEN\n    NO_MESSAGE\n  END IF\n"),
                 {{"E", "MSGDINBBL", "comm.pts", kAfterBase + 7}, {"E", "NOMSINBBL", "comm.pts", kAfterBase + 12}}},
        CommCase{"MatchingPieces",
                 kBase + scenario("  WAITTIL(MATCHING(nothing), 0)\n  WAITTIL(MATCHED(ping, nochan), 0)\n"
                                  "  WAITTIL(NOTMATCHING(ping, mch), 0)\n  WAITTIL(1, NOTMATCHED(oth))\n"),
                 {{"E", "UNKMSGNAM", "comm.pts", kAfterBase + 1}, {"E", "UNKCHANAM", "comm.pts", kAfterBase + 2},
                  {"E", "CBNOTDECL", "comm.pts", kAfterBase + 3}, {"E", "CBNOTDECL", "comm.pts", kAfterBase + 4}}},
        CommCase{"ChannelPolledTwice",
                 kBase + "CHANNEL link : ch2\nCALLBACK other_t : m ON link : id\n  MESSAGE_DATE\n  NO_MESSAGE\n"
                         "END CALLBACK\n" +
                     scenario("  DEF_MESSAGE ping, EV= { 1, \"a\" }\n"
                              "  WAITTIL(MATCHING(ping, ch) || MATCHING(oth, ch), 0)\n"
                              "  WAITTIL(MATCHING(ping, ch2), MATCHING(oth))\n"
                              "  WAITTIL(MATCHING(ping), MATCHING(oth))\n"),
                 // In the last one both channels of the type clash; one report.
                 {{"E", "DBLMSGTYP", "comm.pts", kAfterBase + 7}, {"E", "DBLCOMTYP", "comm.pts", kAfterBase + 8},
                  {"E", "DBLCOMTYP", "comm.pts", kAfterBase + 9}}},
        CommCase{"SendPieces",
                 kBase + scenario("  SEND(nothing, ch)\n  SEND(ping, nochan)\n  SEND(ping, ch)\n"),
                 {{"E", "UNKMSGNAM", "comm.pts", kAfterBase + 1}, {"E", "UNKCHANAM", "comm.pts", kAfterBase + 2},
                  {"E", "PSNOTDECL", "comm.pts", kAfterBase + 3}}},
        CommCase{"DefsAgainstMessage",
                 kBase + scenario("  DEF_MESSAGE ping, EV= { 1, 2 }\n  DEF_TRIGGER(pong, 1, \"a\", 3)\n"),
                 {{"E", "INCOMPTYP", "comm.pts", kAfterBase + 1}, {"E", "VARNOGOOD", "comm.pts", kAfterBase + 1},
                  {"E", "NBVALINCO", "comm.pts", kAfterBase + 2}, {"E", "VARNOGOOD", "comm.pts", kAfterBase + 2}}},
        CommCase{"IdsOfChannelType",
                 kBase + "COMMTYPE net IS addr_t\nCHANNEL net : n1\n# addr_t where;\n# other_t something;\n" +
                     scenario("  ADD_ID(nochan, 1)\n  FD_ADD(ch, where)\n  ADD_ID(ch, something)\n"
                              "  ADD_ID(mch, \"text\")\n  ADD_ID(ch, 1.5)\n  ADD_ID(n1, where)\n"
                              "  ADD_ID(n1, something)\n  ADD_ID(n1, 0)\n"),
                 {{"E", "UNKCHANAM", "comm.pts", kAfterBase + 5}, {"E", "TYPIDCOKO", "comm.pts", kAfterBase + 6},
                  {"E", "TYPIDCOKO", "comm.pts", kAfterBase + 7}, {"E", "TYPIDCOKO", "comm.pts", kAfterBase + 8},
                  {"E", "TYPIDCOKO", "comm.pts", kAfterBase + 11}, {"E", "TYPIDCOKO", "comm.pts", kAfterBase + 12}}},
        CommCase{"InterTesterClasses",
                 kBase + "# int n;\n# char text[8];\n# double d;\n" +
                     scenario("  INTERSEND(n, text)\n  INTERSEND(\"a\", \"b\")\n  INTERSEND(d, n)\n"
                              "  INTERRECV(text, 8)\n  INTERRECV(n)\n  INTERRECV(text)\n  INTERRECV(n, d)\n"),
                 {{"E", "INCOMPTYP", "comm.pts", kAfterBase + 6}, {"E", "INCOMPTYP", "comm.pts", kAfterBase + 6},
                  {"E", "INCOMPTYP", "comm.pts", kAfterBase + 9}, {"E", "INCOMPTYP", "comm.pts", kAfterBase + 10},
                  {"E", "INCOMPTYP", "comm.pts", kAfterBase + 10}}}),
    [](const ::testing::TestParamInfo<CommCase>& info) { return std::string(info.param.title); });

// Messages name what the user wrote: pieces as displayed, pairs as
// (message,channel).
TEST_F(CommRules, MessagesShowTheDisplayForms)
{
    const RunResult run =
        analyse(kBase + "CALLBACK other_t : m ON link : id\n  MESSAGE_DATE\n  NO_MESSAGE\nEND CALLBACK\n" +
                scenario("  WAITTIL(MATCHING(ping, ch) || MATCHING(oth, ch), 0)\n"
                         "  WAITTIL(MATCHING(ping), NOTMATCHED(oth))\n  WAITTIL(MATCHED(ping, mch), 0)\n"
                         "  DEF_MESSAGE ping, EV= { 1, \"a\" }\n"));
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"E", "DBLMSGTYP", "comm.pts", kAfterBase + 5},
                                      "Polling different message types on a channel is not allowed : "
                                      "(ping,ch) (oth,ch)"),
                            IsMessage({"E", "DBLCOMTYP", "comm.pts", kAfterBase + 6},
                                      "Polling different message types with one callback on a channel is not "
                                      "allowed : (ping,ch) (oth,ch)"),
                            IsMessage({"E", "CBNOTDECL", "comm.pts", kAfterBase + 7},
                                      "No callback is available for instruction MATCHED(ping,mch)")));
}

TEST_F(CommRules, UndefinedWaittilNoted)
{
    const RunResult none = analyse(kBase + scenario("  WAITTIL(WTIME > 3, 0)\n  WAITTIL(MATCHING(ping), 0)\n"
                                                    "  WAITTIL(MATCHING(pong), 0)\n"));
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_THAT(messagesOf(none.err),
                ElementsAre(IsMessage({"I", "NODEFMESS", "comm.pts", kAfterBase + 2},
                                      "A DEF_MESSAGE instruction must be called before a WAITTIL call")));
    const RunResult defined = analyse(kBase + scenario("  WAITTIL(MATCHING(ping), 0)\n"
                                                       "  DEF_MESSAGE ping, EV= { 1, \"a\" }\n"));
    EXPECT_THAT(messagesOf(defined.err), IsEmpty());
}

// An identifier whose address can be taken is copied; constants, constant
// variables and computed values are assigned.
TEST_F(CommRules, IdentifiersAreCopiedOrAssigned)
{
    const RunResult run = analyse(kBase + "# const link_id fixed = 3;\n# link_id ids[4];\n# int count;\n" +
                                  scenario("  ADD_ID(ch, fixed)\n  ADD_ID(ch, ids[2])\n  ADD_ID(ch, count + 1)\n"
                                           "  ADD_ID(ch, count)\n  ADD_ID(ch, 'c')\n"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(linesWith(run, "ENT_ADD_ID"),
                ElementsAre(HasSubstr("id=\"fixed\" constant=1"), HasSubstr("id=\"ids[2]\" constant=0"),
                            HasSubstr("id=\"count + 1\" constant=1"), HasSubstr("id=\"count\" constant=0"),
                            HasSubstr("id=\"'c'\" constant=1")));
}

// A failing piece drops the whole WAITTIL: no entry, no reference, no number.
TEST_F(CommRules, RefusedWaittilsLeaveNothing)
{
    const RunResult run = analyse(kBase + scenario("  WAITTIL(MATCHING(oth), 0)\n  WAITTIL(MATCHING(ping), 0)\n"));
    EXPECT_THAT(linesWith(run, "ENT_WAITTIL\t"), ElementsAre(HasSubstr("number=0")));
    EXPECT_THAT(linesWith(run, "ENT_WAITTIL_REF"), ElementsAre(HasSubstr("aux=0")));
    EXPECT_THAT(linesWith(run, "ENT_MATCH_PIECE"), ElementsAre(HasSubstr("message=\"ping\"")));
}

// The variables of a block are declared in its own C scope.
TEST_F(CommRules, BlockVarsBelongToBlock)
{
    const RunResult run = analyse(kBase + "CALLBACK other_t : got ON mux : ids [ count ]\n  ADD_ID(mch, ids[0])\n"
                                          "  ADD_ID(mch, ids[count])\n  MESSAGE_DATE\n  NO_MESSAGE\nEND CALLBACK\n" +
                                  scenario("  ADD_ID(mch, ids[0])\n"));
    EXPECT_THAT(messagesOf(run.err), ElementsAre(Message{"W", "IDENTIINC", "comm.pts", kAfterBase + 7},
                            Message{"W", "NONTABLEA", "comm.pts", kAfterBase + 7}));
}

}  // namespace
