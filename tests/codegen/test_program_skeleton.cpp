// The generated program's skeleton: scenario and block functions, the state
// protocol around sub-scenarios, repetition loops, flushes, filter guards and
// the plain statements, read on the generated text.
#include "codegen/test_program_support.h"

#include <gmock/gmock.h>

#include <regex>

namespace {

using qvm::codegen::filterCondition;
using qvm::testing::program::kHead;
using qvm::testing::program::GenProg;
using ::testing::HasSubstr;
using ::testing::Not;

// The text from the first line holding from up to the next line holding to
// (both included), or "" when either is missing.
std::string section(const std::string& text, const std::string& from, const std::string& to)
{
    const std::size_t start = text.rfind('\n', text.find(from));
    if (text.find(from) == std::string::npos) {
        return {};
    }
    const std::size_t end = text.find(to, text.find(from));
    if (end == std::string::npos) {
        return {};
    }
    return text.substr(start + 1, text.find('\n', end) - start);
}

TEST(FilterPrefix, GroupsLettersAndNegations)
{
    EXPECT_EQ(filterCondition("A"), "if ( trv_filter[0])");
    EXPECT_EQ(filterCondition("AB+~C"), "if ( ( trv_filter[0] && trv_filter[1]) || (!trv_filter[2]) )");
    EXPECT_EQ(filterCondition("Z"), "if ( trv_filter[25])");
    // A leading '%' (from a "%%" prefix) swaps the operators.
    EXPECT_EQ(filterCondition("%AB+C"), "if ( ( trv_filter[0] || trv_filter[1]) && (trv_filter[2]) )");
    // The letter a '~' negates is joined by the operator written before the
    // '~': a second one after it would not be C.
    EXPECT_EQ(filterCondition("A~B"), "if ( trv_filter[0] && !trv_filter[1])");
    EXPECT_EQ(filterCondition("~A+B~C"), "if ( ( !trv_filter[0]) || (trv_filter[1] && !trv_filter[2]) )");
}

TEST_F(GenProg, FilteredInstrInOwnBraces)
{
    const std::string text = generate(kHead +
                                      "SCENARIO s\n"
                                      "%AB+~C ERROR\n"
                                      "%%AB EXIT\n"
                                      "END SCENARIO\n");
    EXPECT_THAT(text, HasSubstr("  if ( ( trv_filter[0] && trv_filter[1]) || (!trv_filter[2]) )\n"
                                "   {\n"
                                "    trv_error ( &(trv_ctx->trv_ctxrun),"));
    EXPECT_THAT(text, HasSubstr("  if ( trv_filter[0] || trv_filter[1])\n"
                                "   {\n"
                                "    trv_rioexit ( &(trv_ctx->trv_ctxrun),"));
}

TEST_F(GenProg, RepetitionCounterOrLoop)
{
    const std::string text = generate(kHead +
                                      "SCENARIO once LOOP 1\n"
                                      "  ERROR\n"
                                      "END SCENARIO\n"
                                      "SCENARIO thrice LOOP 3\n"
                                      "  SCENARIO inner\n"
                                      "    EXIT\n"
                                      "  END SCENARIO\n"
                                      "END SCENARIO\n");
    // The root scenario is at depth 1: its children count with J1, theirs with J2.
    EXPECT_THAT(text, Not(HasSubstr("J1<=1")));
    // The loop's brace closes after the level flush.
    EXPECT_THAT(text, HasSubstr("    for(J1=1; J1<=3; ++J1)\n     {\n      trv_startchronomarkloop ("));
    EXPECT_THAT(text, HasSubstr("\"thrice.inner\""));
}

const std::string kTwoLevels = kHead +
                               "SCENARIO s\n"
                               "  SCENARIO leaf\n"
                               "    ERROR\n"
                               "  END SCENARIO\n"
                               "END SCENARIO\n";

TEST_F(GenProg, FlushesOnlyWhenTracing)
{
    auto withTrace = [&](int level, int kilobytes) {
        qvm::codegen::ProgramOptions o = options();
        o.traceLevel = level;
        o.bufferSizeKb = kilobytes;
        return generate(kTwoLevels, o);
    };
    const std::string scn = withTrace(10, 10);
    EXPECT_EQ(qvm::testing::occurrences(scn, "trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), 10);"), 2u);
    EXPECT_EQ(qvm::testing::occurrences(scn, "trv_flush_circular_buffer(&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);"),
              2u);
    EXPECT_THAT(scn, HasSubstr("static TRV_T_CAR trv_ctxbuffertracest[10240];\n"));

    // CIRCULAR: none inside scenarios; the entry function still flushes.
    const std::string circular = withTrace(50, 10);
    EXPECT_THAT(circular, Not(HasSubstr("trv_flush_circular_buffer(")));
    EXPECT_THAT(circular, HasSubstr("  trv_flush_circular_buffer (&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);\n"
                                    "  trv_end ("));
    EXPECT_THAT(circular, HasSubstr("trv_ctxtracepriority = 50;"));

    // A buffer of 0 kilobytes turns every trace buffer line off.
    for (const std::string& off : {withTrace(20, 0), withTrace(0, 10)}) {
        EXPECT_THAT(off, Not(HasSubstr("flush_circular_buffer")));
        EXPECT_THAT(off, Not(HasSubstr("trv_ctxbuffertracest")));
        EXPECT_THAT(off, Not(HasSubstr("trv_ctxbuffersize")));
        EXPECT_THAT(off, HasSubstr("  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxtracepriority = 0;\n  \n"));
        EXPECT_THAT(off, HasSubstr("static TRV_T_CTX trv_ctxst;\n"));
    }
}

const std::string kBlocks = kHead +
                            "PROC cleanup ( int code, level_t extra )\n"
                            "  COMMENT: cleaning up\n"
                            "END PROC\n"
                            "SCENARIO s\n"
                            "  INITIALIZATION\n"
                            "    COMMENT: setting up\n"
                            "  END INITIALIZATION\n"
                            "  TERMINATION\n"
                            "    COMMENT: done\n"
                            "  END TERMINATION\n"
                            "  EXCEPTION cleanup(limit, 2)\n"
                            "  SCENARIO leaf\n"
                            "    ERROR\n"
                            "  END SCENARIO\n"
                            "END SCENARIO\n";

TEST_F(GenProg, LevelBlocksAroundEachChild)
{
    const std::string text = generate(kBlocks);
    // Block functions are named after their scenario and come before it; a
    // block in call form calls the procedure's function.
    EXPECT_THAT(text, HasSubstr("static TRV_T_INT trv_t"));
    EXPECT_THAT(text, Not(HasSubstr("static TRV_T_INT trv_e")));
    EXPECT_LT(text.find("static TRV_T_INT trv_i"), text.find("static TRV_T_INT trv_S"));

    // EXCEPTION in the failure branch, through the procedure and its marks.
    EXPECT_THAT(text, HasSubstr("    trv_bexcep(&(trv_ctx->trv_ctxrun),"));
    std::smatch found;
    ASSERT_TRUE(std::regex_search(text, found, std::regex("static TRV_T_INT trv_P([0-9]+) ")));
    const std::string cleanup = found[1];
    // Its prototype names every parameter, the last one ending the list.
    EXPECT_THAT(text, HasSubstr("static TRV_T_INT trv_P" + cleanup + "  TRV_DP (( trv_ctx, code,extra)) TRV_BP\n"
                                "TRV_PT_CTX trv_ctx TRV_SP\nint code TRV_SP\nlevel_t extra TRV_EP\n {\n"));
    // Each child's sequence stands in the test of its selection at run time.
    EXPECT_THAT(text, HasSubstr("      trv_bproc(&(trv_ctx->trv_ctxrun)," + cleanup + ");\n"
                                "      trv_local_state = trv_P" + cleanup + " (trv_ctx, limit, 2);\n"
                                "      trv_aproc(&(trv_ctx->trv_ctxrun),"));
    EXPECT_THAT(text, HasSubstr("      else\n       {\n#if QVM_DYNFLW\n"));
    EXPECT_THAT(text, HasSubstr("        trv_aexcep(&(trv_ctx->trv_ctxrun),0,"));
    // TERMINATION on success, after the failure branch.
    EXPECT_THAT(text, HasSubstr("     }\n    else\n     {\n#if QVM_DYNFLW\n"));
    EXPECT_THAT(text, HasSubstr("      trv_bterm(&(trv_ctx->trv_ctxrun),"));
    EXPECT_THAT(text, HasSubstr("      else\n#if QVM_DYNFLW\n"));
    // The release failure return raises an odd state to the next even one.
    EXPECT_THAT(text, HasSubstr("#else\n      if (trv_local_state & 1)\n       {\n        ++trv_local_state;\n       }\n"
                                "      return ( trv_local_state );\n#endif\n"));
    // The order of one repetition: INITIALIZATION, the sub-scenario, then
    // EXCEPTION or TERMINATION.
    EXPECT_LT(text.find("trv_binit("), text.find("\"s.leaf\""));
    EXPECT_LT(text.find("trv_stopchronomarkloop (&"), text.find("trv_bexcep("));
    EXPECT_LT(text.find("trv_bexcep("), text.find("trv_bterm("));
}

TEST_F(GenProg, LeftOutWriteNoFunction)
{
    qvm::script::AnalysisOptions analysis;
    analysis.excludedScenarios = {"gone"};
    const std::string text = generate(kHead +
                                      "PROC unused ( )\n"
                                      "  ERROR\n"
                                      "END PROC\n"
                                      "PROC used ( )\n"
                                      "  EXIT\n"
                                      "END PROC\n"
                                      "PROC only_from_gone ( )\n"
                                      "  EXIT\n"
                                      "END PROC\n"
                                      "SCENARIO kept\n"
                                      "  CALL used()\n"
                                      "END SCENARIO\n"
                                      "SCENARIO gone\n"
                                      "  CALL only_from_gone()\n"
                                      "END SCENARIO\n",
                                      options(), analysis);
    EXPECT_THAT(text, HasSubstr("/* procedure used */\n"));
    EXPECT_THAT(text, Not(HasSubstr("/* procedure unused */")));
    EXPECT_THAT(text, Not(HasSubstr("/* procedure only_from_gone */")));
    EXPECT_THAT(text, HasSubstr("\"kept\""));
    EXPECT_THAT(text, Not(HasSubstr("\"gone\"")));
    EXPECT_EQ(qvm::testing::occurrences(text, "trv_startchronomarkloop ("), 2u);  // kept and the root
}

TEST_F(GenProg, PlainStatements)
{
    qvm::codegen::ProgramOptions o = options();
    o.traceLevel = 50;  // the trace instructions exist only at this level
    qvm::script::AnalysisOptions analysis;
    analysis.traceLevel = 50;
    const std::string text = generate(kHead +
                                      "PROC tidy ( )\n"
                                      "  EXIT\n"
                                      "END PROC\n"
                                      "TIMER global_timer\n"
                                      "SCENARIO s\n"
                                      "  TIMER t\n"
                                      "  COMMENT: hello\n"
                                      "  TRACE_ON\n"
                                      "  TRACE_OFF\n"
                                      "  FLUSH_TRACE\n"
                                      "  ENABLE_CLEANUP tidy()\n"
                                      "  DISABLE_CLEANUP tidy()\n"
                                      "  SET(\"AB\")\n"
                                      "  UNSET(\"B\")\n"
                                      "  PAUSE 10\n"
                                      "  PRINT value, counter\n"
                                      "  RESET t\n"
                                      "  #int local = 1;\n"
                                      "  @counter = local;\n"
                                      "  WHILE (counter < limit)\n"
                                      "    @counter++;\n"
                                      "  END WHILE\n"
                                      "  IF (counter > 2) THEN\n"
                                      "    ERROR\n"
                                      "  ELSE\n"
                                      "    EXIT\n"
                                      "  END IF\n"
                                      "  CASE (counter) IS\n"
                                      "  WHEN 1 =>\n"
                                      "  WHEN 2 =>\n"
                                      "    EXIT\n"
                                      "  WHEN OTHERS =>\n"
                                      "    ERROR\n"
                                      "  END CASE\n"
                                      "END SCENARIO\n",
                                      o, analysis);
    const std::string body = section(text, "static TRV_T_INT trv_S", "return ( 0 );");
    // The cleanup procedure is written although no CALL reaches it: the
    // runtime gets its function's address.
    std::smatch found;
    ASSERT_TRUE(std::regex_search(text, found, std::regex("static TRV_T_INT trv_P([0-9]+) ")));
    const std::string cleanup = found[1];
    for (const std::string& expected : std::vector<std::string>{
             "  TRV_T_INT t=1;\n",
             "  trv_get_date(&(trv_ctx->timer[1].timer));\n",
             "  trv_comment ( &(trv_ctx->trv_ctxrun),",
             "  trv_trace_on ( &(trv_ctx->trv_ctxrun),",
             "  trv_trace_off ( &(trv_ctx->trv_ctxrun),",
             "  trv_flush_trace (&(trv_ctx->trv_ctxrun),",
             ");\n  trv_flush_circular_buffer (&(trv_ctx->trv_ctxrun), K_TRACECTX_MAX_PRIORITY);\n",
             "  trv_enable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_P" + cleanup + " );\n",
             "  trv_disable ( &(trv_ctx->trv_ctxrun),(TRV_T_INT (*)())trv_P" + cleanup + " );\n",
             "  trv_setfilter ( &(trv_ctx->trv_ctxrun),\"AB\", ",
             "  trv_unsetfilter ( &(trv_ctx->trv_ctxrun),\"B\", ",
             "  trv_pause ((TRV_T_UTIME)(10));\n",
             "  trv_print(&(trv_ctx->trv_ctxrun),",
             ",(TRV_T_ULONG)(counter));\n",
             "  trv_get_date(&(trv_ctx->timer[t].timer));\n",
             "  int local = 1;\n",
             "  trv_c_lines (&(trv_ctx->trv_ctxrun), \"DIR/test.pts\", 21);\n  counter = local;\n",
             "  while ( counter < limit )\n   {\n    trv_c_lines (&(trv_ctx->trv_ctxrun), \"DIR/test.pts\", 23);\n"
             "    counter++;\n   }\n",
             "  if ( counter > 2 )\n   {\n    trv_error ( &(trv_ctx->trv_ctxrun),",
             "   }\n  else\n   {\n    trv_rioexit ( &(trv_ctx->trv_ctxrun),",
             "  switch ( counter )\n   {\n    case 1 :\n    case 2 :\n     {\n      trv_rioexit (",
             "      break;\n     }\n    default :\n     {\n      trv_error (",
         }) {
        EXPECT_THAT(body, HasSubstr(expected)) << expected;
    }
    // A timer of the declarations: declared among the types, started by trv_initctx.
    EXPECT_THAT(text, HasSubstr("\nint global_timer=0;\n#define trv_filter "));
    EXPECT_THAT(section(text, "static void trv_initctx", "}"),
                HasSubstr("  TRV_T_INT trv_i;\n  trv_get_date(&(trv_ctx->timer[0].timer));\n }"));
    EXPECT_THAT(text, HasSubstr("  TRV_T_TIMER timer[2];\n"));
}

// The script keeps a '#' line without its '#'. Written back as it is, a
// preprocessor line ("include ...") would not be C: a line whose first word
// is a directive gets its '#' back, as the analysis read it.
TEST_F(GenProg, NativeLinesKeepTheirDirectives)
{
    const std::string text = generate(kHead +
                                      "#include \"api.h\"\n"
                                      "#define LIMIT 3\n"
                                      "#undef LIMIT\n"
                                      "#static int runs;\n"
                                      "SCENARIO s\n"
                                      "  #int local;\n"
                                      "  ERROR\n"
                                      "END SCENARIO\n");
    EXPECT_THAT(text, HasSubstr("#undef TIME\n#define TIME(x) 0\nint bench;\n#include \"api.h\"\n#define LIMIT 3\n#undef LIMIT\nstatic int runs;\n"
                                "#define trv_filter "));
}

// Every statement has its own code: none is left to a placeholder of the runtime.
TEST_F(GenProg, ChecksAndCommHaveOwnCode)
{
    const std::string text = generate(kHead +
                                      "SCENARIO s\n"
                                      "  VAR counter, EV=1\n"
                                      "  CALL get_value() @ 3\n"
                                      "  RENDEZVOUS meet\n"
                                      "END SCENARIO\n");
    EXPECT_THAT(text, HasSubstr("  trv_brdv(&(trv_ctx->trv_ctxrun),"));
    EXPECT_THAT(text, Not(HasSubstr("trv_unavailable")));
}

TEST_F(GenProg, InstanceBlocksGuarded)
{
    const std::string script = kHead +
                               "DECLARE_INSTANCE first, second, third\n"
                               "SCENARIO s\n"
                               "  INSTANCE second, third :\n"
                               "    #int shared_local;\n"
                               "  END INSTANCE\n"
                               "  INSTANCE second, third :\n"
                               "    ERROR\n"
                               "  END INSTANCE\n"
                               "  INSTANCE first :\n"
                               "    EXIT\n"
                               "  END INSTANCE\n"
                               "END SCENARIO\n";
    const std::string text = generate(script);
    EXPECT_THAT(text, HasSubstr(" {\n#ifdef TRV_OSTREL_DEBUG\n  TRV_T_INT trv_debug_state = 0;\n#endif\n  int shared_local;\n"
                                "  if ((trv_numinstance==3) || (trv_numinstance==4))\n   {\n    trv_error ("));
    // A single term stands without its own parentheses, which clang would
    // read as a comparison meant as an assignment.
    EXPECT_THAT(text, HasSubstr("  if (trv_numinstance==2)\n   {\n    trv_rioexit ("));

    // An instance chosen at generation time keeps only its blocks, unguarded.
    qvm::script::AnalysisOptions analysis;
    analysis.instance = "first";
    const std::string fixed = generate(script, options(), analysis);
    EXPECT_THAT(fixed, Not(HasSubstr("trv_numinstance==")));
    EXPECT_THAT(fixed, Not(HasSubstr("trv_error (")));
    EXPECT_THAT(fixed, HasSubstr("  trv_rioexit ("));
}

}  // namespace
