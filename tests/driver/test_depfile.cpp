// The dependency file that QVM_DEPFILE asks for: its prerequisites are the
// files the run really read (as the kernel saw them opened), its targets the
// files the run wrote, and a run that fails leaves none.
#include "codegen/depgen.h"
#include "codegen/test_tdc_support.h"
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using qvm::testing::readFile;
using qvm::testing::RunResult;
using qvm::testing::TempDir;
using qvm::testing::writeFile;
using ::testing::IsSupersetOf;

const std::string kShare = QVM_SHARE_DIR;

// The first rule of a make dependency file: its targets and prerequisites,
// unescaped as make reads them.
struct Rule {
    std::set<std::string> targets;
    std::set<std::string> prerequisites;
};

std::vector<std::string> makeWords(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '\\' && (next == ' ' || next == '#')) {
            word += next;
            ++i;
        } else if (c == '$' && next == '$') {
            word += '$';
            ++i;
        } else if (c == ' ' || c == '\t') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

Rule firstRule(const std::string& depfile)
{
    // The rule ends at the first newline that no backslash continues.
    const std::string joined = std::regex_replace(depfile, std::regex("\\\\\n"), " ");
    const std::string rule = joined.substr(0, joined.find('\n'));
    Rule result;
    bool beforeColon = true;
    for (const std::string& word : makeWords(rule)) {
        if (beforeColon && word.back() == ':') {
            beforeColon = false;
            if (word.size() > 1) {
                result.targets.insert(word.substr(0, word.size() - 1));
            }
        } else {
            (beforeColon ? result.targets : result.prerequisites).insert(word);
        }
    }
    return result;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The trace's lines with every call that another thread interrupted
// ("PID openat(... <unfinished ...>", later "PID <... openat resumed>...")
// joined into one line again.
std::vector<std::string> wholeCalls(const std::string& trace)
{
    static const std::regex resumed(R"re(^(\d+)\s+<\.\.\. \w+ resumed>(.*)$)re");
    const std::string unfinished = " <unfinished ...>";
    std::map<std::string, std::string> pending;  // by thread
    std::vector<std::string> calls;
    for (const std::string& line : qvm::testing::lines(trace)) {
        std::smatch m;
        if (line.ends_with(unfinished)) {
            pending[line.substr(0, line.find_first_not_of("0123456789"))] =
                line.substr(0, line.size() - unfinished.size());
        } else if (std::regex_match(line, m, resumed) && pending.contains(m[1].str())) {
            calls.push_back(pending[m[1].str()] + m[2].str());
            pending.erase(m[1].str());
        } else {
            calls.push_back(line);
        }
    }
    return calls;
}

// What the process opened for reading, successfully, that is input of the
// run: the program's own libraries, locale data, translation files and the
// outputs it compares before replacing them are left out.
std::set<std::string> filesOpenedForReading(const std::string& trace, const fs::path& dir,
                                            const std::set<std::string>& outputs)
{
    static const std::regex openat(R"re(^\d+\s+openat\(AT_FDCWD, "((?:[^"\\]|\\.)*)", ([A-Z_|]+).*\)\s+=\s+(\d+))re");
    static const std::vector<std::string> notInputs{"/etc/", "/proc/", "/sys/", "/dev/", "/usr/lib/locale/",
                                                 "/usr/share/locale/", "/usr/share/zoneinfo/",
                                                 kShare + "/lib/locale/"};
    std::set<std::string> files;
    for (const std::string& line : wholeCalls(trace)) {
        std::smatch m;
        if (!std::regex_search(line, m, openat) || m[2].str().find("O_RDONLY") == std::string::npos ||
            m[2].str().find("O_DIRECTORY") != std::string::npos) {
            continue;
        }
        const std::string path = (dir / m[1].str()).lexically_normal().string();
        const bool library = path.find(".so.") != std::string::npos || path.ends_with(".so");
        const bool systemData = std::any_of(notInputs.begin(), notInputs.end(),
                                            [&](const std::string& prefix) { return startsWith(path, prefix); });
        const bool output = std::any_of(outputs.begin(), outputs.end(), [&](const std::string& target) {
            return path == target || (startsWith(path, target + ".") && path.ends_with(".tmp"));
        });
        if (!library && !systemData && !output && fs::is_regular_file(path)) {
            files.insert(path);
        }
    }
    return files;
}

// An example run in a copy of its directory, traced by strace, with its
// dependency file written to out/NAME.d.
struct TracedRun {
    RunResult result;
    std::string depfile;  // "" when none was written
    std::string trace;
};

TracedRun runTraced(const fs::path& dir, const std::vector<std::string>& arguments,
                    const std::string& depfileName = "out/deps.d")
{
    const fs::path trace = dir / "strace.txt";
    std::vector<std::string> command{"-f", "-qq", "-e", "trace=openat", "-o", trace.string(), QVM_PREPRO_BIN};
    command.insert(command.end(), arguments.begin(), arguments.end());
    TracedRun run;
    run.result = qvm::testing::runProgram(
        "strace", command,
        {{"FENWIRDIR", kShare}, {"LANG", std::string("C")}, {"USER", std::string("tester")},
         {"QVM_DEPFILE", depfileName},
         // The leak checker of a sanitized build cannot run under a tracer.
         {"ASAN_OPTIONS", std::string("detect_leaks=0")}},
        dir);
    run.trace = readFile(trace);
    if (fs::exists(dir / depfileName)) {
        run.depfile = readFile(dir / depfileName);
    }
    return run;
}

using qvm::testing::tdc::prepareCopy;
using qvm::testing::tdc::scriptArguments;

TEST(DepFile, ExactlyTheFilesOpened)
{
    const auto examples = qvm::testing::tdc::bundledExamples();
    ASSERT_GE(examples.size(), 3u);
    for (const auto& example : examples) {
        TempDir dir;
        prepareCopy(example, dir.path());
        const TracedRun run = runTraced(dir.path(), scriptArguments(example));
        ASSERT_EQ(run.result.status, 0) << example.name << ":\n" << run.result.err;
        ASSERT_FALSE(run.depfile.empty()) << example.name;

        const Rule rule = firstRule(run.depfile);
        EXPECT_EQ(rule.prerequisites, filesOpenedForReading(run.trace, dir.path(), rule.targets)) << example.name;
        const fs::path out = dir / "out";
        EXPECT_THAT(rule.prerequisites,
                    IsSupersetOf({(dir / (example.name + ".pts")).string(), (dir / (example.name + ".h")).string(),
                                  qvm::testing::tdc::kStdDefine}))
            << example.name;
        EXPECT_THAT(rule.targets, ::testing::Contains((out / (example.name + ".tdc")).string())) << example.name;
        for (const std::string& target : rule.targets) {
            EXPECT_TRUE(fs::exists(target)) << example.name << ": " << target;
        }
    }
}

TEST(DepFile, IncludedFilesEmptyRules)
{
    TempDir dir;
    fs::create_directories(dir / "inc");
    writeFile(dir / "inc" / "types.h", "typedef int COUNT;\n");
    writeFile(dir / "inc" / "procs.pts", "PROC reset ()\n  CALL counter_reset() @ 0\nEND PROC\n");
    writeFile(dir / "api.h", "#include \"types.h\"\nextern COUNT counter;\nint counter_reset(void);\n");
    writeFile(dir / "main.pts", "HEADER \"main\", \"sample\", \"1\"\nINCLUDE \"procs.pts\"\n"
                                "SCENARIO s\n  CALL reset()\nEND SCENARIO\n");
    const TracedRun run = runTraced(dir.path(), {"main.pts", "api.h", "out", "-INCL=inc"}, "main.d");
    ASSERT_LE(run.result.status, 3) << run.result.err;

    const Rule rule = firstRule(run.depfile);
    const std::set<std::string> expected{(dir / "main.pts").string(), (dir / "api.h").string(),
                                         (dir / "inc" / "types.h").string(), (dir / "inc" / "procs.pts").string()};
    EXPECT_EQ(rule.prerequisites, expected);
    for (const std::string& prerequisite : expected) {
        EXPECT_NE(run.depfile.find("\n" + prerequisite + ":\n"), std::string::npos) << prerequisite;
    }
}

TEST(DepFile, WithSpgOnlyTheSpgFileIsTheTarget)
{
    const auto example = qvm::testing::tdc::bundledExamples().front();
    TempDir dir;
    prepareCopy(example, dir.path());
    auto arguments = scriptArguments(example);
    arguments.push_back("-SPVGEN");
    const TracedRun run = runTraced(dir.path(), arguments);
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_EQ(firstRule(run.depfile).targets, std::set<std::string>{(dir / (example.name + ".spg")).string()});
}

TEST(DepFile, AFailedRunWritesNone)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    // An error in the script: no outputs, status 5.
    writeFile(dir / "bad.pts", readFile(dir / "demo.pts") + "SCENARIO\n");
    const auto failed = qvm::testing::runPrepro({"bad.pts", "demo.h", "out"}, {{"QVM_DEPFILE", std::string("bad.d")}},
                                                dir.path());
    EXPECT_EQ(failed.status, 5) << failed.err;
    EXPECT_FALSE(fs::exists(dir / "bad.d"));
    // A missing interface file: fatal, status 7.
    const auto fatal = qvm::testing::runPrepro({"demo.pts", "missing.h", "out"},
                                               {{"QVM_DEPFILE", std::string("fatal.d")}}, dir.path());
    EXPECT_EQ(fatal.status, 7) << fatal.err;
    EXPECT_FALSE(fs::exists(dir / "fatal.d"));
    // The same run that succeeds does write it.
    const auto good = qvm::testing::runPrepro({"demo.pts", "demo.h", "out"}, {{"QVM_DEPFILE", std::string("good.d")}},
                                              dir.path());
    EXPECT_LE(good.status, 3) << good.err;
    EXPECT_TRUE(fs::exists(dir / "good.d"));
}

TEST(DepFile, BlanksHashesDollarsEscaped)
{
    TempDir dir;
    const fs::path odd = dir / "my tests #1 $HOME";
    fs::create_directories(odd);
    qvm::testing::writeSampleRun(odd);
    fs::create_directories(odd / "out dir");
    const auto result = qvm::testing::runPrepro({"demo.pts", "demo.h", "out dir/run"},
                                                {{"QVM_DEPFILE", std::string("run.d")}}, odd);
    ASSERT_LE(result.status, 3) << result.err;
    const std::string depfile = readFile(odd / "run.d");
    EXPECT_NE(depfile.find("my\\ tests\\ \\#1\\ $$HOME/demo.pts"), std::string::npos) << depfile;
    const Rule rule = firstRule(depfile);
    EXPECT_THAT(rule.prerequisites, ::testing::Contains((odd / "demo.pts").string()));
    EXPECT_THAT(rule.targets, ::testing::Contains((odd / "out dir" / "run.tdc").string()));
}

TEST(DepFile, BackslashBeforeBlankDoubled)
{
    EXPECT_EQ(qvm::codegen::makeEscaped("a\\ b"), "a\\\\\\ b");
    EXPECT_EQ(qvm::codegen::makeEscaped("a\\b"), "a\\b");
    EXPECT_EQ(qvm::codegen::makeEscaped("tab\there"), "tab\\\there");
}

}  // namespace
