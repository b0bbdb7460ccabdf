// The value analysis of INIT=, EV= and VA= texts against the C types of a
// small interface: the trees it builds and the messages it reports.
#include "base/mstrid.h"
#include "canalysis/ctypesizes.h"
#include "script/ancgest.h"
#include "script/panalc.h"
#include "script/plainexpr.h"
#include "script/valuetree.h"
#include "support/console.h"
#include "support/messages.h"
#include "canalysis/declarations/cexpr.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using qvm::testing::Message;
using qvm::testing::messagesOf;
using ::testing::ElementsAreArray;

constexpr const char* kInterface = R"(
typedef unsigned char U8;
typedef U8 Byte;
typedef enum { RED, GREEN = 4, BLUE } Colour;
struct Point { int x; int y; };
typedef struct Point Point;
union Data { int i; float f; char c; };
struct Flags { unsigned ready : 1; unsigned mode : 3; int level; };
struct Msg {
    int id;
    Colour colour;
    char name[8];
    Point pos;
    int tab[4];
    int grid[2][3];
    union Data data;
    char *text;
    void *ptr;
    struct Flags flags;
    Byte code;
    double ratio;
};
struct Holder { int kind; union { long l; double d; }; struct { int a; int b; }; };
#define SIZE 4
#define PAIR {1, 2}
#define NIL 0
struct Msg msg, other;
struct Holder holder;
Point pt;
union Data data;
int tab[SIZE];
int grid[2][3];
char name[8];
char *text;
void *ptr;
Colour colour;
struct Flags flags;
long count;
void *NONIL;
int zero;
int trv_msgrcv;
extern int open_tab[];
Point *pp;
)";

constexpr const char* kScript = "values.pts";
constexpr int kLine = 12;

// A value text that the analysis accepts, with the tree it gives.
struct Accepted {
    const char* variable;
    const char* value;
    const char* tree;
};

const Accepted kAccepted[] = {
    {"msg", "EV={id => 1, colour => GREEN, name => \"abc\", pos => (1, 2)}",
             "EV msg\n"
             "  structure (class 10, struct Msg)\n"
             "    scalar .id = 1 (class 2, int)\n"
             "    scalar .colour = GREEN (class 0, Colour)\n"
             "    scalar .name = \"abc\" (class 7, char [8])\n"
             "    structure .pos (class 10, Point)\n"
             "      scalar .x = 1 (class 2, int)\n"
             "      scalar .y = 2 (class 2, int)\n"},
    {"pt", "INIT=(1, 2)",
             "INIT pt\n"
             "  structure (class 10, Point)\n"
             "    scalar .x = 1 (class 2, int)\n"
             "    scalar .y = 2 (class 2, int)\n"},
    {"pt", "EV=(pt)",
             "EV pt\n"
             "  structure = (pt) (class 10, Point) whole\n"
             "    scalar .x (class 2, int) whole\n"
             "    scalar .y (class 2, int) whole\n"},
    {"pt", "EV=other.pos",
             "EV pt\n"
             "  structure = other.pos (class 10, Point) whole\n"
             "    scalar .x (class 2, int) whole\n"
             "    scalar .y (class 2, int) whole\n"},
    {"pt", "EV=(OTHERS => 0)",
             "EV pt\n"
             "  structure (class 10, Point)\n"
             "    scalar .x = 0 (class 2, int)\n"
             "    scalar .y = 0 (class 2, int)\n"},
    {"pt", "EV=(y => 1, OTHERS => 0)",
             "EV pt\n"
             "  structure (class 10, Point)\n"
             "    scalar .y = 1 (class 2, int)\n"
             "    scalar .x = 0 (class 2, int)\n"},
    {"data", "EV=(f => 1.5)",
             "EV data\n"
             "  union member 1 (class 12, union Data)\n"
             "    scalar .f = 1.5 (class 4, float)\n"},
    {"data", "EV={7}",
             "EV data\n"
             "  union member 0 (class 12, union Data)\n"
             "    scalar .i = 7 (class 2, int)\n"},
    {"data", "EV=trv_msgrcv",
             "EV data\n"
             "  union = trv_msgrcv (class 12, union Data) whole\n"
             "    scalar .i (class 2, int) whole\n"
             "    scalar .f (class 4, float) whole\n"
             "    scalar .c (class 1, char) whole\n"},
    {"tab", "EV=(1, 2, 3, 4)",
             "EV tab\n"
             "  array [0..3] (class 11, int [4])\n"
             "    range [0..0]\n"
             "      scalar = 1 (class 2, int)\n"
             "    range [1..1]\n"
             "      scalar = 2 (class 2, int)\n"
             "    range [2..2]\n"
             "      scalar = 3 (class 2, int)\n"
             "    range [3..3]\n"
             "      scalar = 4 (class 2, int)\n"},
    {"tab", "EV=(0 => 1, 1..2 => [0..5], OTHERS => 9)",
             "EV tab\n"
             "  array [0..3] (class 11, int [4])\n"
             "    range [0..0]\n"
             "      scalar = 1 (class 2, int)\n"
             "    range [1..2]\n"
             "      bounded [0..5] (class 2, int)\n"
             "    range OTHERS [0..3]\n"
             "      scalar = 9 (class 2, int)\n"},
    {"tab", "EV=([1..2] => 3)",
             "EV tab\n"
             "  array [0..3] (class 11, int [4])\n"
             "    range [1..2]\n"
             "      scalar = 3 (class 2, int)\n"},
    {"tab", "EV=(3..1 => 0)",
             "EV tab\n"
             "  array [0..3] (class 11, int [4])\n"
             "    range [1..3]\n"
             "      scalar = 0 (class 2, int)\n"},
    {"tab", "EV=(RED => 1, BLUE => 2)",
             "EV tab\n"
             "  array [0..3] (class 11, int [4])\n"
             "    range [0..0]\n"
             "      scalar = 1 (class 2, int)\n"
             "    range [5..5]\n"
             "      scalar = 2 (class 2, int)\n"},
    {"tab", "INIT=PAIR",
             "INIT tab\n"
             "  array [0..3] (class 11, int [4])\n"
             "    range [0..0]\n"
             "      scalar = 1 (class 2, int)\n"
             "    range [1..1]\n"
             "      scalar = 2 (class 2, int)\n"},
    {"tab", "EV=(SIZE-1 => 7, (1<<1)+'\\0' => 6)",
             "EV tab\n"
             "  array [0..3] (class 11, int [4])\n"
             "    range [3..3]\n"
             "      scalar = 7 (class 2, int)\n"
             "    range [2..2]\n"
             "      scalar = 6 (class 2, int)\n"},
    {"grid", "EV=((1,2,3),(4,5,6))",
             "EV grid\n"
             "  array [0..1] (class 11, int [2][3])\n"
             "    range [0..0]\n"
             "      array [0..2] (class 11, int [3])\n"
             "        range [0..0]\n"
             "          scalar = 1 (class 2, int)\n"
             "        range [1..1]\n"
             "          scalar = 2 (class 2, int)\n"
             "        range [2..2]\n"
             "          scalar = 3 (class 2, int)\n"
             "    range [1..1]\n"
             "      array [0..2] (class 11, int [3])\n"
             "        range [0..0]\n"
             "          scalar = 4 (class 2, int)\n"
             "        range [1..1]\n"
             "          scalar = 5 (class 2, int)\n"
             "        range [2..2]\n"
             "          scalar = 6 (class 2, int)\n"},
    {"grid", "EV=(1 => (OTHERS => 0))",
             "EV grid\n"
             "  array [0..1] (class 11, int [2][3])\n"
             "    range [1..1]\n"
             "      array [0..2] (class 11, int [3])\n"
             "        range OTHERS [0..2]\n"
             "          scalar = 0 (class 2, int)\n"},
    {"name", "INIT=\"hello\"",
             "INIT name\n"
             "  scalar = \"hello\" (class 7, char [8])\n"},
    {"name", "EV=('a', 'b')",
             "EV name\n"
             "  array [0..7] (class 7, char [8])\n"
             "    range [0..0]\n"
             "      scalar = 'a' (class 1, char)\n"
             "    range [1..1]\n"
             "      scalar = 'b' (class 1, char)\n"},
    {"text", "EV=\"abc\"",
             "EV text\n"
             "  scalar = \"abc\" (class 6, char *)\n"},
    {"ptr", "EV=NONIL",
             "EV ptr\n"
             "  scalar = NONIL (class 9, void *)\n"},
    {"ptr", "EV=NIL",
             "EV ptr\n"
             "  scalar = 0 (class 9, void *)\n"},
    {"text", "EV=NONIL",
             "EV text\n"
             "  scalar = NONIL (class 6, char *)\n"},
    {"colour", "EV=BLUE",
             "EV colour\n"
             "  scalar = BLUE (class 0, Colour)\n"},
    {"colour", "EV=2",
             "EV colour\n"
             "  scalar = 2 (class 0, Colour)\n"},
    {"count", "EV=[1..10]",
             "EV count\n"
             "  bounded [1..10] (class 3, long)\n"},
    {"count", "EV=[..10]",
             "EV count\n"
             "  bounded [..10] (class 3, long)\n"},
    {"flags", "EV=(1, 5, -3)",
             "EV flags\n"
             "  structure (class 10, struct Flags)\n"
             "    scalar .ready = 1 (class 2, unsigned : 1)\n"
             "    scalar .mode = 5 (class 2, unsigned : 3)\n"
             "    scalar .level = -3 (class 2, int)\n"},
    {"flags", "INIT=(mode => 2)",
             "INIT flags\n"
             "  structure (class 10, struct Flags)\n"
             "    scalar .mode = 2 (class 2, unsigned : 3)\n"},
    {"msg.code", "EV='x'",
             "EV (msg.code)\n"
             "  scalar = 'x' (class 1, Byte)\n"},
    {"msg.pos", "EV=(1,2)",
             "EV (msg.pos)\n"
             "  structure (class 10, Point)\n"
             "    scalar .x = 1 (class 2, int)\n"
             "    scalar .y = 2 (class 2, int)\n"},
    {"holder", "EV=(kind => 1, l => 2, a => 3)",
             "EV holder\n"
             "  structure (class 10, struct Holder)\n"
             "    scalar .kind = 1 (class 2, int)\n"
             "    scalar .l = 2 (class 3, long)\n"
             "    scalar .a = 3 (class 2, int)\n"},
    {"holder", "EV=(1, 2, 3, 4)",
             "EV holder\n"
             "  structure (class 10, struct Holder)\n"
             "    scalar .kind = 1 (class 2, int)\n"
             "    scalar .l = 2 (class 3, long)\n"
             "    scalar .a = 3 (class 2, int)\n"
             "    scalar .b = 4 (class 2, int)\n"},
    {"msg.tab", "EV=tab",
             "EV (msg.tab)\n"
             "  array [0..3] = tab (class 11, int [4]) whole\n"
             "    range [0..3] whole\n"
             "      scalar (class 2, int) whole\n"},
    {"msg.grid", "EV=grid",
             "EV (msg.grid)\n"
             "  array [0..1] = grid (class 11, int [2][3]) whole\n"
             "    range [0..1] whole\n"
             "      array [0..2] (class 11, int [3]) whole\n"
             "        range [0..2] whole\n"
             "          scalar (class 2, int) whole\n"},
    {"count", "VA=5",
             "VA count\n"
             "  scalar = 5 (class 3, long)\n"},
    {"msg.ratio", "EV=[0.5..1.5]",
             "EV (msg.ratio)\n"
             "  bounded [0.5..1.5] (class 5, double)\n"},
    {"msg", "INIT=(data => (c => 'z'), text => \"t\", ptr => NONIL, flags => (ready => 1))",
             "INIT msg\n"
             "  structure (class 10, struct Msg)\n"
             "    union .data member 2 (class 12, union Data)\n"
             "      scalar .c = 'z' (class 1, char)\n"
             "    scalar .text = \"t\" (class 6, char *)\n"
             "    scalar .ptr = NONIL (class 9, void *)\n"
             "    structure .flags (class 10, struct Flags)\n"
             "      scalar .ready = 1 (class 2, unsigned : 1)\n"},
    {"count", "EV=(count)",
             "EV count\n"
             "  scalar = (count) (class 3, long)\n"},
    {"open_tab", "EV=(010 => 1, 1000000000 => 2, 0..00 => 3)",
             "EV open_tab\n"
             "  array [0..-1] (class 11, int [])\n"
             "    range [8..8]\n"
             "      scalar = 1 (class 2, int)\n"
             "    range [1000000000..1000000000]\n"
             "      scalar = 2 (class 2, int)\n"
             "    range [0..0]\n"
             "      scalar = 3 (class 2, int)\n"},
    {"open_tab", "EV=(0 => 1, 7 => 2)",
             "EV open_tab\n"
             "  array [0..-1] (class 11, int [])\n"
             "    range [0..0]\n"
             "      scalar = 1 (class 2, int)\n"
             "    range [7..7]\n"
             "      scalar = 2 (class 2, int)\n"},
};

// A value text that the analysis refuses, with the reports before the final
// VARNOGOOD (severity letter, code and the text after the position).
struct Expected {
    std::string severity;
    std::string code;
    std::string text;
};

struct Refused {
    const char* variable;
    const char* value;
    std::vector<Expected> reports;
};

const Refused kRefused[] = {
    {"msg", "EV={}", {{"E", "FORBEMPTY", "Empty expression forbidden"}}},
    {"pt", "EV=()", {{"E", "FORBEMPTY", "Empty expression forbidden"}}},
    {"pt", "EV=(x => )", {{"E", "FORBEMPTY", "Empty expression forbidden"}}},
    {"tab", "EV=(1, , 2)", {{"E", "FORBEMPTY", "Empty expression forbidden"}}},
    {"tab", "EV=( => 2)", {{"E", "FORBEMPTY", "Empty expression forbidden"}}},
    {"count", "EV=[..]", {{"E", "FORBEMPTY", "Empty expression forbidden"}}},
    {"count", "EV=", {{"E", "FORBEMPTY", "Empty expression forbidden"}}},
    {"tab", "EV=(OTHERS => 0, 1 => 2)",
     {{"E", "ENDOTHERS", "Keyword OTHERS only at the end of the list : (OTHERS => 0, 1 => 2)"}}},
    {"pt", "EV=(1, y => 2)", {{"E", "VARPOSNAM", "Designation by position and name mixed : (1, y => 2)"}}},
    {"pt", "EV=(x => 1, x => 2)", {{"E", "STRFLDALR", "Structure field already used : x"}}},
    {"pt", "EV=(y => 1, x => 2, y => 3, x => 4, y => 5)",
     {{"E", "STRFLDALR", "Structure field already used : y"},
      {"E", "STRFLDALR", "Structure field already used : x"},
      {"E", "STRFLDALR", "Structure field already used : y"}}},
    {"tab", "EV=(1..3 => 1, 2 => 5)", {{"E", "COMBNDSEC", "Mixing two area 2"}}},
    {"tab", "EV=(0..1 => 1, 3..1 => 5)", {{"E", "COMBNDSEC", "Mixing two area 3..1"}}},
    {"tab", "EV=(zero => 1)", {{"E", "CONSTINIT", " Init value not allowed for zero constant"}}},
    {"tab", "EV=(zero + 1 => 1)", {{"E", "CONSTINIT", " Init value not allowed for zero constant"}}},
    {"tab", "EV=(1..count => 1)", {{"E", "CONSTINIT", " Init value not allowed for count constant"}}},
    {"tab", "EV=(1/0 => 1)", {{"E", "DIVBYZERO", "Division by zero"}}},
    {"tab", "EV=(5 % (2 - 2) => 1)", {{"E", "DIVBYZERO", "Division by zero"}}},
    {"tab", "EV=(1.5 => 1)", {{"E", "CONSTINIT", " Init value not allowed for 1.5 constant"}}},
    {"pt", "EV=(1, 2, 3)", {{"E", "NBVALINCO", "Too many INIT or VA values: (1, 2, 3)"}}},
    {"pt", "EV=(z => 1)", {{"W", "CHAMPINCO", "Unknown field z"}}},
    {"pt", "EV=(3 => 1)", {{"W", "CHAMPINCO", "Unknown field 3"}}},
    {"data", "EV=(i => 1, f => 2.0)",
     {{"E", "ONEFLDUNN", "Only one field of the union accepted : (i => 1, f => 2.0)"}}},
    {"data", "EV=(OTHERS => 1)", {{"E", "ONEFLDUNN", "Only one field of the union accepted : (OTHERS => 1)"}}},
    {"data", "EV=(k => 1)", {{"W", "CHAMPINCO", "Unknown field k"}}},
    {"count", "EV=NONIL", {{"E", "INCOMPTYP", "Incompatible types (NONIL)"}}},
    {"count", "EV=\"abc\"", {{"E", "INCOMPTYP", "Incompatible types (\"abc\")"}}},
    {"pt", "EV=5", {{"E", "INCOMPTYP", "Incompatible types (5)"}}},
    {"pt", "EV=data", {{"E", "INCOMPTYP", "Incompatible types (data)"}}},
    {"pt", "EV=other", {{"E", "INCOMPTYP", "Incompatible types (other)"}}},
    {"count", "EV=(1, 2)", {{"E", "INCOMPTYP", "Incompatible types ((1, 2))"}}},
    {"pt", "EV=[1..2]", {{"E", "INCOMPTYP", "Incompatible types ([1..2])"}}},
    {"count", "EV=[1..\"x\"]", {{"E", "INCOMPTYP", "Incompatible types (\"x\")"}}},
    {"count", "EV=unknown", {{"W", "IDENTIINC", "Unknown identifier unknown"}}},
    {"nosuch", "EV=1", {{"W", "IDENTIINC", "Unknown identifier nosuch"}}},
    {"tab", "EV={1, 2", {{"W", "EXPERRONE", "Error in expression {1, 2"}}},
    {"tab", "EV=(1, 2]", {{"W", "EXPERRONE", "Error in expression (1, 2]"}}},
    {"msg", "EV=(pos => (1, 2, 3))", {{"E", "NBVALINCO", "Too many INIT or VA values: (1, 2, 3)"}}},
    {"msg", "EV=(tab => (OTHERS => 1, 0 => 1))",
     {{"E", "ENDOTHERS", "Keyword OTHERS only at the end of the list : (OTHERS => 1, 0 => 1)"}}},
    {"msg", "EV=(pos => (x => 1, x => 2), tab => (1, 1 => 2))",
     {{"E", "STRFLDALR", "Structure field already used : x"},
      {"E", "VARPOSNAM", "Designation by position and name mixed : (1, 1 => 2)"}}},
    {"grid", "EV=((1, 2), (3, NONIL))", {{"E", "INCOMPTYP", "Incompatible types (NONIL)"}}},
    {"pp", "EV=(1, 2)", {{"E", "INCOMPTYP", "Incompatible types ((1, 2))"}}},
    {"tab", "EV=(i++ => 1)", {{"W", "POSTINCRE", "Post-increment not allowed i"}}},
};

class ValueAnalysis : public qvm::testing::ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        qvm::base::initIdentTable();
        qvm::script::resetCAnalysis();
        qvm::canalysis::typeSizes().reset();
        qvm::script::startCAnalysis(qvm::script::CModePedantic, {}, {}, {});
        qvm::script::declareCText(kInterface, {}, "values.h", 1);
        console.clear();
    }
    void TearDown() override
    {
        qvm::script::endCAnalysis();
        qvm::script::resetCAnalysis();
        ConsoleTest::TearDown();
    }

    std::optional<qvm::script::ValueTree> analyse(const std::string& variable, const std::string& value,
                                                  const std::string& scope = {})
    {
        console.clear();
        return qvm::script::analyseValue(variable, value, scope, kScript, kLine);
    }

    // The plain typing of the text, which must be the full typing's, silent.
    void expectPlainAsFull(const char* text)
    {
        SCOPED_TRACE(text);
        const auto plain = qvm::script::typePlainExpression(text, {});
        ASSERT_TRUE(plain.has_value());
        const qvm::script::TypedText full = qvm::script::typeExpression(text, {}, kScript, kLine);
        EXPECT_EQ(console, "");
        EXPECT_EQ(plain->cls, qvm::script::expressionClassOfType(full.type.get()));
        if (plain->type) {
            EXPECT_EQ(plain->type, full.type);
        }
    }

    static Message located(const Expected& report)
    {
        return {report.severity, report.code, kScript, kLine, report.text};
    }
};

TEST_F(ValueAnalysis, AcceptedTextsTrees)
{
    for (const Accepted& accepted : kAccepted) {
        SCOPED_TRACE(std::string(accepted.variable) + " " + accepted.value);
        const auto tree = analyse(accepted.variable, accepted.value);
        ASSERT_TRUE(tree.has_value()) << console;
        EXPECT_EQ(qvm::script::dumpValueTree(*tree), accepted.tree);
        EXPECT_EQ(console, "");
    }
}

TEST_F(ValueAnalysis, RefusedCodesThenText)
{
    for (const Refused& refused : kRefused) {
        SCOPED_TRACE(std::string(refused.variable) + " " + refused.value);
        EXPECT_FALSE(analyse(refused.variable, refused.value).has_value());
        std::vector<Message> expected;
        for (const Expected& report : refused.reports) {
            expected.push_back(located(report));
        }
        expected.push_back(located({"E", "VARNOGOOD", "Incorrect expression (" + std::string(refused.variable) + ")"}));
        const std::vector<Message> reported = messagesOf(console);
        EXPECT_THAT(reported, ElementsAreArray(expected));
        for (std::size_t i = 0; i < std::min(reported.size(), expected.size()); ++i) {
            EXPECT_EQ(reported[i].text, expected[i].text);
        }
    }
}

TEST_F(ValueAnalysis, BlockScopeVariables)
{
    qvm::script::declareCText("struct Point local;", "SCN1", kScript, 3);
    const auto tree = analyse("local", "EV=(y => 2)", "SCN1");
    ASSERT_TRUE(tree.has_value()) << console;
    EXPECT_EQ(qvm::script::dumpValueTree(*tree),
              "EV local\n"
              "  structure (class 10, struct Point)\n"
              "    scalar .y = 2 (class 2, int)\n");
    EXPECT_FALSE(analyse("local", "EV=(y => 2)").has_value());
}

TEST_F(ValueAnalysis, NestingLimitedLikeC)
{
    const int limit = qvm::canalysis::kMaxExprDepth;
    const auto nested = [](int depth) { return "EV=" + std::string(depth, '{') + "1" + std::string(depth, '}'); };

    EXPECT_FALSE(analyse("grid", nested(limit + 1)).has_value());
    EXPECT_THAT(messagesOf(console), ElementsAreArray({located({"W", "EXPERRONE", "Error in expression "}),
                                                       located({"E", "VARNOGOOD", "Incorrect expression (grid)"})}));

    EXPECT_FALSE(analyse("grid", nested(limit)).has_value());
    const std::vector<Message> reported = messagesOf(console);
    ASSERT_EQ(reported.size(), 2U) << console;
    EXPECT_EQ(reported[0], located({"E", "INCOMPTYP", ""}));
}

TEST_F(ValueAnalysis, TooDeepTypesRefused)
{
    std::string dimensions;
    for (int i = 0; i < qvm::canalysis::kShallowTree; ++i) {
        dimensions += "[2]";
    }
    qvm::script::declareCText("int deep" + dimensions + ";", {}, "values.h", 80);
    ASSERT_EQ(console, "");

    EXPECT_FALSE(analyse("deep", "EV=deep").has_value());
    EXPECT_THAT(messagesOf(console),
                ElementsAreArray({located({"W", "EXPERRONE", "Error in expression "}),
                                  located({"E", "INDXDEPTH",
                                           "The check of deep nests arrays too deep: at most 20 levels of indices"}),
                                  located({"E", "VARNOGOOD", "Incorrect expression (deep)"})}));
}

TEST_F(ValueAnalysis, RepeatedSameTree)
{
    const auto first = analyse("msg", "INIT=(pos => (1, 2), tab => (OTHERS => 0))");
    const auto second = analyse("msg", "INIT=(pos => (1, 2), tab => (OTHERS => 0))");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(qvm::script::dumpValueTree(*first), qvm::script::dumpValueTree(*second));

    // A list longer than the room the reading keeps from one value to the next.
    constexpr int kLong = 3000;
    qvm::script::declareCText("int many[3000];", {}, "values.h", 95);
    std::string list = "EV=(7";
    for (int i = 1; i < kLong; ++i) {
        list += ", " + std::to_string(i % 10);
    }
    const auto longTree = analyse("many", list + ")");
    ASSERT_TRUE(longTree.has_value()) << console;
    EXPECT_EQ(longTree->root().children().size(), static_cast<std::size_t>(kLong));
    EXPECT_EQ(longTree->root().children().front().children().front().text(), "7");
    const auto third = analyse("msg", "INIT=(pos => (1, 2), tab => (OTHERS => 0))");
    ASSERT_TRUE(third);
    EXPECT_EQ(qvm::script::dumpValueTree(*third), qvm::script::dumpValueTree(*first));
}

TEST_F(ValueAnalysis, MovedTreeKeepsNodes)
{
    std::string value = "EV=(id => [1 .. SIZE], tab => (1 => SIZE, OTHERS => NIL), pos => PAIR)";
    auto analysed = analyse("msg", value);
    ASSERT_TRUE(analysed.has_value()) << console;
    const auto kept = std::make_unique<qvm::script::ValueTree>(std::move(*analysed));
    analysed.reset();
    std::fill(value.begin(), value.end(), '#');
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(analyse("grid", "EV=((1, 2, 3), (4, 5, 6))").has_value()) << console;
    }
    EXPECT_EQ(qvm::script::dumpValueTree(*kept),
              "EV msg\n"
              "  structure (class 10, struct Msg)\n"
              "    bounded .id [1..4] (class 2, int)\n"
              "    array .tab [0..3] (class 11, int [4])\n"
              "      range [1..1]\n"
              "        scalar = 4 (class 2, int)\n"
              "      range OTHERS [0..3]\n"
              "        scalar = 0 (class 2, int)\n"
              "    structure .pos (class 10, Point)\n"
              "      scalar .x = 1 (class 2, int)\n"
              "      scalar .y = 2 (class 2, int)\n");
}

TEST_F(ValueAnalysis, OthersTakesUnlisted)
{
    qvm::script::declareCText("struct Span { struct Point to; int x; int y; } span;", {}, "values.h", 90);
    ASSERT_EQ(console, "");

    const auto inner = analyse("span", "EV=(to => (y => 1, OTHERS => 2), OTHERS => 0)");
    ASSERT_TRUE(inner.has_value()) << console;
    EXPECT_EQ(qvm::script::dumpValueTree(*inner),
              "EV span\n"
              "  structure (class 10, struct Span)\n"
              "    structure .to (class 10, struct Point)\n"
              "      scalar .y = 1 (class 2, int)\n"
              "      scalar .x = 2 (class 2, int)\n"
              "    scalar .x = 0 (class 2, int)\n"
              "    scalar .y = 0 (class 2, int)\n");

    const auto outer = analyse("span", "EV=(x => 5, to => (x => 1, OTHERS => 2), OTHERS => 0)");
    ASSERT_TRUE(outer.has_value()) << console;
    EXPECT_EQ(qvm::script::dumpValueTree(*outer),
              "EV span\n"
              "  structure (class 10, struct Span)\n"
              "    scalar .x = 5 (class 2, int)\n"
              "    structure .to (class 10, struct Point)\n"
              "      scalar .x = 1 (class 2, int)\n"
              "      scalar .y = 2 (class 2, int)\n"
              "    scalar .y = 0 (class 2, int)\n");
}

// The operands of the value texts above, and words the plain typing must
// leave to the full way.
std::set<std::string> operandTexts()
{
    std::set<std::string> operands{" 7 ", "0", "1234", "12345", "007", "\"a b\"", "\"a\\n\"", "\"?\?=\"",
                                   "RED", "BLUE", "NONIL", "int", "Point", "U8", "nosuch", "sizeof",
                                   "__LINE__", "open_tab", "pp", "text", "ptr", "trv_msgrcv", "SIZE",
                                   // member paths and parentheses, good and bad
                                   "msg.pos", "msg.pos.x", "msg.flags.mode", "msg.data.f", "msg.name",
                                   "holder.l", "holder.b", "(msg.tab)", "( pt )", "(7)", "(\"ab\")", "((pt))",
                                   "msg.nosuch", "pt.x.y", "pp.x", "msg.text.x", "msg.Point", "msg.int",
                                   "msg..id", "msg.", "RED.x", "(pt).x", "(pt)+(pt)", "1.5", "msg . id"};
    const auto split = [&](std::string_view text) {
        std::string word;
        for (const char c : text) {
            if (std::string_view(",(){}[]=>. ").find(c) == std::string_view::npos) {
                word += c;
            } else if (!word.empty()) {
                operands.insert(word);
                word.clear();
            }
        }
        if (!word.empty()) {
            operands.insert(word);
        }
    };
    for (const Accepted& accepted : kAccepted) {
        split(accepted.value);
    }
    for (const Refused& refused : kRefused) {
        split(refused.value);
    }
    return operands;
}

TEST_F(ValueAnalysis, OperandsTypedAsFull)
{
    int plainCount = 0;
    std::set<std::string> texts = operandTexts();
    texts.insert({"\"\"", "(\"abc\")", " \"a b\" ", "(BLUE)", "RED"});
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const auto plain = qvm::script::typePlainExpression(text, {});
        if (!plain) {
            continue;
        }
        ++plainCount;
        console.clear();
        const qvm::script::TypedText full = qvm::script::typeExpression(text, {}, kScript, kLine);
        EXPECT_EQ(console, "");
        ASSERT_TRUE(full.parsed);
        EXPECT_EQ(plain->cls, full.nonNil ? 8 : qvm::script::expressionClassOfType(full.type.get()));
        if (plain->type) {
            EXPECT_EQ(plain->type, full.type);
        }
        // An enumeration constant or a string passed to a C function is
        // judged by the type the full way would give it.
        if (plain->constant != qvm::script::PlainConstant::None) {
            const qvm::canalysis::TypePtr type = qvm::script::typeOfPlainConstant(text, *plain);
            ASSERT_TRUE(type);
            EXPECT_EQ(qvm::canalysis::C_CPP_type_image(type.get()), qvm::canalysis::C_CPP_type_image(full.type.get()));
        }
    }
    for (const char* fast : {"1", "\"abc\"", "GREEN", "msg", "colour", "msg.pos.x", "holder.b", "(pt)"}) {
        EXPECT_TRUE(qvm::script::typePlainExpression(fast, {}).has_value()) << fast;
    }
    for (const char* full : {"12345", "NONIL", "nosuch", "U8", "\"a\\n\"", "1 + 1", "msg.nosuch", "pp.x",
                             "msg.Point", "((pt))"}) {
        EXPECT_FALSE(qvm::script::typePlainExpression(full, {}).has_value()) << full;
    }
    EXPECT_GT(plainCount, 20);
}

TEST_F(ValueAnalysis, ComparisonsAreIntegers)
{
    for (const char* fast : {"msg.id > msg.code", "(count <= 3)", "text != ptr && zero", "RED==colour||name",
                             "msg.ratio >= 1 || tab < grid", "\"a<b\""}) {
        expectPlainAsFull(fast);
    }
    // Operands the typing refuses or reports, other operators, strings
    // and long chains go the full way.
    for (const char* full : {"msg == 1", "pt.x < data", "nosuch > 1", "NONIL != ptr", "a = b", "zero & 1", "zero<<1",
                             "zero < -1", "!zero", "zero <", "\"a\" == text", "(zero) < 1",
                             "zero<zero<zero<zero<zero<zero<zero<zero<zero"}) {
        EXPECT_FALSE(qvm::script::typePlainExpression(full, {}).has_value()) << full;
    }
}

TEST_F(ValueAnalysis, CallsTypedAsFull)
{
    qvm::script::declareCText("unsigned long ticks(unsigned long); void stop(void); int (*handler)(int);\n"
                              "Colour shade();\n",
                              {}, kScript, kLine);
    for (const char* fast : {"ticks(count)", "ticks( msg.id )", "stop()", "handler(1)", "shade( )",
                             "ticks(count) < (0 + 0x100)", "handler(zero) != 2*3 && msg.id", "(ticks(1) >= 0X1f)",
                             "tab[1]", "msg.name[ zero ]", "text[count]", "open_tab[RED] == 1", "msg.tab[2]"}) {
        expectPlainAsFull(fast);
    }
    // Unknown or refused callees and arguments, nested calls, sums outside a
    // comparison and anything but small numbers in them go the full way.
    for (const char* full : {"ticks(nosuch)", "nosuch(1)", "RED(1)", "U8(1)", "count(1)", "ticks(ticks(1))",
                             "ticks(1", "(0 + 0x100)", "stop() == 0", "zero < 1 / 2", "zero < -1 + 2",
                             "zero < 0x12345", "zero < 1 + count", "ticks(\"a,b\")", "grid[1][2]", "count[1]",
                             "tab[nosuch]", "tab[ticks(1)]", "pt[0]", "tab[1].x", "tab[]"}) {
        EXPECT_FALSE(qvm::script::typePlainExpression(full, {}).has_value()) << full;
    }
}

TEST_F(ValueAnalysis, DeclaredNamesAsFull)
{
    qvm::script::declareCText("const long limit; int local;", "SCN", kScript, kLine);
    for (const char* text : {"msg", "msg.name", "limit", "local", "colour", "pp", "msg.flags.mode"}) {
        SCOPED_TRACE(text);
        const qvm::script::TypedExpression fast = qvm::script::expressionClass(text, "SCN", kScript, kLine);
        const qvm::script::TypedText full = qvm::script::typeExpression(text, "SCN", kScript, kLine);
        EXPECT_EQ(fast.cls, qvm::script::expressionClassOfType(full.type.get()));
        EXPECT_EQ(fast.typeImage, qvm::canalysis::C_CPP_type_image(full.type.get()));
    }
    EXPECT_EQ(qvm::script::expressionClass("msg.name", {}, kScript, kLine).elementCount, 8);
    EXPECT_TRUE(qvm::script::expressionClass("limit", "SCN", kScript, kLine).constant);
    EXPECT_EQ(qvm::script::cContext().scope, "SCN");
    EXPECT_EQ(console, "");
}

}  // namespace
