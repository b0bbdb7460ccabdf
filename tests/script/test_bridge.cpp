// The native type bridge's questions to the C analysis: macro expansion of
// script texts, the current C context, expression and variable classes,
// constness, C functions, declared variables and context declarations.
#include "bridge_support.h"

#include "script/panalc.h"
#include "script/pprepc.h"
#include "canalysis/ctypesizes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace qvm::script;
using qvm::testing::Message;
using qvm::testing::script::BridgeTest;
using ::testing::ElementsAre;
using ::testing::FieldsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class Bridge : public BridgeTest {};

TEST_F(Bridge, PreprocessTextExpands)
{
    declare("#define LIMIT (4 + 1)\n#define TWICE(x) ((x) * 2)\n");
    EXPECT_EQ(preprocessText("  TWICE(LIMIT) ", "SCN", 7), "(((4 + 1)) * 2)");
    EXPECT_EQ(preprocessText("plain_name", {}, 1), "plain_name");
    EXPECT_EQ(preprocessText("   ", {}, 1), "");
    EXPECT_EQ(cContext().scope, "");
    EXPECT_EQ(cContext().line, 1);
}

TEST_F(Bridge, RepeatedTextFollowsMacros)
{
    declare("#define LEVEL 1\n");
    for (const int line : {2, 3, 4}) {
        EXPECT_EQ(preprocessText("LEVEL + 1", {}, line), "1 + 1");
    }
    declare("#undef LEVEL\n#define LEVEL 2\n");
    EXPECT_EQ(preprocessText("LEVEL + 1", {}, 4), "2 + 1");
    declare("#undef LEVEL\n");
    EXPECT_EQ(preprocessText("LEVEL + 1", {}, 5), "LEVEL + 1");
}

TEST_F(Bridge, RepeatedTextPredefined)
{
    declare("#define HERE __LINE__\n#define WHERE_ABOUTS (HERE + 0)\n#define GLUE(a, b) a##b\n");
    for (const int line : {10, 20, 30}) {
        EXPECT_EQ(preprocessText("WHERE_ABOUTS", {}, line), "(" + std::to_string(line) + " + 0)");
        EXPECT_EQ(preprocessLine("GLUE(__LI, NE__)", {}, line + 1), std::to_string(line + 1));
    }
}

TEST_F(Bridge, ARepeatedTextReportsEachTime)
{
    declare("#define PAIR(a, b) ((a) + (b))\n");
    setCContext({}, "s.pts", 1);
    const std::optional<std::string> first = preprocessText("PAIR(1)", {}, 5);
    const std::size_t reported = messages().size();
    ASSERT_GT(reported, 0U);
    for (const int line : {6, 7}) {
        EXPECT_EQ(preprocessText("PAIR(1)", {}, line), first);
        EXPECT_EQ(messages().back().line, line);
    }
    EXPECT_EQ(messages().size(), 3 * reported);
}

TEST_F(Bridge, PreprocessTextReportsAt)
{
    setCContext({}, "s.pts", 3);
    EXPECT_EQ(preprocessText("\"open string", "SCN", 12), "\"open string");
    EXPECT_EQ(cContext().scope, "SCN");
    EXPECT_EQ(cContext().file, "s.pts");
    EXPECT_EQ(cContext().line, 12);
    EXPECT_THAT(messages(), ElementsAre(Message{"W", "UNTERSTRI", "s.pts", 12}));
}

TEST_F(Bridge, ScopeNamesStopAt16400Characters)
{
    const std::string longest(kMaxScopeNameLength, 'S');
    setCContext(longest, "s.pts", 4);
    EXPECT_EQ(cContext().scope, longest);
    EXPECT_THAT(messages(), IsEmpty());

    setCContext(longest + "@init", "s.pts", 5);
    EXPECT_EQ(cContext().scope, longest);
    EXPECT_THAT(messages(), ElementsAre(Message{"E", "DEBORUBAN", "s.pts", 5}));
    EXPECT_EQ(qvm::diag::errorCount(), 1u);
}

TEST_F(Bridge, ClassesOfExpressions)
{
    declare("#define N 4\n"
            "typedef long L1; typedef L1 L2; typedef L2 L3;\n"
            "enum colour { RED, GREEN, BLUE, COLOURS };\n"
            "struct pair { int a, b; }; union either { int i; char c; };\n"
            "char *str; char buf[10]; long l; unsigned char uc; double d; long double ld; float f;\n"
            "enum colour col; struct pair pr; union either ei; int fn(int); void nothing(void);\n"
            "L3 chained; int grid[N + 1][3]; int byColour[COLOURS]; short sh; int *ip; void *NONIL;\n");
    const std::vector<std::tuple<std::string, int, long long>> cases = {
        {"str", kClassString, 0},      {"buf", kClassCharArray, 10}, {"l", kClassLong, 0},
        {"uc", kClassChar, 0},         {"d", kClassDouble, 0},       {"ld", kClassDouble, 0},
        {"f", kClassFloat, 0},         {"col", kClassEnum, 0},       {"pr", kClassStruct, 0},
        {"ei", kClassUnion, 0},        {"fn", kClassFunction, 0},    {"nothing()", kClassVoid, 0},
        {"chained", kClassLong, 0},    {"grid", kClassArray, 5},     {"grid[1]", kClassArray, 3},
        {"byColour", kClassArray, 3},  {"sh", kClassInt, 0},         {"ip", kClassPointer, 0},
        {"NONIL", kClassNonNil, 0},    {"l + 1", kClassLong, 0},     {"pr.a", kClassInt, 0},
        {"buf[2]", kClassChar, 0},     {"*str", kClassChar, 0},      {"fn(2)", kClassInt, 0},
    };
    for (const auto& [text, cls, count] : cases) {
        const TypedExpression typed = expressionClass(text, {}, "s.pts", 9);
        EXPECT_EQ(typed.cls, cls) << text;
        EXPECT_EQ(typed.elementCount, count) << text;
    }
    EXPECT_EQ(expressionClass("chained", {}, "s.pts", 9).typeImage, "L3");
    EXPECT_THAT(messages(), IsEmpty());
}

TEST_F(Bridge, DimensionsAsIfReadsThem)
{
    const std::vector<std::pair<std::string, long long>> cases = {
        {"(200 + 0x100)", 456}, {"1 + 2 * 3", 7}, {"(1 + 2) * 3", 9}, {"2 * (3 - 1) * 4", 16},
        {"0x10 - 1", 15},       {"2 * 010", 16},  {"10u", 10},        {"3 - 5", 0},
        {"7 / 2", 3},           {"1 << 4", 16},   {"0", 0},           {"-4 + 6", 2},
        {"", 0},                {"sizeof(int)", 0}, {"((((((((((1))))))))))", 1},
    };
    for (const auto& [dimension, count] : cases) {
        EXPECT_EQ(elementCountOf(dimension), count) << dimension;
    }
}

TEST_F(Bridge, NamelessTextsTypeAlike)
{
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(expressionType("(sizeof(int) * 4)", "SCN", "s.pts", 3), std::make_pair(std::string("unsigned int"), 2));
        EXPECT_EQ(expressionClass("*(long*)0", {}, "s.pts", 3).typeImage, "long");
        EXPECT_EQ(expressionType("*(int)0", {}, "s.pts", 8 + round).second, 2);
    }
    EXPECT_THAT(messages(), ElementsAre(Message{"W", "NONPOINTE", "s.pts", 8}, Message{"W", "NONPOINTE", "s.pts", 9}));
    // A sizeof gives an unsigned long once pointers have the size of a long.
    qvm::canalysis::typeSizes().longBits = 64;
    qvm::canalysis::typeSizes().pointerBits = 64;
    EXPECT_EQ(expressionType("(sizeof(int) * 4)", "SCN", "s.pts", 3).first, "unsigned long");
    qvm::canalysis::typeSizes().reset();
    EXPECT_EQ(expressionType("(sizeof(int) * 4)", "SCN", "s.pts", 3).first, "unsigned int");
}

TEST_F(Bridge, UntypedIsInteger)
{
    const TypedExpression typed = expressionClass("undeclared_name", "SCN", "s.pts", 6);
    EXPECT_EQ(typed.cls, kClassInt);
    EXPECT_THAT(messages(), ElementsAre(Message{"W", "IDENTIINC", "s.pts", 6}));
}

TEST_F(Bridge, BlockAndGlobalVariables)
{
    declare("long counter; char name[32];");
    declare("double local; char counter;", "SCN@init");
    EXPECT_EQ(variableClass("local", "SCN@init", "s.pts", 2).cls, kClassDouble);
    EXPECT_EQ(variableClass("counter", "SCN@init", "s.pts", 2).cls, kClassChar);
    EXPECT_EQ(variableClass("counter", {}, "s.pts", 2).cls, kClassLong);
    const TypedExpression name = variableClass(" name ", "SCN@init", "s.pts", 2);
    EXPECT_EQ(name.cls, kClassCharArray);
    EXPECT_EQ(name.elementCount, 32);
    EXPECT_EQ(name.typeImage, "char [32]");
    EXPECT_EQ(variableClass("local", "OTHER", "s.pts", 2).cls, kClassNone);
    EXPECT_EQ(variableClass("nowhere", {}, "s.pts", 2).typeImage, "");
    EXPECT_EQ(cContext().scope, "");
}

TEST_F(Bridge, ConstnessThroughPointers)
{
    declare("typedef const int CI; typedef CI *PCI;\n"
            "const char *message; char *const fixed; CI limit; PCI cursor; int plain; const int table[4];\n");
    EXPECT_TRUE(isConstantExpression("message"));
    EXPECT_TRUE(isConstantExpression("fixed"));
    EXPECT_TRUE(isConstantExpression("limit"));
    EXPECT_TRUE(isConstantExpression("cursor"));
    EXPECT_TRUE(isConstantExpression("table"));
    EXPECT_FALSE(isConstantExpression("plain"));
    EXPECT_FALSE(isConstantExpression("42"));
    EXPECT_TRUE(expressionClass("limit", {}, "s.pts", 1).constant);
}

TEST_F(Bridge, TypeNamesAreTypeDefinitionsOnly)
{
    declare("typedef struct msg { int id; } MSG; int variable; struct tagOnly { int x; };");
    declare("typedef int LOCAL_T;", "CB_ON_T");
    EXPECT_TRUE(isTypeName("MSG"));
    EXPECT_TRUE(isTypeName(" MSG "));
    EXPECT_FALSE(isTypeName("variable"));
    EXPECT_FALSE(isTypeName("tagOnly"));
    EXPECT_TRUE(isTypeName("int"));
    EXPECT_TRUE(isTypeName("unsigned long"));
    EXPECT_TRUE(isTypeName("double"));
    EXPECT_FALSE(isTypeName("void"));
    EXPECT_FALSE(isTypeName("struct msg"));
    EXPECT_FALSE(isTypeName("int *"));
    EXPECT_FALSE(isTypeName("unknown_t"));
    EXPECT_FALSE(isTypeName(""));
    setCContext({}, "s.pts", 1);
    EXPECT_FALSE(isTypeName("LOCAL_T"));
    setCContext("CB_ON_T", "s.pts", 1);
    EXPECT_TRUE(isTypeName("LOCAL_T"));
    EXPECT_THAT(messages(), IsEmpty());
}

TEST_F(Bridge, FunctionLookupClasses)
{
    declare("typedef int HANDLER(char);\n"
            "int none(void); long empty(); void two(char *, double); int vararg(const char *, ...);\n"
            "int oldStyle(a, b); int (*pointer)(long); HANDLER handler; struct s { int x; } record(int);\n"
            "int notAFunction;\n");
    const auto classesOf = [](const std::string& name) {
        const std::optional<FunctionClasses> found = lookupFunction(name);
        EXPECT_TRUE(found.has_value()) << name;
        return found ? std::make_pair(found->returnClass, found->parameterClasses)
                     : std::make_pair(-2, std::vector<int>{});
    };
    using Classes = std::pair<int, std::vector<int>>;
    EXPECT_EQ(classesOf("none"), (Classes{kClassInt, {kClassVoid}}));
    EXPECT_EQ(classesOf("empty"), (Classes{kClassLong, {kClassVoid}}));
    EXPECT_EQ(classesOf("two"), (Classes{kClassVoid, {kClassString, kClassDouble}}));
    EXPECT_EQ(classesOf("vararg"), (Classes{kClassInt, {kClassString, kClassVariadic}}));
    EXPECT_EQ(classesOf("oldStyle"), (Classes{kClassInt, {kClassUnspecified, kClassUnspecified}}));
    EXPECT_EQ(classesOf("pointer"), (Classes{kClassInt, {kClassLong}}));
    EXPECT_EQ(classesOf("handler"), (Classes{kClassInt, {kClassChar}}));
    EXPECT_EQ(classesOf("record"), (Classes{kClassStruct, {kClassInt}}));
    EXPECT_EQ(lookupFunction("notAFunction"), std::nullopt);
    EXPECT_EQ(lookupFunction("HANDLER"), std::nullopt);
    EXPECT_EQ(lookupFunction("unknown"), std::nullopt);
}

TEST_F(Bridge, DeclListLeavesTableAlone)
{
    declare("typedef struct { int id; } MSG;\n#define SIZE 8\n");
    const std::vector<DeclaredVariable> variables = declarationList(
        "int a; char *s;\ntypedef long T; T t; int f(void);\nstruct S { int x; } st; MSG m; char text[SIZE];\n"
        "extern double shared; union { int i; } u;");
    std::vector<std::pair<std::string, int>> found;
    for (const DeclaredVariable& variable : variables) {
        found.emplace_back(variable.name, variable.cls);
    }
    EXPECT_THAT(found, ElementsAre(FieldsAre("a", kClassInt), FieldsAre("s", kClassString), FieldsAre("t", kClassLong),
                                   FieldsAre("st", kClassStruct), FieldsAre("m", kClassStruct),
                                   FieldsAre("text", kClassCharArray), FieldsAre("shared", kClassDouble),
                                   FieldsAre("u", kClassUnion)));
    EXPECT_FALSE(isTypeName("T"));
    EXPECT_EQ(variableClass("a", {}, "s.pts", 1).cls, kClassNone);
    EXPECT_EQ(lookupFunction("f"), std::nullopt);
    EXPECT_THAT(declarationList("int broken(;"), IsEmpty());
    EXPECT_THAT(messages(), IsEmpty());
}

TEST_F(Bridge, ContextDeclarationTypes)
{
    declare("typedef struct { int id; } MSG; long n; char s[8]; MSG m; const char *p;");
    declare("int untyped_in_scope;", "SCN");
    EXPECT_EQ(contextDeclaration("n", false), "long trv_ctx_n;");
    EXPECT_EQ(contextDeclaration("s", false), "char trv_ctx_s[8];");
    EXPECT_EQ(contextDeclaration("m", false), "MSG trv_ctx_m;");
    EXPECT_EQ(contextDeclaration("p", false), "const char *trv_ctx_p;");
    EXPECT_EQ(contextDeclaration("n", true), "long *trv_ctx_n;");
    EXPECT_EQ(contextDeclaration("s", true), "char (*trv_ctx_s)[8];");
    EXPECT_EQ(contextDeclaration("unknown", false), "int trv_ctx_unknown;");
    EXPECT_EQ(contextDeclaration("unknown", true), "int trv_ctx_unknown;");
    setCContext("SCN", "s.pts", 1);
    EXPECT_EQ(contextDeclaration("untyped_in_scope", false), "int trv_ctx_untyped_in_scope;");
}

}  // namespace
