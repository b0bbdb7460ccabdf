// Communication code in the generated program: message and channel tables,
// the message functions, procsend and callback functions, SEND, WAITTIL and
// the other communication statements.
#include "codegen/test_program_support.h"

#include <gmock/gmock.h>

namespace {

using qvm::testing::program::GenProg;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kCommInterface =
    "typedef int link_t;\n"
    "typedef struct { int code; int value; } ping_t;\n"
    "typedef union { int number; char text[8]; } content_t;\n"
    "typedef struct { int kind; content_t body; } note_t;\n"
    "int link_send(link_t id, const void *msg);\n"
    "int link_receive(link_t id, void *msg);\n"
    "int link_poll(link_t *ids, int count, void *msg);\n"
    "link_t bench_link;\n"
    "int counter;\n"
    "char inbox[32];\n";

const std::string kDeclarations =
    "HEADER \"t\", \"1\", \"x\"\n"
    "COMMTYPE wire IS link_t\n"
    "CHANNEL wire : line, spare\n"
    "MESSAGE ping_t : ping, pong\n"
    "PROCSEND ping_t : out ON wire : id\n"
    "  @link_send(id, &out);\n"
    "END PROCSEND\n"
    "CALLBACK ping_t : in ON wire : id\n"
    "  #int got;\n"
    "  @got = link_receive(id, &in);\n"
    "  @if (got <= 0) {\n"
    "  NO_MESSAGE\n"
    "  @}\n"
    "  MESSAGE_DATE\n"
    "END CALLBACK\n";

const std::string kExchange =
    "  ADD_ID(line, bench_link)\n"
    "  DEF_MESSAGE ping, EV={code => 1, value => 7}\n"
    "  DEF_MESSAGE pong, EV={code => 2, value => [5 .. 9]}\n"
    "  SEND(ping, line)\n"
    "  WAITTIL(MATCHING(pong, line), WTIME > 100)\n";

class CommProg : public GenProg {
protected:
    std::string program(const std::string& declarations, const std::string& statements)
    {
        writersNumber = true;
        return generate(declarations + "SCENARIO main\n" + statements + "END SCENARIO\n", options(), {}, kCommInterface);
    }
    std::string program(const std::string& statements) { return program(kDeclarations, statements); }
};

// What the script adds to the hand-written message-driven program (see the
// last test): an unused channel sizes the tables but is not mapped, and the
// callback's leading native declarations come before the copies of the
// message and identifier, its statements after them.
TEST_F(CommProg, UnusedChannelsCallbacks)
{
    const std::string text = program(kExchange);
    EXPECT_THAT(text, HasSubstr("#define TRV_K_MAX_COMT 2\n#define TRV_K_MAX_CHAN 2\n#define TRV_K_MAX_MSGT 1\n"
                                "#define TRV_K_CHAN_wire 2\n"));
    EXPECT_THAT(text, Not(HasSubstr("#define spare")));
    EXPECT_THAT(text, HasSubstr("  ping_t in;\n"
                                "  link_t id;\n"
                                "  int got;\n"
                                "  \n"));
    EXPECT_THAT(text, HasSubstr("  trv_memcpy (&in,&(trv_ping_t_rcv),sizeof((trv_ping_t_rcv)));\n"
                                "  trv_memcpy (&id,&(trv_channel_wire[trv_RegId].trv_connexionId[trv_index]), "
                                "sizeof((trv_channel_wire[trv_RegId].trv_connexionId[trv_index])));\n"
                                "  got = link_receive(id, &in);\n"
                                "  if (got <= 0) {\n"));
}

TEST_F(CommProg, MultiplexedCallbackEveryId)
{
    std::string declarations = kDeclarations;
    declarations.replace(declarations.find("link_t\n"), 7, "link_t WITH MULTIPLEXING\n");
    declarations.replace(declarations.find("ON wire : id\n  #int got"), 23, "ON wire : ids [n]\n  #int got");
    declarations.replace(declarations.find("link_receive(id, &in)"), 21, "link_poll(ids, n, &in)");
    const std::string text = program(declarations, kExchange);
    EXPECT_THAT(text, HasSubstr("static TRV_T_INT trv_ping_t_ON_wire  TRV_DP (( trv_ctx, trv_RegId)) TRV_BP\n"));
    EXPECT_THAT(text, HasSubstr("  TRV_T_INT n;\n  link_t ids[TRV_K_ID_SIZE];\n"));
    EXPECT_THAT(text, HasSubstr("  n = (trv_channel_wire[trv_RegId].trv_numberofId);\n"
                                "  trv_memcpy(ids,(trv_channel_wire[trv_RegId].trv_connexionId), "
                                "sizeof((trv_channel_wire[trv_RegId].trv_connexionId)));\n"));
    EXPECT_THAT(text, HasSubstr("      trv_cbret=trv_ping_t_ON_wire(trv_ctx,0);\n"));
    EXPECT_THAT(text, Not(HasSubstr("for (trv_i=0;\n")));
}

// A message type with no definition of a message that is sent or waited
// for has no reference and compare functions; the definition still gives
// the message its values, which checks and conditions read.
TEST_F(CommProg, UnexchangedNeedNoFunctions)
{
    const std::string text = program("  DEF_MESSAGE pong, EV={code => 2}\n");
    EXPECT_THAT(text, Not(HasSubstr("_ref_msg")));
    EXPECT_THAT(text, Not(HasSubstr("_cmp_msg")));
    EXPECT_THAT(text, HasSubstr("#define pong trv_msg_ping_t[1].trv_MsgRef\n"));
    EXPECT_THAT(text, HasSubstr("  trv_msg_ping_t[1].trv_defNumber = 1;\n  pong.code = (TRV_T_INT) 2;\n"));
}

// The dump of a message with a union follows the selector the message carries.
TEST_F(CommProg, DumpsOfUnionsFollowTheSelector)
{
    const std::string declarations = "HEADER \"t\", \"1\", \"x\"\n"
                                     "COMMTYPE wire IS link_t\n"
                                     "CHANNEL wire : line\n"
                                     "MESSAGE note_t : note\n"
                                     "PROCSEND note_t : out ON wire : id\n"
                                     "  @link_send(id, &out);\n"
                                     "END PROCSEND\n";
    const std::string text = program(declarations, "  DEF_MESSAGE note, EV={kind => 1, body => {number => 4}}\n"
                                                   "  SEND(note, line)\n");
    EXPECT_THAT(text, HasSubstr("#define TRV_note_t (trv_ctx->trv_ctxsel_note_t)\n"));
    EXPECT_THAT(text, HasSubstr("  switch (TRV_note_t.body.select)\n"
                                "   {\n"
                                "    case 0:\n"
                                "     {\n"
                                "      trv_dmp_int_c (&(trv_ctx->trv_ctxrun),"));
    EXPECT_THAT(text, HasSubstr("    case 1:\n"));
    // A character array is dumped within its size.
    EXPECT_THAT(text, HasSubstr("trv_dmp_chars_c (&(trv_ctx->trv_ctxrun),13, (TRV_PT_CAR) trv_msgrcv.body.text, "
                                "sizeof(trv_msgrcv.body.text), I0, -1 );"));
}

TEST_F(CommProg, WaittilWithoutMessages)
{
    const std::string text = program("  WAITTIL(counter > 3, WTIME > 10)\n");
    EXPECT_THAT(text, HasSubstr(", \"<not defined>\");"));
    EXPECT_THAT(text, Not(HasSubstr("trv_noaddid")));
    EXPECT_THAT(text, Not(HasSubstr("/* CommType")));
}

TEST_F(CommProg, IdentifiersAreCopiedOrAssigned)
{
    const std::string text = program("  ADD_ID(line, bench_link)\n  ADD_ID(spare, 4)\n  CLEAR_ID(spare)\n");
    EXPECT_THAT(text, HasSubstr("    trv_channel_wire[1].trv_connexionId[trv_channel_wire[1].trv_numberofId] = 4;\n"));
    EXPECT_THAT(text, HasSubstr("  trv_channel_wire[1].trv_numberofId=0;\n"));
}

// Only the branch where the rendezvous failed returns.
TEST_F(CommProg, RendezvousEndsInBothBranches)
{
    const std::string text = program("  RENDEZVOUS meet\n");
    EXPECT_THAT(text, HasSubstr("  trv_brdv(&(trv_ctx->trv_ctxrun),10, \"meet\");\n"
                                "  if (trv_rdv(\"meet\"))\n"
                                "   {\n"
                                "#if QVM_DYNFLW\n"
                                "    trv_rdv_reached_tsf ( &(trv_ctx->trv_ctxrun), 1, 5, 1);\n"
                                "#endif /* QVM_DYNFLW */\n"
                                "    \n"
                                "    trv_ardv(&(trv_ctx->trv_ctxrun),10,1, \"meet\");\n"
                                "#ifdef TRV_OSTREL_DEBUG\n"
                                "    trv_debug_state = 1;\n"
                                "#else\n"
                                "    return ( 1 );\n"
                                "#endif\n"
                                "   }\n"
                                "  else\n"
                                "   {\n"
                                "#if QVM_DYNFLW\n"
                                "    trv_rdv_reached_tsf ( &(trv_ctx->trv_ctxrun), 0, 5, 1);\n"
                                "#endif /* QVM_DYNFLW */\n"
                                "    \n"
                                "    trv_ardv(&(trv_ctx->trv_ctxrun),10,0, \"meet\");\n"
                                "   }\n"));
}

TEST_F(CommProg, IntegersSentAsText)
{
    const std::string text = program("  INTERSEND(counter, \"peer\")\n  INTERSEND(inbox, \"peer\")\n");
    EXPECT_THAT(text, HasSubstr("   {\n"
                                "    char trv_local_int2string[QVM_TAGTBUF_SIZE];\n"
                                "    trv_sprintf (trv_local_int2string, \"%d\", (TRV_T_INT)(counter));\n"
                                "#if QVM_DYNFLW\n"
                                "    trv_intersend_tsf ( &(trv_ctx->trv_ctxrun), 5, 1, \"peer\");\n"
                                "#endif /* QVM_DYNFLW */\n"
                                "    if (trv_intersend (&(trv_ctx->trv_ctxrun), trv_local_int2string, \"peer\"))\n"
                                "     {\n"
                                "      trv_isend (&(trv_ctx->trv_ctxrun), 10, 1, trv_local_int2string, \"peer\");\n"));
    EXPECT_THAT(text, HasSubstr("  if (trv_intersend (&(trv_ctx->trv_ctxrun), inbox, \"peer\"))\n"
                                "   {\n"
                                "    trv_isend (&(trv_ctx->trv_ctxrun), 11, 1, inbox, \"peer\");\n"));
}

TEST_F(CommProg, IntersendIntoTheTarget)
{
    const std::string text = program("  INTERRECV(counter)\n  INTERRECV(inbox, 32)\n");
    EXPECT_THAT(text, HasSubstr("    char trv_local_interrecv_msg[QVM_TAGTBUF_SIZE];\n"
                                "    \n"
                                "    trv_irecv (&(trv_ctx->trv_ctxrun), 10);\n"
                                "    if (priv_interrecv (&(trv_tagtsocket), trv_tagttimeout, trv_local_interrecv_msg, "
                                "QVM_TAGTBUF_SIZE, &trv_loc_tstemit, &trv_loc_info))\n"
                                "     {\n"
                                "      trv_end_irecv (&(trv_ctx->trv_ctxrun), 10, 2, NULL, NULL);\n"));
    EXPECT_THAT(text, HasSubstr("      *(&(counter)) = atoi (trv_loc_info);\n"));
    EXPECT_THAT(text, HasSubstr("    if (priv_interrecv (&(trv_tagtsocket), trv_tagttimeout, inbox, 32, &trv_loc_tstemit, "
                                "&trv_loc_info))\n"));
    EXPECT_THAT(text, HasSubstr("      if (inbox[0]=='\\0')\n"
                                "       {\n"
                                "        trv_end_irecv (&(trv_ctx->trv_ctxrun), 11, 1, NULL, NULL);\n"));
}

// TRIGGER mode: each structure gets its channel of the predeclared
// communication type and a generated multiplexed callback.
TEST_F(CommProg, TriggerModeCallback)
{
    const std::string text = program("HEADER \"t\", \"1\", \"x\"\nTRIGGER ping_t ping, pong\n",
                                     "  DEF_MESSAGE pong, EV={code => 2}\n"
                                     "  WAITTIL(MATCHING(pong), WTIME > 10)\n");
    EXPECT_THAT(text, HasSubstr("/* callback ping_t_ON_trv_socket */\n"));
    EXPECT_THAT(text, HasSubstr("if ((fd=trv_pollevt(trv_ids, trv_n))) {  ping_t_Init(&trv_msg, fd);"));
    EXPECT_THAT(text, HasSubstr("/* Channel trv_v1_3_ch_0 */\n"));
    // The structure's channel polls the runtime channel of its name.
    EXPECT_THAT(text, HasSubstr("    trv_msg_ping_t[trv_i].trv_defNumber=0;\n"
                                "   }\n"
                                "  if ((trv_channel_trv_socket[0].trv_connexionId[0] = trv_channel_open (\"ping_t\")) >= 0)\n"
                                "   {\n"
                                "    trv_channel_trv_socket[0].trv_numberofId = 1;\n"
                                "   }\n"));
    // Declared channels get their identifiers from ADD_ID only.
    EXPECT_THAT(program(kExchange), Not(HasSubstr("trv_channel_open")));
}

// A WAITTIL inside a procedure: its condition function takes the
// procedure's parameters by value after the fixed ones, then the address
// of each procedure variable the condition names, which it reads through a
// define line of the variable's name. The call passes them all.
TEST_F(CommProg, ConditionSeesProcParams)
{
    const std::string text = program(kDeclarations + "PROC await (int limit, link_t unused)\n"
                                                     "  #int enough;\n"
                                                     "  #char note[8];\n"
                                                     "  WAITTIL(MATCHING(pong, line) || enough, WTIME > limit)\n"
                                                     "END PROC\n",
                                     "  ADD_ID(line, bench_link)\n"
                                     "  DEF_MESSAGE pong, EV={code => 2}\n"
                                     "  CALL await(100, bench_link)\n");
    EXPECT_THAT(text, HasSubstr("typedef int trv_T_WAIT_0_enough;\n"
                                "static TRV_T_INT trv_WAIT_0 TRV_DP (( trv_ctx, trv_exprOK,trv_exprKO,trv_wtime_0,limit,"
                                "unused,trv_ref_enough)) TRV_BP\n"
                                "TRV_PT_CTX trv_ctx TRV_SP\n"
                                "TRV_T_INT * trv_exprOK TRV_SP\n"
                                "TRV_T_INT * trv_exprKO TRV_SP\n"
                                "TRV_T_UTIME trv_wtime_0 TRV_SP\n"
                                "int limit TRV_SP\n"
                                "link_t unused TRV_SP\n"
                                "trv_T_WAIT_0_enough * trv_ref_enough TRV_EP\n"
                                " {\n"
                                "#define enough (*trv_ref_enough)\n"
                                "  TRV_T_INT trv_ret=0;\n"));
    EXPECT_THAT(text, HasSubstr("  return trv_ret;\n#undef enough\n }\n"));
    EXPECT_THAT(text, HasSubstr("if (trv_WAIT_0(trv_ctx, &trv_exprOK, &trv_exprKO, trv_wtime_0, limit, unused, &enough))\n"));
    EXPECT_THAT(text, Not(HasSubstr("trv_ref_note")));  // not named by the condition
}

// The fixed head of a condition function, up to its first variable parameter.
std::string waitHead(int number)
{
    return "static TRV_T_INT trv_WAIT_" + std::to_string(number) +
           " TRV_DP (( trv_ctx, trv_exprOK,trv_exprKO,trv_wtime_0,";
}

std::string waitCall(int number, const std::string& arguments)
{
    return "if (trv_WAIT_" + std::to_string(number) + "(trv_ctx, &trv_exprOK, &trv_exprKO, trv_wtime_0" + arguments +
           "))\n";
}

const std::string kAnswer = "  ADD_ID(line, bench_link)\n  DEF_MESSAGE pong, EV={code => 2}\n";

// A condition naming variables of the scenario around it, from an IF body
// as well, gets their addresses; a variable of the scenario hides the
// global of its name, as in C, and a global it does not hide stays global.
TEST_F(CommProg, ConditionSeesScenarioVars)
{
    const std::string text = program("  #int ready;\n"
                                     "  #long counter;\n" +
                                     kAnswer +
                                     "  WAITTIL(MATCHING(pong, line) || ready, WTIME > 100)\n"
                                     "  IF (ready) THEN\n"
                                     "    WAITTIL(MATCHING(pong, line) || counter > 2 || inbox[0], WTIME > 100)\n"
                                     "  END IF\n");
    EXPECT_THAT(text, HasSubstr("typedef int trv_T_WAIT_0_ready;\n" + waitHead(0) +
                                "trv_ref_ready)) TRV_BP\n"
                                "TRV_PT_CTX trv_ctx TRV_SP\n"
                                "TRV_T_INT * trv_exprOK TRV_SP\n"
                                "TRV_T_INT * trv_exprKO TRV_SP\n"
                                "TRV_T_UTIME trv_wtime_0 TRV_SP\n"
                                "trv_T_WAIT_0_ready * trv_ref_ready TRV_EP\n"
                                " {\n"
                                "#define ready (*trv_ref_ready)\n"));
    EXPECT_THAT(text, HasSubstr(waitCall(0, ", &ready")));
    EXPECT_THAT(text, HasSubstr("typedef long trv_T_WAIT_1_counter;\n" + waitHead(1) + "trv_ref_counter)) TRV_BP\n"));
    EXPECT_THAT(text, HasSubstr("#define counter (*trv_ref_counter)\n"));
    EXPECT_THAT(text, HasSubstr("  return trv_ret;\n#undef counter\n }\n"));
    EXPECT_THAT(text, HasSubstr(waitCall(1, ", &counter")));
    EXPECT_THAT(text, Not(HasSubstr("trv_ref_inbox")));
}

// The blocks of a scenario are functions of their own: each condition gets
// the variables of its block, and only those.
TEST_F(CommProg, ConditionSeesBlockVars)
{
    const std::string text = program("  INITIALIZATION\n"
                                     "    #int armed;\n" +
                                     kAnswer +
                                     "    WAITTIL(MATCHING(pong, line) || armed, WTIME > 100)\n"
                                     "  END INITIALIZATION\n"
                                     "  TERMINATION\n"
                                     "    #char done[4];\n"
                                     "    WAITTIL(MATCHING(pong, line) || done[0], WTIME > 100)\n"
                                     "  END TERMINATION\n"
                                     "  EXCEPTION\n"
                                     "    #unsigned caught;\n"
                                     "    WAITTIL(MATCHING(pong, line) || caught || armed, WTIME > caught)\n"
                                     "  END EXCEPTION\n"
                                     "  SCENARIO inner\n"
                                     "    COMMENT: inside\n"
                                     "  END SCENARIO\n");
    EXPECT_THAT(text, HasSubstr("typedef int trv_T_WAIT_0_armed;\n" + waitHead(0) + "trv_ref_armed)) TRV_BP\n"));
    EXPECT_THAT(text, HasSubstr(waitCall(0, ", &armed")));
    EXPECT_THAT(text, HasSubstr("typedef char trv_T_WAIT_1_done[4];\n" + waitHead(1) + "trv_ref_done)) TRV_BP\n"));
    EXPECT_THAT(text, HasSubstr(waitCall(1, ", &done")));
    // The time-out names it too; armed belongs to another block.
    EXPECT_THAT(text, HasSubstr("typedef unsigned trv_T_WAIT_2_caught;\n" + waitHead(2) + "trv_ref_caught)) TRV_BP\n"));
    EXPECT_THAT(text, HasSubstr(waitCall(2, ", &caught")));
    EXPECT_THAT(text, Not(HasSubstr("trv_T_WAIT_2_armed")));
}

// A declaration after the statement is not yet seen by it: the condition
// names the global of that name, which its function sees by itself.
TEST_F(CommProg, ConditionSeesNoLaterDecl)
{
    const std::string text = program(kDeclarations + "#int level;\n",
                                     kAnswer + "  WAITTIL(MATCHING(pong, line) || level, WTIME > 100)\n"
                                               "  #int level;\n"
                                               "  #enum later { FAR = 1 << 2, NEAR };\n"
                                               "  WAITTIL(MATCHING(pong, line) || level == NEAR, WTIME > 100)\n");
    EXPECT_THAT(text, Not(HasSubstr("trv_T_WAIT_0_level")));
    EXPECT_THAT(text, HasSubstr(waitCall(0, "")));
    EXPECT_THAT(text, HasSubstr("typedef int trv_T_WAIT_1_level;\n"));
    EXPECT_THAT(text, HasSubstr(waitCall(1, ", &level")));
    EXPECT_THAT(text, HasSubstr("#define NEAR ((1 << 2)+1)\n"));
}

// Native lines of an INSTANCE block belong to the body around them.
TEST_F(CommProg, ConditionSeesInstanceVars)
{
    const std::string text = program(kDeclarations + "DECLARE_INSTANCE left, right\n",
                                     "  INSTANCE left :\n"
                                     "  #int leftSide;\n"
                                     "  END INSTANCE\n" +
                                         kAnswer + "  WAITTIL(MATCHING(pong, line) || leftSide, WTIME > 100)\n");
    EXPECT_THAT(text, HasSubstr("typedef int trv_T_WAIT_0_leftSide;\n" + waitHead(0) + "trv_ref_leftSide)) TRV_BP\n"));
    EXPECT_THAT(text, HasSubstr(waitCall(0, ", &leftSide")));
}

// The condition function stands ahead of the block: a type named in the
// block is written as the type it stands for; a register variable goes by
// value, and so does a variable of an enumeration of the block, as an int,
// with the constants of that enumeration defined as their values; a
// variable whose structure is declared in the block cannot be passed: a
// warning says so.
TEST_F(CommProg, ConditionTypesAsFileScope)
{
    const std::string text = program("  #typedef long tally_t;\n"
                                     "  #tally_t *hits;\n"
                                     "  #register int fast;\n"
                                     "  #enum phase { IDLE, BUSY = 4, DONE } stage;\n"
                                     "  #struct pair { int a; int b; } duo;\n" +
                                     kAnswer +
                                     "  WAITTIL(MATCHING(pong, line) || *hits > fast || duo.a || stage == DONE, "
                                     "WTIME > 100)\n");
    EXPECT_THAT(text, HasSubstr("typedef long *trv_T_WAIT_0_hits;\n"
                                "typedef int trv_T_WAIT_0_fast;\n"
                                "typedef int trv_T_WAIT_0_stage;\n"));
    EXPECT_THAT(text, HasSubstr(waitHead(0) + "trv_ref_hits,fast,stage)) TRV_BP\n"));
    EXPECT_THAT(text, HasSubstr("trv_T_WAIT_0_fast fast TRV_SP\ntrv_T_WAIT_0_stage stage TRV_EP\n"));
    EXPECT_THAT(text, HasSubstr("#define hits (*trv_ref_hits)\n#define IDLE (0)\n#define BUSY (4)\n#define DONE (4+1)\n"));
    EXPECT_THAT(text, HasSubstr("#undef DONE\n }\n"));
    EXPECT_THAT(text, HasSubstr(waitCall(0, ", &hits, fast, stage")));
    EXPECT_THAT(text, Not(HasSubstr("trv_ref_duo")));
    EXPECT_THAT(console, HasSubstr("Fenwir-W-WAITYPLOC,  "));
    EXPECT_THAT(console, HasSubstr("The WAITTIL condition cannot see duo: its type is declared inside the block"));
}

// Golden program written by hand from the templates before the writer was
// run on it, for the message-driven script: one channel, a procsend, a
// callback, two definitions, a SEND and a WAITTIL.
// Numbers are those of the TDC and tracer structure writers of the same run.
TEST_F(CommProg, HandWrittenMessageDrivenProgram)
{
    expectHandWritten("comm_exchange");
}

}  // namespace
