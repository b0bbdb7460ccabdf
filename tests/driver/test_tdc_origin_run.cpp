// A generated program finds the TDC file it was generated with whatever its
// trace is called and wherever it is started from, so that every trace line
// carries the script's names and positions; the dumps of VAR ... VA= show
// each part of the variable by its name, and the outcome line of a WAITTIL
// names what ended the wait.
#include "codegen/test_program_run_support.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>

#include <future>

namespace {

using namespace qvm::testing::run_prelude;
using namespace qvm::testing;
using qvm::testing::program::compilerPath;
using qvm::testing::program::kWarningFlags;

const std::string kInterface = "#ifndef BENCH_H\n#define BENCH_H\n"
                               "typedef struct { int count; char name[8]; int levels[2]; } record_t;\n"
                               "extern record_t rec;\n#endif\n";

const std::string kScript = "HEADER \"bench\", \"1\", \"x\"\n"
                            "#include \"bench.h\"\n"
                            "SCENARIO fill\n"
                            "  VAR rec, INIT=(count => 42, name => \"front\", levels => (OTHERS => 7))\n"
                            "  VAR rec, VA=rec\n"
                            "  VAR rec, VA=(count => 0)\n"
                            "END SCENARIO\n";

// The script generated into gen/out and compiled there, once per test.
class TdcOriginRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir / "gen" / "out");
        writeFile(dir / "gen" / "bench.h", kInterface);
        writeFile(dir / "gen" / "bench.pts", kScript);
        writeFile(dir / "gen" / "sut.c", "#include \"bench.h\"\nrecord_t rec;\n");
        const RunResult prepro = runPrepro({"bench.pts", "bench.h", "out/bench"}, {}, dir / "gen");
        ASSERT_EQ(prepro.status, 0) << prepro.err;
        fs::create_directories(dir / "elsewhere");
    }

    // The program compiled with gcc or clang, without any warning.
    std::string build(const std::string& compiler, const std::string& name = "bench", const fs::path& sut = {})
    {
        const std::string executable = (dir / "gen" / "out" / (name + "_" + compiler)).string();
        std::vector<std::string> arguments = kWarningFlags;
        for (const std::string& argument :
             {std::string("-I") + QVM_RUNTIME_INCLUDE_DIR, "-I" + (dir / "gen").string(),
              (dir / "gen" / "out" / (name + ".c")).string(), (sut.empty() ? dir / "gen" / "sut.c" : sut).string(),
              std::string("-o"), executable}) {
            arguments.push_back(argument);
        }
        const std::vector<std::string> link = runtimeLinkArguments();
        arguments.insert(arguments.end(), link.begin(), link.end());
        const RunResult compiled = runProgram(compilerPath(compiler), arguments);
        EXPECT_EQ(compiled.status, 0) << compiled.err;
        EXPECT_EQ(compiled.err, "");
        return executable;
    }

    // A run started in elsewhere/ with the trace -RIO=name; its trace.
    std::string runAs(const std::string& executable, const std::string& name, const EnvChanges& env = {},
                      int status = 0)
    {
        EnvChanges changes = env;
        changes.try_emplace("QVM_RUN_QUIET", "1");
        const RunResult run = runProgram(executable, {"-RIO=" + name}, changes, dir / "elsewhere");
        EXPECT_EQ(run.status, status) << run.err;
        return readFile(dir / "elsewhere" / (name + ".rio"));
    }

    static std::vector<std::string> dumps(const std::string& trace)
    {
        static const std::regex number(" #[0-9]+");
        std::vector<std::string> found;
        for (const std::string& line : lines(trace)) {
            if (line.rfind("DUMP", 0) == 0) {
                found.push_back(std::regex_replace(line, number, ""));
            }
        }
        return found;
    }

    TempDir dir;
};

// Two testers with traces of their own, side by side, from a directory that
// holds neither the program nor its TDC file.
TEST_F(TdcOriginRun, TestersOwnTracesNames)
{
    for (const std::string compiler : {"gcc", "clang"}) {
        SCOPED_TRACE(compiler);
        const std::string executable = build(compiler);
        auto writer = std::async(std::launch::async, [&] { return runAs(executable, "writer"); });
        auto reader = std::async(std::launch::async, [&] { return runAs(executable, "reader"); });
        for (const std::string& trace : {writer.get(), reader.get()}) {
            EXPECT_THAT(trace, HasSubstr("RUN      TDC file " + (dir / "gen" / "out" / "bench.tdc").string() + "\n"));
            EXPECT_THAT(trace, Not(HasSubstr("script positions are not shown")));
            EXPECT_THAT(trace, HasSubstr("SCENARIO #9 bench.pts:3 begin \"fill\""));
            EXPECT_THAT(dumps(trace),
                        ElementsAre("DUMP     bench.pts:5 begin \"rec\"", "DUMP     bench.pts:5 \"rec.count\" = 42",
                                    "DUMP     bench.pts:5 \"rec.name\" = \"front\"",
                                    "DUMP     bench.pts:5 \"rec.levels[0]\" = 7",
                                    "DUMP     bench.pts:5 \"rec.levels[1]\" = 7", "DUMP     bench.pts:5 end",
                                    "DUMP     bench.pts:6 begin \"rec\"", "DUMP     bench.pts:6 \"rec.count\" = 42",
                                    "DUMP     bench.pts:6 end"));
        }
    }
}

// QVM_TDC_FILE names the one file to read; a file of another generation, or
// none, costs the names and positions, and the RUN line says why.
TEST_F(TdcOriginRun, EnvNamesTdcStaleRefused)
{
    const std::string executable = build("gcc");
    fs::copy_file(dir / "gen" / "out" / "bench.tdc", dir / "elsewhere" / "kept.tdc");
    EXPECT_THAT(runAs(executable, "chosen", {{"QVM_TDC_FILE", "kept.tdc"}}),
                AllOf(HasSubstr("RUN      TDC file kept.tdc\n"), HasSubstr("bench.pts:3 begin \"fill\"")));

    EXPECT_THAT(runAs(executable, "missing", {{"QVM_TDC_FILE", "none.tdc"}}),
                HasSubstr("RUN      no TDC file none.tdc: script positions are not shown"));

    // Generated again: the program built before finds only newer TDC files.
    ASSERT_EQ(runPrepro({"bench.pts", "bench.h", "out/bench"}, {}, dir / "gen").status, 0);
    EXPECT_THAT(runAs(executable, "stale"), HasSubstr("RUN      TDC file " + (dir / "gen" / "out" / "bench.tdc").string() +
                                                      " is not from the same generation"));
}

const std::string kLoopback = QVM_TESTDATA_DIR "/codegen/program/loopback/";

// A WAITTIL of the loopback system under test (a ping of code 1 is answered
// by pong after 20 ms, code 3 never, code 9 by a message of code 99).
std::string waitScript(int code, const std::string& wait)
{
    return "HEADER \"loop\", \"1\", \"x\"\n#link_t bench_link;\nCOMMTYPE wire IS link_t\n"
           "CHANNEL wire : line\nMESSAGE ping_t : ping, pong\n"
           "PROCSEND ping_t : out ON wire : id\n  @link_send(id, &out);\nEND PROCSEND\n"
           "CALLBACK ping_t : in ON wire : id\n  @if (!link_receive(id, &in)) {\n  NO_MESSAGE\n  @}\n"
           "  MESSAGE_DATE\nEND CALLBACK\n"
           "SCENARIO main\n  @bench_link = link_open(\"LINE\");\n  ADD_ID(line, bench_link)\n"
           "  DEF_MESSAGE pong, EV={code => 2, value => 42}\n"
           "  DEF_MESSAGE ping, EV={code => " + std::to_string(code) + ", value => 21}\n"
           "  SEND(ping, line)\n  " + wait + "\nEND SCENARIO\n";
}

// The outcome line of a wait says what ended it, with the time waited to
// the microsecond: the message that matched, the condition's time window,
// or the failure condition met by a message or by the time.
TEST_F(TdcOriginRun, WaitOutcomeNamesCause)
{
    fs::copy_file(kLoopback + "loopback.h", dir / "gen" / "loopback.h");
    const auto outcome = [&](int code, const std::string& wait, int status) {
        writeFile(dir / "gen" / "wait.pts", waitScript(code, wait));
        const RunResult prepro = runPrepro({"wait.pts", "loopback.h", "out/wait"}, {}, dir / "gen");
        EXPECT_EQ(prepro.status, 0) << prepro.err;
        const std::string trace = runAs(build("gcc", "wait", kLoopback + "sut.c"), "wait", {}, status);
        for (const std::string& line : lines(trace)) {
            if (line.find("WAITTIL condition met") != std::string::npos ||
                line.find("WAITTIL failure condition met") != std::string::npos) {
                return line;
            }
        }
        return trace;
    };
    const std::string after = "wait.pts:21 WAITTIL (failure )?condition met after ([0-9]+)\\.[0-9]{3} ms: ";
    std::smatch waited;
    EXPECT_TRUE(std::regex_match(outcome(1, "WAITTIL(MATCHING(pong, line), WTIME > 2000)", 0),
                                 std::regex("PASS     #[0-9]+ " + after +
                                            "message pong \\(ping_t\\) received on channel line")));
    const std::string window = outcome(3, "WAITTIL(MATCHING(pong, line) || WTIME > 50, WTIME > 2000)", 0);
    ASSERT_TRUE(std::regex_match(window, waited, std::regex("PASS     #[0-9]+ " + after + "time window elapsed")))
        << window;
    EXPECT_GE(std::stoi(waited[2]), 50);
    EXPECT_TRUE(std::regex_match(outcome(9, "WAITTIL(MATCHING(pong, line), NOTMATCHING(pong, line))", 1),
                                 std::regex("FAIL     #[0-9]+ " + after +
                                            "message ping_t received on channel line matched no definition, last "
                                            "difference .*\"pong.code\" reference 2 received 99.*")));
    EXPECT_TRUE(std::regex_match(outcome(3, "WAITTIL(MATCHING(pong, line), WTIME > 50)", 1),
                                 std::regex("FAIL     #[0-9]+ " + after +
                                            "time window elapsed, nothing matched \\(ping_t\\).*")));
}

}  // namespace
