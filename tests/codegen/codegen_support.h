// Helpers of the writer tests: runs of qvmprepro in a scratch directory
// holding copies of the inputs, the golden files, and the state of output
// files before and after a run.
#pragma once

#include "support/messages.h"
#include "support/process.h"
#include "test_tdc_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace qvm::testing::codegen {

namespace fs = std::filesystem;
using qvm::testing::readFile;
using qvm::testing::TempDir;
using qvm::testing::writeFile;

// The function templates of a TRIGGER script whose program is a .c file.
inline const std::vector<std::string> kTemplateFiles{"fctri_c.c", "fctfc_c.c", "tarvo_c.h"};

inline fs::path goldenDirectory(const std::string& writer)
{
    return fs::path(QVM_TESTDATA_DIR) / "codegen" / writer;
}

// The bundled examples NAME.pts with their interface files NAME.h.
using Example = tdc::Script;
using tdc::bundledExamples;

// Copies the named files of a directory into another.
inline void copyFiles(const fs::path& from, const std::vector<std::string>& names, const fs::path& to)
{
    for (const std::string& name : names) {
        fs::copy_file(from / name, to / name, fs::copy_options::overwrite_existing);
    }
}

// A directory's files and subdirectories, copied whole (an example may
// include scripts beside it).
inline void copyDirectory(const fs::path& from, const fs::path& to)
{
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

inline std::string stdDefineOption()
{
    return "-STD_DEFINE=" + std::string(QVM_SHARE_DIR) + "/lib/x86_64-linux-gnu.def";
}

// qvmprepro SCRIPT IFACE ROOT options, run in dir.
inline RunResult runIn(const fs::path& dir, const std::vector<std::string>& arguments)
{
    return runPrepro(arguments, {{"USER", "tester"}}, dir);
}

// qvmprepro started through another program (prlimit, setpriv): the
// wrapper's own arguments, then the binary and its arguments.
inline RunResult runThrough(const std::string& wrapper, std::vector<std::string> wrapperArguments,
                            const std::vector<std::string>& arguments, const fs::path& dir)
{
    wrapperArguments.push_back(QVM_PREPRO_BIN);
    wrapperArguments.insert(wrapperArguments.end(), arguments.begin(), arguments.end());
    return runProgram(wrapper, wrapperArguments,
                      {{"FENWIRDIR", std::string(QVM_SHARE_DIR)}, {"LANG", std::string("C")}, {"LC_ALL", std::nullopt}},
                      dir);
}

// The codes of the reports of a run, in order, information left out.
inline std::vector<std::string> reportedCodes(const RunResult& result)
{
    std::vector<std::string> codes;
    for (const PlainMessage& message : allMessagesOf(result.err)) {
        if (message.severity != "I") {
            codes.push_back(message.code);
        }
    }
    return codes;
}

// A run ended by a fatal report about one file: status 7, and the last
// report names the file.
inline void expectFatalOnFile(const RunResult& result, const std::string& code, const std::string& fileName)
{
    EXPECT_EQ(result.status, 7) << result.err;
    const auto last = lastMessageOf(result.err);
    ASSERT_TRUE(last.has_value()) << result.err;
    EXPECT_EQ(last->code, code);
    EXPECT_THAT(last->text, ::testing::HasSubstr(fileName));
}

// What an output holds and when it was last written, to show that a run
// left it alone.
struct FileState {
    std::string bytes;
    fs::file_time_type time;
    bool operator==(const FileState&) const = default;
};

inline FileState stateOf(const fs::path& path)
{
    return {readFile(path), fs::last_write_time(path)};
}

// An output written long ago, so that a rewrite shows in its time stamp.
inline void writeOldFile(const fs::path& path, const std::string& contents)
{
    writeFile(path, contents);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
}

// Names of the files in a directory (not below it), sorted.
inline std::vector<std::string> fileNames(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace qvm::testing::codegen
