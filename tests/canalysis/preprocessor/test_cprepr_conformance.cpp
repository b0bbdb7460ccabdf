// Rules of this preprocessor where it differs from the conformance cases that
// the cpp_conformance check leaves out (see tests/canalysis/extra.cmake).
#include "cpp_harness.h"

namespace qvm::testing {
namespace {

using CppConform = CppHarness;

// Case pp-counter: __COUNTER__ is not a predefined name here; it stays as written.
TEST_F(CppConform, CounterIsNotPredefined)
{
    const auto result = cpp("#define CAT(a,b) a##b\n#define X(n) CAT(x,n)\nX(__COUNTER__) __COUNTER__\n");
    EXPECT_EQ(tokens(result.out), tokens("x__COUNTER__ __COUNTER__"));
    EXPECT_EQ(result.status, 0) << result.err;
}

// Case 16: a redefinition is reported on the standard error stream in the
// program's own format; the output holds no warning text.
TEST_F(CppConform, RedefinitionWarningReported)
{
    const auto result = cpp("/* The following should warn */\n#define A ...\n#define A <<=\n");
    EXPECT_TRUE(tokens(result.out).empty()) << result.out;
    EXPECT_EQ(result.err, "Fenwir-W-IDENREDEF,  [t.c:3] Identifier A redefined\n");
    EXPECT_EQ(result.status, 3);
}

// Case 13: lines of assembler comments starting with '#' are ordinary text
// (kept, with their apostrophes reported as unterminated constants).
TEST_F(CppConform, AssemblerCommentsAreText)
{
    const auto result = cpp("# `modelist' label.\n#ifdef AAA\n# skipped'\n#endif\n.text\n");
    EXPECT_EQ(body(result.out), "# `modelist' label.\n.text");
    EXPECT_EQ(count(result.err, "UNTERSTRI"), 1);
}

}  // namespace
}  // namespace qvm::testing
