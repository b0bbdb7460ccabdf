// The trace file at each trace level, the trace buffer with its flushes
// and circular mode, TRACE_OFF, and the tracer link of QVM_DYNFLW builds.
#include "runtime/runtime_programs.h"
#include "support/tracer_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qvm::testing;
using ::testing::HasSubstr;
using ::testing::Not;

class RtTrace : public RuntimeProgramTest {
protected:
    // The trace of scenarios.c built with the given defines and run with
    // the given filter letters.
    std::string traceOf(const std::vector<std::string>& defines, const std::string& letters, int status)
    {
        const fs::path program = build("scenarios", defines);
        if (program.empty()) {
            return {};
        }
        const RunResult run = runBuilt(program, {letters});
        EXPECT_EQ(run.status, status) << run.out << run.err;
        return trace();
    }
};

TEST_P(RtTrace, UnbufferedEveryLine)
{
    for (const std::vector<std::string>& defines :
         {std::vector<std::string>{"TRACE_LEVEL=0"}, std::vector<std::string>{"TRACE_LEVEL=10", "BUFFER_BYTES=0"}}) {
        const std::string trace = traceOf(defines, "", 0);
        EXPECT_EQ(occurrences(trace, "BLOCK    #10 scenarios.pts:5 INITIALIZATION begin"), 3U);
        EXPECT_EQ(occurrences(trace, "PROC     #23 scenarios.pts:19 begin \"reset\""), 3U);
        EXPECT_EQ(occurrences(trace, "TIME     #22"), 3U);
        EXPECT_THAT(trace, HasSubstr("level 0"));
    }
}

TEST_P(RtTrace, LevelsAndFailures)
{
    const std::string scn = traceOf({"TRACE_LEVEL=10"}, "", 0);
    EXPECT_EQ(occurrences(scn, "SCENARIO #9 scenarios.pts:4 begin \"Door\""), 3U);
    EXPECT_EQ(occurrences(scn, "COMMENT  #13 scenarios.pts:8 \"door body\""), 3U);
    EXPECT_THAT(scn, Not(HasSubstr("BLOCK")));
    EXPECT_THAT(scn, Not(HasSubstr("PROC")));
    EXPECT_THAT(scn, Not(HasSubstr("TIME     #22")));
    EXPECT_THAT(scn, HasSubstr("RUN      end scenarios.rio_0: PASSED"));

    // The flush after the failing repetition writes its details, and the
    // EXCEPTION block that follows it is shown with the scenarios.
    const std::string failing = traceOf({"TRACE_LEVEL=10"}, "E", 1);
    EXPECT_EQ(occurrences(failing, "PROC     #23 scenarios.pts:19 begin \"reset\""), 1U);
    EXPECT_EQ(occurrences(failing, "TIME     #22"), 1U);
    EXPECT_THAT(failing, HasSubstr("BLOCK    #16 scenarios.pts:11 EXCEPTION begin"));
    EXPECT_THAT(failing, HasSubstr("FAIL     #15 scenarios.pts:10 ERROR statement"));

    const std::string time = traceOf({"TRACE_LEVEL=20"}, "", 0);
    EXPECT_EQ(occurrences(time, "TIME     #22 scenarios.pts:17 \"Door\""), 3U);
    EXPECT_THAT(time, Not(HasSubstr("PROC")));

    const std::string error = traceOf({"TRACE_LEVEL=5"}, "", 0);
    EXPECT_THAT(error, Not(HasSubstr("\"Door\"")));
    EXPECT_THAT(error, Not(HasSubstr("COMMENT")));
    EXPECT_THAT(error, Not(HasSubstr("CLEANUP")));
    const std::string errorFailing = traceOf({"TRACE_LEVEL=5"}, "E", 1);
    EXPECT_EQ(occurrences(errorFailing, "begin \"Door\""), 1U);
    EXPECT_THAT(errorFailing, HasSubstr("end \"Door\" repetition 2 FAILED (state 1)"));
}

TEST_P(RtTrace, FullBufferFlushed)
{
    const std::string trace = traceOf({"TRACE_LEVEL=10", "BUFFER_BYTES=512"}, "M", 0);
    const std::vector<std::string> prints = linesStartingWith(trace, "PRINT    #14");
    ASSERT_EQ(prints.size(), 203U);
    EXPECT_THAT(prints[3], HasSubstr("J1 = 0 "));
    EXPECT_THAT(prints.back(), HasSubstr("J1 = 199 "));
    EXPECT_THAT(trace, Not(HasSubstr("PROC")));
}

TEST_P(RtTrace, CircularKeepsLatest)
{
    const std::string trace = traceOf({"TRACE_LEVEL=50", "BUFFER_BYTES=2048"}, "M", 0);
    const std::vector<std::string> lines = qvm::testing::lines(trace);
    const int dropped = lineIndex(lines, "earlier lines dropped from the circular buffer");
    ASSERT_GE(dropped, 0) << trace;
    EXPECT_THAT(lines[dropped], ::testing::MatchesRegex("TRACE    [0-9]+ earlier lines dropped .*"));
    EXPECT_THAT(trace, HasSubstr("J1 = 199 "));
    EXPECT_THAT(trace, Not(HasSubstr("J1 = 0 ")));
    // What the buffer kept fits in it: one class byte per line besides the text.
    std::size_t kept = 0;
    for (std::size_t i = dropped + 1; i < lines.size() && lines[i].rfind("CLEANUP", 0) != 0; ++i) {
        kept += lines[i].size() + 2;
    }
    EXPECT_LE(kept, 2048U);
    EXPECT_GT(kept, 1500U);
    EXPECT_THAT(lines.front(), HasSubstr("RUN      begin"));

    // FLUSH_TRACE writes what is kept at once.
    const std::string flushed = traceOf({"TRACE_LEVEL=50", "BUFFER_BYTES=2048"}, "ML", 0);
    const std::vector<std::string> flushedLines = qvm::testing::lines(flushed);
    EXPECT_LT(lineIndex(flushedLines, "J1 = 199 "), lineIndex(flushedLines, "TRACE    #37 scenarios.pts:32 flush"));
}

TEST_P(RtTrace, TraceOffOnlyFailures)
{
    const std::string trace = traceOf({}, "TU", 1);
    const std::vector<std::string> lines = qvm::testing::lines(trace);
    const int off = lineIndex(lines, "TRACE    #39 scenarios.pts:34 off");
    ASSERT_GE(off, 0);
    EXPECT_THAT(lines[off + 1], HasSubstr("TRACE    #38 scenarios.pts:33 on"));
    EXPECT_EQ(occurrences(trace, "\"lift body\""), 2U);
    EXPECT_THAT(trace, HasSubstr("FAIL     #34 scenarios.pts:30 SEND not available yet"));
}

TEST_P(RtTrace, TracerLinkPerEvent)
{
    const fs::path program = build("scenarios", {"QVM_DYNFLW=1"});
    ASSERT_FALSE(program.empty());
    const fs::path socketPath = dir / "tracer.sock";
    TracerServer server(socketPath);
    ASSERT_TRUE(server.bound());
    const RunResult run = runBuilt(program, {"E"}, {{"QVM_TRACER_SOCKET", socketPath.string()}});
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<std::string> events = lines(server.received());
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "HELLO \"scenarios.rio_0\" -");
    EXPECT_EQ(events[1], "FILE 1 123456 5042");
    EXPECT_EQ(events[2], "ROOT 1");
    EXPECT_EQ(events[3], "SCENARIO BEGIN 0 0 1");
    EXPECT_EQ(events[4], "BLOCK INITIALIZATION BEGIN 7 1");
    EXPECT_EQ(lineIndex(events, "SCENARIO END 4 1 1"), lineIndex(events, "VERDICT FAIL 15") + 1);
    EXPECT_EQ(events.back(), "END 1");
}

TEST_P(RtTrace, UnreachableTracerEnds)
{
    const fs::path program = build("scenarios", {"QVM_DYNFLW=1"});
    ASSERT_FALSE(program.empty());
    const RunResult unset = runBuilt(program, {});
    EXPECT_EQ(unset.status, 1);
    EXPECT_THAT(unset.err, HasSubstr("qvm runtime: tracer link: QVM_TRACER_SOCKET is not set"));
    EXPECT_THAT(trace(), Not(HasSubstr("SCENARIO")));

    const RunResult missing = runBuilt(program, {}, {{"QVM_TRACER_SOCKET", (dir / "nobody.sock").string()}});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("cannot connect to"));
}

INSTANTIATE_TEST_SUITE_P(CC, RtTrace, kCompilers, compilerName);

}  // namespace
