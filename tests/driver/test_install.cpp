// Installation: the installed tree runs on its own (programs, catalog tree,
// manual pages). The Debian package has tests of its own (tests/package).
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

using qvm::testing::runProgram;
using qvm::testing::TempDir;

TEST(Install, RunsExampleWithShareDir)
{
    TempDir prefix;
    const auto install = runProgram("cmake", {"--install", QVM_BINARY_DIR, "--prefix", prefix.path().string()});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    for (const char* file : {"bin/qvmprepro", "bin/qvminspect", "share/qvmprepro/lib/host.def",
                             "share/man/man1/qvmprepro.1.gz", "share/man/man1/qvminspect.1.gz",
                             "share/man/man5/qvmpts.5.gz", "include/qvmprepro/TP.h"}) {
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
    }
    EXPECT_TRUE(fs::is_directory(prefix / "share/qvmprepro/lib/locale"));
    EXPECT_FALSE(fs::exists(prefix / "share/qvmprepro/lib/x86_64-linux-gnu.def")) << "the tests' fixed profile";

    TempDir work;
    fs::copy(fs::path(QVM_SOURCE_DIR) / "examples" / "door_controller", work.path(), fs::copy_options::recursive);
    fs::create_directories(work / "out");
    // Neither FENWIRDIR nor -STD_DEFINE: the installed tree is found beside
    // the program, with the profile of the compiler of this build.
    const auto run = runProgram((prefix / "bin/qvmprepro").string(),
                                {"door_controller.pts", "door_controller.h", "out/door_controller"},
                                {{"FENWIRDIR", std::nullopt}, {"LANG", std::string("C")}, {"USER", std::string("tester")}},
                                work.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(work / "out" / "door_controller.tdc"));

    const auto inspect = runProgram((prefix / "bin/qvminspect").string(), {"const", "0x10"});
    EXPECT_EQ(inspect.status, 0) << inspect.err;
}

}  // namespace
