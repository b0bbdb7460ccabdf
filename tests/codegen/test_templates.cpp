// The function templates fctri_c, fctfc_c and tarvo_c.h of a script that
// uses TRIGGER without COMMTYPE, compared with golden files in
// tests/data/codegen/templates.
//
// The set for trig/ (a small TRIGGER script of two message structures) was
// written by hand from the templates' layout before the program was run on
// it; the set for platform_doors/ was generated, then reviewed line by line.
#include "codegen_support.h"

#include <gmock/gmock.h>

namespace {

using namespace qvm::testing::codegen;
using ::testing::ElementsAre;

// A scratch copy of the hand-written TRIGGER script with its out/ directory.
struct TriggerRun {
    TriggerRun()
    {
        copyFiles(goldenDirectory("templates") / "trig", {"trig.pts", "trig.h"}, dir.path());
        fs::create_directories(dir / "out");
    }
    qvm::testing::RunResult run(const std::string& root = "out/trig", const std::string& interfaces = "trig.h")
    {
        return runIn(dir.path(), {"trig.pts", interfaces, root, stdDefineOption()});
    }
    TempDir dir;
};

TEST(FctTemplates, TriggerScriptHandWritten)
{
    TriggerRun trig;
    const auto result = trig.run();
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_THAT(reportedCodes(result), ElementsAre("NEWFFCTRI"));
    for (const std::string& name : kTemplateFiles) {
        EXPECT_EQ(readFile(trig.dir / "out" / name), readFile(goldenDirectory("templates") / "trig" / name)) << name;
    }
}

TEST(FctTemplates, PlatformDoorsGolden)
{
    TempDir dir;
    copyDirectory(fs::path(QVM_SOURCE_DIR) / "examples" / "platform_doors", dir.path());
    fs::create_directories(dir / "out");
    const auto result = runIn(dir.path(), {"platform_doors.pts", "platform_doors.h", "out/platform_doors", stdDefineOption()});
    EXPECT_EQ(result.status, 3) << result.err;
    for (const std::string& name : kTemplateFiles) {
        EXPECT_EQ(readFile(dir / "out" / name), readFile(goldenDirectory("templates") / "platform_doors" / name)) << name;
    }
}

TEST(FctTemplates, StaleInitTemplateReported)
{
    TriggerRun trig;
    writeOldFile(trig.dir / "trig.h", readFile(trig.dir / "trig.h"));
    writeFile(trig.dir / "out" / "fctri_c.c", "/* filled in by the user */\n");

    // Interface not newer than the template: kept silently.
    auto result = trig.run();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(trig.dir / "out" / "fctri_c.c"), "/* filled in by the user */\n");

    // Interface newer than the template: kept, with a warning.
    fs::last_write_time(trig.dir / "out" / "fctri_c.c", fs::last_write_time(trig.dir / "trig.h") - std::chrono::hours(1));
    result = trig.run();
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_THAT(reportedCodes(result), ElementsAre("OLDFFCTRI"));
    EXPECT_EQ(readFile(trig.dir / "out" / "fctri_c.c"), "/* filled in by the user */\n");
    // The other two are written on every run.
    EXPECT_EQ(readFile(trig.dir / "out" / "tarvo_c.h"), readFile(goldenDirectory("templates") / "trig" / "tarvo_c.h"));
}

TEST(FctTemplates, ProgramExtensionInterfaces)
{
    TriggerRun trig;
    writeFile(trig.dir / "extra.h", "extern int extra_count;\n");
    const auto result = trig.run("out/trig.cc", "trig.h,extra.h");
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_TRUE(fs::exists(trig.dir / "out" / "fctri_c.cc"));
    EXPECT_TRUE(fs::exists(trig.dir / "out" / "fctfc_c.cc"));
    EXPECT_FALSE(fs::exists(trig.dir / "out" / "fctri_c.c"));
    const std::vector<std::string> header = qvm::testing::lines(readFile(trig.dir / "out" / "tarvo_c.h"));
    ASSERT_GE(header.size(), 3u);
    EXPECT_EQ(header[0], "#include \"trig.h\"");
    EXPECT_EQ(header[1], "#include \"extra.h\"");
    EXPECT_EQ(header[2], "typedef int T_ENTIER;");
}

TEST(FctTemplates, BesideProgramWithoutDir)
{
    TriggerRun trig;
    ASSERT_EQ(trig.run("trig").status, 3);
    for (const std::string& name : kTemplateFiles) {
        EXPECT_TRUE(fs::exists(trig.dir / name)) << name;
    }
}

TEST(FctTemplates, NotWithCommtypeOrSpvgen)
{
    TriggerRun trig;
    auto result = runIn(trig.dir.path(), {"trig.pts", "trig.h", "out/trig", stdDefineOption(), "-SPVGEN"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::is_empty(trig.dir / "out"));

    TempDir dir;
    copyFiles(goldenDirectory("spg"), {"tree.pts", "tree.h"}, dir.path());
    result = runIn(dir.path(), {"tree.pts", "tree.h", "tree", stdDefineOption()});
    EXPECT_EQ(result.status, 0) << result.err;
    for (const std::string& name : kTemplateFiles) {
        EXPECT_FALSE(fs::exists(dir / name)) << name;
    }

    // A script with a communication type, even one with TRIGGER lines.
    TempDir comm;
    copyDirectory(fs::path(QVM_SOURCE_DIR) / "examples" / "can_gateway", comm.path());
    result = runIn(comm.path(), {"can_gateway.pts", "can_gateway.h", "gw", stdDefineOption()});
    EXPECT_EQ(result.status, 0) << result.err;
    for (const std::string& name : kTemplateFiles) {
        EXPECT_FALSE(fs::exists(comm / name)) << name;
    }
}

}  // namespace
