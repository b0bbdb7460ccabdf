// The native types of the test language: the FORMAT table row by row, the
// messages of bad FORMAT texts, the check names of C types and the
// selection contexts of message structures (compiled with the system's C
// compiler to show that the generated selector paths are valid C).
#include "bridge_support.h"

#include "canalysis/declarations/ctabsy.h"
#include "script/panalc.h"
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <tuple>

namespace {

using namespace qvm::script;
using qvm::testing::IsMessage;
using qvm::testing::Message;
using qvm::testing::script::BridgeTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kInterface =
    "#define FIELD rec.inner.count\n"
    "typedef struct { long count; char label[8]; } INNER;\n"
    "typedef struct { int id; INNER inner; union { short alt; long wide; }; } RECORD;\n"
    "RECORD rec; RECORD *ptr; int v; char *s; int tab[4]; unsigned u; void fn(void);\n";

class Formats : public BridgeTest {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        declare(kInterface);
    }

    bool instruction(const std::string& text, bool parenthesisedRequired = false)
    {
        return registerFormat(FormatKind::Instruction, {}, text, "s.pts", 7, parenthesisedRequired) != nullptr;
    }
};

// The table exactly as the check writers and FORMAT read it.
const std::tuple<const char*, const char*, const char*, int, bool, int> kRows[] = {
    {"boolean", "int", "booleen", 1, false, 0},      {"char", "char", "caractere", 2, false, 0},
    {"double", "double", "double", 3, false, 0},     {"enum", "int", "entier", 0, false, -32},
    {"float", "float", "float", 3, false, 0},        {"int", "long", "entier", 0, false, -32},
    {"integer", "long", "entier", 0, false, -32},    {"pointer", "void*", "pointeur", 6, false, 32},
    {"pointer", "void*", "pointeur", 11, false, 32}, {"string", "char*", "chaine", 4, true, 0},
    {"string_ptr", "char*", "ptr_chaine", 9, true, 0}, {"unsigned", "unsigned", "unsigned", 0, false, 32},
};

class NativeRow : public Formats, public ::testing::WithParamInterface<int> {};

TEST_P(NativeRow, Registers)
{
    const auto& [name, cType, checkName, checkClass, parenthesised, width] = kRows[GetParam()];
    const NativeType& row = nativeTypeTable()[static_cast<std::size_t>(GetParam())];
    EXPECT_EQ(row.typeName, name);
    EXPECT_EQ(row.cType, cType);
    EXPECT_EQ(row.checkName, checkName);
    EXPECT_EQ(row.checkClass, checkClass);
    EXPECT_EQ(row.needsParenthesised, parenthesised);
    EXPECT_EQ(row.width, width);

    ASSERT_TRUE(instruction(std::string("v # ") + name));
    const VariableFormat* format = formatOf("v");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->cType, cType);
    EXPECT_EQ(format->checkName, checkName);
    // The second pointer row is never found by name: the first one wins.
    EXPECT_EQ(format->checkClass, GetParam() == 8 ? 6 : checkClass);
    EXPECT_EQ(format->width, width);
    EXPECT_EQ(format->formatCode, kFormatNatural);
    EXPECT_THAT(messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Types, NativeRow, ::testing::Range(0, 12));

TEST_F(Formats, StoreTheirTableTypes)
{
    ASSERT_TRUE(instruction("v # integer"));
    ASSERT_TRUE(instruction("s # string"));
    const VariableFormat* integer = formatOf("v");
    const VariableFormat* string = formatOf("s");
    ASSERT_TRUE(integer && string);
    EXPECT_EQ(std::tie(integer->cType, integer->checkName, integer->checkClass), std::make_tuple("long", "entier", 0));
    EXPECT_EQ(std::tie(string->cType, string->checkName, string->checkClass), std::make_tuple("char*", "chaine", 4));
}

TEST_F(Formats, PathsFieldsBasesTypes)
{
    EXPECT_TRUE(instruction("rec.inner.count # integer, HEX"));
    EXPECT_TRUE(instruction("ptr -> inner . label # string(const char *), char"));
    EXPECT_TRUE(instruction("rec.alt # int, bin"));
    EXPECT_TRUE(instruction("tab[] # unsigned, OCT"));
    EXPECT_TRUE(instruction("u # unsigned, DEC"));
    EXPECT_THAT(messages(), IsEmpty());
    EXPECT_EQ(formatOf("rec . inner . count")->formatCode, kFormatHex);
    EXPECT_EQ(formatOf("ptr->inner.label")->cType, "const char *");
    EXPECT_EQ(formatOf("ptr->inner.label")->formatCode, kFormatNatural);
    EXPECT_EQ(formatOf("rec.alt")->formatCode, kFormatBinary);
    EXPECT_EQ(formatOf("tab[]")->formatCode, kFormatOctal);
    EXPECT_EQ(formatOf("u")->formatCode, kFormatDecimal);
    EXPECT_EQ(formatOf("rec"), nullptr);
}

TEST_F(Formats, VariableExpandedInScope)
{
    declare("long local;", "SCN");
    EXPECT_TRUE(registerFormat(FormatKind::Instruction, "SCN", "local # integer", "s.pts", 9));
    EXPECT_TRUE(registerFormat(FormatKind::Instruction, "SCN", "FIELD # integer, HEX", "s.pts", 10));
    EXPECT_NE(formatOf("local", "SCN"), nullptr);
    EXPECT_EQ(formatOf("local"), nullptr);
    EXPECT_EQ(formatOf("rec.inner.count", "SCN")->scope, "");
    EXPECT_EQ(formatOf("rec.inner.count")->formatCode, kFormatHex);
    EXPECT_FALSE(registerFormat(FormatKind::Instruction, "OTHER", "local # integer", "s.pts", 11));
    EXPECT_THAT(messages(), ElementsAre(IsMessage({"E", "IDENTINCO", "s.pts", 11}, HasSubstr("identifier local"))));
}

TEST_F(Formats, BadFormatsRegisterNothing)
{
    const std::vector<std::tuple<std::string, std::string, std::string, bool>> cases = {
        {"tab] # integer", "NOMVARINC", "Bad variable name tab]", false},
        {"rec.inner # integer", "NOMVARINC", "Bad variable name rec.inner", false},
        {"fn # pointer", "NOMVARINC", "Bad variable name fn", false},
        {"v[] # integer", "NOMVARINC", "Bad variable name v[]", false},
        {"rec..id # integer", "NOMVARINC", "Bad variable name rec..id", false},
        {"rec. inner count # integer", "NOMVARINC", "Bad variable name rec. inner count", false},
        {"tab[1].x] # integer", "NOMVARINC", "Bad variable name tab[1].x]", false},
        {"tab[1][2] # integer", "NOMVARINC", "Bad variable name tab[1][2]", false},
        {"nowhere # integer", "IDENTINCO", "Unknown identifier nowhere", false},
        {"rec.missing # integer", "CHAMPINCO", "Unknown field missing", false},
        {"v.field # integer", "CHAMPINCO", "Unknown field field", false},
        {"rec->id # integer", "CHAMPINCO", "Unknown field id", false},
        {"v # real", "TYPEINCON", "Unknown type real", false},
        {"v # Integer", "TYPEINCON", "Unknown type Integer", false},
        {"v", "TYPEINCON", "Unknown type", false},
        {"s # string", "ENUTYPABS", "Enumerated type name string missing", true},
        {"s # string_ptr", "ENUTYPABS", "Enumerated type name string_ptr missing", true},
        {"v # integer, SEXAGESIMAL", "BASEINCON", "Unknown display format SEXAGESIMAL", false},
    };
    for (const auto& [text, code, shown, parenthesisedRequired] : cases) {
        console.clear();
        EXPECT_FALSE(instruction(text, parenthesisedRequired)) << text;
        EXPECT_THAT(messages(), ElementsAre(IsMessage({"E", code, "s.pts", 7}, HasSubstr(shown)))) << text;
    }
    EXPECT_EQ(formatOf("v"), nullptr);
    EXPECT_EQ(formatOf("s"), nullptr);
    EXPECT_TRUE(instruction("s # string(char *)", true));
}

TEST_F(Formats, FieldsOfATypeThatHoldsItself)
{
    declare("struct self { struct self; int x; } looping;");
    console.clear();
    EXPECT_TRUE(instruction("looping.x # integer"));
    EXPECT_FALSE(instruction("looping.y # integer"));
    EXPECT_THAT(messages(), ElementsAre(IsMessage({"E", "CHAMPINCO", "s.pts", 7}, HasSubstr("field y"))));
}

TEST_F(Formats, SecondFormatRefused)
{
    EXPECT_TRUE(instruction("rec.id # integer, HEX"));
    EXPECT_FALSE(registerFormat(FormatKind::Instruction, {}, "rec . id # char", "s.pts", 8));
    EXPECT_THAT(messages(),
                ElementsAre(IsMessage({"E", "FORMREDEF", "s.pts", 8},
                                      HasSubstr("Several FORMAT instructions for the same variable rec.id"))));
    EXPECT_EQ(formatOf("rec.id")->checkName, "entier");
}

TEST_F(Formats, HiddenFormatsGiveWay)
{
    declare("int trv_msgrcv;");
    EXPECT_TRUE(registerFormat(FormatKind::Hidden, {}, "trv_msgrcv # integer", "s.pts", 3));
    EXPECT_TRUE(registerFormat(FormatKind::Hidden, {}, "trv_msgrcv # char", "s.pts", 4));
    EXPECT_EQ(formatOf("trv_msgrcv")->checkName, "entier");
    EXPECT_TRUE(instruction("trv_msgrcv # char"));
    EXPECT_EQ(formatOf("trv_msgrcv")->checkName, "caractere");
    EXPECT_TRUE(registerFormat(FormatKind::Hidden, {}, "trv_msgrcv # integer", "s.pts", 5));
    EXPECT_EQ(formatOf("trv_msgrcv")->checkName, "caractere");
    EXPECT_THAT(messages(), IsEmpty());
}

TEST_F(Formats, ResetsForgetTheFormats)
{
    EXPECT_TRUE(instruction("v # integer"));
    resetNativeTypes();
    EXPECT_EQ(formatOf("v"), nullptr);
    EXPECT_TRUE(instruction("v # integer"));
    resetCAnalysis();
    EXPECT_EQ(formatOf("v"), nullptr);
}

class CheckNames : public BridgeTest {
protected:
    CheckName of(const std::string& variable)
    {
        const qvm::canalysis::Symbol* symbol = findCVariable(variable, {});
        EXPECT_NE(symbol, nullptr) << variable;
        return checkNameOfType(symbol != nullptr ? symbol->type.get() : nullptr);
    }
};

TEST_F(CheckNames, OfEveryKindOfCType)
{
    declare("typedef const unsigned short CUS; enum e { A } en; struct st { int x; } sv; union un { int x; } uv;\n"
            "int i; unsigned ui; long l; signed char sc; unsigned char uc; float f; double d; long double ld;\n"
            "char *str; int *ip; int (*fp)(void); char text[4]; int arr[4]; int fn(void); CUS typed;\n");
    const std::vector<std::tuple<std::string, std::string, int>> cases = {
        {"i", "entier", 0},     {"ui", "unsigned", 0},   {"l", "entier", 0},       {"sc", "caractere", 2},
        {"uc", "unsigned", 0},  {"f", "float", 3},       {"d", "double", 3},       {"ld", "double", 3},
        {"str", "chaine", 4},   {"ip", "pointeur", 6},   {"fp", "pointeur", 11},   {"text", "chaine", 4},
        {"arr", "pointeur", 6}, {"en", "entier", 0},     {"sv", "", 8},            {"uv", "", 8},
        {"fn", "pointeur", 6},  {"typed", "unsigned", 0},
    };
    for (const auto& [variable, name, checkClass] : cases) {
        const CheckName check = of(variable);
        EXPECT_EQ(check.name, name) << variable;
        EXPECT_EQ(check.checkClass, checkClass) << variable;
    }
    EXPECT_EQ(checkNameOfType(qvm::canalysis::C_CPP_new_type(qvm::canalysis::kVoid).get()).name, "entier");
    EXPECT_EQ(checkNameOfType(nullptr).name, "entier");
}

TEST_F(CheckNames, StringSwitchOnlyCharPtrs)
{
    declare("char *str; char text[4];");
    setStringPointerChecks(true);
    EXPECT_EQ(of("str").name, "ptr_chaine");
    EXPECT_EQ(of("str").checkClass, 9);
    EXPECT_EQ(of("text").name, "chaine");
    resetNativeTypes();
    EXPECT_EQ(of("str").name, "chaine");
}

constexpr const char* kMessages =
    "typedef struct { int a; long b; } PLAIN;\n"
    "typedef union { int a; char b; } CHOICE;\n"
    "typedef union { int x; struct { int k; union { int p; long q; } deep; } s; } INNER;\n"
    "typedef struct { int id; INNER body[2]; INNER single; PLAIN plain; union { int a; char c; }; } MSG;\n"
    "typedef MSG MSG_ALIAS;\n";

class Selectors : public BridgeTest {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        declare(kMessages);
    }

    // The context of MSG's anonymous union: named after the tag the C
    // analysis made up for it.
    static std::string anonymousMember(const std::optional<SelectionContext>& context)
    {
        static const std::regex member(R"(\}(trv_ctxsel_\w+);)");
        std::smatch found;
        const bool matched = context && std::regex_search(context->declaration, found, member);
        return matched ? found[1].str() : std::string();
    }
};

TEST_F(Selectors, AStructureWithoutUnionHasNone)
{
    EXPECT_EQ(selectionContext("PLAIN", {}, 3), std::nullopt);
    EXPECT_EQ(selectionContext("NOT_A_TYPE", {}, 3), std::nullopt);
    EXPECT_THAT(messages(), IsEmpty());
}

TEST_F(Selectors, UnionOfScalarsSelectorOnly)
{
    const std::optional<SelectionContext> context = selectionContext("CHOICE", {}, 3);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->declaration, "struct {\nint select;\n\n}TRV_CHOICE;\n");
    EXPECT_EQ(context->companion, "struct {\nint select;\n\n}trv_ctxsel_CHOICE;\n");
}

TEST_F(Selectors, NestedContextsNamed)
{
    const std::string inner = "struct {\nint select;\n\nstruct {\nstruct {\nint select;\n\n}deep;\n\n}s;\n\n}";
    const std::optional<SelectionContext> context = selectionContext("MSG", {}, 3);
    const std::string anonymous = anonymousMember(context);
    EXPECT_THAT(anonymous, ::testing::StartsWith("trv_ctxsel__unamedStruct"));
    const std::string members =
        inner + "body[2];\n" + inner + "single;\nstruct {\nint select;\n\n}" + anonymous + ";\n";
    ASSERT_TRUE(context);
    EXPECT_EQ(context->declaration, "struct {\n" + members + "\n}TRV_MSG;\n");
    EXPECT_EQ(context->companion, "struct {\n" + members + "\n}trv_ctxsel_MSG;\n");
    const std::optional<SelectionContext> alias = selectionContext("MSG_ALIAS", {}, 3);
    ASSERT_TRUE(alias);
    EXPECT_EQ(alias->declaration, "struct {\n" + members + "\n}TRV_MSG_ALIAS;\n");
}

TEST_F(Selectors, DeclaredContextsTyped)
{
    const std::optional<SelectionContext> first = selectionContext("MSG", {}, 3);
    const std::optional<SelectionContext> second = selectionContext(" MSG ", {}, 4);
    ASSERT_TRUE(first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(variableClass("TRV_MSG", {}, "s.pts", 5).cls, kClassNone);
    declareCText(first->declaration, {}, "s.pts", 5);
    EXPECT_EQ(expressionClass("TRV_MSG", {}, "s.pts", 5).cls, kClassStruct);
    EXPECT_EQ(expressionClass("TRV_MSG.body[1].s.deep.select", {}, "s.pts", 5).cls, kClassInt);
    EXPECT_EQ(expressionClass("TRV_MSG." + anonymousMember(first) + ".select", {}, "s.pts", 5).cls, kClassInt);
    EXPECT_THAT(messages(), IsEmpty());
    declare("typedef MSG LOCAL_MSG;", "SCN");
    EXPECT_TRUE(selectionContext("LOCAL_MSG", "SCN", 6).has_value());
    EXPECT_EQ(selectionContext("LOCAL_MSG", {}, 6), std::nullopt);
    EXPECT_THAT(messages(), IsEmpty());
}

TEST_F(Selectors, GeneratedTextsCompile)
{
    const std::optional<SelectionContext> msg = selectionContext("MSG", {}, 3);
    const std::optional<SelectionContext> choice = selectionContext("CHOICE", {}, 3);
    ASSERT_TRUE(msg && choice);
    const std::string program = std::string(kMessages) + msg->declaration + "typedef struct {\nint trv_ctxflagrt;\n" +
                                msg->companion + choice->companion +
                                "} TRV_T_CTX;\n"
                                "int check(TRV_T_CTX *trv_ctx, int I1)\n{\n"
                                "  int global = TRV_MSG.body[I1].select + TRV_MSG.single.s.deep.select;\n"
                                "#define TRV_MSG (trv_ctx->trv_ctxsel_MSG)\n"
                                "#define TRV_CHOICE (trv_ctx->trv_ctxsel_CHOICE)\n"
                                "  switch (TRV_MSG.body[I1].s.deep.select) { case 0: break; }\n"
                                "  return global + TRV_CHOICE.select + TRV_MSG." +
                                anonymousMember(msg) + ".select;\n}\n";
    qvm::testing::TempDir directory;
    qvm::testing::writeFile(directory / "contexts.c", program);
    const std::string source = (directory / "contexts.c").string();
    const qvm::testing::RunResult run =
        qvm::testing::runProgram("/usr/bin/gcc", {"-fsyntax-only", "-Wall", "-Werror", source});
    EXPECT_EQ(run.status, 0) << run.err << program;
}

TEST_F(Selectors, TooDeepRefused)
{
    std::string header = "typedef union { int a; } LEVEL0;\n";
    for (int level = 1; level <= kMaxSelectionDepth; ++level) {
        header += "typedef struct { LEVEL" + std::to_string(level - 1) + " in; } LEVEL" + std::to_string(level) + ";\n";
    }
    declare(header);
    const std::string deepest = "LEVEL" + std::to_string(kMaxSelectionDepth);
    const std::string shallower = "LEVEL" + std::to_string(kMaxSelectionDepth - 1);
    setCContext({}, "s.pts", 2);
    EXPECT_TRUE(selectionContext(shallower, {}, 2).has_value());
    EXPECT_THAT(messages(), IsEmpty());
    EXPECT_EQ(selectionContext(deepest, {}, 3), std::nullopt);
    EXPECT_THAT(messages(), ElementsAre(IsMessage({"E", "DEBORUBAN", "s.pts", 3}, HasSubstr(deepest))));
}

TEST_F(Selectors, SelfHoldingTypesRefused)
{
    std::string header = "struct loop { struct loop again, twice; union { int a; } u; };\n"
                         "typedef struct loop LOOP;\ntypedef union { int a; } WIDE0;\n";
    for (int level = 1; level <= 40; ++level) {
        const std::string below = "WIDE" + std::to_string(level - 1);
        header += "typedef struct { " + below + " left, right; } WIDE" + std::to_string(level) + ";\n";
    }
    declare(header);
    console.clear();
    setCContext({}, "s.pts", 2);
    EXPECT_EQ(selectionContext("LOOP", {}, 3), std::nullopt);
    EXPECT_EQ(selectionContext("WIDE40", {}, 4), std::nullopt);
    EXPECT_THAT(messages(), ElementsAre(IsMessage({"E", "DEBORUBAN", "s.pts", 3}, HasSubstr("nested deeper")),
                                        IsMessage({"E", "DEBORUBAN", "s.pts", 4}, HasSubstr("longer than"))));
}

}  // namespace
