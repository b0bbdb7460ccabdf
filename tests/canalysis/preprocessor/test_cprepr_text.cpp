// Text preparation, comments, literals and #line synchronisation through
// `qvminspect cpp`.
#include "cpp_harness.h"

namespace qvm::testing {
namespace {

using ::testing::Contains;
using ::testing::StartsWith;
using CppText = CppHarness;

// Sources and the text they give, #line lines and empty lines aside.
TEST_F(CppText, TrigraphsDigraphsAndNumbers)
{
    const std::pair<const char*, const char*> cases[] = {
        // Trigraphs keep the line's length and count.
        {"?\?=define A ?\?( ?\?) ?\?< ?\?> ?\?' ?\?- ?\?! x\nA|\n", "[ ] { } ^ ~ ?\?! x|"},
        // A trigraph backslash continues the line.
        {"#define LONG one ?\?/\n two\nLONG __LINE__\nab?\?/n\n", "one    two 3\nab\\n"},
        // Digraphs are replaced everywhere.
        {"%:define X <: :> <% %>\nX \"<%\"\n", "[ ] { } \"{\""},
        // Numbers are copied whole.
        {"#define e 9\n#define E 8\n#define x 7\n1e+e 0x1E-E 1.e 0xe 1..e .5e x\n", "1e+e 0x1E-E 1.e 0xe 1.. 9 .5e 7"},
    };
    for (const auto& [source, text] : cases) {
        EXPECT_EQ(body(cpp(source).out), text) << source;
    }
}

TEST_F(CppText, MissingFinalNewlineIsAdded)
{
    files({{"h.h", "last_line"}});
    const auto result = cpp("#include \"h.h\"\nnext\n");
    EXPECT_EQ(body(result.out), "last_line\nnext");
}

TEST_F(CppText, BackslashNewlines)
{
    const auto result = cpp("#define A 1 \\\r\n + 2\nA\nide\\\nnt __LINE__\n/\\\n* c */ x /\\\n/ d\n__LINE__\n");
    EXPECT_EQ(tokens(result.out), tokens("1 + 2 ident 5 x 9"));
}

TEST_F(CppText, ContinuationInsideAName)
{
    const auto result = cpp("a __LINE__ __\\\nLINE\\\n__ __LINE__\n__LINE__\n");
    EXPECT_EQ(result.out, "#line 1 \"t.c\"\na 1 1 3\n\n\n4\n\n");
    // Also when the name is a macro whose expansion gives the line.
    const auto macro = cpp("#define LN __LINE__\nL\\\nN L\\\nN __LINE__\n__LINE__\n");
    EXPECT_EQ(tokens(macro.out), tokens("2 3 4 5"));
}

TEST_F(CppText, CommentsKeepTheLineCount)
{
    const auto result = cpp("a /* one\ntwo\nthree */ b\n__LINE__ // x /* y\n__LINE__\n");
    EXPECT_EQ(result.out, "#line 1 \"t.c\"\na  \n\n b\n4  \n5\n\n");
}

TEST_F(CppText, UnterminatedCommentAtStart)
{
    const auto result = cpp("x\n/* open\n\n");
    expectReports(result, {{"W", "UNTERCOMM", 2, StartsWith("Unterminated comment")}});
}

TEST_F(CppText, StringsAndCharacterConstants)
{
    const auto result = cpp("#define X 1\n\"X /* \\\" */\" 'X' 'a\nX \"multi\nline\" X\n");
    EXPECT_EQ(body(result.out), "\"X /* \\\" */\" 'X' 'a\n1 \"multi\nline\" 1");
    expectReports(result, {{"W", "UNTERSTRI", 2, StartsWith("Unterminated string or character constant")}});
    EXPECT_EQ(count(result.err, "UNTERSTRI"), 1);

    const auto pedantic = cpp("\"open\nX\n", {"-RESTRICTION=ANSI"});
    expectReports(pedantic, {{"W", "UNTERSTRI", 1, StartsWith("Unterminated string")}});
}

TEST_F(CppText, GapsFilledOrLineLine)
{
    const auto result = cpp("a\n#if 0\n\n\n#endif\nb\n#if 0\n\n\n\n\n\n\n\n\n#endif\nc\n");
    EXPECT_EQ(result.out, "#line 1 \"t.c\"\na\n\n\n\n\nb\n\n#line 17 \"t.c\"\nc\n\n");
}

TEST_F(CppText, IncludesFramedByLineLines)
{
    files({{"h.h", "in_h\n"}});
    const auto result = cpp("first\n#include \"h.h\"\nlast\n");
    EXPECT_EQ(result.out, "#line 1 \"t.c\"\nfirst\n#line 1 \"h.h\"\nin_h\n#line 2 \"t.c\"\n\nlast\n\n");
}

TEST_F(CppText, MultiLineMacroCallLines)
{
    const auto result = cpp("#define F(a,b) a b\nF(1,\n2)\n__LINE__\n");
    EXPECT_EQ(result.out, "#line 1 \"t.c\"\n\n1  2\n\n4\n\n");
}

}  // namespace
}  // namespace qvm::testing
