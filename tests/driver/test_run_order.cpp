// Runs in which both the header and the script have something to say: the
// header's lines come first, the script's follow in their own order, and a
// run that ends early says nothing past its end.
#include "support/messages.h"
#include "support/run_prelude.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::lines;

// The message codes of the list file's lines, banner and summary left out.
std::vector<std::string> listedCodes(const fs::path& list)
{
    std::vector<std::string> codes;
    for (const std::string& line : lines(readFile(list))) {
        const std::size_t start = line.find('-', line.find('-') + 1) + 1;
        const std::string code = line.substr(start, line.find(',') - start);
        if (code != "STARTEXEC" && code != "COPYRIGHT" && !code.starts_with("END")) {
            codes.push_back(line.substr(7, 1) + " " + code);
        }
    }
    return codes;
}

// A header with two warnings, on lines 3 and 5.
void writeWarningHeader(const fs::path& dir)
{
    writeFile(dir / "demo.h",
              "#define LIMIT 1\n"
              "extern int counter;\n"
              "#define LIMIT 2\n"
              "int reset_counter(int value);\n"
              "/* never closed\n");
}

// A script with a syntax error on line 3 and one on line 5; after, if any,
// is line 7.
void writeScriptWithTwoErrors(const fs::path& dir, const std::string& after = {})
{
    writeFile(dir / "demo.pts",
              "HEADER \"demo\", \"sample\", \"1\"\n"
              "SCENARIO main\n"
              "  CALL reset_counter(0\n"
              "  CALL reset_counter(1)\n"
              "  SEND )\n"
              "END SCENARIO\n" +
                  after);
}

TEST(RunOrder, HeaderLinesBeforeScripts)
{
    TempDir dir;
    writeWarningHeader(dir.path());
    writeScriptWithTwoErrors(dir.path());
    const auto result = runPrepro({"demo", "demo.h", "out", "-NOLOG"}, {}, dir.path());
    EXPECT_EQ(result.status, 5);
    const std::vector<std::string> listed = lines(readFile(dir / "demo.lis"));
    std::vector<std::string> located;
    for (const std::string& line : listed) {
        if (line.find("[") != std::string::npos) {
            located.push_back(line.substr(line.find('['), line.find(']') - line.find('[') + 1));
        }
    }
    EXPECT_THAT(located, ElementsAre("[demo.h:3]", "[demo.h:5]", "[demo.pts:3]", "[demo.pts:5]"))
        << readFile(dir / "demo.lis");
    EXPECT_THAT(listed.back(), HasSubstr("2 error(s) and 2 warning(s)"));
}

TEST(RunOrder, FatalHeaderSilencesScript)
{
    TempDir dir;
    writeFile(dir / "demo.h", "#define LIMIT 1\n#define LIMIT 2\n#include \"missing.h\"\nextern int counter;\n");
    writeScriptWithTwoErrors(dir.path());
    const auto result = runPrepro({"demo", "demo.h", "out", "-NOLOG"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    const std::vector<std::string> codes = listedCodes(dir / "demo.lis");
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), "W IDENREDEF");
    EXPECT_EQ(codes.back().front(), 'F') << readFile(dir / "demo.lis");
    EXPECT_THAT(readFile(dir / "demo.lis"), Not(HasSubstr("demo.pts")));
}

TEST(RunOrder, ScriptFatalAfterHeaderLines)
{
    TempDir dir;
    writeWarningHeader(dir.path());
    // The script itself cannot be read.
    auto missing = runPrepro({"demo", "demo.h", "out", "-NOLOG"}, {}, dir.path());
    EXPECT_EQ(missing.status, 7);
    std::vector<std::string> codes = listedCodes(dir / "demo.lis");
    ASSERT_EQ(codes.size(), 3u) << readFile(dir / "demo.lis");
    EXPECT_EQ(codes[0], "W IDENREDEF");
    EXPECT_EQ(codes[1], "W UNTERCOMM");
    EXPECT_EQ(codes[2].front(), 'F');

    // An INCLUDE it cannot read, after two syntax errors of its own.
    writeScriptWithTwoErrors(dir.path(), "INCLUDE \"missing.pts\"\n");
    missing = runPrepro({"demo", "demo.h", "out", "-NOLOG"}, {}, dir.path());
    EXPECT_EQ(missing.status, 7);
    codes = listedCodes(dir / "demo.lis");
    ASSERT_EQ(codes.size(), 5u) << readFile(dir / "demo.lis");
    EXPECT_EQ(codes[2].front(), 'E');
    EXPECT_EQ(codes[3].front(), 'E');
    EXPECT_EQ(codes[4], "F CANNOTOPN");
    EXPECT_THAT(lines(readFile(dir / "demo.lis"))[6], HasSubstr("[demo.pts:7]"));
}

TEST(RunOrder, DepFileHeaderThenScripts)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    writeFile(dir / "part.pts", "#int from_part;\n");
    std::string script = readFile(dir / "demo.pts");
    script.insert(script.find("SCENARIO"), "INCLUDE \"part.pts\"\n");
    writeFile(dir / "demo.pts", script);
    const auto result = runPrepro({"demo", "demo.h", "out", "-NOLOG"}, {{"QVM_DEPFILE", std::string("demo.d")}},
                                  dir.path());
    ASSERT_LE(result.status, 3) << readFile(dir / "demo.lis");
    const std::string depfile = readFile(dir / "demo.d");
    const std::size_t header = depfile.find("/demo.h");
    const std::size_t main = depfile.find("/demo.pts");
    const std::size_t part = depfile.find("/part.pts");
    ASSERT_NE(part, std::string::npos) << depfile;
    EXPECT_LT(header, main) << depfile;
    EXPECT_LT(main, part) << depfile;
}

}  // namespace
