// What a C compiler would refuse or warn about is refused by qvmprepro
// (status 5, no program), and what it accepts next to it compiles with gcc
// and clang without a warning and runs: C syntax errors in the interface,
// expected and initial values of arguments that their type cannot hold,
// arrays nested deeper than the loop counters; and the TDC file of a
// script whose path holds a line break still reads back.
#include "codegen/codegen_support.h"
#include "codegen/test_program_run_support.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::program::ProgRun;

std::string compilerIncludes()
{
    static const std::string includes = [] {
        const RunResult asked = runProgram("gcc", {"-print-file-name=include"});
        return qvm::testing::lines(asked.out).empty() ? std::string() : qvm::testing::lines(asked.out)[0];
    }();
    return includes;
}

std::string repeated(const std::string& part, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

class Uncompilable : public ProgRun {
protected:
    // qvmprepro on the script and s.h into out/s.c, with the host's profile.
    RunResult preprocess(const std::string& scriptPath, const std::string& script, const std::string& header,
                         const std::vector<std::string>& options = {})
    {
        fs::create_directories((dir / scriptPath).parent_path());
        writeFile(dir / scriptPath, script);
        writeFile(dir / "s.h", header);
        fs::create_directories(dir / "out");
        fs::remove(dir / "out" / "s.c");
        std::vector<std::string> arguments{scriptPath, "s.h", "out/s", qvm::testing::codegen::stdDefineOption(),
                                           "-INCL=" + compilerIncludes()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return qvm::testing::codegen::runIn(dir.path(), arguments);
    }

    // out/s.c built with sut.c by each compiler, no warning allowed, and
    // run in out/; the trace of the last run is kept.
    void buildAndRun(const std::string& sut)
    {
        writeFile(dir / "sut.c", sut);
        for (const std::string& compiler : kCompilers) {
            const auto built = compile(compiler, {(dir / "sut.c").string()}, dir / "out" / "s.c");
            ASSERT_EQ(built.compile.status, 0) << compiler << "\n" << built.compile.err;
            EXPECT_THAT(built.compile.err, IsEmpty()) << compiler;
            fs::remove(dir / "out" / "s.rio");
            const RunResult ran = runProgram(built.executable, {"-RIO=s"}, {{"QVM_RUN_QUIET", "1"}}, dir / "out");
            trace = fs::exists(dir / "out" / "s.rio") ? readFile(dir / "out" / "s.rio") : std::string();
            EXPECT_EQ(ran.status, 0) << compiler << "\n" << trace;
        }
    }
};

const char* const kHeader = R"(#ifndef S_H
#define S_H
extern int before;
int f(unsigned char x);
int g(unsigned char *p);
extern int deep20)" "[1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1]" R"(;
extern int deep21)" "[1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1]" R"(;
)";

const char* const kSut = R"(#include "s.h"
int before;
int deep20)" "[1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1]" R"(;
int deep21)" "[1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1]" R"(;
int f(unsigned char x) { return x; }
int g(unsigned char *p) { *p = 7; return 0; }
)";

std::string script(const std::string& native, const std::string& instructions)
{
    return "HEADER \"r\", \"r\", \"1\"\n#unsigned char v;\n" + native + "SCENARIO s\n" + instructions +
           "END SCENARIO\n";
}

// Each row: what the script or the interface adds, and the codes reported
// (none: accepted, and the program builds and runs, every check passing).
TEST_F(Uncompilable, RefusedGivesNoProgram)
{
    const struct {
        const char* what;
        std::string headerTail;
        std::string native;
        std::string instructions;
        std::vector<std::string> options;
        std::vector<std::string> codes;
    } rows[] = {
        {"syntax error in the interface", "extern int a b;\n", "", "  VAR before, EV=0\n", {},
         {"SYNTAXERR", "CDECLSYNT"}},
        {"syntax error in a native line", "", "#int a b;\n", "  VAR before, EV=0\n", {}, {"SYNTAXERR", "CDECLSYNT"}},
        // Under K&R the words of today's C are names: what the grammar
        // cannot read there a compiler reads.
        {"today's words under K&R", "extern _Bool flag;\n", "", "  VAR before, EV=0\n", {"-RESTRICTION=KR"},
         {"SYNTAXERR"}},
        {"expected value of an argument", "", "", "  CALL f(v @ 300)\n", {}, {"ENTOUTRAN", "VARNOGOOD"}},
        {"expected value of a constant argument", "", "", "  CALL f(3 @ 256)\n", {}, {"ENTOUTRAN", "VARNOGOOD"}},
        {"expected value of a reference", "", "", "  CALL g(REF(v @ 300))\n", {}, {"ENTOUTRAN", "VARNOGOOD"}},
        {"range bound of an argument", "", "", "  CALL f(v @ [0..256])\n", {}, {"ENTOUTRAN", "VARNOGOOD"}},
        {"initial value of an argument", "", "", "  CALL g(REF(300 @ 7 @ v))\n", {}, {"ENTOUTRAN", "VARNOGOOD"}},
        {"values that fit", "", "",
         "  CALL f(v @ 0)\n  CALL g(REF(v @ 7))\n  CALL g(REF(255 @ 7 @ v))\n  CALL f(v @ [0..255])\n", {}, {}},
        {"arrays nested 21 deep", "", "", "  VAR deep21, EV=" + repeated("{", 21) + "0" + repeated("}", 21) + "\n",
         {}, {"INDXDEPTH", "VARNOGOOD"}},
        {"arrays nested 20 deep", "", "", "  VAR deep20, EV=" + repeated("{", 20) + "0" + repeated("}", 20) + "\n",
         {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const RunResult prepro = preprocess("s.pts", script(row.native, row.instructions),
                                            std::string(kHeader) + row.headerTail + "#endif\n", row.options);
        EXPECT_THAT(qvm::testing::codegen::reportedCodes(prepro), ElementsAreArray(row.codes)) << prepro.err;
        const bool refused = !row.codes.empty() && row.codes.back() != "SYNTAXERR";
        EXPECT_EQ(prepro.status, refused ? 5 : row.codes.empty() ? 0 : 3);
        EXPECT_EQ(fs::exists(dir / "out" / "s.c"), !refused);
        if (!refused) {
            buildAndRun(kSut);
            EXPECT_THAT(trace, HasSubstr("PASS")) << trace;
            EXPECT_THAT(trace, Not(HasSubstr("FAIL"))) << trace;
        }
    }
}

// A line break in the script's directory is no line break in the TDC file:
// the program reads it back and its trace names the script's lines.
TEST_F(Uncompilable, PathWithLineBreakInTdc)
{
    const RunResult prepro =
        preprocess("odd\ndir/s.pts", script("", "  CALL f(v @ 0)\n  VAR before, EV=0\n"), std::string(kHeader) + "#endif\n");
    ASSERT_EQ(prepro.status, 0) << prepro.err;
    for (const std::string& line : qvm::testing::lines(readFile(dir / "out" / "s.tdc"))) {
        EXPECT_TRUE(line.rfind("TARVO Ostrel ", 0) == 0 || (!line.empty() && std::isupper(static_cast<unsigned char>(line[0])) != 0 &&
                                                          line.find_first_of("0123456789") < 3))
            << line;
    }
    buildAndRun(kSut);
    EXPECT_THAT(trace, HasSubstr("s.pts:4 \"f\"")) << trace;
    EXPECT_THAT(trace, HasSubstr("s.pts:5 \"before\"")) << trace;
}

}  // namespace
