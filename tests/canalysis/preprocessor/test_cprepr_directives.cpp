// Directives, conditional groups, inclusion and pragmas through `qvminspect cpp`.
#include "cpp_harness.h"

namespace qvm::testing {
namespace {

using ::testing::Contains;
using ::testing::StartsWith;
using CppDirectives = CppHarness;

TEST_F(CppDirectives, ConditionalGroups)
{
    const auto result = cpp(R"(#define ONE 1
#if ONE == 1
a
#elif 1
b
#else
c
#endif
#if 0
d
#elif ONE
e
#elif 1
f
#endif
#ifdef ONE
g
#else
h
#endif
#ifndef ONE
i
#endif
#if defined ONE && defined(ONE) && !defined ( TWO )
j
#endif
#if #machine(ONE) + #lint(on)
k
#endif
#if 0
# if 1
#  error never
# endif
#else
l
#endif
)");
    EXPECT_EQ(tokens(result.out), tokens("a e g j k l"));
    EXPECT_EQ(result.status, 0) << result.err;
}

TEST_F(CppDirectives, SkippedGroupsSkipStrings)
{
    const auto result = cpp("#if 0\n\"#endif\" /* \n#endif */ don't\n#else\nyes\n#endif\nafter\n");
    EXPECT_EQ(body(result.out), "yes\nafter");
    EXPECT_EQ(result.status, 0) << result.err;
}

TEST_F(CppDirectives, DefinedNeedsAName)
{
    const auto result = cpp("#if defined\nno\n#endif\n#if defined(X\nno\n#endif\n#if defined X || 1\nyes\n#endif\n");
    EXPECT_EQ(count(result.err, "ERDEFINED"), 2) << result.err;
    EXPECT_EQ(body(result.out), "yes");
}

TEST_F(CppDirectives, IfdefArgumentWarnings)
{
    const auto result = cpp("#ifdef\n#endif\n#ifndef +X\nn\n#endif\n#ifdef X junk\n#endif\n#ifdef 9X\n#endif\n");
    expectReports(result, {
        {"W", "NOARGUMEN", 1, StartsWith("No argument for #ifdef")},
        {"W", "ARGPUNCTU", 3, StartsWith("Argument of #ifndef starts with a punctuation character")},
        {"W", "INVALIEND", 6, StartsWith("Invalid characters at the end of #ifdef")},
    });
    EXPECT_EQ(count(result.err, "STARTDIGI"), 0);
    EXPECT_EQ(body(result.out), "n");

    const auto pedantic = cpp("#ifdef 9X\n#endif\n", {"-RESTRICTION=ANSI"});
    expectReports(pedantic, {{"W", "STARTDIGI", 1, StartsWith("Name starts with a digit in #ifdef")}});

    const auto traditional = cpp("#ifdef X junk\n#endif\n#ifdef +\n#endif\n", {"-RESTRICTION=KR"});
    EXPECT_EQ(traditional.status, 0) << traditional.err;
}

TEST_F(CppDirectives, MisplacedElseElifAndEndif)
{
    const auto result = cpp(R"(#else
#elif 1
#endif
#if 1
a
#else
#else
#elif 1
#endif
#if 0
#else
b
#elif 1
#endif
)");
    expectReports(result, {
        {"W", "NOCONDITI", 1, StartsWith("No open conditional for #else")},
        {"W", "NOCONDITI", 2, StartsWith("No open conditional for #elif")},
        {"W", "UNBAENDIF", 3, StartsWith("#endif without #if")},
        {"W", "ELIFAELSE", 7, StartsWith("Directive else or elif after #else")},
        {"W", "ELIFAELSE", 8, StartsWith("Directive else or elif after #else")},
        {"W", "ELIFAELSE", 13, StartsWith("Directive elif after #else")},
        {"I", "MATCHLINE", 13, StartsWith("Conditional group began at line 10")},
    });
    EXPECT_EQ(count(result.err, "MATCHLINE"), 3);
    EXPECT_EQ(body(result.out), "a\nb");
}

TEST_F(CppDirectives, MatchLineNamesOtherFile)
{
    // A group left open by an included file goes on in the includer.
    files({{"open.h", "#if 1\n"}});
    const auto result = cpp("#include \"open.h\"\n#else\n#else\n#endif\n#endif\n");
    expectReports(result, {
        {"W", "ELIFAELSE", 3, StartsWith("Directive else or elif after #else")},
        {"I", "MATCHLINE", 3, StartsWith("Conditional group began at line 1 file open.h")},
        {"W", "UNBAENDIF", 5, StartsWith("#endif without #if")},
    });
    EXPECT_EQ(count(result.err, "UNTERCOND"), 0);
}

TEST_F(CppDirectives, UnterminatedIfAtCycleEnd)
{
    const auto result = cpp("#ifdef A\n#else\nx\n");
    expectReports(result, {{"W", "UNTERCOND", 1, StartsWith("Unterminated conditional #else")}});
    EXPECT_EQ(body(result.out), "x");
}

TEST_F(CppDirectives, IfGoesThroughEvaluator)
{
    const auto result = cpp("#define N 0x10\n#if N == 16 && 010 == 8 && 'a' == 97\na\n#endif\n#if 1.0\nb\n#endif\n"
                            "#if -1 > 0u\nc\n#endif\n");
    EXPECT_EQ(body(result.out), "a\nc");
    EXPECT_THAT(messagesOf(result.err), Contains(Message{"W", "EXPERRONE", "t.c", 5})) << result.err;
}

TEST_F(CppDirectives, IncludeSearchOrder)
{
    files({{"x.h", "cwd\n"},
           {"list/x.h", "list\n"},
           {"list/y.h", "list_y\n"},
           {"sub/y.h", "sub_y\n"},
           {"sub/z.h", "sub_z\n"},
           {"sub/main.h", "#include <x.h>\n#include \"y.h\"\n#include \"z.h\"\n"}});
    const auto result = cpp("#include \"sub/main.h\"\n", {"-INCL=list"});
    EXPECT_EQ(body(result.out), "cwd\nlist_y\nsub_z");
    EXPECT_NE(result.out.find("#line 1 \"list/y.h\"\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("#line 1 \"sub/z.h\"\n"), std::string::npos) << result.out;
}

TEST_F(CppDirectives, IncludeNextContinues)
{
    files({{"a/n.h", "a_before\n#include_next <n.h>\na_after\n"}, {"b/n.h", "b\n"}});
    const auto result = cpp("#include <n.h>\n", {"-INCL=a,b"});
    EXPECT_EQ(body(result.out), "a_before\nb\na_after");
}

TEST_F(CppDirectives, IncludeOfAMacroName)
{
    files({{"m.h", "m\n"}});
    const auto result = cpp("#define H \"m.h\"\n#define Q(x) #x\n#include H\n#include Q(m.h)\n#include bad\n");
    EXPECT_EQ(body(result.out), "m\nm");
    expectReports(result, {{"W", "ERINCLUDE", 5, StartsWith("Incorrect include directive bad")}});
}

TEST_F(CppDirectives, HasIncludeSearchesAlike)
{
    // From a/n.h, the next search starts after a/: b/n.h is found, a/q.h not.
    files({{"a/n.h", "#if __has_include_next(<n.h>)\nnext\n#endif\n#if __has_include_next(<q.h>)\nnone\n#endif\n"},
           {"a/q.h", ""},
           {"b/n.h", ""}});
    const auto result = cpp("#if __has_include(<n.h>) && __has_include(\"a/q.h\") && !__has_include(<none.h>)\nyes\n#endif\n"
                            "#define H <q.h>\n#if __has_include(H)\nmacro\n#endif\n#include <n.h>\n",
                            {"-INCL=a,b"});
    EXPECT_EQ(body(result.out), "yes\nmacro\nnext");
}

TEST_F(CppDirectives, MissingIncludeNamesDirs)
{
    const auto result = cpp("#include \"none.h\"\n");
    EXPECT_EQ(result.status, 7);
    expectReports(result, {{"F", "IMPOUVFIC", 1, "Cannot open file none.h (no include directory given)"}});
    files({{"inc/other.h", ""}});
    expectReports(cpp("#include <none.h>\n", {"-INCL=inc,lib"}),
                  {{"F", "IMPOUVFIC", 1, "Cannot open file none.h (searched: inc, lib)"}});
}

TEST_F(CppDirectives, IncludeLoopDepthLimit)
{
    files({{"loop.h", "#include \"loop.h\"\n"}});
    const auto result = cppFile("loop.h");
    EXPECT_EQ(result.status, 7);
    EXPECT_THAT(messagesOf(result.err), Contains(Message{"F", "NBRECURSI", "loop.h", 1})) << result.err.substr(0, 300);
}

TEST_F(CppDirectives, TargetAndUsrIncludeDirs)
{
    files({{"tgt/lib/tgt.h", "from_target\n"}});
    const auto result = cpp("#include <tgt.h>\n", {}, {{"QVMTGT", (dir_ / "tgt").string()}});
    EXPECT_EQ(body(result.out), "from_target");
    const auto fallback = cpp("#include <tgt.h>\n", {}, {{"TRVTGT", (dir_ / "tgt").string()}});
    EXPECT_EQ(body(fallback.out), "from_target");

    if (std::filesystem::exists("/usr/include/linux/limits.h")) {
        const auto usr = cpp("#include <linux/limits.h>\nPATH_MAX\n", {}, {{"ZWK_ADD_USR_INCLUDE", ""}});
        EXPECT_EQ(usr.status, 0) << usr.err;
        EXPECT_NE(usr.out.find("#line 1 \"/usr/include/linux/limits.h\""), std::string::npos);
        const auto without = cpp("#include <linux/limits.h>\n");
        EXPECT_EQ(without.status, 7);
    }
}

TEST_F(CppDirectives, ErrorAndWarningReported)
{
    const auto result = cpp("#error  stop   here\n#warning careful\n");
    EXPECT_EQ(count(result.err, "WARNERR"), 2);
    EXPECT_EQ(body(result.out), "#error stop   here\n#warning careful");
    EXPECT_EQ(result.status, 3);
}

TEST_F(CppDirectives, LineDirective)
{
    const auto result = cpp("#line 100 \"other.c\"\n__LINE__ __FILE__\n#line 7\n__LINE__\n#line 0 \"zero.c\"\n__LINE__\n");
    EXPECT_EQ(result.out, "#line 1 \"t.c\"\n\n#line 100 \"other.c\"\n100 \"other.c\"\n\n102\n\n104\n\n");
}

TEST_F(CppDirectives, LineBeyondIntMaxRefused)
{
    const auto result =
        cpp("#line 2147483648\n#line 99999999999 \"x.h\"\n__LINE__ __FILE__\n#line 2147483647 \"y.h\"\n__LINE__\n\n__LINE__\n");
    EXPECT_EQ(count(result.err, "DIESELINE"), 2) << result.err;
    EXPECT_NE(result.out.find("3 \"t.c\""), std::string::npos) << result.out;
    // The largest line number is where the count stops.
    EXPECT_NE(result.out.find("2147483647\n\n2147483647\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.status, 3);
}

TEST_F(CppDirectives, UnknownDirectivesCopied)
{
    const auto result = cpp("#unknown text here\n#\n# 33 \"x\"\n#ident \"v1\"\n# // note\n# /* c */\n  #  \\\n\n");
    // A rule of this preprocessor (also for assembler comment lines such as
    // "# `modelist' label"): a line whose directive name it does not know is
    // ordinary text.
    EXPECT_EQ(body(result.out), "#unknown text here\n# 33 \"x\"\n#ident \"v1\"");
    EXPECT_EQ(result.status, 0) << result.err;
}

TEST_F(CppDirectives, WideCharsInConditions)
{
    // The test of the C library's wchar header when the compiler gives no
    // __WCHAR_MAX__: wchar_t is a signed 32-bit type here.
    const auto result = cpp(R"(#define L oops
#ifdef __WCHAR_MAX__
# define WMAX __WCHAR_MAX__
#elif L'\0' - 1 > 0
# define WMAX (0xffffffffu + L'\0')
#else
# define WMAX (0x7fffffff + L'\0')
#endif
WMAX L
#if u'\xffff' == 65535 && U'\U0001F600' == 0x1F600 && u8'a' == 97 && L'\xffffffff' < 0
unicode
#endif
)");
    EXPECT_EQ(body(result.out), "(0x7fffffff + L'\\0') oops\nunicode");
    EXPECT_EQ(result.status, 0) << result.err;
}

TEST_F(CppDirectives, TarvoPragmas)
{
    files({{"std1/s.h", "in_std\n"}});
    const auto result = cpp(R"(#pragma once
#pragma tarvo incl_std "std1", other
#include <s.h>
#pragma tarvo incl_std
#pragma tarvo sizeof int = 16
#pragma tarvo signof char = unsigned
#pragma tarvo type_modifier = far
#pragma tarvo type_modifier far
#pragma tarvo type_modifier =
#pragma tarvo crc_justify
#pragma tarvo nothing_known
#pragma tarvo
#pragma tarvo pragma "GO" = "tarvo start_analyse"
#pragma GO
#pragma tarvo stop_analyse
kept_because_everything_is_analysed
)");
    EXPECT_EQ(body(result.out), "in_std\n#pragma tarvo sizeof int = 16\n#pragma tarvo signof char = unsigned\n"
                                "kept_because_everything_is_analysed");
    expectReports(result, {{"W", "SYNTAXERR", 4, StartsWith("Syntax error empty pragma tarvo incl_std")}});
    EXPECT_EQ(count(result.err, "TYPMODINC"), 2);
    expectReports(result, {
        {"W", "PRAGMAINC", 11, StartsWith("Unknown pragma nothing_known")},
        {"W", "PRAGMAINC", 12, StartsWith("Unknown pragma")},
    });
    EXPECT_EQ(count(result.err, "PRAGMAINC"), 2);
}

}  // namespace
}  // namespace qvm::testing
