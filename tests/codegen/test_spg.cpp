// The SPG project file written under -SPVGEN, compared byte for byte with
// golden files in tests/data/codegen/spg.
//
// Written by hand from the file's layout before the program was run on
// them: demo.spg (examples/demo.pts), tree.spg (the scenario tree of two
// top-level scenarios A and B with A holding A1, a family named in two
// scenarios listed once at the top, no include: an empty HTS_FILE_LIST, no
// rendezvous: an empty RDV_LIST) and rdv.spg (rendezvous members through
// procedures reached by several calls with instance restrictions, one in a
// procedure no call reaches, one in an initialisation block, an included
// file). door_controller.spg shows a tree three levels deep. The other examples' files were generated,
// then reviewed line by line against the layout.
//
// Choices of this program where the layout leaves them open, shown here:
// the members of a rendezvous reached through several calls are listed in
// the order the instances were declared; a script with no scenario below
// the root writes an empty tree and an empty scenario list; a project file
// that cannot be created is the fatal "FICERROPN" (see the output safety
// tests).
#include "codegen_support.h"

#include <gmock/gmock.h>

namespace {

using namespace qvm::testing::codegen;

// Runs qvmprepro -SPVGEN on SCRIPT.pts with IFACE.h in dir; root out/SCRIPT.
qvm::testing::RunResult runSpg(const fs::path& dir, const std::string& script, const std::string& iface,
                               std::vector<std::string> options = {})
{
    std::vector<std::string> arguments{script + ".pts", iface + ".h", "out/" + script, stdDefineOption(), "-SPVGEN"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return runIn(dir, arguments);
}

TEST(SpgFile, EveryExampleMatchesItsGoldenFile)
{
    const std::vector<Example> examples = bundledExamples();
    ASSERT_GE(examples.size(), 6u);
    for (const Example& example : examples) {
        SCOPED_TRACE(example.name);
        TempDir dir;
        copyDirectory(example.directory, dir.path());
        fs::create_directories(dir / "out");
        const auto result = runSpg(dir.path(), example.name, example.name);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readFile(dir / (example.name + ".spg")), readFile(goldenDirectory("spg") / (example.name + ".spg")));
        // Nothing else is generated in this mode.
        EXPECT_TRUE(fs::is_empty(dir / "out"));
    }
}

TEST(SpgFile, EdgeCaseGoldenFiles)
{
    struct Case {
        std::string script;
        std::vector<std::string> inputs;
    };
    for (const Case& c : {Case{"tree", {"tree.pts", "tree.h"}},
                          Case{"rdv", {"rdv.pts", "rdv.h", "rdv_unused.pts"}}}) {
        SCOPED_TRACE(c.script);
        TempDir dir;
        copyFiles(goldenDirectory("spg"), c.inputs, dir.path());
        const auto result = runSpg(dir.path(), c.script, c.script);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readFile(dir / (c.script + ".spg")), readFile(goldenDirectory("spg") / (c.script + ".spg")));
    }
}

TEST(SpgFile, InCurrentDirUnderScriptName)
{
    TempDir dir;
    fs::create_directories(dir / "scripts");
    copyFiles(goldenDirectory("spg"), {"tree.pts", "tree.h"}, dir / "scripts");
    // An own extension of the script is read, but the project names it .pts.
    fs::rename(dir / "scripts" / "tree.pts", dir / "scripts" / "tree.scr");
    const auto result = runIn(dir.path(), {"scripts/tree.scr", "scripts/tree.h", "out/tree", "-SPVGEN"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(fs::exists(dir / "scripts" / "tree.spg"));
    const std::string spg = readFile(dir / "tree.spg");
    EXPECT_THAT(spg, ::testing::StartsWith("SPG_FILE = {\n\n\tSPG_FILE_NAME = \"scripts/tree.spg\";\n\n"
                                           "\tPTS_FILE_NAME = \"scripts/tree.pts\";\n\n"));
    EXPECT_THAT(spg, ::testing::HasSubstr("\t\t\tFILE        = \"scripts/tree.scr\";\n"));
}

TEST(SpgFile, IsNamedInTheStudioLog)
{
    TempDir dir;
    copyFiles(goldenDirectory("spg"), {"tree.pts", "tree.h"}, dir.path());
    ASSERT_EQ(runSpg(dir.path(), "tree", "tree", {"-STUDIO_LOG=studio.log"}).status, 0);
    EXPECT_EQ(readFile(dir / "studio.log"), "SPG tree.spg\n");
}

TEST(SpgFile, NoScenarioEmptyTree)
{
    TempDir dir;
    writeFile(dir / "bare.h", "extern int counter;\n");
    writeFile(dir / "bare.pts", "HEADER \"bare\", \"no scenario\", \"1.0\"\n#static int runs;\n"
                                "INITIALIZATION\n  @counter = 0;\nEND INITIALIZATION\n");
    // No scenario is an error of the analysis; the project file is still written.
    const auto result = runSpg(dir.path(), "bare", "bare");
    ASSERT_EQ(result.status, 5) << result.err;
    EXPECT_THAT(readFile(dir / "bare.spg"),
                ::testing::HasSubstr("\tSCENARIO_TREE = (\n\t);\n\n\tSCENARII_LIST = {\n\t};\n\n\tRDV_LIST = {\n\t};\n};\n"));
}

TEST(SpgFile, WrittenDespiteErrors)
{
    TempDir dir;
    copyFiles(goldenDirectory("spg"), {"tree.pts", "tree.h"}, dir.path());
    std::string script = readFile(dir / "tree.pts");
    script.replace(script.find("@counter = 2;"), 13, "CALL no_such_function()");
    writeFile(dir / "tree.pts", script);
    const auto result = runSpg(dir.path(), "tree", "tree");
    EXPECT_EQ(result.status, 5) << result.err;
    EXPECT_THAT(readFile(dir / "tree.spg"), ::testing::HasSubstr("\t  ,\"B\"\n"));
}

}  // namespace
