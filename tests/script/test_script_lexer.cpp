// The script lexer seen through `qvminspect tokens`: keywords, whole-line
// tokens, native expressions, layout and limits.
#include "script_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qvm::testing;
using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(ScriptLexer, KeywordsUpperEqualLength)
{
    EXPECT_THAT(tokensOf("keywords.pts"),
                ElementsAre("1\tIDENT\tcall", "1\tIDENT\tCall", "1\tCALLBACK\t", "1\tIDENT\tCALLX",
                            "2\tNEWLINE\t", "2\tCALL\t", "2\tIDENT\t p", "2\t(\t", "2\tNATIVE_EXPR\t", "2\t)\t",
                            "3\tNEWLINE\t", "3\tVIRTUAL CALLBACK\t", "4\tNEWLINE\t", "4\tIDENT\tVIRTUAL",
                            "5\tNEWLINE\t", "5\tVIRTUAL PROCSEND\t", "6\tNEWLINE\t", "6\tIDENT\tEND_IF",
                            "6\tIDENT\tENDX", "6\tEND\t", "7\tNEWLINE\t"));
}

TEST(ScriptLexer, WholeLineTokenTexts)
{
    const auto tokens = tokensOf("whole_lines.pts");
    EXPECT_THAT(std::vector(tokens.begin(), tokens.begin() + 4),
                ElementsAre("1\tVAR\t", "1\tNATIVE_EXPR\t a", "1\t,\t", "1\tEV==\t"));
    // EV with blanks before '=' takes the whole rest of the line.
    EXPECT_EQ(tokens[8], "2\tEV\tEV = x + 1");
    // INIT= at the end of a line is a complete INIT token.
    EXPECT_EQ(tokens[13], "3\tINIT\tINIT=");
    // The VAR sequence: one native piece for the name, then one INIT token
    // running to the end of the line with the EV part in it.
    EXPECT_THAT(std::vector(tokens.begin() + 14, tokens.begin() + 19),
                ElementsAre("4\tNEWLINE\t", "4\tVAR\t", "4\tNATIVE_EXPR\t d", "4\t,\t", "4\tINIT\tINIT= 3 EV= 4"));
    // COMMENT and its separator, then the rest of the line; COMMENTS is a name.
    EXPECT_EQ(tokens[20], "5\tCOMMENT\t hello");
    EXPECT_EQ(tokens[22], "6\tIDENT\tCOMMENTS");
    // Environment variables take letters and underscores, never digits.
    EXPECT_THAT(std::vector(tokens.begin() + 24, tokens.begin() + 27),
                ElementsAre("7\tENV_VAR\t$AB_C", "7\tENV_VAR\t$AB", "7\tNUMBER\t1"));
}

TEST(ScriptLexer, FilterPrefixAtLineStart)
{
    const auto tokens = tokensOf("whole_lines.pts");
    EXPECT_EQ(tokens[28], "8\tFILTER_SINGLE\t+AB");
    EXPECT_THAT(std::vector(tokens.begin() + 31, tokens.begin() + 35),
                ElementsAre("9\tBAD_SEQUENCE\t", "9\tBAD_SEQUENCE\t", "9\tIDENT\tAB", "9\tEXIT\t"));
    EXPECT_EQ(tokens[36], "10\tFILTER_DOUBLE\t%XY");
}

TEST(ScriptLexer, NativeSplitsOutsideParens)
{
    const auto tokens = tokensOf("native.pts");
    EXPECT_THAT(std::vector(tokens.begin(), tokens.begin() + 7),
                ElementsAre("1\tCALL\t", "1\tIDENT\t f", "1\t(\t", "1\tNATIVE_EXPR\tg(1, 2)", "1\t,\t",
                            "1\tNATIVE_EXPR\t \"a,b\"", "1\t)\t"));
    EXPECT_THAT(std::vector(tokens.begin() + 11, tokens.begin() + 21),
                ElementsAre("2\tNATIVE_EXPR\tx[1, 2]", "2\t,\t", "2\tNATIVE_EXPR\t ')'", "2\t,\t",
                            "2\tNATIVE_EXPR\t 3", "2\t)\t", "2\t@\t", "2\tNATIVE_EXPR\t 0 ", "2\t@\t",
                            "2\tNATIVE_EXPR\t r"));
}

TEST(ScriptLexer, MatchingEndsNativeText)
{
    const auto tokens = tokensOf("native.pts");
    EXPECT_THAT(std::vector(tokens.begin() + 24, tokens.begin() + 33),
                ElementsAre("3\tNATIVE_EXPR\ts == 2 && ", "3\tMATCHING\t", "3\tIDENT\tm", "3\tMATCH_COMMA\t",
                            "3\tIDENT\tn", "3\tMATCH_CLOSE\t", "3\tNATIVE_EXPR\t", "3\t)\t", "3\tTHEN\t"));
}

// A match word opens its argument list only where a word begins: inside a
// longer name, after a digit or '$', or without its '(' it is plain C text.
TEST(ScriptLexer, MatchWordsAtAWordStart)
{
    TempDir dir;
    writeFile(dir / "m.pts", "IF (xMATCHING(a) + 1MATCHED(b) + $NOTMATCHING(c) + MATCHED (d) + f(NOTMATCHED(e, REF g))) THEN\n");
    const RunResult result = runInspect({"tokens", "m.pts"}, {}, dir.path());
    EXPECT_THAT(lines(result.out),
                ElementsAre("1\tIF\t", "1\t(\t",
                            "1\tNATIVE_EXPR\txMATCHING(a) + 1MATCHED(b) + $NOTMATCHING(c) + MATCHED (d) + f(",
                            "1\tNOTMATCHED\t", "1\tIDENT\te", "1\tMATCH_COMMA\t", "1\tREF\t", "1\tIDENT\tg",
                            "1\tMATCH_CLOSE\t", "1\tNATIVE_EXPR\t)", "1\t)\t", "1\tTHEN\t", "2\tNEWLINE\t"));
}

TEST(ScriptLexer, NativeSpansLinesInParens)
{
    const auto tokens = tokensOf("native.pts");
    // The listing shows the newline inside the text as it is.
    EXPECT_EQ(tokens[36], "5\tNATIVE_EXPR\t(x");
    EXPECT_EQ(tokens[37], "  && y)");
    EXPECT_EQ(tokens[38], "5\t,\t");
}

TEST(ScriptLexer, BlankLinesCollapse)
{
    EXPECT_THAT(tokensOf("blank_lines.pts"), ElementsAre("1\tEXIT\t", "2\tNEWLINE\t", "5\tEXIT\t",
                                                         "6\tNEWLINE\t", "9\tEXIT\t", "10\tNEWLINE\t"));
}

TEST(ScriptLexer, IncludesThroughDirs)
{
    const auto tokens = tokensOf("include_twice.pts", {"-INCL=inc"});
    // After the INCLUDE line, the included '#' line with its own line numbers.
    EXPECT_EQ(tokens[9], "3\tINCLUDE\t");
    EXPECT_EQ(tokens[12], "1\tNATIVE_HASH_LINE\tdefine FROM_INCLUDE 1");
    EXPECT_EQ(tokens[13], "2\tNEWLINE\t");
    EXPECT_EQ(tokens[14], "4\tINCLUDE\t");
    EXPECT_EQ(tokens[17], "1\tNATIVE_HASH_LINE\tdefine FROM_INCLUDE 1");
}

TEST(ScriptLexer, Token15000CharsFatal)
{
    TempDir dir;
    writeFile(dir / "long.pts", "EXIT\n#" + std::string(14998, 'x') + "\nEXIT\n");
    EXPECT_EQ(runInspect({"tokens", "long.pts"}, {}, dir.path()).status, 0);
    writeFile(dir / "long.pts", "EXIT\n#" + std::string(14999, 'x') + "\nEXIT\n");
    const RunResult result = runInspect({"tokens", "long.pts"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_THAT(messagesOf(result.err),
                ElementsAre(IsMessage({"F", "LEXTKTLNG", "long.pts", 2},
                                      HasSubstr("Line too long: a token reaches the limit of 15000 characters"))));
}

// The limit is on one token: a longer line of short tokens is read whole.
TEST(ScriptLexer, LongLineOfShortTokens)
{
    TempDir dir;
    std::string line;
    while (line.size() < 20000) {
        line += "name ";
    }
    writeFile(dir / "wide.pts", "EXIT\n" + line + "last\nEXIT\n");
    const RunResult result = runInspect({"tokens", "wide.pts"}, {}, dir.path());
    EXPECT_EQ(result.status, 0);
    const auto tokens = lines(result.out);
    ASSERT_EQ(tokens.size(), 4 + 4000 + 2);
    EXPECT_EQ(tokens[2], "2\tIDENT\tname");
    EXPECT_EQ(tokens[4002], "2\tIDENT\tlast");
    EXPECT_EQ(tokens[4003], "3\tNEWLINE\t");
}

TEST(ScriptLexer, StringEscapesAndBadSequences)
{
    TempDir dir;
    writeFile(dir / "s.pts", "\"a\\\"b\\\\c\\n\" \"open\n= . .. ... 'x' '\\n' '\\101' ''\n");
    const RunResult result = runInspect({"tokens", "s.pts"}, {}, dir.path());
    EXPECT_THAT(lines(result.out),
                ElementsAre("1\tSTRING\t\"a\"b\\c\\n\"", "1\tBAD_SEQUENCE\t", "1\tIDENT\topen", "2\tNEWLINE\t",
                            "2\tBAD_SEQUENCE\t", "2\tBAD_SEQUENCE\t", "2\tBAD_SEQUENCE\t", "2\tBAD_SEQUENCE\t",
                            "2\t...\t", "2\tCHAR_CONST\t'x'", "2\tCHAR_CONST\t'\\n'", "2\tCHAR_CONST\t'\\101'",
                            "2\tBAD_SEQUENCE\t", "2\tBAD_SEQUENCE\t", "3\tNEWLINE\t"));
}

TEST(ScriptLexer, NumbersAndScopedNames)
{
    TempDir dir;
    writeFile(dir / "n.pts", "0x1Fu 017L 12abc 0x S::T::U A::1\n");
    EXPECT_THAT(lines(runInspect({"tokens", "n.pts"}, {}, dir.path()).out),
                ElementsAre("1\tNUMBER\t0x1Fu", "1\tNUMBER\t017L", "1\tNUMBER\t12", "1\tIDENT\tabc",
                            "1\tNUMBER\t0", "1\tIDENT\tx", "1\tSCOPED_IDENT\tS::T", "1\t:\t", "1\t:\t",
                            "1\tIDENT\tU", "1\tIDENT\tA", "1\t:\t", "1\t:\t", "1\tNUMBER\t1", "2\tNEWLINE\t"));
}

// Continuation lines join inside names, native pieces, literals, value
// texts and keywords; form feeds leave native pieces; runs of blanks skip.
TEST(ScriptLexer, ContinuationsInTokens)
{
    TempDir dir;
    writeFile(dir / "c.pts",
              "CALL pro\n&c (a\n&b, \"x\n&y\", c\f d)\n  \t\f  EXIT\nVAR v.f\n&ield, EV= 1 ..\n& 2\n"
              "FORM\n&AT = v # int\n");
    EXPECT_THAT(lines(runInspect({"tokens", "c.pts"}, {}, dir.path()).out),
                ElementsAre("1\tCALL\t", "2\tIDENT\t proc ", "2\t(\t", "3\tNATIVE_EXPR\tab", "3\t,\t",
                            "4\tNATIVE_EXPR\t \"xy\"", "4\t,\t", "4\tNATIVE_EXPR\t c d", "4\t)\t",
                            "5\tNEWLINE\t", "5\tEXIT\t", "6\tNEWLINE\t", "6\tVAR\t", "7\tNATIVE_EXPR\t v.field",
                            "7\t,\t", "8\tEV\tEV= 1 .. 2", "9\tNEWLINE\t", "10\tFORMAT=\t",
                            "10\tNATIVE_EXPR\t v # int", "11\tNEWLINE\t"));
}

}  // namespace
