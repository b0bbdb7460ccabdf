// Probe files: what a recording keeps when it ends well or badly, and what
// a replay reads back from whole, damaged and foreign files.
#include "runtime/runtime_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace qvm::testing;
using ::testing::HasSubstr;

using RtProbe = RuntimeProgramTest;

#ifdef QVM_TESTS_SANITIZE
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// What `probes read` says of a file: its record lines, its last line, and
// what went to standard error.
struct ReadBack {
    std::size_t records = 0;
    std::size_t unchanged = 0;
    std::string end;
    std::string err;
};

ReadBack readBack(const fs::path& program, const std::string& file)
{
    const RunResult run = runBuilt(program, {"read", file});
    EXPECT_EQ(run.status, 0) << run.err;
    ReadBack back;
    for (const std::string& line : lines(run.out)) {
        if (line.rfind("record ", 0) == 0) {
            ++back.records;
            back.unchanged += line.ends_with(" same") ? 1 : 0;
        } else {
            back.end = line;
        }
    }
    back.err = run.err;
    return back;
}

void put32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

// Records of every length from none to the largest, a selector among them,
// and a longer message refused; then the same file damaged in every way a
// reader meets, each giving the records before the damage and its place.
TEST_P(RtProbe, RoundTripAndDamage)
{
    const fs::path program = build("probes");
    ASSERT_FALSE(program.empty());
    const RunResult write = runBuilt(program, {"write", "out_", "inst", "20", "0"});
    ASSERT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(occurrences(write.err, "qvm probe: out_inst.prb: a message of 1048577 bytes (code 1999) is not "
                                     "recorded: a record holds 1048576 bytes at most"),
              1U)
        << write.err;

    const ReadBack whole = readBack(program, "out_inst.prb");
    EXPECT_EQ(whole.records, 21U);
    EXPECT_EQ(whole.unchanged, 21U);
    EXPECT_EQ(whole.end, "end records 21 damaged 0");
    EXPECT_EQ(whole.err, "");

    const std::string bytes = readFile(dir / "out_inst.prb");
    const std::size_t last = bytes.size() - 34;  // the last record: 24 bytes and a 10-byte message
    const std::string at = "qvm probe: damaged.prb (instance probe): ";
    struct Damage {
        std::string name;
        std::string bytes;
        std::size_t records;
        std::string message;
    };
    std::vector<Damage> damages = {
        {"empty", "", 0, at + "damaged at byte 0 after 0 records: the header is cut (0 bytes, 44 expected)"},
        {"header cut", bytes.substr(0, 20), 0,
         at + "damaged at byte 20 after 0 records: the header is cut (20 bytes, 44 expected)"},
        {"name cut", bytes.substr(0, 46), 0,
         at + "damaged at byte 46 after 0 records: the header is cut (46 bytes, 48 expected)"},
        {"magic", "X" + bytes.substr(1), 0, at + "not a probe file: it does not begin with \"QVMPROBE\""},
        {"version", bytes, 0, at + "probe file version 2 (at byte 8): this library reads version 1"},
        {"byte order", bytes, 0,
         at + "recorded on a machine of the other byte order: its messages cannot be replayed here"},
        {"length", bytes, 20,
         at + "damaged at byte " + std::to_string(last) + " after 20 records: a message of 1048577 bytes (at most 1048576)"},
        {"trailing bytes", bytes + "junk", 21,
         at + "damaged at byte " + std::to_string(bytes.size()) +
             " after 21 records: an incomplete record (4 of the 24 bytes before its message)"},
    };
    put32(damages[4].bytes, 8, 2);
    std::swap(damages[5].bytes[12], damages[5].bytes[15]);
    std::swap(damages[5].bytes[13], damages[5].bytes[14]);
    put32(damages[6].bytes, last + 20, 1048577);
    for (std::size_t cut = last + 1; cut < bytes.size(); ++cut) {
        damages.push_back({"cut at " + std::to_string(cut), bytes.substr(0, cut), 20,
                           at + "damaged at byte " + std::to_string(last) + " after 20 records: " +
                               (cut < last + 24 ? "an incomplete record (" + std::to_string(cut - last) +
                                                      " of the 24 bytes before its message)"
                                                : "the record is cut in its message (" +
                                                      std::to_string(cut - last - 24) + " of its 10 bytes)")});
    }
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        writeFile(dir / "damaged.prb", damage.bytes);
        const ReadBack back = readBack(program, "damaged.prb");
        EXPECT_EQ(back.records, damage.records);
        EXPECT_EQ(back.unchanged, damage.records);
        EXPECT_EQ(back.end, "end records " + std::to_string(damage.records) + " damaged 1");
        EXPECT_EQ(back.err, damage.message + "\n");
    }
}

// A recording that never reaches trv_end_probe keeps what it flushed: all
// of it at exit and on a fatal signal, what the last flush wrote when it is
// killed outright. A full disk is reported once; the records before it stay.
TEST_P(RtProbe, AbruptEndKeepsFlushed)
{
    const fs::path program = build("probes");
    ASSERT_FALSE(program.empty());
    struct Ending {
        std::string how;
        int status;
        std::size_t records;
        std::string err;
    };
    const Ending endings[] = {
        {"kill", 128 + 9, 10, ""},
        {"segv", kSanitized ? 1 : 128 + 11, 15, ""},
        {"exit", 0, 15, ""},
        {"full", 0, 32, "qvm probe: out_full.prb: cannot write (File too large): the records from #33 on are lost\n"},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.how);
        const RunResult run = runBuilt(program, {ending.how, "out_", ending.how});
        EXPECT_EQ(run.status, ending.status) << run.err;
        if (!kSanitized || ending.how != "segv") {
            EXPECT_EQ(run.err, ending.err);
        }
        const ReadBack back = readBack(program, "out_" + ending.how + ".prb");
        EXPECT_EQ(back.records, ending.records);
        EXPECT_EQ(back.unchanged, ending.records);
        EXPECT_EQ(back.end, "end records " + std::to_string(ending.records) +
                                (ending.how == "full" ? " damaged 1" : " damaged 0"));
    }
}

INSTANTIATE_TEST_SUITE_P(CC, RtProbe, kCompilers, compilerName);

}  // namespace
