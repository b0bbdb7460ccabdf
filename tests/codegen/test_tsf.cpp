// The tracer structure file, written by qvmprepro next to the generated
// program (root name with "_dyn", extension tsf).
//
// Expected files under tests/data/codegen/tsf/:
// - one/one_dyn.tsf and two/two_dyn.tsf were written by hand from the
//   description of the file before the program was run on their scripts,
//   including their "LK" links, counted by hand as the TDC records of the
//   same run;
// - examples/<name>_dyn.tsf were generated, then reviewed line by line.
// The section keys depend on the directory, the process and the date: the
// "ID" line of each section is compared as "ID <hash> <key>" and checked on
// its own.
#include "codegen_support.h"

#include <map>

namespace {

using namespace qvm::testing::codegen;
using qvm::testing::lines;
using qvm::testing::RunResult;
using ::testing::HasSubstr;

const fs::path kDataDir = goldenDirectory("tsf");

// A run of qvmprepro in dir on SCRIPT.pts with its interface SCRIPT.h,
// writing below out/ (where the _Init functions of a TRIGGER script are
// already filled in).
RunResult runOn(const fs::path& dir, const std::string& script, const std::vector<std::string>& options = {})
{
    fs::create_directories(dir / "out");
    writeFile(dir / "out" / "fctri_c.c", "/* the _Init functions of the telegrams */\n");
    std::vector<std::string> arguments{script + ".pts", script + ".h", "out/" + script};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return runIn(dir, arguments);
}

// The file with the key of each section masked.
std::string masked(const std::string& text)
{
    static const std::regex key(R"(^ID -?\d+ -?\d+$)");
    std::string result;
    bool header = true;
    for (const std::string& line : lines(text)) {
        result += !header && std::regex_match(line, key) ? "ID <hash> <key>" : line;
        result += "\n";
        header = header && line != "ED";
    }
    return result;
}

// The "ID" line of each section, in order: hash key and run key.
std::vector<std::pair<long long, long long>> sectionKeys(const std::string& text)
{
    static const std::regex key(R"(^ID (-?\d+) (-?\d+)$)");
    std::vector<std::pair<long long, long long>> keys;
    bool header = true;
    for (const std::string& line : lines(text)) {
        std::smatch m;
        if (!header && std::regex_match(line, m, key)) {
            keys.emplace_back(std::stoll(m[1]), std::stoll(m[2]));
        }
        header = header && line != "ED";
    }
    return keys;
}

// An example run in a copy of its directory, with the host's definitions.
struct ExampleRun {
    TempDir dir;
    RunResult result;
    std::string tracer;  // "" when not written
    std::string tdc;     // "" when not written
};

void runExample(const Example& example, ExampleRun& run)
{
    copyDirectory(example.directory, run.dir.path());
    run.result = runOn(run.dir.path(), example.name, {stdDefineOption()});
    const fs::path out = run.dir / "out";
    if (fs::exists(out / (example.name + "_dyn.tsf"))) {
        run.tracer = readFile(out / (example.name + "_dyn.tsf"));
    }
    if (fs::exists(out / (example.name + ".tdc"))) {
        run.tdc = readFile(out / (example.name + ".tdc"));
    }
}

TEST(TracerFile, HandCheckedScripts)
{
    for (const std::string name : {"one", "two"}) {
        TempDir dir;
        copyDirectory(kDataDir / name, dir.path());
        fs::remove(dir / (name + "_dyn.tsf"));
        const RunResult result = runOn(dir.path(), name);
        ASSERT_EQ(result.status, 0) << name << "\n" << result.err;
        EXPECT_EQ(masked(readFile(dir / "out" / (name + "_dyn.tsf"))),
                  masked(readFile(kDataDir / name / (name + "_dyn.tsf"))))
            << name;
    }
}

TEST(TracerFile, ExamplesGiveTheirFiles)
{
    for (const Example& example : bundledExamples()) {
        ExampleRun run;
        runExample(example, run);
        ASSERT_EQ(run.result.status, 0) << example.name << "\n" << run.result.err;
        EXPECT_EQ(masked(run.tracer), masked(readFile(kDataDir / "examples" / (example.name + "_dyn.tsf"))))
            << example.name;
    }
}

// Every named scenario is listed, generated or not; one left out has no TDC
// record to link to, and under -FAST its body is not analysed.
TEST(TracerFile, LeftOutScenariosListed)
{
    TempDir dir;
    copyDirectory(kDataDir / "two", dir.path());
    ASSERT_EQ(runOn(dir.path(), "two", {"-SCN=first"}).status, 0);
    const std::string tracer = readFile(dir / "out" / "two_dyn.tsf");
    EXPECT_THAT(tracer, HasSubstr("TX 5 \"first\"\n"));
    EXPECT_THAT(tracer, HasSubstr("ST 390\nLK 0\nTX 3 \"second\"\nST 393\nLK 0\nTX 4 \"second\"\nED\n"));
}

// Each element's link names the TDC record of its construct in the same run.
TEST(TracerFile, LinksNameTheirRecords)
{
    static const std::map<int, std::vector<std::string>> keysByState{
        {310, {"N"}},  {380, {"W"}},         {383, {"SD", "ID", "IC"}}, {390, {"S"}}, {393, {"S"}},
        {400, {"Z"}},  {410, {"Z"}},         {420, {"Z"}},              {433, {"W"}}};
    static const std::regex record(R"(^([A-Z]+)(\d+) )");
    for (const Example& example : bundledExamples()) {
        ExampleRun run;
        runExample(example, run);
        ASSERT_FALSE(run.tdc.empty()) << example.name << "\n" << run.result.err;
        std::map<int, std::string> recordKeys;
        for (const std::string& line : lines(run.tdc)) {
            std::smatch m;
            if (std::regex_search(line, m, record)) {
                recordKeys[std::stoi(m[2])] = m[1];
            }
        }
        const std::vector<std::string> tracer = lines(run.tracer);
        for (std::size_t i = 0; i + 1 < tracer.size(); ++i) {
            if (tracer[i].rfind("ST ", 0) != 0) {
                continue;
            }
            const int state = std::stoi(tracer[i].substr(3));
            const int link = std::stoi(tracer[i + 1].substr(3));
            EXPECT_THAT(keysByState.at(state), ::testing::Contains(recordKeys[link]))
                << example.name << ": element at line " << i + 1 << " links to record " << link;
        }
    }
}

// The generated program announces each source file to the tracer with the
// key of its section.
TEST(TracerFile, ProgramNotifiesSectionKeys)
{
    TempDir dir;
    copyDirectory(kDataDir / "two", dir.path());
    ASSERT_EQ(runOn(dir.path(), "two").status, 0);
    if (!fs::exists(dir / "out" / "two.c")) {
        GTEST_SKIP() << "no program written yet";
    }
    static const std::regex notice(R"(notify_tsf \(.*, (\d+), (-?\d+), (-?\d+)\);)");
    std::vector<std::pair<long long, long long>> notified;
    for (const std::string& line : lines(readFile(dir / "out" / "two.c"))) {
        std::smatch m;
        if (std::regex_search(line, m, notice)) {
            EXPECT_EQ(std::stoi(m[1]), static_cast<int>(notified.size()) + 1) << line;
            notified.emplace_back(std::stoll(m[2]), std::stoll(m[3]));
        }
    }
    EXPECT_EQ(notified, sectionKeys(readFile(dir / "out" / "two_dyn.tsf")));
}

TEST(TracerFile, SourcePathsEscaped)
{
    TempDir dir;
    const fs::path odd = dir / "we\"ird\\dir";
    fs::create_directories(odd);
    fs::create_directories(dir / "out");
    writeFile(dir / "t.h", "int v;\n");
    writeFile(odd / "t.pts", "HEADER \"t\", \"t\", \"1\"\n#int w;\nSCENARIO s\n  RENDEZVOUS r\nEND SCENARIO\n");
    const RunResult result =
        runIn(dir.path(), {"we\"ird\\dir/t.pts", "t.h", "out/t"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string tracer = readFile(dir / "out" / "t_dyn.tsf");
    EXPECT_THAT(tracer, HasSubstr("SO \"we\\\"ird\\\\dir\\\\t.pts\" 0000 \"txt\"\n"));
    EXPECT_THAT(tracer, HasSubstr("IN \"File\" 1 \"t.pts\"\n"));
}

// File names are written in UTF-8; a Latin-1 byte that the local encoding
// does not read is taken as Latin-1.
TEST(TracerFile, FileNamesAreWrittenInUtf8)
{
    TempDir dir;
    writeFile(dir / "t.h", "int v;\n");
    writeFile(dir / "caf\xe9.pts", "HEADER \"t\", \"t\", \"1\"\n#int w;\nSCENARIO s\n  RENDEZVOUS r\nEND SCENARIO\n");
    fs::create_directories(dir / "out");
    const RunResult result = runIn(dir.path(), {"caf\xe9.pts", "t.h", "out/t"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(readFile(dir / "out" / "t_dyn.tsf"),
                HasSubstr("SO \"caf\xc3\xa9.pts\" 0000 \"txt\"\nIN \"File\" 1 \"caf\xc3\xa9.pts\"\n"));
}

}  // namespace
