// Starting without configuration: the usage and the version need nothing,
// a program finds its share directory beside itself when FENWIRDIR is unset,
// and reads the share directory's host profile when no -STD_DEFINE is given.
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

using qvm::testing::EnvChanges;
using qvm::testing::readFile;
using qvm::testing::runProgram;
using qvm::testing::TempDir;
using qvm::testing::writeFile;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const EnvChanges kNoConfiguration{{"FENWIRDIR", std::nullopt}, {"LANG", std::string("C")}, {"LC_ALL", std::nullopt}};

// A copy of qvmprepro in a directory of its own: no share directory beside it.
fs::path lonePrepro(const TempDir& dir)
{
    const fs::path copy = dir / "qvmprepro";
    fs::copy_file(QVM_PREPRO_BIN, copy);
    return copy;
}

// A script over an interface that includes a C library header.
void writeLibraryRun(const fs::path& dir)
{
    fs::create_directories(dir / "out");
    writeFile(dir / "z.h", "#include <zlib.h>\n");
    writeFile(dir / "z.pts", "HEADER \"z\", \"zlib\", \"1\"\n#int calls;\nSCENARIO version\n"
                             "  @calls = 1;\n  VAR calls, EV=1\nEND SCENARIO\n");
}

TEST(ZeroConfig, UsageNeedsNoShareDir)
{
    TempDir dir;
    const fs::path prepro = lonePrepro(dir);
    for (const char* request : {"-h", "--help"}) {
        const auto run = runProgram(prepro.string(), {request}, kNoConfiguration);
        EXPECT_EQ(run.status, 0) << request;
        EXPECT_THAT(run.out, StartsWith("Usage QVMPREPRO:")) << request;
    }
    const auto version = runProgram(prepro.string(), {"--version"}, kNoConfiguration);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "qvmprepro version " QVM_VERSION "\n");

    // Without arguments: the usage after the missing argument, as with a catalog.
    const auto bare = runProgram(prepro.string(), {}, kNoConfiguration);
    EXPECT_EQ(bare.status, 7);
    EXPECT_THAT(bare.err, HasSubstr("Argument missing, scn\nUsage QVMPREPRO:"));
}

TEST(ZeroConfig, NoShareDirMinusOne)
{
    TempDir dir;
    writeLibraryRun(dir.path());
    const fs::path prepro = lonePrepro(dir);
    for (const auto& fenwirdir : {std::optional<std::string>(), std::optional<std::string>("")}) {
        EnvChanges env = kNoConfiguration;
        env["FENWIRDIR"] = fenwirdir;
        const auto run = runProgram(prepro.string(), {"z.pts", "z.h", "out"}, env, dir.path());
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.err, "Fatal Error: please setup FENWIRDIR environment variable.\n");
    }
}

TEST(ZeroConfig, BuildTreeHostProfile)
{
    TempDir dir;
    writeLibraryRun(dir.path());
    const auto run = runProgram(QVM_PREPRO_BIN, {"z.pts", "z.h", "out/z"}, kNoConfiguration, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "out/z.c"));

    // An empty -STD_DEFINE= reads no profile: the C library is not found,
    // and the message names where it was looked for.
    const auto bare = runProgram(QVM_PREPRO_BIN, {"z.pts", "z.h", "out/z", "-STD_DEFINE=", "-INCL=" + dir.path().string()},
                                 kNoConfiguration, dir.path());
    EXPECT_EQ(bare.status, 7);
    EXPECT_THAT(readFile(dir / "z.lis"),
                HasSubstr("Cannot open file zlib.h (searched: " + dir.path().string() + ")"));
    // Without -INCL either, the message says that no directory was given.
    const auto none = runProgram(QVM_PREPRO_BIN, {"z.pts", "z.h", "out/z", "-STD_DEFINE="}, kNoConfiguration, dir.path());
    EXPECT_EQ(none.status, 7);
    EXPECT_THAT(none.err, HasSubstr("Cannot open file zlib.h (no include directory given)"));
}

// The profile is made from whatever C compiler the build found; clang's
// reads the same library headers, and the program compiles with clang.
TEST(ZeroConfig, ClangProfileReadsLibc)
{
    if (runProgram("clang", {"--version"}).status != 0) {
        GTEST_SKIP() << "no clang";
    }
    TempDir dir;
    writeLibraryRun(dir.path());
    writeFile(dir / "z.h", "#include <zlib.h>\n#include <stdint.h>\n#include <stdatomic.h>\n#include <limits.h>\n"
                           "extern uint32_t checksum(const unsigned char *data, size_t length);\n");
    const fs::path profile = dir / "clang.def";
    const auto made = runProgram("cmake", {"-DCOMPILER=clang", "-DOUTPUT=" + profile.string(), "-P",
                                           std::string(QVM_SOURCE_DIR) + "/cmake/HostProfile.cmake"});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_THAT(readFile(profile), HasSubstr("#define __clang__ 1"));

    const auto run = runProgram(QVM_PREPRO_BIN, {"z.pts", "z.h", "out/z", "-STD_DEFINE=" + profile.string()},
                                kNoConfiguration, dir.path());
    EXPECT_EQ(run.status, 0) << readFile(dir / "z.lis");
    writeFile(dir / "sut.c", "#include \"z.h\"\nuint32_t checksum(const unsigned char *d, size_t n) "
                             "{ return (uint32_t)crc32(0L, d, (uInt)n); }\n");
    std::vector<std::string> compile{"-std=c11", "-Wall", "-Wextra", "-Werror", "-I" + std::string(QVM_RUNTIME_INCLUDE_DIR),
                                     "-I.", "-c", "out/z.c", "sut.c"};
    const auto compiled = runProgram("clang", compile, {}, dir.path());
    EXPECT_EQ(compiled.status, 0) << compiled.err;
}

}  // namespace
