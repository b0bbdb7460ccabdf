// Names that mean something to C (quotes, line ends, comment closers,
// trigraphs, backslashes, bytes beyond ASCII) as the output root, the
// script, an included script and an interface file: the program qvmprepro
// writes compiles with gcc and clang without a warning, does what the script
// says and nothing more, and writes its trace to the file the root names.
// A name that no "#include" line or C identifier can carry is refused.
#include "support/process.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace qvm::testing::run_prelude;

const std::string kInterface = "#ifndef HOSTILE_API_H\n#define HOSTILE_API_H\nint counter;\n#endif\n";

struct Names {
    std::string root = "run";
    std::string script = "test.pts";
    std::string included = "inc.pts";
    std::string interface = "api.h";
};

// The text of a script STRING naming path: '"' and '\' escaped.
std::string scriptString(const std::string& path)
{
    std::string text = "\"";
    for (const char c : path) {
        if (c == '"' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return text + "\"";
}

void writeInto(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    writeFile(path, text);
}

// The sources of a run in dir, and the directory of its outputs: the script
// prints rounds + extra, extra being declared by the included script.
void writeSources(const fs::path& dir, const Names& names)
{
    fs::create_directories((dir / names.root).parent_path());
    writeInto(dir / names.interface, kInterface);
    writeInto(dir / names.included, "#int extra = 4;\n");
    writeInto(dir / names.script, "HEADER \"hostile\", \"1\", \"x\"\n"
                                  "#int rounds = 3;\n"
                                  "INCLUDE " + scriptString(names.included) + "\n"
                                  "SCENARIO main\n"
                                  "  PRINT rounds, rounds + extra\n"
                                  "END SCENARIO\n");
}

RunResult compile(const std::string& compiler, const fs::path& dir, const fs::path& source, const fs::path& executable)
{
    std::vector<std::string> arguments{"-std=gnu99", "-Wall", "-Wextra", "-Werror", "-I" QVM_RUNTIME_INCLUDE_DIR,
                                       "-I" + dir.string(), source.string(), "-o", executable.string()};
    for (const std::string& link : qvm::testing::runtimeLinkArguments()) {
        arguments.push_back(link);
    }
    return runProgram(compiler, arguments);
}

TEST(HostileNames, CompilesRunsTracesToRoot)
{
    const std::vector<std::pair<const char*, Names>> rows = {
        {"root closing its string", {.root = R"(a"; puts("INJECTED"); char *z = ")"}},
        {"root with a line end", {.root = "new\nline"}},
        {"root closing the banner comment, with trigraphs", {.root = "d*/t?\?=x?\?/y"}},
        {"root with a backslash and bytes beyond ASCII", {.root = "b\\s\xc3\xa9\xff"}},
        {"script", {.script = "s\"c*/r?\?=i\\pt\n.pts"}},
        {"included script", {.included = "i\"n*/c?\?/x\\0.pts"}},
        {"interface", {.interface = "f'*/\\ $%.h"}},
    };
    for (const auto& [why, names] : rows) {
        SCOPED_TRACE(why);
        TempDir dir;
        writeSources(dir.path(), names);
        const RunResult generated =
            runPrepro({names.script, names.interface, names.root, "-SCRIPTLINES", "-NOLOG"}, {}, dir.path());
        ASSERT_EQ(generated.status, 0) << readFile(dir / (names.script.substr(0, names.script.size() - 4) + ".lis"));
        const fs::path trace = dir / (names.root + ".rio");
        for (const std::string compiler : {"gcc", "clang"}) {
            SCOPED_TRACE(compiler);
            const fs::path executable = dir / ("prog_" + compiler);
            const RunResult built = compile(compiler, dir.path(), dir / (names.root + ".c"), executable);
            ASSERT_EQ(built.status, 0) << built.err;
            EXPECT_THAT(built.err, IsEmpty());
            fs::remove(trace);
            const RunResult run = runProgram(executable.string(), {}, {{"QVM_RUN_QUIET", "1"}}, dir.path());
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_THAT(run.out + run.err, Not(HasSubstr("INJECTED")));
            ASSERT_TRUE(fs::exists(trace));
            EXPECT_THAT(readFile(trace), HasSubstr("rounds + extra = 7 (0x7)"));
        }
    }
}

TEST(HostileNames, UncarriableNamesRefused)
{
    struct Refused {
        const char* why;
        Names names;
        std::vector<std::string> options;
        std::string message;
    };
    const std::vector<Refused> rows = {
        {"interface with a double quote", {.interface = "q\"uote.h"}, {}, "Fenwir-F-BADINCNAM,  Interface file q\"uote.h"},
        {"interface with a trigraph", {.interface = "tri?\?=.h"}, {}, "Fenwir-F-BADINCNAM,  Interface file tri?\?=.h"},
        {"thread routine named after a root that is no identifier", {.root = "r-x"}, {"-THREAD"},
         "Fenwir-F-BADTHRNAM,  Incorrect -THREAD option : the routine name r-x_start is not a C identifier"},
    };
    for (const Refused& row : rows) {
        SCOPED_TRACE(row.why);
        TempDir dir;
        writeSources(dir.path(), row.names);
        std::vector<std::string> arguments{row.names.script, row.names.interface, row.names.root};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        const RunResult refused = runPrepro(arguments, {}, dir.path());
        EXPECT_EQ(refused.status, 7);
        EXPECT_THAT(refused.err, HasSubstr(row.message));
        EXPECT_FALSE(fs::exists(dir / (row.names.root + ".c")));
    }
}

}  // namespace
