// The entry function of the generated program: main or the thread routine,
// the context and trace buffer set-up, the program's own command line, the
// instance index, the runtime start and the tracer link.
#include "codegen/test_program_support.h"
#include "codegen/tsfgen.h"

#include <gmock/gmock.h>

namespace {

using qvm::codegen::Allocation;
using qvm::testing::program::kHead;
using qvm::testing::program::GenProg;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kInstances = kHead + "DECLARE_INSTANCE first, second\n"
                                       "SCENARIO s\n"
                                       "  ERROR\n"
                                       "END SCENARIO\n";

std::string parser(int position, const std::string& option, const std::string& assignment)
{
    const std::string k = std::to_string(position);
    const std::string length = std::to_string(option.size());
    std::string lower = option;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return "  if ( argc > " + k + " )\n   {\n    if ((trv_strncmp(argv[" + k + "], \"" + option + "\", " + length +
           ") == 0) || (trv_strncmp(argv[" + k + "], \"" + lower + "\", " + length + ") == 0))\n     {\n      " + assignment +
           "\n     }\n";
}

TEST_F(GenProg, RunTimeInstancesFromTwo)
{
    const std::string text = generate(kInstances);
    for (int k = 1; k <= 3; ++k) {
        const std::string at = std::to_string(k);
        EXPECT_THAT(text, HasSubstr(parser(k, "-INSTANCE=", "instance_name = &(argv[" + at + "][10]);") + "   }\n  \n"));
        EXPECT_THAT(text, HasSubstr(parser(k, "-OCCID=", "TRV_OCCID = atoi(&argv[" + at + "][7]);") + "   }\n  \n"));
        // A bare argument is the filter list.
        EXPECT_THAT(text, HasSubstr(parser(k, "-RIO=", "rio_file_name = &(argv[" + at + "][5]);") +
                                    "    else\n     {\n      if (!(argv[" + at + "][0]=='-'))\n       {\n"
                                    "        trv_strcpy ( lstflt, argv[" + at + "] );\n       }\n     }\n   }\n  \n"));
    }
    // The parsers run in position order, so a later position wins.
    EXPECT_LT(text.find("argv[1], \"-INSTANCE="), text.find("argv[3], \"-INSTANCE="));
    EXPECT_THAT(text, HasSubstr("  if (instance_name)\n   {\n    /* Computing index of executed instance */\n"
                                "    if (trv_strcmp (\"first\", instance_name) == 0)\n     {\n      trv_numinstance = 2;\n     }\n"
                                "    if (trv_strcmp (\"second\", instance_name) == 0)\n     {\n      trv_numinstance = 3;\n     }\n"
                                "   }\n  TRV_OCCID = 0;\n"));
    EXPECT_THAT(text, HasSubstr("  trv_numinstance = 0;\n"));
    EXPECT_THAT(text, HasSubstr("trv_initrio_with_dynamicfollowing( &(trv_ctx->trv_ctxrun),rio_file_name, lstflt, "
                                "!(trv_numinstance == 1), (trv_numinstance == 1), instance_name, TRV_OCCID, "
                                "\"Thu Jan  1 00:00:00 2026 4242\",\n#else\n"
                                "  trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun),rio_file_name, lstflt, "
                                "!(trv_numinstance == 1), (trv_numinstance == 1), instance_name,"));
    EXPECT_THAT(text, Not(HasSubstr("fixed_instance")));
}

TEST_F(GenProg, InstanceFixedOrNone)
{
    qvm::script::AnalysisOptions analysis;
    analysis.instance = "second";
    const std::string fixed = generate(kInstances, options(), analysis);
    EXPECT_THAT(fixed, HasSubstr("  TRV_PT_CAR instance_name = (TRV_PT_CAR) 0;\n"
                                 "  char fixed_instance[255] = \"second\";\n"));
    // The analysis counts the selected instance from 1.
    EXPECT_THAT(fixed, HasSubstr("  trv_numinstance = 2;\n  trv_testernaming[0] = '\\0';\n"));
    EXPECT_THAT(fixed, HasSubstr("  instance_name = fixed_instance;\n  TRV_OCCID = 0;\n"));
    EXPECT_THAT(fixed, Not(HasSubstr("-INSTANCE=")));
    EXPECT_THAT(fixed, Not(HasSubstr("Computing index")));
    EXPECT_THAT(fixed, HasSubstr("rio_file_name, lstflt, 1, 0, instance_name"));

    const std::string none = generate(kHead + "SCENARIO s\n  ERROR\nEND SCENARIO\n");
    EXPECT_THAT(none, HasSubstr("  trv_testernaming[0] = '\\0';\n"
                                "  trv_scenario_table ( &(trv_ctx->trv_ctxrun), argc, argv, trv_scenario_list, 2 );\n"
                                "  TRV_OCCID = 0;\n"));
    EXPECT_THAT(none, Not(HasSubstr("-INSTANCE=")));
    EXPECT_THAT(none, Not(HasSubstr("instance_name = fixed_instance")));
}

TEST_F(GenProg, DefaultFilterLetters)
{
    qvm::codegen::ProgramOptions o = options();
    o.filterLetters = "AC";
    o.rioPath = "out\\run.rio";
    const std::string text = generate(kHead + "SCENARIO s\n  ERROR\nEND SCENARIO\n", o);
    EXPECT_THAT(text, HasSubstr("  TRV_PT_CAR rio_file_name = \"out\\\\run.rio\";\n"));
    EXPECT_THAT(text, HasSubstr("  if ((rio_file_name[0] != '\\0') && (trv_strstr (rio_file_name, \".rio\") == NULL))\n"
                                "   {\n    trv_strcpy (argRioFileName, rio_file_name);\n"
                                "    trv_strcat (argRioFileName, \".rio\");\n    rio_file_name = argRioFileName;\n   }\n"
                                "  if (instance_name)\n   {\n"
                                "    trv_sprintf (trv_testernaming, \"%s_%d\", instance_name, TRV_OCCID);\n   }\n"
                                "  else\n   {\n"
                                "    trv_sprintf (trv_testernaming, \"%s_%d\", rio_file_name, TRV_OCCID);\n   }\n"
                                "  trv_strcat ( lstflt, \"AC\" );\n  \n#if QVM_DYNFLW\n"));
    EXPECT_LT(text.find("argv[3], \"-RIO="), text.find("trv_strcat ( lstflt, \"AC\" );"));
    // The list is emptied before the arguments are read.
    EXPECT_LT(text.find("lstflt[0] = '\\0';"), text.find("argv[1], \"-RIO="));
    // The string holds the path exactly: a lone backslash would make "\r" a carriage return.
    o.rioPath = "/abs\\run.rio";
    EXPECT_THAT(generate(kHead + "SCENARIO s\n  ERROR\nEND SCENARIO\n", o),
                HasSubstr("  TRV_PT_CAR rio_file_name = \"/abs\\\\run.rio\";\n"));
}

TEST_F(GenProg, ThreadEntryNoInstanceTable)
{
    qvm::codegen::ProgramOptions o = options();
    o.entryName = "tester_start";
    o.filterLetters = "B";
    const std::string text = generate(kHead + "SCENARIO s\n  ERROR\nEND SCENARIO\n", o);
    EXPECT_THAT(text, Not(HasSubstr("_Table")));
    EXPECT_THAT(text, HasSubstr("};\n\nTRV_T_THREAD_RETURN  tester_start TRV_DP ((arg)) TRV_BP\n"
                                "TRV_CONST TRV_PT_ARG arg TRV_EP\n {\n"));
    // The filter list starts empty before a thread's own filters are copied.
    EXPECT_THAT(text, HasSubstr("  lstflt[0] = '\\0';\n  if ( arg->trv_filters )\n   {\n    trv_strcpy ( lstflt, arg->trv_filters );\n   }\n"
                                "  trv_strcat ( lstflt, \"B\" );\n  \n"
                                "  if ( arg->trv_instance )\n   {\n    instance_name =  arg->trv_instance;\n   }\n"
                                "  if (instance_name)\n   {\n    /* Computing index of executed instance */\n   }\n"
                                "  TRV_OCCID = arg->trv_occid;\n"));
    EXPECT_THAT(text, HasSubstr("#else /* QVM_DYNFLW */\n  trv_initrio_no_dynamicfollowing ( &(trv_ctx->trv_ctxrun), "
                                "arg->trv_riofilename, lstflt, !(trv_numinstance == 1), 0, instance_name, TRV_OCCID,"));
    EXPECT_THAT(text, HasSubstr("  trv_thr_exit ((trv_local_state != 0));\n }\n"));
    EXPECT_THAT(text, Not(HasSubstr("argc")));
    EXPECT_THAT(text, Not(HasSubstr("QVM_EXIT ((")));
}

TEST_F(GenProg, StackAndDynamicContexts)
{
    const std::string script = kHead + "SCENARIO s\n  ERROR\nEND SCENARIO\n";
    qvm::codegen::ProgramOptions o = options();
    o.allocation = Allocation::Stack;
    const std::string stack = generate(script, o);
    EXPECT_THAT(stack, Not(HasSubstr("static TRV_T_CTX")));
    EXPECT_THAT(stack, HasSubstr(" {\n  TRV_T_CTX trv_ctxst;\n  TRV_T_CAR trv_ctxbuffertracest[10240];\n  TRV_PT_CTX trv_ctx;\n"));
    EXPECT_THAT(stack, HasSubstr("  trv_ctx = &trv_ctxst;\n"
                                 "  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace = trv_ctxbuffertracest;\n"));
    EXPECT_THAT(stack, Not(HasSubstr("trv_free")));

    o.allocation = Allocation::Dynamic;
    o.bufferSizeKb = 2;
    const std::string dynamic = generate(script, o);
    EXPECT_THAT(dynamic, Not(HasSubstr("trv_ctxst")));
    EXPECT_THAT(dynamic, HasSubstr("  trv_ctx = (TRV_PT_CTX) trv_malloc(sizeof(TRV_T_CTX));\n"
                                   "  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace = (TRV_PT_CAR) "
                                   "trv_malloc(sizeof(TRV_T_CAR)*(2048)) ;\n"
                                   "  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffersize = 2048;\n"
                                   "  trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffersizeleft = 2048;\n"));
    EXPECT_THAT(dynamic, HasSubstr("  trv_free( (TRV_PT_VOID) trv_ctx->trv_ctxrun.trv_ctxtracectx.trv_ctxbuffertrace );\n"
                                   "  trv_free((TRV_PT_VOID) trv_ctx);\n  QVM_EXIT ((trv_local_state != 0));\n"));
    // Without tracing, no buffer is allocated or freed.
    o.traceLevel = 0;
    const std::string untraced = generate(script, o);
    EXPECT_THAT(untraced, Not(HasSubstr("trv_ctxbuffertrace")));
    EXPECT_THAT(untraced, HasSubstr("  trv_free((TRV_PT_VOID) trv_ctx);\n"));
}

TEST_F(GenProg, SourceFileNoticesInIdOrder)
{
    qvm::testing::writeFile(dir / "more.pts", "PROC more ( )\n  EXIT\nEND PROC\n");
    const std::string text = generate("HEADER \"t\", \"1\", \"x\"\n"
                                      "INCLUDE \"" + (dir / "more.pts").string() + "\"\n"
                                      "SCENARIO s\n  CALL more()\nEND SCENARIO\n");
    const std::string date = qvm::testing::program::kDate;
    const auto noticeOf = [&](int id, const std::string& name) {
        const qvm::script::SourceFileRecord record =
            qvm::script::describeSourceFile((dir / name).string(), qvm::testing::readFile(dir / name));
        const long key = qvm::codegen::tracerRunKey(record, qvm::testing::program::kProcessId, date);
        return "      trv_notify_tsf (&(trv_ctx->trv_ctxrun), " + std::to_string(id) + ", " + std::to_string(record.hashKey) +
               ", " + std::to_string(key) + ");\n      /* To_spv: " + std::to_string(id) + " -> (" +
               std::to_string(record.size) + "," + std::to_string(record.checksum) + ") - DIR/" + name + " -*/\n";
    };
    EXPECT_THAT(text, HasSubstr("    else\n     {\n" + noticeOf(1, "test.pts") + noticeOf(2, "more.pts") + "     }\n"));
    // The root scenario's file.
    EXPECT_THAT(text, HasSubstr("  trv_declare_ni_tsf (&(trv_ctx->trv_ctxrun), 1);\n#endif /* QVM_DYNFLW */\n"));
}

// In probe mode the program holds the banner, the interface includes and
// the probe code, and the probe header that the TDC writer began gets its
// macros and is closed.
TEST_F(GenProg, ProbeModeClosesTheProbeHeader)
{
    qvm::codegen::ProgramOptions o = options();
    o.probeMode = 1;
    const auto analysed = analyse(kHead + "SCENARIO s\n  ERROR\nEND SCENARIO\n");
    ASSERT_TRUE(analysed);
    {
        qvm::codegen::GeneratedFiles files;
        files.create(o.probeHeaderPath).write("#ifndef TRV_PROBE_H\n");
        qvm::codegen::writeProgram(files, {}, *analysed->result.model, analysed->parsed.sourceFiles, o);
        files.commit();
    }
    const std::string header = qvm::testing::readFile(o.probeHeaderPath);
    EXPECT_THAT(header, ::testing::StartsWith("#ifndef TRV_PROBE_H\n#ifdef USE_QVM\n"));
    EXPECT_THAT(header, ::testing::EndsWith("\n#endif\n"));
    const std::string text = qvm::testing::readFile(o.programPath);
    EXPECT_THAT(text, HasSubstr(" */\n\n\n\n#include \"api.h\"\n\n"));
    EXPECT_THAT(text, Not(HasSubstr("TP.h")));
    EXPECT_THAT(text, Not(HasSubstr("main")));
}

}  // namespace
