// Probe mode end to end: the probe header and the probe code qvmprepro writes
// for an instrumented application (-PROBE=DEFAULT, -PROBE=CUSTOM), compared
// with expected files, compiled with gcc and clang, and run: the example
// application of examples/probe records a session, and its decoded trace
// shows what a test run of the same script shows.
//
// Written by hand from the templates, before the program was run on them:
// link_default_probe.h and link_custom_probe.h (the probe header after the
// TDC writer's part). link_default.c and link_custom.c were generated, then
// reviewed line by line against the templates.
//
// With QVM_UPDATE_GOLDEN set in the environment the generated expectations
// (never the hand-written ones) are rewritten instead of compared.
#include "codegen/codegen_support.h"
#include "codegen/test_program_run_support.h"
#include "codegen/test_tdc_support.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::program::compilerPath;
using qvm::testing::program::ProgRun;

const fs::path kExample = fs::path(QVM_SOURCE_DIR) / "examples" / "probe";
const fs::path kExpected = fs::path(QVM_TESTDATA_DIR) / "codegen" / "probe";

std::string compilerIncludes()
{
    static const std::string includes = [] {
        const RunResult asked = runProgram("gcc", {"-print-file-name=include"});
        return qvm::testing::lines(asked.out).empty() ? std::string() : qvm::testing::lines(asked.out)[0];
    }();
    return includes;
}

// The trace lines of the exchanges: the scenarios begun, the SENDs (their
// message variable's name is the script's, which a recording cannot know),
// the WAITTILs with the messages received and dumped, and the verdicts,
// without the times. A test run's WAITTIL then also shows how the received
// message compared with its definition (COMPARE, from STATE to its
// verdict), which a recording has no definition to compare with.
std::vector<std::string> exchangeLines(const std::string& trace)
{
    static const std::regex kept("^(SCENARIO .* begin|SEND|WAITTIL|RECEIVE|DUMP|MESSAGE|PASS|FAIL) .*");
    static const std::regex sentName("^(SEND .*) \"[^\"]*\"$");
    static const std::regex times("[0-9]+\\.[0-9]+ ms");
    std::vector<std::string> found;
    bool comparing = false;
    for (const std::string& line : qvm::testing::lines(trace)) {
        comparing = (comparing || line.starts_with("STATE ")) && !line.starts_with("PASS ") && !line.starts_with("FAIL ");
        if (!comparing && std::regex_match(line, kept)) {
            found.push_back(std::regex_replace(std::regex_replace(line, sentName, "$1 \"\""), times, "@ms"));
        }
    }
    return found;
}

class ProbeMode : public ProgRun {
protected:
    void SetUp() override
    {
        ProgRun::SetUp();
        fs::copy(kExample, dir.path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::create_directories(dir / "out");
    }

    // qvmprepro on the example script into out/<root>, with the host's profile.
    RunResult generate(const std::string& root, const std::vector<std::string>& options)
    {
        std::vector<std::string> arguments{"link.pts", "link_api.h", "out/" + root,
                                           qvm::testing::codegen::stdDefineOption(), "-INCL=" + compilerIncludes()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return qvm::testing::codegen::runIn(dir.path(), arguments);
    }

    // The sources compiled into out/<name> with the runtime; no warning allowed.
    bool buildProgram(const std::string& compiler, const std::string& name, const std::vector<std::string>& sources)
    {
        std::vector<std::string> arguments = qvm::testing::program::kWarningFlags;
        for (const std::string& include : {std::string(QVM_RUNTIME_INCLUDE_DIR), dir.path().string(), (dir / "out").string()}) {
            arguments.push_back("-I" + include);
        }
        for (const std::string& source : sources) {
            arguments.push_back((dir / source).string());
        }
        arguments.insert(arguments.end(), {"-o", (dir / "out" / name).string()});
        const std::vector<std::string> link = qvm::testing::runtimeLinkArguments();
        arguments.insert(arguments.end(), link.begin(), link.end());
        const RunResult built = runProgram(compilerPath(compiler), arguments);
        EXPECT_EQ(built.status, 0) << compiler << "\n" << built.err;
        EXPECT_THAT(built.err, IsEmpty()) << compiler;
        return built.status == 0;
    }

    RunResult runIn(const std::string& name, const std::vector<std::string>& arguments)
    {
        return runProgram((dir / "out" / name).string(), arguments, {{"QVM_RUN_QUIET", "1"}}, dir / "out");
    }

    // The trace of a test run of the same script, with its simulated link.
    std::string testRunTrace(const std::string& compiler)
    {
        const RunResult generated = generate("test", {});
        EXPECT_EQ(generated.status, 0) << generated.err;
        if (!buildProgram(compiler, "test", {"out/test.c", "link_sut.c"})) {
            return {};
        }
        const RunResult run = runIn("test", {"-RIO=test"});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        return readFile(dir / "out" / "test.rio");
    }

    // A decoded recording shows, in its first round, the exchanges of a test
    // run of the same script, with the same message dumps; its second reply
    // is dumped as its selector says: its text.
    void expectTracedAsATestRun(const std::string& decoded, const std::string& compiler)
    {
        const std::vector<std::string> lines = exchangeLines(decoded);
        const std::vector<std::string> tested = exchangeLines(testRunTrace(compiler));
        ASSERT_FALSE(tested.empty());
        ASSERT_GE(lines.size(), tested.size()) << decoded;
        EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(tested.size())),
                    ElementsAreArray(tested))
            << decoded;
        EXPECT_THAT(decoded, HasSubstr("late")) << decoded;
        EXPECT_THAT(decoded, Not(HasSubstr("no TDC file")));
        EXPECT_THAT(decoded, Not(HasSubstr("FAIL "))) << decoded;
    }

    // CUSTOM: the application and its replay built with compiler, and a
    // session recorded into out/app_ctrl.prb.
    bool recordCustomSession(const std::string& compiler)
    {
        if (!buildProgram(compiler, "link_app", {"link_app.c"}) ||
            !buildProgram(compiler, "link_replay", {"link_replay.c", "out/link.c"})) {
            return false;
        }
        fs::remove(dir / "out" / "app_ctrl.prb");
        const RunResult recorded = runIn("link_app", {"app_"});
        EXPECT_EQ(recorded.status, 0) << recorded.err;
        return fs::exists(dir / "out" / "app_ctrl.prb");
    }

    static std::string maskedFile(const fs::path& path)
    {
        return qvm::testing::tdc::masked(readFile(path));
    }

    void compareWithFile(const std::string& actual, const std::string& expectedFile, bool handWritten)
    {
        const fs::path expected = kExpected / expectedFile;
        if (std::getenv("QVM_UPDATE_GOLDEN") != nullptr && !handWritten) {
            qvm::testing::writeFile(expected, actual);
            return;
        }
        ASSERT_TRUE(fs::exists(expected)) << expected;
        EXPECT_EQ(actual, readFile(expected)) << expectedFile;
    }
};

// The probe header's second half and the generated probe code of both
// modes. Where a template read literally would not compile, the files
// follow its evident intent:
// - trv_send_trace and trv_recv_trace name their code with
//   tarvo_concat_4(TRV_TDC_SEND_,type,_,dist): the literal
//   tarvo_concat_6(TRV_TDC_SEND_,type,_,reportmsgname,_,dist) names
//   TRV_TDC_SEND_<type>_<name>_<channel>, which no line defines.
// - each TRV_TDC_ name is defined once, by the first construct that gives
//   it: two SENDs of one message type on one channel would define it twice
//   (a redefinition) and give the decode two equal case labels.
// - trv_create_probe and trv_write_probe use their p1 and length parameters
//   (-Wunused-parameter), and refuse an instance past NB_INSTANCES or with
//   a trace file name that does not fit, where the literal one overflows
//   the context table and name[100].
// - the decode tells SENDs from receives by their own codes: the literal
//   "codes up to TRV_TDC_LAST_SEND are SENDs" replays a WAITTIL that stands
//   before the last SEND as a SEND. A received message is defined only when
//   its message variable has a definition, as in a test run.
// - the generated file holds the dump functions the decode calls, and the
//   probe header declares trv_dump_all_inst and trv_dump_inst in both modes
//   (CUSTOM's trv_dump_trace calls the first).
// - trv_dump_inst starts from a zeroed context (no trace buffer), stops
//   when the probe file cannot be opened, and decodes each message from a
//   zero-filled copy as large as the largest message type.
// - the script's top-level native lines come right after the probe header's
//   include, not last: message types may be declared by them; the
//   variables they define are named once in trv_script_variables, where a
//   static one would be reported unused.
TEST_F(ProbeMode, HeaderAndCodeOfBothModes)
{
    for (const std::string mode : {"default", "custom"}) {
        SCOPED_TRACE(mode);
        const RunResult generated = generate("link", {std::string("-PROBE=") + (mode == "default" ? "DEFAULT" : "CUSTOM")});
        ASSERT_EQ(generated.status, 0) << generated.err;
        const std::string header = maskedFile(dir / "out" / "link.h");
        const std::string tdcPart = qvm::testing::tdc::tdcPartOfProbeHeader(header);
        compareWithFile(header.substr(tdcPart.size()), "link_" + mode + "_probe.h", true);
        std::string program = maskedFile(dir / "out" / "link.c");
        const std::string directory = dir.path().string();
        for (std::size_t at = program.find(directory); at != std::string::npos; at = program.find(directory, at)) {
            program.replace(at, directory.size(), "@DIR@");
        }
        compareWithFile(program, "link_" + mode + ".c", false);
    }
}

// Every bundled example's probe code compiles in both modes, with both
// compilers and no warning: real scripts send one message type on one
// channel from several places and have several scenarios, unions and
// enumerations in their messages.
TEST_F(ProbeMode, ExamplesCompileBothModes)
{
    for (const qvm::testing::tdc::Script& example : qvm::testing::tdc::bundledExamples()) {
        for (const std::string mode : {"DEFAULT", "CUSTOM"}) {
            SCOPED_TRACE(example.name + " " + mode);
            qvm::testing::TempDir work;
            qvm::testing::tdc::prepareCopy(example, work.path());
            std::vector<std::string> arguments = qvm::testing::tdc::scriptArguments(example);
            arguments.insert(arguments.end(), {"-INCL=" + compilerIncludes(), "-PROBE=" + mode});
            // The examples' output roots are named like their interface files,
            // which the probe code then includes by their full paths.
            const RunResult generated = qvm::testing::codegen::runIn(work.path(), arguments);
            ASSERT_GE(generated.status, 0);
            ASSERT_LE(generated.status, 3) << generated.err;
            for (const std::string& compiler : kCompilers) {
                std::vector<std::string> compile = qvm::testing::program::kWarningFlags;
                compile.insert(compile.end(), {"-I" + std::string(QVM_RUNTIME_INCLUDE_DIR), "-I" + work.path().string(),
                                               "-I" + (work / "out").string(), "-c",
                                               (work / "out" / (example.name + ".c")).string(), "-o",
                                               (work / "out" / "probe.o").string()});
                const RunResult built = runProgram(compilerPath(compiler), compile);
                EXPECT_EQ(built.status, 0) << compiler << "\n" << built.err;
                EXPECT_THAT(built.err, IsEmpty()) << compiler;
            }
        }
    }
}

// DEFAULT: the application decodes each record as it writes it, into the
// trace of its instance; the trace shows the exchanges at the script
// positions a test run shows them, with the same message dumps.
TEST_F(ProbeMode, DefaultDecodeMatchesRun)
{
    ASSERT_EQ(generate("link", {"-PROBE=DEFAULT"}).status, 0);
    for (const std::string& compiler : kCompilers) {
        SCOPED_TRACE(compiler);
        ASSERT_TRUE(buildProgram(compiler, "link_app", {"link_app.c", "out/link.c"}));
        fs::remove(dir / "out" / "app_ctrl.rio");
        const RunResult recorded = runIn("link_app", {"app_"});
        EXPECT_EQ(recorded.status, 0) << recorded.err;
        ASSERT_TRUE(fs::exists(dir / "out" / "app_ctrl.rio"));
        expectTracedAsATestRun(readFile(dir / "out" / "app_ctrl.rio"), compiler);
    }
}

// CUSTOM: the application only records its probe file; the replay decodes
// it afterwards, each record at the time it was recorded.
TEST_F(ProbeMode, CustomReplaysAsATestRun)
{
    ASSERT_EQ(generate("link", {"-PROBE=CUSTOM"}).status, 0);
    for (const std::string& compiler : kCompilers) {
        SCOPED_TRACE(compiler);
        ASSERT_TRUE(recordCustomSession(compiler));
        EXPECT_FALSE(fs::exists(dir / "out" / "app_ctrl.rio"));
        const RunResult replayed = runIn("link_replay", {"app_", "replay_"});
        EXPECT_EQ(replayed.status, 0) << replayed.err;
        EXPECT_THAT(replayed.err, IsEmpty());
        ASSERT_TRUE(fs::exists(dir / "out" / "replay_ctrl.rio"));
        expectTracedAsATestRun(readFile(dir / "out" / "replay_ctrl.rio"), compiler);
    }
}

// A damaged probe file is replayed up to its damage: the records before it
// are traced, standard error names the file, the byte and how many records
// came before, and the replay fails. A file that cannot be replayed at all
// leaves no trace, not even an earlier replay's. The session's six records:
// SEND, selector, receive, twice; a reply_t message is 16 bytes.
TEST_F(ProbeMode, DamagedFileReplaysToTheDamage)
{
    struct Damage {
        std::string name;
        void (*damage)(std::string& file);
        std::string error;  // after "<name>_ctrl.prb (instance ctrl): "
        std::vector<std::string> traced;
        std::vector<std::string> untraced;
    };
    ASSERT_EQ(generate("link", {"-PROBE=CUSTOM"}).status, 0);
    ASSERT_TRUE(recordCustomSession("gcc"));
    const std::string recorded = readFile(dir / "out" / "app_ctrl.prb");
    const std::string lastRecord = std::to_string(recorded.size() - (24 + 16));
    const std::vector<Damage> damages = {
        {"cut", [](std::string& file) { file.resize(file.size() - 5); },
         "damaged at byte " + lastRecord + " after 5 records: the record is cut in its message (11 of its 16 bytes)",
         {"\"setpoint\" = 42", "\"body.code\" = 200"}, {"late", "stale"}},
        {"version", [](std::string& file) { file[8] = 2; },
         "probe file version 2 (at byte 8): this library reads version 1", {}, {}},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        std::string damaged = recorded;
        damage.damage(damaged);
        qvm::testing::writeFile(dir / "out" / (damage.name + "_ctrl.prb"), damaged);
        const fs::path trace = dir / "out" / (damage.name + "_r_ctrl.rio");
        qvm::testing::writeFile(trace, "stale\n");
        const RunResult replayed = runIn("link_replay", {damage.name + "_", damage.name + "_r_"});
        EXPECT_NE(replayed.status, 0);
        EXPECT_THAT(replayed.err, HasSubstr(damage.name + "_ctrl.prb (instance ctrl): " + damage.error));
        if (damage.traced.empty()) {
            EXPECT_FALSE(fs::exists(trace)) << readFile(trace);
            continue;
        }
        const std::string decoded = readFile(trace);
        for (const std::string& text : damage.traced) {
            EXPECT_THAT(decoded, HasSubstr(text)) << decoded;
        }
        for (const std::string& text : damage.untraced) {
            EXPECT_THAT(decoded, Not(HasSubstr(text))) << decoded;
        }
    }
}

}  // namespace
