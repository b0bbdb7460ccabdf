// Headers written in today's C and with common compiler extensions, seen
// through qvminspect: the words are declared, K&R code keeps them as plain
// names, unnamed members are reached, adjacent strings are joined, and the
// size pragmas decide the type of sizeof.
#include "support/messages.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <string>

namespace qvm::testing {
namespace {

const char* const kModernHeader =
    "typedef _Bool flag_t;\n"
    "extern char *copy(char *restrict to, const char *__restrict from);\n"
    "static inline int twice(int x) { return 2 * x; }\n"
    "_Static_assert(sizeof(int) == 4, \"int\");\n"
    "struct aligned { _Alignas(16) char bytes[_Alignof(long)]; _Static_assert(1, \"in a body\"); };\n"
    "_Atomic int counter;\n"
    "_Atomic(long) total;\n"
    "_Atomic(struct pair { int a; } *) pairs;\n"
    "_Atomic(int (*)(void)) handler;\n"
    "_Noreturn void stop(void);\n"
    "_Thread_local int local;\n"
    "__extension__ typedef unsigned __int128 u128;\n"
    "double _Complex z;\n"
    "long double _Complex lz;\n"
    "__builtin_va_list args;\n";

TEST(CModern, TodaysCWordsAreDeclared)
{
    TempDir dir;
    writeFile(dir / "modern.h", kModernHeader);
    const RunResult run = runInspect({"decls", "modern.h"}, {}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "struct aligned {\n\tchar bytes[_Alignof(long)];\n}\n"
              "struct pair {\n\tint a;\n}\n"
              "typedef _Bool flag_t;\n"
              "extern char *copy(char *to, const char *from);\n"
              "static inline int twice(int x);\n"
              "int counter;\n"
              "long total;\n"
              "struct pair *pairs;\n"
              "int (*handler)(void);\n"
              "void stop(void);\n"
              "int local;\n"
              "typedef unsigned __int128 u128;\n"
              "double _Complex z;\n"
              "long double _Complex lz;\n"
              "__builtin_va_list args;\n");

    const RunResult flag = runInspect({"type", "modern.h", "(flag_t)1"}, {}, dir.path());
    EXPECT_EQ(flag.out, "flag_t\t2\n") << flag.err;
}

// A type name names a member, a parameter or a declared name again where
// it follows a declarator's '*'; a typedef repeated as it was is no
// redefinition. Elsewhere it stays a type.
TEST(CModern, TypedefNameAfterStarDeclared)
{
    TempDir dir;
    writeFile(dir / "names.h",
              "typedef int T;\n"
              "struct S { int (*T)(void); int *const T2; };\n"
              "typedef int (*fp)(int);\n"
              "typedef int (*fp)(int);\n"
              "void takes(int (*T)(int), long count);\n"
              "T * volatile T3;\n"
              "T after;\n");
    const RunResult run = runInspect({"decls", "names.h"}, {}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "struct S {\n\tint (*T)(void);\n\tint *const T2;\n}\n"
              "typedef int T;\n"
              "typedef int (*fp)(int);\n"
              "void takes(int (*T)(int), long count);\n"
              "T *volatile T3;\n"
              "T after;\n");
}

TEST(CModern, OldHeadersDefineBuiltins)
{
    TempDir dir;
    writeFile(dir / "own.h",
              "typedef float _Float32;\n_Float32 x;\n"
              "typedef __float128 _Float128;\n_Complex _Float128 c;\n"
              "typedef char *__builtin_va_list;\n__builtin_va_list ap;\n"
              "_Float64 y;\n");
    const RunResult run = runInspect({"decls", "own.h"}, {}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "typedef float _Float32;\n_Float32 x;\ntypedef __float128 _Float128;\n_Complex _Float128 c;\n"
              "typedef char *__builtin_va_list;\n__builtin_va_list ap;\n_Float64 y;\n");
    const RunResult pointer = runInspect({"type", "own.h", "ap"}, {}, dir.path());
    EXPECT_EQ(pointer.out, "__builtin_va_list\t6\n") << pointer.err;
}

TEST(CModern, MisusedWordsAreErrors)
{
    TempDir dir;
    writeFile(dir / "bad.h",
              "unsigned _Bool a;\nshort __int128 b;\n_Complex int c;\n_Float64 double d;\n_Atomic(int e;\nint f;\n");
    const RunResult run = runInspect({"decls", "bad.h"}, {}, dir.path());
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err,
              "Fenwir-W-CONSTRUCT,  [bad.h:1] Incompatible type combination unsigned _Bool\n"
              "Fenwir-W-CONSTRUCT,  [bad.h:2] Incompatible type combination short __int128\n"
              "Fenwir-W-CONSTRUCT,  [bad.h:3] Incompatible type combination _Complex int\n"
              "Fenwir-W-CONSTRUCT,  [bad.h:4] Incompatible type combination _Float64 double\n"
              "Fenwir-W-SYNTAXERR,  [bad.h:5] Syntax error _Atomic(int e\n");
    EXPECT_NE(run.out.find("int f;\n"), std::string::npos) << run.out;
}

TEST(CModern, KAndRTakesNewWordsAsNames)
{
    TempDir dir;
    writeFile(dir / "old.h", "int restrict, _Bool, __int128;\nchar *__extension__;\n");
    const RunResult old = runInspect({"decls", "old.h", "-RESTRICTION=KR"}, {}, dir.path());
    EXPECT_EQ(old.status, 0) << old.err;
    EXPECT_EQ(old.out, "int restrict;\nint _Bool;\nint __int128;\nchar *__extension__;\n");

    const RunResult modern = runInspect({"decls", "old.h"}, {}, dir.path());
    EXPECT_EQ(modern.status, 3);

    writeFile(dir / "modern.h", kModernHeader);
    const RunResult refused = runInspect({"decls", "modern.h", "-RESTRICTION=KR"}, {}, dir.path());
    EXPECT_EQ(refused.status, 3);
    EXPECT_THAT(messagesOf(refused.err),
                ::testing::Contains(IsMessage({"W", "SYNTAXERR", "modern.h", 1},
                                              "Syntax error typedef _Bool flag_t")))
        << refused.err;
}

TEST(CModern, UnnamedMembersDotAndArrow)
{
    TempDir dir;
    writeFile(dir / "anon.h",
              "struct outer {\n"
              "  int a;\n"
              "  union { int b; struct { char c; }; };\n"
              "  struct { long d; } named;\n"
              "};\n"
              "struct outer o, *p;\n");
    const auto typeOf = [&](const std::string& expression) {
        const RunResult run = runInspect({"type", "anon.h", expression}, {}, dir.path());
        return run.out + run.err;
    };
    EXPECT_EQ(typeOf("o.a"), "int\t2\n");
    EXPECT_EQ(typeOf("o.b"), "int\t2\n");
    EXPECT_EQ(typeOf("o.c"), "char\t1\n");
    EXPECT_EQ(typeOf("p->c"), "char\t1\n");
    EXPECT_EQ(typeOf("o.named.d"), "long\t3\n");
    // A named member's fields stay behind its name.
    EXPECT_EQ(typeOf("o.d"), "int\t2\nFenwir-W-CHAMPINCO,  [1] Unknown field d\n");
}

TEST(CModern, DeepUnnamedMembersEndSearch)
{
    TempDir dir;
    std::string deep = "struct s {";
    constexpr int kDepth = 1000;
    for (int i = 0; i < kDepth; ++i) {
        deep += " struct {";
    }
    deep += " int x;";
    for (int i = 0; i < kDepth; ++i) {
        deep += " };";
    }
    writeFile(dir / "deep.h", deep + " } v;\n");
    const RunResult reached = runInspect({"type", "deep.h", "v.x"}, {}, dir.path());
    EXPECT_EQ(reached.out + reached.err, "int\t2\n");
    const RunResult decls = runInspect({"decls", "deep.h"}, {}, dir.path());
    EXPECT_EQ(decls.status, 0);
    EXPECT_LT(decls.out.size(), 100U * kDepth) << "each body is shown once";

    writeFile(dir / "self.h", "struct a { struct a; int y; };\nstruct a v;\n");
    const RunResult found = runInspect({"type", "self.h", "v.y"}, {}, dir.path());
    EXPECT_EQ(found.out, "int\t2\n") << found.err;
    const RunResult missing = runInspect({"type", "self.h", "v.z"}, {}, dir.path());
    EXPECT_EQ(missing.err, "Fenwir-W-CHAMPINCO,  [1] Unknown field z\n");
}

TEST(CModern, AdjacentLiteralsJoin)
{
    TempDir dir;
    writeFile(dir / "empty.h", "int unused;\n");
    const RunResult joined = runInspect({"type", "empty.h", "\"ab\" \"cd\" \"e\""}, {}, dir.path());
    EXPECT_EQ(joined.out, "char [6]\t7\n") << joined.err;
    const RunResult extension = runInspect({"type", "empty.h", "__extension__ \"ab\""}, {}, dir.path());
    EXPECT_EQ(extension.out, "char [3]\t7\n") << extension.err;
}

TEST(CModern, PointerSizePragmaSizeof)
{
    TempDir dir;
    writeFile(dir / "plain.h", "struct s { int a; };\n");
    const RunResult plain = runInspect({"type", "plain.h", "sizeof(struct s)"}, {}, dir.path());
    EXPECT_EQ(plain.out, "unsigned int\t2\n") << plain.err;

    writeFile(dir / "lp64.def", "#pragma tarvo sizeof long = 64\n#pragma tarvo sizeof (void *) = 64\n");
    writeFile(dir / "lp64.h",
              "struct s { int a; };\n"
              "#if sizeof(void *) == 8 && sizeof(void*) == 8 && sizeof(long) == 8 && sizeof(char) == 1\n"
              "typedef long wide_t;\n"
              "#endif\n");
    const RunResult lp64 = runInspect({"type", "lp64.h", "sizeof(struct s)", "-STD_DEFINE=lp64"}, {}, dir.path());
    EXPECT_EQ(lp64.out, "unsigned long\t3\n") << lp64.err;
    const RunResult wide = runInspect({"type", "lp64.h", "(wide_t)0", "-STD_DEFINE=lp64"}, {}, dir.path());
    EXPECT_EQ(wide.out, "wide_t\t3\n") << wide.err;
}

}  // namespace
}  // namespace qvm::testing
