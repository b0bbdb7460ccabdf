// The Debian package made by package.build: lintian finds nothing to
// complain of, it holds what a user needs where Debian puts it, and its
// files alone, unpacked into an empty root, run the tutorial: generate,
// compile with the installed header and library, run, pass.
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::EnvChanges;

std::string shown(const RunResult& result)
{
    return result.out + result.err;
}

// The one file of the packages directory with that extension.
fs::path packageFile(const std::string& extension)
{
    fs::path found;
    for (const auto& entry : fs::directory_iterator(QVM_PACKAGE_DIR)) {
        if (entry.path().extension() == extension) {
            EXPECT_TRUE(found.empty()) << "two packages: " << found << " and " << entry.path();
            found = entry.path();
        }
    }
    return found;
}

fs::path debianPackage()
{
    const fs::path deb = packageFile(".deb");
    EXPECT_FALSE(deb.empty()) << "package.build made no package in " << QVM_PACKAGE_DIR;
    return deb;
}

bool installed(const std::string& program)
{
    return runProgram("sh", {"-c", "command -v " + program}).status == 0;
}

// Nothing of this build or of the user's settings: the system's programs
// only, no FENWIRDIR, no output names from the environment.
const EnvChanges kCleanEnvironment = {
    {"PATH", "/usr/bin:/bin"}, {"LANG", "C"},          {"LC_ALL", "C"},          {"USER", "tester"},
    {"FENWIRDIR", std::nullopt}, {"QVM_PTS", std::nullopt}, {"QVM_TDC", std::nullopt}, {"QVM_H", std::nullopt},
    {"QVM_TSF", std::nullopt}, {"QVM_RIO", std::nullopt}, {"QVM_SRC", std::nullopt}, {"QVM_LIS", std::nullopt},
    {"QVM_DEF", std::nullopt}, {"QVM_DEPFILE", std::nullopt}, {"QvmPrepro_DIR", std::nullopt}};

// The package unpacked into an empty root, as dpkg would install it.
class Unpacked : public ::testing::Test {
protected:
    void SetUp() override
    {
        const fs::path deb = debianPackage();
        ASSERT_FALSE(deb.empty());
        const auto unpack = runProgram("dpkg-deb", {"-x", deb.string(), root.path().string()});
        ASSERT_EQ(unpack.status, 0) << shown(unpack);
    }

    fs::path usr() const { return root / "usr"; }

    // The tutorial's files as the package ships them, copied to a work
    // directory.
    fs::path copyTutorial() const
    {
        const fs::path tutorial = work / "tutorial";
        fs::copy(usr() / "share/doc/qvmprepro/examples/tutorial", tutorial, fs::copy_options::recursive);
        return tutorial;
    }

    TempDir root;
    TempDir work;
};

TEST(Deb, LintianClean)
{
    if (!installed("lintian")) {
        GTEST_SKIP() << "lintian is not installed (apt-get install lintian): the package is not checked";
    }
    const fs::path deb = debianPackage();
    ASSERT_FALSE(deb.empty());
    const auto lintian = runProgram("lintian", {"--fail-on", "error,warning", "--display-info", deb.string()});
    EXPECT_EQ(lintian.status, 0) << shown(lintian);
    for (const std::string& line : qvm::testing::lines(lintian.out)) {
        EXPECT_FALSE(line.starts_with("E: ") || line.starts_with("W: ")) << line;
    }
    // What lintian only mentions is shown, for whoever reads the log.
    std::cout << lintian.out;
}

TEST(Deb, ControlAndChangelog)
{
    const fs::path deb = debianPackage();
    ASSERT_FALSE(deb.empty());
    const auto fields = runProgram("dpkg-deb", {"-f", deb.string(), "Version", "Maintainer", "Depends", "Description"});
    ASSERT_EQ(fields.status, 0) << shown(fields);
    EXPECT_THAT(fields.out, AllOf(HasSubstr("libqt5core5"), HasSubstr("<maintainers@qvmprepro.org>")));

    TempDir root;
    ASSERT_EQ(runProgram("dpkg-deb", {"-x", deb.string(), root.path().string()}).status, 0);
    const auto changelog =
        runProgram("sh", {"-c", "gzip -dc usr/share/doc/qvmprepro/changelog.Debian.gz > changelog && "
                                "dpkg-parsechangelog -l changelog -S Version"},
                   {}, root.path());
    ASSERT_EQ(changelog.status, 0) << shown(changelog);
    EXPECT_THAT(fields.out, HasSubstr("Version: " + changelog.out)) << "the latest changelog entry names the package";

    // The debug information is in the -dbgsym package beside it.
    const fs::path debug = packageFile(".ddeb");
    ASSERT_FALSE(debug.empty()) << "no -dbgsym package";
    const auto debugFiles = runProgram("dpkg-deb", {"-c", debug.string()});
    EXPECT_EQ(qvm::testing::occurrences(debugFiles.out, ".debug\n"), 2u) << debugFiles.out;
}

TEST_F(Unpacked, FilesInDebianPlaces)
{
    for (const char* file : {"bin/qvmprepro", "bin/qvminspect", "include/qvmprepro/TP.h", "include/qvmprepro/ccst.h",
                             "lib/libqvmruntime.a", "lib/cmake/QvmPrepro/QvmPreproConfig.cmake",
                             "share/qvmprepro/lib/host.def", "share/doc/qvmprepro/copyright",
                             "share/doc/qvmprepro/changelog.Debian.gz", "share/doc/qvmprepro/tutorial.md",
                             "share/doc/qvmprepro/language.md", "share/doc/qvmprepro/runtime.md",
                             "share/man/man1/qvmprepro.1.gz", "share/man/man1/qvminspect.1.gz",
                             "share/man/man5/qvmpts.5.gz"}) {
        EXPECT_TRUE(fs::is_regular_file(usr() / file)) << file;
    }
    // Nothing but the package's own directory in the system's include
    // directory.
    for (const auto& entry : fs::directory_iterator(usr() / "include")) {
        EXPECT_EQ(entry.path().filename(), "qvmprepro");
    }
    for (const char* program : {"bin/qvmprepro", "bin/qvminspect"}) {
        const auto sections = runProgram("readelf", {"-S", (usr() / program).string()});
        EXPECT_THAT(sections.out, AllOf(Not(HasSubstr(".symtab")), Not(HasSubstr(".debug_info")))) << program;
    }
    // The compressed pages read as they are.
    for (const char* page : {"man1/qvmprepro.1.gz", "man5/qvmpts.5.gz"}) {
        const auto man = runProgram("man", {"-l", (usr() / "share/man" / page).string()},
                                    {{"MANPAGER", "cat"}, {"MANWIDTH", "80"}});
        EXPECT_EQ(man.status, 0) << page << man.err;
        EXPECT_THAT(man.out, HasSubstr("qvm")) << page;
    }
}

// The tutorial's script by hand: the installed program finds its share
// directory beside itself, the program compiles against the installed
// header and library with no warning and its run passes.
TEST_F(Unpacked, TutorialScriptRuns)
{
    const fs::path tutorial = copyTutorial();
    fs::create_directories(tutorial / "out");
    const auto generate = runProgram((usr() / "bin/qvmprepro").string(), {"ring_test.pts", "ring.h", "out/ring_test"},
                                     kCleanEnvironment, tutorial);
    ASSERT_EQ(generate.status, 0) << shown(generate) << readFile(tutorial / "ring_test.lis");

    for (const std::string compiler : {"gcc", "clang"}) {
        if (compiler == "clang" && !installed("clang")) {
            continue;
        }
        const std::string program = (tutorial / "out" / ("ring_test_" + compiler)).string();
        const auto compile = runProgram(compiler,
                                        {"-std=gnu99", "-Wall", "-Wextra", "-Werror",
                                         "-I" + (usr() / "include/qvmprepro").string(), "-I.", "out/ring_test.c",
                                         "ring.c", (usr() / "lib/libqvmruntime.a").string(), "-lpthread", "-o", program},
                                        kCleanEnvironment, tutorial);
        ASSERT_EQ(compile.status, 0) << compiler << "\n" << shown(compile);
        EXPECT_EQ(compile.err, "") << compiler;

        const auto run = runProgram(program, {"-RIO=ring_test_" + compiler}, kCleanEnvironment, tutorial / "out");
        EXPECT_EQ(run.status, 0) << compiler << "\n" << shown(run);
        const std::string trace = readFile(tutorial / "out" / ("ring_test_" + compiler + ".rio"));
        EXPECT_THAT(trace, HasSubstr("\"first_in_first_out\" repetition 1 passed")) << compiler;
        EXPECT_THAT(trace, Not(HasSubstr("FAILED"))) << compiler;
    }
}

// The tutorial's CMake project against the installed CMake package, as the
// tutorial tells: configure, build, ctest.
TEST_F(Unpacked, TutorialProjectBuilds)
{
    const fs::path tutorial = copyTutorial();
    const fs::path build = work / "build";
    EnvChanges environment = kCleanEnvironment;
    environment["PATH"] = fs::path(QVM_CMAKE_COMMAND).parent_path().string() + ":/usr/bin:/bin";
    const auto run = qvm::testing::configureBuildTest({tutorial, build, usr() / "lib/cmake/QvmPrepro", {}, {"-j2"},
                                                       environment, QVM_CMAKE_COMMAND, QVM_CTEST_COMMAND});
    EXPECT_EQ(run.test.status, 0) << run.shown();
    EXPECT_THAT(run.test.out, HasSubstr("100% tests passed, 0 tests failed out of 1"));
}

}  // namespace
