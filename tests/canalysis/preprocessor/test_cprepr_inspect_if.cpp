// `qvminspect if` with macro expansion and `defined` handling.
#include "cpp_harness.h"

namespace qvm::testing {
namespace {

using ::testing::Contains;
using ::testing::Field;
using IfMacros = CppHarness;

TEST_F(IfMacros, DefinitionsAndStdFileExpand)
{
    files({{"std.def", "#define WIDTH 16\n#define TWICE(x) ((x) * 2)\n"}});
    const auto run = runInspect({"if", "TWICE(WIDTH) + N + defined(WIDTH) + defined N + #machine(N) + TRV_WIN32",
                                 "-DEFINE=N=3", "-STD_DEFINE=std.def"},
                                {}, dir_.path());
    EXPECT_EQ(run.out, "39\n");
    EXPECT_EQ(run.status, 0) << run.err;
}

// The standard-definitions file is declared as qvmprepro declares it, so its
// size pragmas hold for every subcommand that reads C, as they do in a run.
TEST_F(IfMacros, StdFileSizesEverySubcommand)
{
    const std::string host = "-STD_DEFINE=" + std::string(QVM_SHARE_DIR) + "/lib/x86_64-linux-gnu.def";
    files({{"m.h", "#if sizeof(long) == 8\nlong wide;\n#else\nlong narrow;\n#endif\n"}});
    const struct {
        std::vector<std::string> arguments;
        std::string out;
    } cases[] = {
        {{"if", "sizeof(long)", host}, "8\n"},
        {{"if", "sizeof(long)"}, "4\n"},
        {{"const", "5000000000", host}, "integer\t5000000000 0x000000012A05F200\t-64\tlong\n"},
        {{"const", "5000000000"}, "integer\t5000000000 0x000000012A05F200\t-64\tlong long\n"},
        {{"decls", "m.h", host}, "long wide;\n"},
        {{"type", "m.h", "5000000000", host}, "long\t3\n"},
    };
    for (const auto& [arguments, out] : cases) {
        const auto run = runInspect(arguments, {}, dir_.path());
        EXPECT_EQ(run.out, out) << arguments[0] << " " << arguments[1];
        EXPECT_EQ(run.status, 0) << run.err;
    }
    // cpp reads the standard file first but prints only the file asked for.
    const CppResult cpp = cppFile("m.h", {host});
    EXPECT_EQ(body(cpp.out), "long wide;") << cpp.err;
    EXPECT_EQ(cpp.status, 0) << cpp.err;
}

TEST_F(IfMacros, DefinedWithoutANameWarns)
{
    const auto run = runInspect({"if", "defined + 2"}, {}, dir_.path());
    EXPECT_EQ(run.out, "2\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_THAT(allMessagesOf(run.err), Contains(Field("code", &PlainMessage::code, "ERDEFINED"))) << run.err;
}

TEST_F(IfMacros, LintAndUndefinedNamesAreZero)
{
    const auto run = runInspect({"if", "#lint(on) || UNDEFINED || __STDC__"}, {}, dir_.path());
    EXPECT_EQ(run.out, "0\n");
}

}  // namespace
}  // namespace qvm::testing
