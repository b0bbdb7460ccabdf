// The declaration parser and the type table through their entry points:
// specifier combinations, declarators, tags, enumerators, redeclarations,
// line directives and pragmas, syntax errors, and the questions asked of types.
#include "base/mstrid.h"
#include "canalysis/declarations/ctabsy.h"
#include "canalysis/ctypesizes.h"
#include "canalysis/preprocessor/cevalif.h"

#include "support/creports.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::canalysis {
namespace {

using testing::CReport;

class CDecls : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::unsetenv("TRV_UNAMESTRUCT");
        ::unsetenv("KQ_EXT");
        C_CPP_reset_analysis();
        typeSizes().reset();
    }

    void TearDown() override
    {
        installCallback({});
        typeSizes().reset();
        C_CPP_reset_analysis();
    }

    int parse(const std::string& text, const std::string& scope = {})
    {
        return C_CPP_parse_decls(text, table_, scope, "if.h", 1, testing::recordInto(reports_));
    }

    const Symbol& symbol(const std::string& name, const std::string& scope = {})
    {
        const Symbol* found = C_CPP_find_symbol(name, table_, scope);
        if (found == nullptr) {
            ADD_FAILURE() << "no symbol " << name;
            static const Symbol none;
            return none;
        }
        return *found;
    }

    std::string image(const std::string& name) { return C_CPP_decl_image(symbol(name), true); }

    std::vector<std::string> codes() const { return testing::codesOf(reports_); }

    SymbolTable table_;
    std::vector<CReport> reports_;
};

using Codes = std::vector<std::string>;

TEST_F(CDecls, SpecifierCombinations)
{
    parse("unsigned short us; long unsigned lu; unsigned u; long long int ll; char c; signed char sc;\n"
          "unsigned long ul; long double ld; short int si; int long il;");
    EXPECT_TRUE(reports_.empty());
    const auto basic = [&](const std::string& name) { return symbol(name).type.get(); };
    EXPECT_EQ(basic("us")->size, 16);
    EXPECT_EQ(basic("lu")->size, 32);
    EXPECT_EQ(image("lu"), "long unsigned lu;");
    EXPECT_EQ(basic("u")->size, 32);
    EXPECT_EQ(basic("ll")->size, -64);
    EXPECT_EQ(basic("c")->size, -8);
    EXPECT_TRUE(basic("c")->isChar);
    EXPECT_EQ(basic("sc")->size, -8);
    EXPECT_EQ(image("ul"), "unsigned long ul;");
    EXPECT_EQ(basic("ld")->kind, kFloating);
    EXPECT_EQ(image("ld"), "long double ld;");
    EXPECT_EQ(basic("si")->size, -16);
    EXPECT_EQ(basic("il")->size, -32);
}

TEST_F(CDecls, ConflictingSpecifiersWarn)
{
    parse("short long a;\nunsigned signed b;\nsigned unsigned c;\nstruct s { int x; } int d;\nint float e;\n");
    EXPECT_EQ(codes(), (Codes{"CONSTRUCT", "CONSTRUCT", "CONSTRUCT", "CONSTRUCT", "CONSTRUCT"}));
    EXPECT_EQ(reports_[0].argument, "short long");
    EXPECT_EQ(reports_[0].line, 1);
    EXPECT_EQ(reports_[0].severity, CWarning);
    EXPECT_EQ(reports_[1].argument, "unsigned signed");
    EXPECT_EQ(reports_[2].argument, "signed unsigned");
    EXPECT_EQ(reports_[3].argument, "struct s int");
    EXPECT_EQ(symbol("a").type, nullptr);
    EXPECT_EQ(image("a"), "int a;");
    EXPECT_EQ(symbol("e").type, nullptr);
}

TEST_F(CDecls, UnnamedTagsNumberedPerRun)
{
    parse("typedef struct { int a; } T;");
    EXPECT_NE(C_CPP_find_tag("_unamedStruct1", table_, kStruct), nullptr);
    EXPECT_EQ(image("T"), "struct _unamedStruct1 T;");
    EXPECT_EQ(symbol("T").storage, unsigned(kTypedef));

    SymbolTable other;
    C_CPP_parse_decls("union { int i; } u; enum { X } e;", other, {}, "b.h", 1, {});
    EXPECT_NE(C_CPP_find_tag("_unamedStruct2", other, kUnion), nullptr);
    EXPECT_NE(C_CPP_find_tag("_unamedStruct3", other, kEnum), nullptr);

    ::setenv("TRV_UNAMESTRUCT", "anon_", 1);
    parse("struct { int b; } v;");
    EXPECT_NE(C_CPP_find_tag("anon_4", table_, kStruct), nullptr);
    ::setenv("TRV_UNAMESTRUCT", "", 1);
    parse("struct { int c; } w;");
    EXPECT_NE(C_CPP_find_tag("_unamedStruct5", table_, kStruct), nullptr);

    C_CPP_reset_analysis();
    SymbolTable fresh;
    C_CPP_parse_decls("struct { int a; } z;", fresh, {}, "c.h", 1, {});
    EXPECT_NE(C_CPP_find_tag("_unamedStruct1", fresh, kStruct), nullptr);
}

TEST_F(CDecls, EnumeratorPositionsAndValues)
{
    parse("enum e { A, B, C = X, D, E };\nenum f { P = 1 << 2 , Q, };");
    EXPECT_TRUE(reports_.empty());
    const Tag* tag = C_CPP_find_tag("e", table_, kEnum);
    ASSERT_NE(tag, nullptr);
    std::vector<std::string> values;
    for (const Enumerator& item : tag->enumeration->enumerators) {
        values.push_back(base::identText(item.value));
    }
    EXPECT_EQ(values, (std::vector<std::string>{"0", "1", "X", "X+1", "X+2"}));
    ASSERT_EQ(enumerationConstants().size(), 7u);
    EXPECT_STREQ(enumerationConstants()[5].value, "1 << 2");
    // A longer explicit value is grouped before the count is added.
    EXPECT_STREQ(enumerationConstants()[6].value, "(1 << 2)+1");
    CType type;
    type.kind = kEnum;
    type.name = tag->name;
    type.enumeration = tag->enumeration.get();
    EXPECT_EQ(C_CPP_type_image(&type, {}, true), "enum e {\nA = 0,\nB = 1,\nC = X,\nD = X+1,\nE = X+2}");
    EXPECT_EQ(C_CPP_field_index(&type, base::ident("C")), 3);
    EXPECT_EQ(C_CPP_field_index(&type, base::ident("Z")), 6);
}

TEST_F(CDecls, RedeclarationsMergeOrWarn)
{
    parse("extern int f(int);\nextern int f(int, char);\n");
    EXPECT_EQ(codes(), Codes{"REDEFSYMB"});
    EXPECT_EQ(reports_[0].argument, "f");
    EXPECT_EQ(reports_[0].line, 2);
    reports_.clear();

    parse("int g(); int g(void);\nextern int v; int v;\nint h(int a); int h(int b);\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(image("g"), "int g(void);");
    EXPECT_EQ(image("v"), "int v;");
    EXPECT_EQ(symbol("v").storage, 0u);
    EXPECT_EQ(image("h"), "int h(int a);");

    parse("int x; int x;\n");
    EXPECT_EQ(codes(), Codes{"REDEFSYMB"});
    reports_.clear();

    parse("int y; extern int y;\nextern int k(); static int k();\ntypedef struct s s; typedef struct s s;\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(image("k"), "static int k();");
    EXPECT_EQ(image("y"), "int y;");
}

TEST_F(CDecls, ScopesKeepTheirOwnRecords)
{
    parse("int n;");
    parse("char n; extern long n;", "SCN1");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(image("n"), "int n;");
    EXPECT_EQ(C_CPP_decl_image(symbol("n", "SCN1"), true), "char n;");
    EXPECT_EQ(C_CPP_decl_image(symbol("n", "OTHER"), true), "int n;");
    EXPECT_TRUE(C_CPP_remove_symbol("n", table_, "SCN1"));
    EXPECT_EQ(C_CPP_find_symbol("n", table_, "SCN1")->scope, nullptr);

    SymbolTable child;
    child.parent = &table_;
    EXPECT_EQ(C_CPP_find_symbol("n", child, {}), nullptr);
    EXPECT_NE(C_CPP_find_symbol_with_parent("n", child, {}), nullptr);
}

TEST_F(CDecls, FileScopeMembersNoted)
{
    const auto given = [this](const char* member) { return table_.fileScopeMemberGiven(base::ident(member)); };
    parse("struct s;\nstruct t { int a; union { long b; } u; };\n");
    parse("struct local { int c; } l;", "SCN1");
    EXPECT_TRUE(reports_.empty());
    EXPECT_TRUE(given("a"));
    EXPECT_TRUE(given("b"));  // of the union nested in t, a file-scope tag too
    EXPECT_TRUE(given("u"));
    EXPECT_FALSE(given("c"));  // a member of a scenario's own tag
    EXPECT_FALSE(given("d"));
    parse("struct s { char d; };\n");  // the declared tag completed later
    EXPECT_TRUE(given("d"));
}

TEST_F(CDecls, RecordsFoundAfterRemovals)
{
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        text += "int v" + std::to_string(i) + "; struct t" + std::to_string(i) + " { char c; };\n";
    }
    parse(text);
    parse(text, "SCN1");
    ASSERT_TRUE(reports_.empty());
    for (int i = 0; i < 3000; i += 3) {
        EXPECT_TRUE(C_CPP_remove_symbol("v" + std::to_string(i), table_, "SCN1"));
    }
    EXPECT_FALSE(C_CPP_remove_symbol("v0", table_, "SCN1"));
    for (int i = 0; i < 3000; ++i) {
        const std::string name = "v" + std::to_string(i);
        const Symbol* global = C_CPP_find_symbol(name, table_, {});
        const Symbol* local = C_CPP_find_symbol(name, table_, "SCN1");
        ASSERT_NE(global, nullptr) << name;
        ASSERT_NE(local, nullptr) << name;
        EXPECT_EQ(global->scope, nullptr);
        // A removed scope record leaves the global one to be found.
        EXPECT_EQ(local->scope == nullptr, i % 3 == 0) << name;
        EXPECT_NE(C_CPP_find_tag("t" + std::to_string(i), table_, kStruct), nullptr) << name;
    }
    EXPECT_EQ(C_CPP_find_symbol("v3000", table_, {}), nullptr);
    EXPECT_EQ(C_CPP_find_tag("t1", table_, kUnion), nullptr);
}

TEST_F(CDecls, TagsCompletedOnceRedefWarns)
{
    parse("struct node; struct node *head;\nstruct node { int v; struct node *next; };\n");
    EXPECT_TRUE(reports_.empty());
    const CType* pointed = symbol("head").type->target.get();
    ASSERT_TRUE(pointed->aggregate);
    EXPECT_EQ(pointed->aggregate->fields.size(), 2u);

    parse("struct node { char c; };\nenum colour { RED }; enum colour { BLUE };\nenum colour c;\n");
    EXPECT_EQ(codes(), (Codes{"REDEFSTRU", "REDEFSTRU"}));
    EXPECT_EQ(reports_[0].argument, "node");
    EXPECT_EQ(reports_[1].argument, "colour");
}

TEST_F(CDecls, DeclaratorsBuildInsideOut)
{
    parse("int (*handler)(int, void (*)(char *), ...);\nconst char *const names[10];\n"
          "char *(*table[4])(void);\nint m[2][3];\nvolatile unsigned int *volatile reg;\n"
          "static int arr[2] = {1, 2}, last = 3;\nextern int shown = 4;\nregister int r; auto int a;\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(image("handler"), "int (*handler)(int, void (*)(char *), ...);");
    EXPECT_EQ(image("names"), "const char *const names[10];");
    EXPECT_EQ(image("table"), "char *(*table[4])(void);");
    EXPECT_EQ(image("m"), "int m[2][3];");
    EXPECT_EQ(symbol("m").type->kind, kArray);
    EXPECT_STREQ(symbol("m").type->dimension, "2");
    EXPECT_STREQ(symbol("m").type->target->dimension, "3");
    EXPECT_EQ(image("reg"), "volatile unsigned int *volatile reg;");
    EXPECT_EQ(image("arr"), "static int arr[2] = {1, 2}");
    EXPECT_EQ(image("last"), "static int last = 3");
    EXPECT_EQ(image("shown"), "extern int shown;");
    EXPECT_EQ(C_CPP_decl_image(symbol("shown"), false), "int shown;");
    EXPECT_EQ(image("r"), "register int r;");
    EXPECT_EQ(image("a"), "auto int a;");
}

TEST_F(CDecls, PointerQualifiersInOrder)
{
    parse("int * const volatile p1;\nvoid (* const volatile cfp)(void);\n"
          "const volatile int * volatile const * p2;\nchar * const * const volatile pp[2];\n"
          "int (* volatile ap)[4];\nvoid f(int * const volatile, char * volatile const q);\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(image("p1"), "int *const volatile p1;");
    EXPECT_EQ(image("cfp"), "void (*const volatile cfp)(void);");
    EXPECT_EQ(image("p2"), "const volatile int *volatile const *p2;");
    EXPECT_EQ(image("pp"), "char *const *const volatile pp[2];");
    EXPECT_EQ(image("ap"), "int (*volatile ap)[4];");
    EXPECT_EQ(image("f"), "void f(int *const volatile, char *volatile const q);");
    const TypePtr named = C_CPP_type_of_type_name("int * const volatile", table_, {}, "if.h", 1);
    EXPECT_EQ(C_CPP_type_image(named.get()), "int *const volatile");
}

TEST_F(CDecls, StructBodiesBitFieldsUnions)
{
    parse("typedef unsigned char BYTE;\n"
          "struct msg {\n  BYTE kind : 4, : 2;\n  BYTE BYTE;\n  union { int i; float f; } u;\n"
          "  struct { int x, y; } pts[3];\n};\n");
    EXPECT_TRUE(reports_.empty());
    const Tag* tag = C_CPP_find_tag("msg", table_, kStruct);
    ASSERT_NE(tag, nullptr);
    CType type;
    type.kind = kStruct;
    type.name = tag->name;
    type.aggregate = tag->aggregate.get();
    EXPECT_EQ(C_CPP_type_image(&type, {}, true),
              "struct msg {\n\tBYTE kind : 4;\n\tBYTE : 2;\n\tBYTE BYTE;\n\tunion _unamedStruct1 u;\n"
              "\tstruct _unamedStruct2 pts[3];\n}");
    EXPECT_EQ(C_CPP_field_index(&type, base::ident("u")), 4);
    EXPECT_EQ(C_CPP_field_index(&type, base::ident("none")), 0);
    // kind, the unnamed bit-field, BYTE, the union (one leaf), x and y of the array's element.
    EXPECT_EQ(C_CPP_scalar_count(&type), 6);
    std::string path;
    const Field* field = C_CPP_field_path(&type, 4, false, path);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(path, ".u");
    path.clear();
    EXPECT_EQ(C_CPP_field_path(&type, 9, false, path), nullptr);
}

TEST_F(CDecls, AStructHoldingItselfEndsTheWalks)
{
    parse("struct s { struct s inner; int y; } v;");
    EXPECT_EQ(C_CPP_scalar_count(symbol("v").type.get()), 2);
    std::string path;
    EXPECT_EQ(C_CPP_field_path(symbol("v").type.get(), 2, true, path)->name, base::ident("y"));
    EXPECT_EQ(path, ".y");
}

TEST_F(CDecls, QuestionsAskedOfTypes)
{
    parse("typedef const int CI; typedef char C; CI ci; const char *pc; char *const cp; C *tp; C arr[3];\n"
          "unsigned char *up; const struct { int a; } cs; int (*fn)(void); int plain; const int *fns(void);\n");
    EXPECT_TRUE(reports_.empty());
    const auto type = [&](const std::string& name) { return symbol(name).type.get(); };
    EXPECT_TRUE(C_CPP_is_const(type("pc")));
    EXPECT_TRUE(C_CPP_is_const(type("cp")));
    EXPECT_FALSE(C_CPP_is_const(type("ci")));  // a typedef name is not followed
    EXPECT_FALSE(C_CPP_is_const(type("plain")));
    EXPECT_TRUE(C_CPP_is_const(type("fns")));
    EXPECT_TRUE(C_CPP_is_signed_char_pointer(type("pc")));
    EXPECT_TRUE(C_CPP_is_signed_char_pointer(type("tp")));
    EXPECT_TRUE(C_CPP_is_signed_char_pointer(type("arr")));
    EXPECT_FALSE(C_CPP_is_signed_char_pointer(type("up")));
    EXPECT_FALSE(C_CPP_is_signed_char_pointer(type("plain")));
    EXPECT_EQ(C_CPP_scalar_count(type("plain")), 1);
    EXPECT_EQ(C_CPP_field_index(type("plain"), base::ident("x")), 1);

    TypePtr copy = C_CPP_copy_type(symbol("fn").type);
    EXPECT_NE(copy.get(), type("fn"));
    EXPECT_EQ(C_CPP_type_image(copy.get(), "g"), "int (*g)(void)");
    C_CPP_free_type(copy);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(C_CPP_type_image(C_CPP_new_type(kVoid).get(), "*p"), "void *p");
    EXPECT_EQ(C_CPP_type_image(nullptr, "n"), "int n");
}

TEST_F(CDecls, TypeNamesReadThroughAProbe)
{
    parse("struct s { int a; }; typedef int T; int x;");
    TypePtr type = C_CPP_type_of_type_name("struct s *", table_, {}, "if.h", 3);
    ASSERT_TRUE(type);
    EXPECT_EQ(type->kind, kPointer);
    EXPECT_EQ(C_CPP_type_image(type.get()), "struct s *");
    EXPECT_EQ(C_CPP_type_image(C_CPP_type_of_type_name("unsigned char", table_, {}, "if.h", 3).get()),
              "unsigned char");
    EXPECT_EQ(C_CPP_type_image(C_CPP_type_of_type_name("T (*)[4]", table_, {}, "if.h", 3).get()), "T (*)[4]");
    EXPECT_EQ(C_CPP_type_of_type_name("x + 1", table_, {}, "if.h", 3), nullptr);
    EXPECT_EQ(C_CPP_type_of_type_name("x", table_, {}, "if.h", 3), nullptr);
    EXPECT_EQ(C_CPP_type_of_type_name("int y", table_, {}, "if.h", 3), nullptr);
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(C_CPP_find_symbol("__tarvo_var", table_, {}), nullptr);
}

TEST_F(CDecls, BodiesSkippedOldStyleChecked)
{
    parse("int add(int a, int b) { if (a) { return a + b; } return \"}\"[0]; }\n"
          "int old(a, b) int a; char b; { return a; }\n"
          "int twice(a) int a; int a; { return a; }\n"
          "int more(a) int a, b; { return a; }\n"
          "int after;\n");
    EXPECT_EQ(codes(), (Codes{"FUNCT_DEF", "FUNCT_DEF"}));
    EXPECT_EQ(reports_[0].argument, "twice");
    EXPECT_EQ(reports_[0].line, 3);
    EXPECT_EQ(reports_[1].argument, "more");
    EXPECT_EQ(image("add"), "int add(int a, int b);");
    EXPECT_TRUE(symbol("add").type->definition);
    EXPECT_EQ(image("old"), "int old(int a, char b);");
    EXPECT_EQ(image("after"), "int after;");
}

TEST_F(CDecls, OldStyleImagesAsPrototypes)
{
    parse("int kr3(a, b) int a; { return a; }\n"
          "k(a) { }\n"
          "static char *kp(s, n) char *s; { return s + n; }\n"
          "int old();\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(image("kr3"), "int kr3(int a, int b);");
    EXPECT_EQ(image("k"), "int k(int a);");
    EXPECT_EQ(image("kp"), "static char *kp(char *s, int n);");
    EXPECT_EQ(image("old"), "int old();");
    // The parameters left to int are ints for the typing too.
    ASSERT_EQ(symbol("kr3").type->parameters.size(), 2U);
    EXPECT_EQ(C_CPP_type_image(symbol("kr3").type->parameters[1].type.get()), "int");
}

TEST_F(CDecls, OpenFunctionBodyUnexpectedEnd)
{
    EXPECT_EQ(parse("int before;\nint f(void)\n{\n  if (x) {\n  }\nint g;\n"), 1);
    ASSERT_EQ(codes(), Codes{"UNEXP_EOF"});
    EXPECT_EQ(reports_[0].severity, CError);
    EXPECT_EQ(reports_[0].line, 2);
    EXPECT_EQ(image("before"), "int before;");
    reports_.clear();

    parse("int kr(a) int a; {\n return a;\n");
    EXPECT_EQ(codes(), Codes{"UNEXP_EOF"});
    reports_.clear();

    // A body closed on the last character is complete.
    EXPECT_EQ(parse("int h(void) { return 0; }"), 0);
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(image("h"), "int h(void);");
}

TEST_F(CDecls, SyntaxErrorsLineAndGoOn)
{
    parse("int a;\nint b c;\nint d;\n");
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, "int b c");
    EXPECT_EQ(reports_[0].line, 2);
    EXPECT_EQ(reports_[0].file, "if.h");
    EXPECT_NE(C_CPP_find_symbol("d", table_, {}), nullptr);
    reports_.clear();

    const std::string longLine = "int " + std::string(70, 'x') + " y;";
    parse(longLine);
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, std::string(longLine.substr(longLine.size() - 1 - 59, 59)));
    reports_.clear();

    EXPECT_EQ(parse("int ok;\nstruct s {\n  int a;\n"), 1);
    ASSERT_EQ(codes(), Codes{"UNEXP_EOF"});
    EXPECT_EQ(reports_[0].severity, CError);
    EXPECT_EQ(reports_[0].line, 2);
    reports_.clear();

    parse("int " + std::string(100000, '*') + "p;\nint next;\n");
    EXPECT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(C_CPP_find_symbol("p", table_, {}), nullptr);
    EXPECT_NE(C_CPP_find_symbol("next", table_, {}), nullptr);
    reports_.clear();

    parse("int x = == 3;\n");
    EXPECT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, "== 3");
}

// Field names of a struct tag, in order.
std::vector<std::string> fieldNames(SymbolTable& table, const std::string& tag)
{
    std::vector<std::string> names;
    const Tag* found = C_CPP_find_tag(tag, table, kStruct);
    if (found == nullptr || !found->aggregate) {
        ADD_FAILURE() << "no struct " << tag;
        return names;
    }
    for (const Field& field : found->aggregate->fields) {
        names.push_back(field.name != nullptr ? field.name : "");
    }
    return names;
}

TEST_F(CDecls, MissingSemicolonAtNextDecl)
{
    // Once blank lines follow, the text did not end inside a declaration.
    parse("int x int y;\n\n\n");
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].severity, CWarning);
    EXPECT_EQ(reports_[0].argument, "int x int");
    EXPECT_EQ(reports_[0].line, 1);
    EXPECT_EQ(image("x"), "int x;");
    EXPECT_EQ(image("y"), "int y;");
    reports_.clear();

    parse("int a\nstruct { int f; } b;\nint c(int;\nint d;\n");
    ASSERT_EQ(codes(), (Codes{"SYNTAXERR", "SYNTAXERR"}));
    EXPECT_EQ(reports_[0].argument, "struct");
    EXPECT_EQ(reports_[0].line, 2);
    EXPECT_EQ(reports_[1].argument, "int c(int;");
    EXPECT_EQ(reports_[1].line, 3);
    EXPECT_EQ(image("a"), "int a;");
    EXPECT_EQ(image("b"), "struct _unamedStruct1 b;");
    EXPECT_EQ(fieldNames(table_, "_unamedStruct1"), std::vector<std::string>{"f"});
    EXPECT_EQ(image("d"), "int d;");
    EXPECT_EQ(C_CPP_find_symbol("c", table_, {}), nullptr);
}

TEST_F(CDecls, DeclAfterMissingSemicolonOk)
{
    // A typedef name right after the missing ';' is a type again.
    parse("typedef int T;\nint x\nT y;\n");
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, "T");
    EXPECT_EQ(reports_[0].line, 3);
    EXPECT_EQ(image("y"), "T y;");
    reports_.clear();

    // Only an identifier list may be followed by parameter declarations.
    parse("int f()\nint g;\nint h(void)\nlong k;\nint old(a) int a; { return a; }\n");
    ASSERT_EQ(codes(), (Codes{"SYNTAXERR", "SYNTAXERR"}));
    EXPECT_EQ(reports_[0].line, 2);
    EXPECT_EQ(reports_[1].line, 4);
    EXPECT_EQ(image("f"), "int f();");
    EXPECT_EQ(image("g"), "int g;");
    EXPECT_EQ(image("k"), "long k;");
    EXPECT_EQ(image("old"), "int old(int a);");
    reports_.clear();

    // A token that cannot begin a declaration: the rest of it is skipped,
    // bodies whole.
    parse("int p q struct { int r; } s;\nint t;\n");
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, "int p q");
    EXPECT_EQ(image("p"), "int p;");
    EXPECT_EQ(C_CPP_find_symbol("q", table_, {}), nullptr);
    EXPECT_EQ(C_CPP_find_symbol("s", table_, {}), nullptr);
    EXPECT_EQ(image("t"), "int t;");
}

TEST_F(CDecls, StructBodyErrorKeepsFields)
{
    parse("struct s {\n  int a b struct n { int q; } w;\n  int c;\n} v;\nint z;\n");
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, "  int a b");
    EXPECT_EQ(reports_[0].line, 2);
    EXPECT_EQ(fieldNames(table_, "s"), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(image("v"), "struct s v;");
    EXPECT_EQ(image("z"), "int z;");
    reports_.clear();

    parse("struct u {\n  int a\n};\nstruct w { int b; ) int c; long d; };\nint after;\n");
    ASSERT_EQ(codes(), (Codes{"SYNTAXERR", "SYNTAXERR"}));
    EXPECT_EQ(reports_[0].argument, "}");
    EXPECT_EQ(reports_[0].line, 3);
    EXPECT_EQ(reports_[1].argument, "struct w { int b; )");
    EXPECT_EQ(fieldNames(table_, "u"), std::vector<std::string>{"a"});
    EXPECT_EQ(fieldNames(table_, "w"), (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(image("after"), "int after;");
}

TEST_F(CDecls, EndInsideDeclAtItsStart)
{
    EXPECT_EQ(parse("int ok;\n\nstruct s {\n  int a;\n\n"), 1);
    ASSERT_EQ(codes(), Codes{"UNEXP_EOF"});
    EXPECT_EQ(reports_[0].severity, CError);
    EXPECT_EQ(reports_[0].argument, "");
    EXPECT_EQ(reports_[0].line, 3);
    EXPECT_EQ(image("ok"), "int ok;");
    reports_.clear();

    // After a missing ';' the unfinished declaration is the next one.
    parse("int a\nstruct t {\n  int b;\n");
    ASSERT_EQ(codes(), (Codes{"SYNTAXERR", "UNEXP_EOF"}));
    EXPECT_EQ(reports_[1].line, 2);
    reports_.clear();

    parse("int last\n\n");
    ASSERT_EQ(codes(), Codes{"UNEXP_EOF"});
    EXPECT_EQ(reports_[0].line, 1);
    EXPECT_EQ(image("last"), "int last;");
    reports_.clear();

    // The last token of a text without a newline is no end of text.
    parse("int m n");
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, "int m n");
}

TEST_F(CDecls, SyntaxErrorTextLast59Chars)
{
    const std::string sixty = "int " + std::string(54, 'v') + " y";
    parse("int ok;\n" + sixty + ";\n");
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, sixty);
    EXPECT_EQ(reports_[0].line, 2);
    reports_.clear();

    const std::string sixtyOne = "int " + std::string(55, 'v') + " y";
    parse(sixtyOne + ";\n");
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].argument, sixtyOne.substr(2));
}

TEST_F(CDecls, LineDirectivesAndPragmas)
{
    parse("# 12 \"a.h\"\nint a;\n#line 30 \"b.h\"\n\nint b c;\n#line x\nint d;\n");
    EXPECT_STREQ(symbol("a").file, "a.h");
    ASSERT_EQ(codes(), (Codes{"SYNTAXERR", "DIESELINE"}));
    EXPECT_EQ(reports_[0].file, "b.h");
    EXPECT_EQ(reports_[0].line, 31);
    EXPECT_EQ(reports_[1].line, 32);
    reports_.clear();

    // A line number beyond the largest int is refused and changes nothing.
    parse("int x1 y1;\n#2147483648 \"big.h\"\nint x2 y2;\n#line 99999999999999999999\nint x3 y3;\n");
    ASSERT_EQ(codes(), (Codes{"SYNTAXERR", "DIESELINE", "SYNTAXERR", "DIESELINE", "SYNTAXERR"}));
    EXPECT_EQ(reports_[2].file, "if.h");
    EXPECT_EQ(reports_[2].line, 3);
    EXPECT_EQ(reports_[4].line, 5);
    reports_.clear();
    // The line count stops at the largest int.
    parse("#line 2147483646\nint a1;\nint a2;\n\n\nint a3 b3;\n");
    ASSERT_EQ(codes(), Codes{"SYNTAXERR"});
    EXPECT_EQ(reports_[0].line, 2147483647);
    reports_.clear();

    parse("#pragma tarvo sizeof int = 16\nint i; typedef long L;\n#pragma tarvo sizeof (L) 64\n"
          "#pragma tarvo signof L = unsigned\n#pragma tarvo signof char = unsigned\nchar c; L l;\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(typeSizes().intBits, 16);
    EXPECT_EQ(typeSizes().sizeofBytes("int"), 2);
    EXPECT_EQ(typeSizes().sizeofBytes("L"), 8);
    EXPECT_EQ(symbol("i").type->size, -16);
    EXPECT_EQ(symbol("c").type->size, 8);
    EXPECT_EQ(C_CPP_resolve(symbol("l").type.get())->size, 64);
}

TEST_F(CDecls, ExtensionsAndSkippedTexts)
{
    parse("int x @ 0x100;\n");
    EXPECT_EQ(codes(), Codes{"SYNTAXERR"});
    reports_.clear();
    ::setenv("KQ_EXT", "1", 1);
    parse("int y @ near far;\nint z;\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_NE(C_CPP_find_symbol("z", table_, {}), nullptr);
    ::unsetenv("KQ_EXT");
    parse("int w @ still skipped;\n");  // once seen, the switch stays for the run
    EXPECT_TRUE(reports_.empty());

    parse("extern int f(void) __attribute__((nothrow, format(printf, 1, 2))) __asm__(\"g\");\n"
          "struct __attribute__((packed)) p { int a; };\n__typeof__(f) *pf;\nint q \\ ;\n");
    EXPECT_EQ(codes(), Codes{"CHAINUTIL"});
    EXPECT_EQ(reports_[0].argument, "'\\'");
    EXPECT_EQ(image("f"), "extern int f(void);");
    EXPECT_EQ(image("pf"), "int *pf;");
    EXPECT_NE(C_CPP_find_tag("p", table_, kStruct), nullptr);
}

TEST_F(CDecls, TypeofIsSkippedWithItsText)
{
    parse("typedef long L;\nconst typeof(L) L1;\n__typeof(int (*)(void)) t2[3];\ntypeof(struct { int a; }) *t3, t4;\n"
          "static __typeof__ ((L) 1) t5 = 2;\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_EQ(image("L1"), "const int L1;");
    EXPECT_EQ(image("t2"), "int t2[3];");
    EXPECT_EQ(image("t3"), "int *t3;");
    EXPECT_EQ(image("t4"), "int t4;");
    EXPECT_EQ(image("t5"), "static int t5 = 2");
    EXPECT_EQ(table_.tagsOf(nullptr).size(), 0U);
}

TEST_F(CDecls, DimensionTextsAreRewritten)
{
    parse("enum { N = 4, M, K = N * 2 };\n"
          "int a[N * 2UL]; int b[(unsigned) M]; int c[sizeof(N) + 3L]; int d[0x10u]; int e[K];\n"
          "int f[\n2\t];\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_STREQ(symbol("a").type->dimension, "4 * 2");
    EXPECT_STREQ(symbol("b").type->dimension, "           (4+1)");
    EXPECT_STREQ(symbol("c").type->dimension, "sizeof(N) + 3");
    EXPECT_STREQ(symbol("d").type->dimension, "0x10");
    EXPECT_STREQ(symbol("e").type->dimension, "(4 * 2)");
    EXPECT_STREQ(symbol("f").type->dimension, "2");
}

TEST_F(CDecls, DimensionsEnumPrecedence)
{
    parse("enum { P = 1 << 2, Q, R = Q * 2 };\n"
          "int y[R]; int z[Q * 2];\n"
          "enum { A = A };\nint x[A];\n"
          "enum { B = C };\nenum { C = B + 1 };\nint w[B];\n");
    EXPECT_STREQ(symbol("y").type->dimension, "(((1 << 2)+1) * 2)");
    EXPECT_EQ(C_CPP_eval_if(symbol("z").type->dimension), 10);
    EXPECT_STREQ(symbol("x").type->dimension, "A");
    EXPECT_GT(std::string_view(symbol("w").type->dimension).size(), 1000U);
}

TEST_F(CDecls, FixedNamesAfterTableReset)
{
    {
        // Fills the kept identifiers of const, the probe name and the keywords.
        SymbolTable before;
        C_CPP_parse_decls("const int k;\n", before, {}, "if.h", 1, {}, false);
        ASSERT_TRUE(C_CPP_is_const(C_CPP_find_symbol("k", before, {})->type.get()));
        ASSERT_NE(C_CPP_type_of_type_name("const char *", before, {}, "if.h", 1), nullptr);
    }
    C_CPP_reset_analysis();
    base::resetIdentTable();
    // Other names take the places where the old texts were stored.
    for (int i = 0; i < 200; ++i) {
        base::ident("shifted_" + std::to_string(i));
    }

    parse("const int c;\nconst char *volatile p;\n");
    EXPECT_TRUE(reports_.empty());
    EXPECT_TRUE(C_CPP_is_const(symbol("c").type.get()));
    EXPECT_EQ(image("c"), "const int c;");
    EXPECT_TRUE(C_CPP_is_const(symbol("p").type.get()));
    EXPECT_EQ(image("p"), "const char *volatile p;");
    const TypePtr named = C_CPP_type_of_type_name("const unsigned char *", table_, {}, "if.h", 1);
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(C_CPP_type_image(named.get()), "const unsigned char *");
    EXPECT_TRUE(C_CPP_is_const(named.get()));
    EXPECT_EQ(C_CPP_find_symbol("__tarvo_var", table_, {}), nullptr);
}

}  // namespace
}  // namespace qvm::canalysis
