// The indenting line writer: block levels, '#' lines and directive lines
// never indented, and the C string form of paths.
#include "codegen/cprggen_template.h"
#include "codegen/geccode.h"
#include "codegen/genfiles.h"
#include "support/console.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>

namespace parts {

// A piece of a kind of its own, made of common pieces.
struct Slot {
    std::string_view table;
    int index;
};

std::tuple<std::string_view, char, int, char> pieceParts(const Slot& slot)
{
    return {slot.table, '[', slot.index, ']'};
}

}  // namespace parts

namespace {

using qvm::codegen::GeneratedFiles;
using qvm::codegen::LineWriter;
using qvm::testing::readFile;
using qvm::testing::TempDir;

class Writer : public qvm::testing::ConsoleTest {
protected:
    // What the writer leaves in its file once the run's outputs are put in place.
    std::string written(const std::function<void(LineWriter&)>& write)
    {
        GeneratedFiles files;
        LineWriter out(files, (dir / "out.c").string());
        write(out);
        files.commit();
        return readFile(dir / "out.c");
    }

    TempDir dir;
};

TEST_F(Writer, BlocksIndentPerLevel)
{
    const std::string text = written([](LineWriter& out) {
        out.line("int f(void)");
        out.openBlock();
        out.line("if (x)");
        out.openBlock();
        out.line("g();");
        out.closeBlock();
        out.line("return 0;");
        out.closeBlock();
        out.line("int y;");
    });
    EXPECT_EQ(text,
              "int f(void)\n"
              " {\n"
              "  if (x)\n"
              "   {\n"
              "    g();\n"
              "   }\n"
              "  return 0;\n"
              " }\n"
              "int y;\n");
}

TEST_F(Writer, HashLinesNeverIndented)
{
    const std::string text = written([](LineWriter& out) {
        out.openBlock();
        out.openBlock();
        out.line("#line 12 \"demo.pts\"");
        out.define("TRV_X", "3");
        out.undefine("TRV_X");
        out.ifdef("TRV_PROBE");
        out.line("a();");
        out.elseDirective();
        out.line("b();");
        out.endif();
    });
    EXPECT_EQ(text,
              " {\n"
              "   {\n"
              "#line 12 \"demo.pts\"\n"
              "#define TRV_X 3\n"
              "#undef TRV_X\n"
              "#ifdef TRV_PROBE\n"
              "    a();\n"
              "#else\n"
              "    b();\n"
              "#endif\n");
}

TEST_F(Writer, PiecesJoinTextsAndNumbers)
{
    const std::string text = written([](LineWriter& out) {
        out.openBlock();
        out.line("trv_", std::string("run"), '(', -12, ", ", 4000000000LL, ", ", 7U, ");");
        // Whether a line is a directive is read from its first character,
        // whichever piece holds it.
        out.line("", std::string_view(), "#define N ", 3);
        out.line("", 'x', '#');
    });
    EXPECT_EQ(text,
              " {\n"
              "  trv_run(-12, 4000000000, 7);\n"
              "#define N 3\n"
              "  x#\n");
}

// A template's lines take the writer's level, keep the indentation they
// have beyond the one they share, and write directives at the margin.
TEST_F(Writer, TemplateFollowsTheWriterLevel)
{
    const std::string text = written([](LineWriter& out) {
        out.openBlock();
        qvm::codegen::emitTemplate(out, R"(
            if ($flag$)
             {
                #ifdef TRV_OSTREL_DEBUG
              trv_$call$ ( $n$, $$x );

             }
        )",
                                   {{"flag", "trv_ret"}, {"call", std::string("end")}, {"n", -3}});
        // A block left open holds the lines after the template.
        qvm::codegen::emitTemplate(out, "else\n {");
        out.line("b();");
        out.closeBlock();
        out.closeBlock();
    });
    EXPECT_EQ(text,
              " {\n"
              "  if (trv_ret)\n"
              "   {\n"
              "#ifdef TRV_OSTREL_DEBUG\n"
              "    trv_end ( -3, $x );\n"
              "    \n"
              "   }\n"
              "  else\n"
              "   {\n"
              "    b();\n"
              "   }\n"
              " }\n");
}

// A value the template does not name, a name without value and a '$' left
// open are the writer's own mistakes, never silent.
TEST_F(Writer, TemplateNamesMatchItsValues)
{
    using qvm::codegen::emitTemplate;
    GeneratedFiles files;
    LineWriter out(files, (dir / "out.c").string());
    EXPECT_THROW(emitTemplate(out, "f($a$);", {}), std::logic_error);
    EXPECT_THROW(emitTemplate(out, "f();", {{"a", 1}}), std::logic_error);
    EXPECT_THROW(emitTemplate(out, "f($a);", {{"a", 1}}), std::logic_error);
    EXPECT_THROW(emitTemplate(out, "  f();\n }"), std::logic_error);
    EXPECT_NO_THROW(emitTemplate(out, "f($a$, $a$);", {{"a", 1}}));
}

TEST_F(Writer, DeepBlocksKeepOneBlankPerLevel)
{
    constexpr int kDepth = 40;  // levels up to 80, past the indentation kept ready
    const std::string text = written([](LineWriter& out) {
        for (int i = 0; i < kDepth; ++i) {
            out.openBlock();
        }
        out.line("x = ", 1, ";");
        out.line("#endif");
        for (int i = 0; i < kDepth; ++i) {
            out.closeBlock();
        }
    });
    std::string expected;
    for (int i = 0; i < kDepth; ++i) {
        expected += std::string(2 * i + 1, ' ') + "{\n";
    }
    expected += std::string(2 * kDepth, ' ') + "x = 1;\n#endif\n";
    for (int i = kDepth - 1; i >= 0; --i) {
        expected += std::string(2 * i + 1, ' ') + "}\n";
    }
    EXPECT_EQ(text, expected);
}

TEST(Pieces, NumbersOfEveryWidth)
{
    using qvm::codegen::joinedPieces;
    const std::string longText(5000, 'a');
    EXPECT_EQ(joinedPieces("[", std::numeric_limits<long long>::min(), '|', std::numeric_limits<unsigned long long>::max(),
                           "]"),
              "[-9223372036854775808|18446744073709551615]");
    EXPECT_EQ(joinedPieces(longText, "-", longText, 0), longText + "-" + longText + "0");
    EXPECT_EQ(joinedPieces("", std::string_view(), ""), "");
}

// Each side of every power of ten, of each width, as std::to_string writes it.
TEST(Pieces, AllDigitsAroundPowersOfTen)
{
    using qvm::codegen::joinedPieces;
    EXPECT_EQ(joinedPieces("[", 0, "]", 0LL, "|", 0U), "[0]0|0");
    unsigned long long power = 1;
    for (int digits = 1; digits <= 19; ++digits, power *= 10) {
        for (const unsigned long long value : {power - 1, power, power + 1}) {
            const auto narrow = static_cast<int>(value);
            const auto wide = static_cast<long long>(value);
            EXPECT_EQ(joinedPieces("<", narrow, "|", -wide, "|", value, ">"),
                      "<" + std::to_string(narrow) + "|" + std::to_string(-wide) + "|" + std::to_string(value) + ">");
        }
    }
    EXPECT_EQ(joinedPieces("<", std::numeric_limits<int>::min(), "|", std::numeric_limits<int>::max(), ">"),
              "<-2147483648|2147483647>");
}

TEST_F(Writer, PartsTakeTheirPlace)
{
    const std::string text = written([](LineWriter& out) {
        out.openBlock();
        out.line(parts::Slot{"trv_msg_a", 3}, ".trv_defNumber = ", 2, ';');
        out.line(parts::Slot{"", -1});
        out.line(parts::Slot{"#x", 0});  // a directive whichever piece begins it
    });
    EXPECT_EQ(text, " {\n  trv_msg_a[3].trv_defNumber = 2;\n  [-1]\n#x[0]\n");
    EXPECT_EQ(qvm::codegen::joinedPieces(parts::Slot{"t", 12}), "t[12]");
}

TEST_F(Writer, EmptyLineKeepsIndentation)
{
    const std::string text = written([](LineWriter& out) {
        out.emptyLine();
        out.openBlock();
        out.emptyLine();
        out.closeBlock();
    });
    EXPECT_EQ(text, "\n {\n  \n }\n");
}

TEST_F(Writer, NewWriterStartsAtLevelZero)
{
    GeneratedFiles files;
    const std::string path = (dir / "probe.h").string();
    {
        LineWriter first(files, path);
        first.openBlock();
        first.line("a;");
    }
    LineWriter second(*files.find(path));
    second.line("b;");
    files.commit();
    EXPECT_EQ(readFile(dir / "probe.h"), " {\n  a;\nb;\n");
}

// Lines of every length, the gathered text passing to the file many times:
// one longer than anything gathered at once, an indentation deeper than
// that, and pieces of a kind of their own, in the order written.
TEST_F(Writer, LongAndManyLinesInOrder)
{
    const std::string huge(700 * 1024, 'h');
    constexpr int kDeep = 600 * 1024;
    std::string expected;
    const std::string text = written([&](LineWriter& out) {
        for (int i = 0; i < 30000; ++i) {
            out.line("line ", i, " of ", std::string(static_cast<std::size_t>(i % 97), 'x'), ';');
            expected += "line " + std::to_string(i) + " of " + std::string(static_cast<std::size_t>(i % 97), 'x') + ";\n";
            if (i % 10000 == 5000) {
                out.line("<", huge, ">", i);
                expected += "<" + huge + ">" + std::to_string(i) + "\n";
                out.setLevel(kDeep);
                out.line(parts::Slot{"deep", i});
                expected += std::string(kDeep, ' ') + "deep[" + std::to_string(i) + "]\n";
                out.setLevel(0);
                out.raw(huge);
                out.raw("\n");
                expected += huge + "\n";
            }
        }
    });
    EXPECT_EQ(text.size(), expected.size());
    EXPECT_TRUE(text == expected);
}

// What no test through a compiler shows: the escapes chosen are those that
// no following character can extend or turn into a trigraph.
TEST(EmbeddedText, EscapesCannotBeExtended)
{
    using qvm::codegen::cCommentText;
    using qvm::codegen::cStringText;
    EXPECT_EQ(cStringText(R"(out\run"1".rio)"), R"(out\\run\"1\".rio)");
    EXPECT_EQ(cStringText("a\n1\1772\3033?\?=?\?/"), R"(a\0121\1772\3033?\?=?\?/)");
    EXPECT_EQ(cCommentText("a*/b/*c\n?\?/"), R"(a*\/b/\*c\012?\?/)");
}

TEST(OptionValues, KeepsOrderCutsToFileName)
{
    using qvm::codegen::optionValues;
    const std::vector<std::string> values{"inc/a.h", R"(x\b.h)", "c.h"};
    EXPECT_EQ(optionValues(values, false), values);
    EXPECT_EQ(optionValues(values, true), (std::vector<std::string>{"a.h", "b.h", "c.h"}));
}

}  // namespace
