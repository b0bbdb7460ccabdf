// Generated programs compiled with the test runtime and run: their exit
// status, verdicts and the scenarios their trace shows.
#include "codegen/codegen_support.h"
#include "codegen/test_program_run_support.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <regex>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::program::kHead;
using qvm::testing::program::Compiled;
using qvm::testing::program::ProgRun;

TEST_F(ProgRun, PassingScriptBothCompilers)
{
    ASSERT_THAT(generate(kHead + "SCENARIO outer\n"
                                 "  SCENARIO inner\n"
                                 "    COMMENT: all good\n"
                                 "    @bench = 1;\n"
                                 "  END SCENARIO\n"
                                 "END SCENARIO\n"),
                Not(IsEmpty()));
    for (const std::string compiler : {"gcc", "clang"}) {
        const RunResult run = compileAndRun({}, compiler);
        EXPECT_EQ(run.status, 0) << compiler << run.err << trace;
    }
    EXPECT_THAT(traceLines("SCENARIO"), ::testing::ElementsAre(HasSubstr("begin \"(root)\""), HasSubstr("begin \"outer\""),
                                                               HasSubstr("begin \"outer.inner\""),
                                                               HasSubstr("end \"outer.inner\""), HasSubstr("end \"outer\""),
                                                               HasSubstr("end \"(root)\"")));
}

// The fixed text of a generated program declares what a script may not
// need: trv_initstates and its loop counters without WAITTIL, a procedure's
// parameters, the variable of a timer that nothing reads. The runtime
// header marks those as possibly unused, an instance block of one instance
// is guarded without doubled parentheses, a callback that no WAITTIL of
// the program polls with is not written, and a pointer to bytes is set as
// a pointer (not from a char *), so that the program compiles
// without a warning; the script's own code keeps its warnings.
TEST_F(ProgRun, TemplateTextNoWarnings)
{
    const auto script = [](const std::string& statement) {
        return kHead + "DECLARE_INSTANCE left, right\n"
                       "PROC spare (int ignored)\n"
                       "  COMMENT: a procedure need not use its parameters\n"
                       "END PROC\n"
                       "SCENARIO s\n"
                       "  TIMER idle\n"
                       "  CALL spare(1)\n"
                       "  INSTANCE right :\n"
                       "    PRINT side, 2\n"
                       "  END INSTANCE\n" +
               statement + "END SCENARIO\n";
    };
    const std::string unpolledCallback = kHead + "#link_t id;\n"
                                                 "COMMTYPE link IS link_t\n"
                                                 "CHANNEL link : ch\n"
                                                 "MESSAGE report_t : report\n"
                                                 "CALLBACK report_t : r ON link : rid\n"
                                                 "  NO_MESSAGE\n"
                                                 "  MESSAGE_DATE\n"
                                                 "END CALLBACK\n"
                                                 "PROC wait_report ( )\n"
                                                 "  WAITTIL(MATCHING(report, ch), WTIME > 5)\n"
                                                 "END PROC\n"
                                                 "SCENARIO s\n"
                                                 "  ADD_ID(ch, id)\n"
                                                 "  DEF_MESSAGE report, EV={code => 1}\n"
                                                 "END SCENARIO\n";
    const std::string withMessages = qvm::testing::program::kInterface +
                                     "typedef int link_t;\ntypedef struct { int code; } report_t;\n"
                                     "extern unsigned char *frame_bytes;\n";
    const std::string bytePointerSet = kHead + "SCENARIO s\n  VAR frame_bytes, INIT=\"abc\"\nEND SCENARIO\n";
    const std::vector<std::string> programs = {generate(script("")),
                                               generate(unpolledCallback, options(), {}, withMessages),
                                               generate(bytePointerSet, options(), {}, withMessages)};
    EXPECT_THAT(programs[0], HasSubstr("  if (trv_numinstance==3)\n"));
    EXPECT_THAT(programs[1], Not(HasSubstr("trv_report_t_ON_link")));
    for (const std::string& program : programs) {
        qvm::testing::writeFile(dir / "each.c", program);
        for (const std::string compiler : {"gcc", "clang"}) {
            const Compiled compiled = compile(compiler, {"-c"}, dir / "each.c");
            EXPECT_EQ(compiled.compile.status, 0) << compiled.compile.err;
            EXPECT_THAT(compiled.compile.err, IsEmpty()) << compiler;
        }
    }
    ASSERT_THAT(generate(script("  @int left_over;\n")), Not(IsEmpty()));
    const Compiled warned = compile("gcc", {"-c"});
    EXPECT_NE(warned.compile.status, 0);
    EXPECT_THAT(warned.compile.err, ::testing::AllOf(HasSubstr("left_over"), HasSubstr("unused-variable")));
}

// Each step of the script prints a number of its own: the trace shows which
// ran, in which order.
std::string sequenceScript(const std::string& initialization)
{
    return kHead + "PROC cleanup ( )\n"
                   "  PRINT step, 900\n"
                   "END PROC\n"
                   "SCENARIO s\n"
                   "  INITIALIZATION\n" +
           initialization +
           "  END INITIALIZATION\n"
           "  TERMINATION\n"
           "    PRINT step, 200\n"
           "  END TERMINATION\n"
           "  EXCEPTION cleanup()\n"
           "  SCENARIO passing LOOP 2\n"
           "    PRINT step, 1\n"
           "  END SCENARIO\n"
           "  SCENARIO failing\n"
           "    ERROR\n"
           "    PRINT step, 2\n"
           "  END SCENARIO\n"
           "  SCENARIO after\n"
           "    PRINT step, 3\n"
           "  END SCENARIO\n"
           "END SCENARIO\n";
}

// The trace lines that show the sequencing, without numbers, depths and
// repetitions: "PRINT <value>", "SCENARIO begin \"s\"", "BLOCK ... end passed", ...
std::vector<std::string> sequence(const std::string& trace)
{
    static const std::regex interesting("^(SCENARIO|BLOCK|PRINT|FAIL|PROC) .*");
    static const std::regex details(" #-?[0-9]+| depth [0-9]+| repetition [0-9]+| \\(state [0-9]+\\)| \"\\?\"");
    static const std::regex printed("^PRINT .* = ([0-9]+) .*");
    std::vector<std::string> found;
    for (const std::string& line : qvm::testing::lines(trace)) {
        if (!std::regex_match(line, interesting)) {
            continue;
        }
        std::string shown = std::regex_replace(std::regex_replace(line, printed, "PRINT $1"), details, "");
        found.push_back(std::regex_replace(shown, std::regex(" +"), " "));
    }
    return found;
}

std::vector<std::string> repetition(const std::string& name, const std::string& printed, bool passed)
{
    return {"BLOCK INITIALIZATION begin", "PRINT 100", "BLOCK INITIALIZATION end passed",
            "SCENARIO begin \"s." + name + "\"", "PRINT " + printed,
            "SCENARIO end \"s." + name + "\" " + (passed ? "passed" : "FAILED")};
}

const std::vector<std::string> kTermination = {"BLOCK TERMINATION begin", "PRINT 200", "BLOCK TERMINATION end passed"};

// INITIALIZATION runs before each repetition; a passing sub-scenario is
// followed by TERMINATION, a failing one by EXCEPTION, and its parent goes
// on with the next sub-scenario. In release builds the failing scenario
// itself stops at its failing step.
TEST_F(ProgRun, LevelBlocksPassAndFail)
{
    qvm::codegen::ProgramOptions o = options();
    o.traceLevel = 0;  // every trace line, written at once
    ASSERT_THAT(generate(sequenceScript("    PRINT step, 100\n"), o), Not(IsEmpty()));
    const RunResult run = compileAndRun();
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<std::string> expected = {"SCENARIO begin \"(root)\"", "SCENARIO begin \"s\""};
    for (int i = 0; i < 2; ++i) {
        for (const auto& part : {repetition("passing", "1", true), kTermination}) {
            expected.insert(expected.end(), part.begin(), part.end());
        }
    }
    std::vector<std::string> failing = repetition("failing", "2", false);
    failing[4] = "FAIL ERROR statement in scenario \"s.failing\"";
    expected.insert(expected.end(), failing.begin(), failing.end());
    for (const char* line : {"BLOCK EXCEPTION begin", "PROC begin", "PRINT 900", "PROC end", "BLOCK EXCEPTION end passed"}) {
        expected.push_back(line);
    }
    for (const auto& part : {repetition("after", "3", true), kTermination}) {
        expected.insert(expected.end(), part.begin(), part.end());
    }
    expected.push_back("SCENARIO end \"s\" FAILED");
    expected.push_back("SCENARIO end \"(root)\" FAILED");
    const std::vector<std::string> shown = sequence(trace);
    EXPECT_THAT(std::vector<std::string>(shown.begin(), shown.begin() + std::min(shown.size(), expected.size())),
                ::testing::ElementsAreArray(expected))
        << trace;
    // The block tracing lines compile too.
    const Compiled traced = compile("gcc", {"-c", "-DQVM_DYNFLW=1"});
    EXPECT_EQ(traced.compile.status, 0) << traced.compile.err;
    EXPECT_THAT(traced.compile.err, IsEmpty());
}

// A failing INITIALIZATION abandons the repetition and its scenario returns.
TEST_F(ProgRun, FailingInitStopsScenario)
{
    qvm::codegen::ProgramOptions o = options();
    o.traceLevel = 0;
    ASSERT_THAT(generate(sequenceScript("    PRINT step, 100\n    ERROR\n"), o), Not(IsEmpty()));
    EXPECT_EQ(compileAndRun().status, 1);
    const std::vector<std::string> shown = sequence(trace);
    EXPECT_THAT(shown, ::testing::Contains("BLOCK INITIALIZATION end FAILED"));
    EXPECT_THAT(shown, Not(::testing::Contains(HasSubstr("s.passing"))));
    EXPECT_THAT(shown, Not(::testing::Contains("PRINT 200")));
    EXPECT_THAT(shown, Not(::testing::Contains("PRINT 900")));
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "PRINT 100"), 1);
}

// With TRV_OSTREL_DEBUG a failure is recorded and the run goes on: the
// rest of the failing scenario still runs.
TEST_F(ProgRun, DebugBuildsGoOnAfterAFailure)
{
    qvm::codegen::ProgramOptions o = options();
    o.traceLevel = 0;
    ASSERT_THAT(generate(sequenceScript("    PRINT step, 100\n    ERROR\n"), o), Not(IsEmpty()));
    const Compiled compiled = compile("gcc", {"-DTRV_OSTREL_DEBUG"});
    ASSERT_EQ(compiled.compile.status, 0) << compiled.compile.err;
    EXPECT_THAT(compiled.compile.err, IsEmpty());
    const RunResult run = runProgram(compiled.executable, {}, {{"QVM_RUN_QUIET", "1"}}, dir.path());
    EXPECT_EQ(run.status, 1);
    trace = qvm::testing::readFile(dir / "prog.rio");
    const std::vector<std::string> shown = sequence(trace);
    EXPECT_THAT(shown, ::testing::Contains("PRINT 2"));
    EXPECT_THAT(shown, ::testing::Contains("PRINT 3"));
    EXPECT_THAT(trace, HasSubstr("build debug"));
}

TEST_F(ProgRun, FilterLettersCmdAndScript)
{
    qvm::codegen::ProgramOptions o = options();
    o.filterLetters = "C";
    ASSERT_THAT(generate(kHead + "SCENARIO s\n"
                                 "%A  PRINT step, 1\n"
                                 "%B  PRINT step, 2\n"
                                 "%C  PRINT step, 3\n"
                                 "%A+B PRINT step, 4\n"
                                 "%~A PRINT step, 5\n"
                                 "    SET(\"B\")\n"
                                 "%B  PRINT step, 6\n"
                                 "END SCENARIO\n",
                         o),
                Not(IsEmpty()));
    const auto printed = [&] {
        std::vector<std::string> values;
        for (const std::string& line : sequence(trace)) {
            if (line.compare(0, 6, "PRINT ") == 0) {
                values.push_back(line.substr(6));
            }
        }
        return values;
    };
    // A bare argument in any of the first three positions is the filter
    // list; the script's letters are added to it.
    EXPECT_EQ(compileAndRun({"-OCCID=3", "A"}).status, 0);
    EXPECT_THAT(printed(), ::testing::ElementsAre("1", "3", "4", "6"));
    EXPECT_THAT(trace, HasSubstr("occurrence 3"));
    EXPECT_EQ(compileAndRun({"-RIO=prog", "-OCCID=1", "B"}).status, 0);
    EXPECT_THAT(printed(), ::testing::ElementsAre("2", "3", "4", "5", "6"));
    EXPECT_EQ(compileAndRun({}).status, 0);
    EXPECT_THAT(printed(), ::testing::ElementsAre("3", "5", "6"));
}

TEST_F(ProgRun, InstanceChosenOnTheCommandLine)
{
    ASSERT_THAT(generate(kHead + "DECLARE_INSTANCE left, right\n"
                                 "SCENARIO s\n"
                                 "  INSTANCE left :\n"
                                 "    PRINT side, 1\n"
                                 "  END INSTANCE\n"
                                 "  INSTANCE right :\n"
                                 "    PRINT side, 2\n"
                                 "  END INSTANCE\n"
                                 "END SCENARIO\n"),
                Not(IsEmpty()));
    for (const auto& [arguments, seen] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"-INSTANCE=left"}, "PRINT 1"},
             {{"-OCCID=2", "-instance=right"}, "PRINT 2"},
             {{"-OCCID=2", "-RIO=prog.rio", "-INSTANCE=right"}, "PRINT 2"},
             // A later position overrides an earlier one.
             {{"-INSTANCE=left", "-INSTANCE=right"}, "PRINT 2"}}) {
        EXPECT_EQ(compileAndRun(arguments).status, 0) << arguments[0];
        EXPECT_THAT(sequence(trace), ::testing::Contains(seen)) << trace;
        EXPECT_EQ(qvm::testing::occurrences(trace, "PRINT"), 1u) << trace;
    }
    EXPECT_THAT(trace, HasSubstr("instance \"right\""));
    // No instance given: neither block runs.
    EXPECT_EQ(compileAndRun({}).status, 0);
    EXPECT_EQ(qvm::testing::occurrences(trace, "PRINT"), 0u);
}

// The access macros name fields of the run context called trv_ctx<name>,
// so that a script reading TRV_NUMINSTANCE, TRV_OCCID or trv_filter
// compiles (a field named like the macro itself would expand twice) and
// sees the values of its own command line.
TEST_F(ProgRun, ExpressionsReadRunContext)
{
    ASSERT_THAT(generate(kHead + "DECLARE_INSTANCE left, right\n"
                                 "SCENARIO s\n"
                                 "  PRINT instance, TRV_NUMINSTANCE\n"
                                 "  PRINT occurrence, TRV_OCCID\n"
                                 "  PRINT filter_b, trv_filter[1]\n"
                                 "END SCENARIO\n"),
                Not(IsEmpty()));
    EXPECT_EQ(compileAndRun({"-INSTANCE=right", "-OCCID=7", "AB"}).status, 0) << trace;
    EXPECT_THAT(traceLines("PRINT"), ::testing::ElementsAre(HasSubstr("= 3 "), HasSubstr("= 7 "), HasSubstr("= 1 ")));
}

TEST_F(ProgRun, ExitStopsTheRun)
{
    ASSERT_THAT(generate(kHead + "SCENARIO s\n"
                                 "  SCENARIO first\n"
                                 "    EXIT\n"
                                 "  END SCENARIO\n"
                                 "  SCENARIO second\n"
                                 "    PRINT never, 1\n"
                                 "  END SCENARIO\n"
                                 "END SCENARIO\n"),
                Not(IsEmpty()));
    EXPECT_EQ(compileAndRun().status, 1);
    EXPECT_THAT(trace, HasSubstr("EXIT"));
    EXPECT_THAT(trace, Not(HasSubstr("PRINT")));
}

TEST_F(ProgRun, AllocationTraceLevels)
{
    const std::string script = kHead + "TIMER t\n"
                                       "SCENARIO s LOOP 3\n"
                                       "  PRINT elapsed, TIME(t)\n"
                                       "  PAUSE 1\n"
                                       "  RESET t\n"
                                       "END SCENARIO\n";
    for (const auto allocation : {qvm::codegen::Allocation::None, qvm::codegen::Allocation::Stack,
                                  qvm::codegen::Allocation::Dynamic}) {
        for (const int level : {0, 5, 10, 20, 50}) {
            qvm::codegen::ProgramOptions o = options();
            o.allocation = allocation;
            o.traceLevel = level;
            ASSERT_THAT(generate(script, o), Not(IsEmpty()));
            EXPECT_EQ(compileAndRun().status, 0) << trace;
            // Every repetition of the scenario runs: with the root, four scenarios.
            EXPECT_THAT(trace, HasSubstr("PASSED - scenarios 4 (4 passed, 0 failed)"))
                << static_cast<int>(allocation) << " " << level;
            // The lines of the SCN class are written from that level on.
            EXPECT_EQ(qvm::testing::occurrences(trace, "PRINT"), level == 5 ? 0u : 3u) << level;
        }
    }
    // A thread entry compiles into an object of its own, with the tracer
    // link as well.
    qvm::codegen::ProgramOptions o = options();
    o.entryName = "prog_start";
    ASSERT_THAT(generate(script, o), Not(IsEmpty()));
    for (const std::vector<std::string>& extra : {std::vector<std::string>{"-c"}, {"-c", "-DQVM_DYNFLW=1"}}) {
        const Compiled compiled = compile("gcc", extra);
        EXPECT_EQ(compiled.compile.status, 0) << compiled.compile.err;
        EXPECT_THAT(compiled.compile.err, IsEmpty());
    }
}

// With NOTSHARED each tester context has its own copy of the script's
// global variables, except those a SHARE names and the timers.
TEST_F(ProgRun, NotSharedInTheContext)
{
    qvm::codegen::ProgramOptions o = options();
    o.notShared = true;
    o.allocation = qvm::codegen::Allocation::Stack;
    const std::string text = generate(kHead + "#static long runs;\n"
                                              "#int common;\n"
                                              "#int *where[3];\n"
                                              "SHARE common\n"
                                              "TIMER clock\n"
                                              "SCENARIO s\n"
                                              "  @runs = 40; common = 2; where[1] = &common;\n"
                                              "  PRINT total, runs + common + *where[1]\n"
                                              "END SCENARIO\n",
                                      o);
    EXPECT_THAT(text, HasSubstr("static long runs;\nint common;\nint *where[3];\n"
                                "static void *const trv_notshared_bench = (void *) &bench;\n"
                                "static void *const trv_notshared_runs = (void *) &runs;\n"
                                "static void *const trv_notshared_where = (void *) &where;\n"
                                "#define bench (trv_ctx->trv_ctxbench)\n"
                                "#define runs (trv_ctx->trv_ctxruns)\n"
                                "#define where (trv_ctx->trv_ctxwhere)\n"
                                "int clock=0;\n"));
    EXPECT_THAT(text, HasSubstr("  TRV_T_TIMER timer[1];\n  int trv_ctxbench;\n  long trv_ctxruns;\n"
                                "  int *trv_ctxwhere[3];\n }\n"));
    // Each copy starts from the global's value, whichever memory holds the context.
    EXPECT_THAT(text, HasSubstr("  TRV_T_INT trv_i;\n"
                                "  trv_memcpy(&(bench), trv_notshared_bench, sizeof(bench));\n"
                                "  trv_memcpy(&(runs), trv_notshared_runs, sizeof(runs));\n"
                                "  trv_memcpy(&(where), trv_notshared_where, sizeof(where));\n"));
    EXPECT_THAT(text, Not(HasSubstr("trv_ctxcommon")));
    EXPECT_THAT(text, Not(HasSubstr("trv_ctxclock")));
    qvm::codegen::ProgramOptions shared = options();
    EXPECT_THAT(generate(kHead + "SCENARIO s\n  ERROR\nEND SCENARIO\n", shared), Not(HasSubstr("trv_ctxbench")));
    ASSERT_THAT(generate(kHead + "#static long runs = 38;\n#int common;\nSHARE common\nSCENARIO s\n"
                                 "  @runs += 2; common = 2;\n  PRINT total, runs + common\nEND SCENARIO\n",
                         o),
                Not(IsEmpty()));
    EXPECT_EQ(compileAndRun().status, 0) << trace;
    EXPECT_THAT(sequence(trace), ::testing::Contains("PRINT 42"));
}

// Through qvmprepro itself: the program and the TDC file of one run carry
// the same stamp, so the runtime shows the script's positions and texts.
TEST_F(ProgRun, GeneratedWithItsTdcFile)
{
    qvm::testing::writeFile(dir / "api.h", qvm::testing::program::kInterface);
    qvm::testing::writeFile(dir / "run.pts", kHead + "SCENARIO s\n"
                                                     "  SCENARIO inner LOOP 2\n"
                                                     "%B   COMMENT: letter B\n"
                                                     "    COMMENT: hello from the script\n"
                                                     "    ERROR\n"
                                                     "  END SCENARIO\n"
                                                     "END SCENARIO\n");
    std::filesystem::create_directories(dir / "out");
    const RunResult prepro = qvm::testing::runPrepro({"run.pts", "api.h", "out/prog", "-TRACE=SCN", "-SET=B"}, {}, dir.path());
    ASSERT_EQ(prepro.status, 0) << prepro.err;
    const std::string program = qvm::testing::readFile(dir / "out" / "prog.c");
    EXPECT_THAT(program, HasSubstr("TRV_PT_CAR rio_file_name = \"out/prog.rio\";"));
    EXPECT_THAT(program, Not(HasSubstr(",-1")));  // every construct has its TDC number
    const Compiled compiled = compile("gcc", {}, dir / "out" / "prog.c");
    ASSERT_EQ(compiled.compile.status, 0) << compiled.compile.err;
    EXPECT_THAT(compiled.compile.err, IsEmpty());
    const RunResult run = runProgram(compiled.executable, {"-RIO=prog"}, {{"QVM_RUN_QUIET", "1"}}, dir / "out");
    EXPECT_EQ(run.status, 1);
    trace = qvm::testing::readFile(dir / "out" / "prog.rio");
    EXPECT_THAT(trace, Not(HasSubstr("no TDC file")));
    EXPECT_THAT(trace, ::testing::ContainsRegex("COMMENT  #[0-9]+ run.pts:6 \" hello from the script\""));
    EXPECT_THAT(trace, ::testing::ContainsRegex("COMMENT  #[0-9]+ run.pts:5 \" letter B\""));
    EXPECT_THAT(trace, ::testing::ContainsRegex("FAIL     #[0-9]+ run.pts:7 ERROR statement"));
    // The root, s and two repetitions of inner, each failing.
    EXPECT_THAT(trace, HasSubstr("scenarios 4 (0 passed, 4 failed), checks 2 (0 passed, 2 failed)"));
}

// With -SCRIPTLINES the code of each statement is placed at its script
// line, in the script it comes from: the compiler reports the C of an @
// line there, and a debugger stops at a script line. Each "#line" back to
// the program names its real next line, also after a line that a
// backslash ends. Without the option the program has no "#line".
TEST_F(ProgRun, ScriptLinesForCompilers)
{
    namespace fs = std::filesystem;
    qvm::testing::writeFile(dir / "api.h", qvm::testing::program::kInterface);
    qvm::testing::writeFile(dir / "steps.pts", "PROC bump ( )\n"
                                               "  @counter = counter + 1;\n"
                                               "END PROC\n");
    const auto script = [](const std::string& statement) {
        return kHead + "INCLUDE \"steps.pts\"\n"
                       "SCENARIO s\n"
                       "  CALL bump()\n" +
               statement +
               "  IF (bench > 0) THEN\n"
               "    PRINT value, bench\n"
               "  END IF\n"
               "END SCENARIO\n";
    };
    fs::create_directories(dir / "out");
    const auto generate = [&](const std::string& statement, const std::vector<std::string>& options) {
        qvm::testing::writeFile(dir / "run.pts", script(statement));
        std::vector<std::string> arguments{"run.pts", "api.h", "out/prog"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const RunResult prepro = qvm::testing::runPrepro(arguments, {}, dir.path());
        EXPECT_EQ(prepro.status, 0) << prepro.err;
        return qvm::testing::readFile(dir / "out" / "prog.c");
    };
    EXPECT_THAT(generate("  @bench = counter; \\\n", {}), Not(HasSubstr("#line")));

    const std::string program = generate("  @bench = counter; \\\n", {"-SCRIPTLINES"});
    EXPECT_THAT(program, HasSubstr("#line 2 \"steps.pts\"\n  counter = counter + 1;\n"));
    // Each line of a construct of several is reported at its script line.
    EXPECT_THAT(program, HasSubstr("#line 5 \"run.pts\"\n   {\n#line 5 \"run.pts\"\n    TRV_T_INT trv_ret;\n"));
    EXPECT_THAT(program, HasSubstr("#line 6 \"run.pts\"\n  bench = counter; \n#line "));
    const std::vector<std::string> lines = qvm::testing::lines(program);
    for (std::size_t at = 0; at < lines.size(); ++at) {
        if (lines[at].starts_with("#line ") && lines[at].ends_with(" \"out/prog.c\"")) {
            EXPECT_EQ(lines[at], "#line " + std::to_string(at + 2) + " \"out/prog.c\"");
        }
    }
    const Compiled compiled = compile("gcc", {"-g", "-O0"}, dir / "out" / "prog.c");
    ASSERT_EQ(compiled.compile.status, 0) << compiled.compile.err;
    const std::string gdb = qvm::testing::program::compilerPath("gdb");
    if (gdb.empty()) {
        ADD_FAILURE() << "gdb is not installed";
    } else {
        const RunResult debugged =
            runProgram(gdb, {"-batch", "-ex", "break steps.pts:2", "-ex", "break run.pts:8", "-ex", "run", "-ex", "bt",
                             "-ex", "continue", "-ex", "bt", compiled.executable},
                       {{"QVM_RUN_QUIET", "1"}}, dir / "out");
        EXPECT_THAT(debugged.out, ::testing::ContainsRegex("Breakpoint 1, trv_P[0-9]+ .* at .*steps.pts:2"))
            << debugged.out << debugged.err;
        EXPECT_THAT(debugged.out, ::testing::ContainsRegex("Breakpoint 2, trv_S[0-9]+ .* at .*run.pts:8"));
        EXPECT_THAT(debugged.out, ::testing::ContainsRegex("#1 .* in trv_S[0-9]+ .* at .*run.pts:5"));
    }

    generate("  @bench = no_such_name;\n", {"-SCRIPTLINES"});
    const Compiled failed = compile("gcc", {"-c"}, dir / "out" / "prog.c");
    EXPECT_NE(failed.compile.status, 0);
    EXPECT_THAT(failed.compile.err, ::testing::ContainsRegex("run.pts:6:[0-9]+: error: .*no_such_name"));
}

// The examples that use no communication statement compile with the runtime.
TEST_F(ProgRun, ExampleNoMessagesCompiles)
{
    qvm::testing::codegen::copyDirectory(std::filesystem::path(QVM_SOURCE_DIR) / "examples" / "bms_config_api", dir.path());
    std::filesystem::create_directories(dir / "out");
    const RunResult prepro = qvm::testing::codegen::runIn(
        dir.path(), {"bms_config_api.pts", "bms_config_api.h", "out/bms", qvm::testing::codegen::stdDefineOption()});
    ASSERT_EQ(prepro.status, 0) << prepro.err;
    for (const std::string compiler : {"gcc", "clang"}) {
        const Compiled compiled = compile(compiler, {"-c"}, dir / "out" / "bms.c");
        EXPECT_EQ(compiled.compile.status, 0) << compiled.compile.err;
        EXPECT_THAT(compiled.compile.err, IsEmpty()) << compiler;
    }
}

}  // namespace

// A run that the script's C ends by exit() is stopped, never passed: its
// trace keeps every line (gathered or buffered) and ends with the reason,
// and the status is the one of a stopped run. A child that a fork made,
// exiting at once, neither stops its parent's run nor writes its lines a
// second time. A WAITTIL counts whole ticks from its own start, so
// WTIME >= 3 never holds before 3 ms.
TEST_F(ProgRun, GatheredTraceAndTickedWaits)
{
    ASSERT_THAT(generate(kHead + "#extern int fork(void);\n"
                                 "SCENARIO waits\n"
                                 "  PRINT before_fork, 1\n"
                                 "  @if (fork() == 0) { exit(0); }\n"
                                 "  @bench = 0;\n"
                                 "  WHILE (bench < 20)\n"
                                 "    WAITTIL(WTIME >= 3, WTIME > 1000)\n"
                                 "    @bench++;\n"
                                 "  END WHILE\n"
                                 "  PRINT last, 2\n"
                                 "  @exit(0);\n"
                                 "END SCENARIO\n"),
                Not(IsEmpty()));
    const RunResult run = compileAndRun();
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_THAT(run.err, HasSubstr("test.pts:13 exit() called while the run went on"));
    EXPECT_THAT(traceLines("PRINT"), ::testing::ElementsAre(HasSubstr("= 1"), HasSubstr("= 2")));
    EXPECT_THAT(traceLines("FAIL"), ::testing::ElementsAre(HasSubstr("exit() called while the run went on")));
    EXPECT_THAT(traceLines("RUN"), Contains(HasSubstr("end prog.rio_0: FAILED")));
    static const std::regex waited("WAITTIL condition met after ([0-9.]+) ms");
    int waits = 0;
    for (std::sregex_iterator it(trace.begin(), trace.end(), waited), end; it != end; ++it, ++waits) {
        EXPECT_GE(std::stod((*it)[1]), 3.0) << it->str();
    }
    EXPECT_EQ(waits, 20) << trace;
}
