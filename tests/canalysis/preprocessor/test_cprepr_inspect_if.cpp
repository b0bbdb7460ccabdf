// `qvminspect if` with macro expansion and `defined` handling.
#include "cpp_harness.h"

namespace qvm::testing {
namespace {

using ::testing::Contains;
using ::testing::Field;
using InspectIfMacros = CppHarness;

TEST_F(InspectIfMacros, MacrosFromDefinitionsAndTheStandardFileAreExpanded)
{
    files({{"std.def", "#define WIDTH 16\n#define TWICE(x) ((x) * 2)\n"}});
    const auto run = runInspect({"if", "TWICE(WIDTH) + N + defined(WIDTH) + defined N + #machine(N) + TRV_WIN32",
                                 "-DEFINE=N=3", "-STD_DEFINE=std.def"},
                                {}, dir_.path());
    EXPECT_EQ(run.out, "39\n");
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(InspectIfMacros, DefinedWithoutANameWarns)
{
    const auto run = runInspect({"if", "defined + 2"}, {}, dir_.path());
    EXPECT_EQ(run.out, "2\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_THAT(allMessagesOf(run.err), Contains(Field("code", &PlainMessage::code, "ERDEFINED"))) << run.err;
}

TEST_F(InspectIfMacros, LintAndUndefinedNamesAreZero)
{
    const auto run = runInspect({"if", "#lint(on) || UNDEFINED || __STDC__"}, {}, dir_.path());
    EXPECT_EQ(run.out, "0\n");
}

}  // namespace
}  // namespace qvm::testing
