// Macro definition and expansion through `qvminspect cpp`.
#include "cpp_harness.h"

#include <regex>

namespace qvm::testing {
namespace {

using ::testing::Contains;
using ::testing::StartsWith;
using CppMacros = CppHarness;

// The macro replacement examples of the C standard (ISO C99 6.10.3.5).
TEST_F(CppMacros, StandardRescanExample)
{
    const auto result = cpp(R"(#define x 3
#define f(a) f(x * (a))
#undef x
#define x 2
#define g f
#define z z[0]
#define h g(~
#define m(a) a(w)
#define w 0,1
#define t(a) a
#define p() int
#define q(x) x
#define r(x,y) x ## y
#define str(x) # x
f(y+1) + f(f(z)) % t(t(g)(0) + t)(1);
g(x+(3,4)-w) | h 5) & m
(f)^m(m);
p() i[q()] = { q(1), r(2,3), r(4,), r(,5), r(,) };
char c[2][6] = { str(hello), str() };
)");
    EXPECT_EQ(tokens(result.out), tokens(R"(f(2 * (y+1)) + f(2 * (f(2 * (z[0])))) % f(2 * (0)) + t(1);
f(2 * (2+(3,4)-0,1)) | f(2 * (~ 5)) & f(2 * (0,1))^m(0,1);
int i[] = { 1, 23, 4, 5, };
char c[2][6] = { "hello", "" };)"));
    // A rule of this preprocessor: a call without argument of a macro with one
    // parameter is reported (only the traditional dialect accepts it silently).
    EXPECT_EQ(count(result.err, "NOARTOMAC"), 2);
    EXPECT_EQ(result.status, 3);
}

// Sources whose expansion is clean, with the tokens they give.
struct Expansion {
    const char* title;
    const char* source;
    const char* tokens;
    std::vector<std::string> options{};
};

TEST_F(CppMacros, CleanExpansionsGiveTheirTokens)
{
    const Expansion cases[] = {
        {"the stringizing and pasting example of the C standard", R"(#define str(s) # s
#define xstr(s) str(s)
#define debug(s, t) printf("x" # s "= %d, x" # t "= %s", \
 x ## s, x ## t)
#define INCFILE(n) vers ## n
#define glue(a, b) a ## b
#define xglue(a, b) glue(a, b)
#define HIGHLOW "hello"
#define LOW LOW ", world"
debug(1, 2);
fputs(str(strncmp("abc\0d", "abc", '\4') // this goes away
 == 0) str(: @\n), s);
xstr(INCFILE(2).h)
glue(HIGH, LOW);
xglue(HIGH, LOW)
)",
         R"(printf("x" "1" "= %d, x" "2" "= %s", x1, x2);
fputs("strncmp(\"abc\\0d\", \"abc\", '\\4') == 0" ": @\n", s);
"vers2.h"
"hello";
"hello" ", world")"},
        {"the placemarker example of the C standard", R"(#define t(x,y,z) x ## y ## z
int j[] = { t(1,2,3), t(,4,5), t(6,,7), t(8,9,),
 t(10,,), t(,11,), t(,,12), t(,,) };
)",
         "int j[] = { 123, 45, 67, 89,\n 10, 11, 12, };"},
        {"the variadic example of the C standard", R"(#define debug(...) fprintf(stderr, __VA_ARGS__)
#define showlist(...) puts(#__VA_ARGS__)
#define report(test, ...) ((test)?puts(#test):\
 printf(__VA_ARGS__))
debug("Flag");
debug("X = %d\n", x);
showlist(The first, second, and third items.);
report(x>y, "x is %d but y is %d", x, y);
)",
         R"(fprintf(stderr, "Flag");
fprintf(stderr, "X = %d\n", x);
puts("The first, second, and third items.");
((x>y)?puts("x>y"): printf("x is %d but y is %d", x, y));)"},
        {"a bracketed parameter list is called only with brackets",
         "#define F[a,b] a+b\n#define G(a) <a>\nF[1,2] F(1,2) G[3] G(3) F[(1,2),x[0]]\n",
         "1+2 F(1,2) G[3] <3> (1,2)+x[0]"},
        {"variadic parameters", R"(#define V(fmt,...) f(fmt __VA_ARGS__)
#define N(fmt, args...) g(fmt, args)
#define C(fmt, ...) h(fmt, ## __VA_ARGS__)
#define P(a, rest...) #rest
#define NV(a) __VA_ARGS__ a
V(a,b,c) V(a) N(x, 1, 2) N(x) C(y) C(y, 3) P(1, 2 , 3) NV(1)
)",
         "f(a b,c) f(a ) g(x, 1, 2) g(x, ) h(y) h(y,3) \"2 , 3\" __VA_ARGS__ 1"},
        {"arguments cross expansion levels and lines", R"(#define LPAREN (
#define F(a,b) <a;b>
#define G F LPAREN
#define ID(x) x
ID(F)(1,
  2) G 3, 4) F
/* comment */ (5, 6)
)",
         "<1;2> F ( 3, 4) <5;6>"},
        {"no reexpansion inside its own expansion",
         "#define foo foo + 1\n#define a b\n#define b a\n#define f(x) x f\n#define ID(x) x\n"
         "foo a b f(1)(2) ID(ID)(3) ID(foo)\n",
         "foo + 1 a b 1 f(2) ID(3) foo + 1"},
        {"expansions do not glue tokens together", "#define M -1\n#define E\n#define P +\n-M a E b P+ x P\n",
         "- -1 a b + + x +"},
        {"the traditional mode replaces inside strings and pastes across comments",
         "#define Q(x) \"x\" 'x' #x\n#define CAT(a,b) a/**/b\nQ(1) CAT(p,q)\n", "\"1\" '1' #1 pq", {"-RESTRICTION=KR"}},
    };
    for (const Expansion& expansion : cases) {
        SCOPED_TRACE(expansion.title);
        const auto result = cpp(expansion.source, expansion.options);
        EXPECT_EQ(tokens(result.out), tokens(expansion.tokens));
        EXPECT_EQ(result.status, 0) << result.err;
    }
}

TEST_F(CppMacros, StandardRedefinitionExample)
{
    const auto result = cpp(R"(#define OBJ_LIKE (1-1)
#define OBJ_LIKE /* white space */ (1-1) /* other */
#define FUNC_LIKE(a) ( a )
#define FUNC_LIKE( a )( /* note the white space */ \
 a /* other stuff on this line
 */ )
#define OBJ_LIKE (0)
#define FUNC_LIKE(b) ( a )
#define SPACES(a)  a   +    a
#define SPACES(a) a + a
#define SPACES(a) a+a
OBJ_LIKE FUNC_LIKE(1)
)");
    EXPECT_EQ(count(result.err, "IDENREDEF"), 3) << result.err;
    expectReports(result, {
        {"W", "IDENREDEF", 7, StartsWith("Identifier OBJ_LIKE redefined")},
        {"W", "IDENREDEF", 8, StartsWith("Identifier FUNC_LIKE redefined")},
        {"W", "IDENREDEF", 11, StartsWith("Identifier SPACES redefined")},
    });
    EXPECT_EQ(body(result.out), "(0) ( a )");
}

TEST_F(CppMacros, StringizingOperators)
{
    const auto result = cpp("#define S(x) #@x\n#define Q(x) #x\n#define E(x) # x\n"
                            "S(a) Q(  a   \"b\\n\"  'c'  ) Q(\"\\\\\") E(\x02) Q()\n");
    EXPECT_EQ(body(result.out), R"('a' "a \"b\\n\" 'c'" "\"\\\\\"" "\002" "")");
    EXPECT_EQ(count(result.err, "NOARTOMAC"), 1);
}

TEST_F(CppMacros, HashNotBeforeAParameterWarns)
{
    const auto result = cpp("#define H(x) # y x\n#define O # x\nH(1) O\n");
    EXPECT_EQ(count(result.err, "OPERMACRO"), 1) << result.err;
    expectReports(result, {{"W", "OPERMACRO", 1, StartsWith("Operator # not followed by a parameter name H")}});
    EXPECT_EQ(tokens(result.out), tokens("# y 1 # x"));
}

TEST_F(CppMacros, ThousandCharVarargsStop)
{
    const std::string shortText(998, 'a');
    auto result = cpp("#define V(...) [__VA_ARGS__]\nV(" + shortText + ")\n");
    EXPECT_EQ(result.status, 0) << result.err;
    result = cpp("#define V(...) [__VA_ARGS__]\nV(" + shortText + ",b)\n");
    EXPECT_EQ(result.status, 7);
    expectReports(result, {{"F", "TOMANYARG", 2, StartsWith("Too many arguments for macro V")}});
}

TEST_F(CppMacros, ArgumentCountWarnings)
{
    const auto result = cpp(R"(#define Z() z
#define O(a) [a]
#define T(a,b) [a|b]
Z(1) Z( ) O() T() T(1) T(1,2,3) O((1,2)) T([1,2],3)
)");
    EXPECT_EQ(count(result.err, "ARGTOMACR"), 1);
    EXPECT_EQ(count(result.err, "NOARTOMAC"), 2);
    EXPECT_EQ(count(result.err, "NBARGMACR"), 1);
    // Square brackets do not protect commas: T([1,2],3) has three arguments.
    EXPECT_EQ(count(result.err, "TOMANYARG"), 2);
    expectReports(result, {{"W", "ARGTOMACR", 4, StartsWith("Arguments given to macro Z which has no parameters")}});
    EXPECT_EQ(tokens(result.out), tokens("z z [] [|] [1|] [1|2] [(1,2)] [[1|2]]"));

    const auto traditional = cpp("#define O(a) [a]\nO()\n", {"-RESTRICTION=KR"});
    EXPECT_EQ(traditional.status, 0) << traditional.err;
}

TEST_F(CppMacros, UnterminatedCallIsReported)
{
    const auto result = cpp("#define F(a) a\nF(1, (2)\n");
    expectReports(result, {{"W", "ERRINLINE", 3, StartsWith("Error in line: unterminated macro call")}});
}

// Directives may stand between the lines of an argument list. The call
// keeps the definition it started with, and the macro's name in its own
// replacement stays unexpanded while the macro is still the one called.
TEST_F(CppMacros, DirectivesInsideAnArgumentList)
{
    const auto result = cpp("#define F(x) F(x)+x\nF(1\n#define G 2\n)\nF(3)\n"
                            "#define H(x) [x]\nH(4\n#undef H\n#define H(x) <x>\n)\nH(5)\n"
                            "#define K(x) K(x)!\nK(6\n#undef K\n)\nK(7)\n");
    EXPECT_EQ(tokens(result.out), tokens("F(1)+1 F(3)+3 [4] <5> K(6)! K(7)")) << result.out;
    EXPECT_EQ(result.status, 0) << result.err;
}

// Between a macro name and its argument list, comments follow the same
// continuation rules as anywhere else, and the lines they span still count.
TEST_F(CppMacros, CommentsBeforeArguments)
{
    const auto block = cpp("#define F(a) <a>\nF /* x *\\\n/ (1)\nF /* y */ (2)\n__LINE__\n");
    EXPECT_EQ(tokens(block.out), tokens("<1> <2> 5")) << block.out;
    const auto line = cpp("#define F(a) <a>\nF // x \\\n still a comment\n(3) __LINE__\n");
    EXPECT_EQ(tokens(line.out), tokens("<3> 4")) << line.out;
    const auto open = cpp("#define F(a) <a>\nF /* never closed *\\\n");
    EXPECT_EQ(count(open.err, "UNTERCOMM"), 1) << open.err;
}

TEST_F(CppMacros, ExpansionsNeverJoin)
{
    const auto result = cpp(R"(#define X() B
#define BC wrong
#define ID(a) a
#define S(x) S_(x)
#define S_(x) #x
#define P() +
#define M() -
#define W(a) a X()
#define CAT(a, b) a ## b
#define C2(a, b) CAT(a, b)
ID(X()C) S(P()M()) S(P() M()) W(1)C C2(ID(x)ID(y), z) S(ID(-)-1)
#if P()P()1 == 1 && -M()1 == 1
ok
#endif
)");
    EXPECT_EQ(tokens(result.out), tokens(R"(B C "+-" "+ -" 1 B C x yz "--1" ok)"));
    EXPECT_EQ(result.out.find('\x1f'), std::string::npos);
    EXPECT_EQ(result.status, 0) << result.err;
}

TEST_F(CppMacros, MalformedDefinitions)
{
    const auto result = cpp(R"(#define E1 ## a
#define E2(a) a ##
#define D(a, b, a) a
#undef
#undef 3x
#undef +
#define LIT x ## +
E1 E2(1) D(1, 2, 3) LIT
)");
    expectReports(result, {
        {"W", "OPERMACRO", 1, StartsWith("Operator # not followed by a parameter name E1")},
        {"W", "OPERMACRO", 2, StartsWith("Operator # not followed by a parameter name E2")},
        {"W", "BADPARDEF", 3, StartsWith("Incorrect macro parameter definition a")},
        {"W", "INVAMACRO", 4, "Invalid macro name "},
        {"W", "INVAMACRO", 5, StartsWith("Invalid macro name 3x")},
        {"W", "INVAMACRO", 6, StartsWith("Invalid macro name +")},
        {"W", "CONSTRINC", 7, StartsWith("Incorrect construct x ## +")},
    });
    EXPECT_EQ(tokens(result.out), tokens("E1 E2(1) D(1, 2, 3) x +"));
    EXPECT_EQ(result.status, 3);
}

TEST_F(CppMacros, EmptyPastesReported)
{
    const auto result = cpp(R"(#define C(a, b) a ## b
#define C3(a, b, c) a ## b ## c
#define V(f, ...) g(f, ## __VA_ARGS__)
#define S(a) #a ## x
#define AFTER(a) x ## a+
#define BEFORE(a) -a ## x
C(+,x) C(x,+) C(+,+) C(<<,=) C(,x) C(x,) C(1,e) C(.,5) C(L,'a') C3(x,,-) C3(x,y,z) V(1) V(1,2) S(q)
AFTER(+) BEFORE(-)
)");
    EXPECT_EQ(tokens(result.out), tokens(R"(+ x x + ++ <<= x x 1e .5 L'a' x - xyz g(1) g(1,2) "q" x x+ + - -x)"));
    EXPECT_EQ(count(result.err, "CONSTRINC"), 6) << result.err;
    for (const char* pasted : {"+ ## x", "x ## +", "x ## -", "\"q\" ## x"}) {
        expectReports(result, {{"W", "CONSTRINC", 7, std::string("Incorrect construct ") + pasted}});
    }
    expectReports(result, {{"W", "CONSTRINC", 8, StartsWith("Incorrect construct - ## x")}});
}

TEST_F(CppMacros, PredefinedNames)
{
    files({{"inc/h.h", "__FILE__ __LINE__ __BASE_FILE__ __INCLUDE_LEVEL__\n"}});
    const auto result = cpp("__LINE__ __FILE__ __INCLUDE_LEVEL__ __STDC__\n#include \"inc/h.h\"\n__DATE__ __TIME__\n");
    const auto lines = testing::lines(body(result.out));
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0], "1 \"t.c\" 0 0");
    EXPECT_EQ(lines[1], "\"inc/h.h\" 1 \"t.c\" 1");
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"("[A-Z][a-z][a-z] [ 1-3][0-9] [0-9]{4}" "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]")")))
        << lines[2];
    EXPECT_EQ(result.status, 0) << result.err;

    const auto traditional = cpp("__STDC__\n#ifdef __STDC__\nyes\n#endif\n", {"-RESTRICTION=KR"});
    EXPECT_EQ(body(traditional.out), "__STDC__");
}

TEST_F(CppMacros, OwnPredefinedMacros)
{
    const auto result = cpp("TRV_WIN32 USE_QVM TRV_CPLUSPLUS_LANGUAGE __COUNTER__\n");
    // __COUNTER__ is not one of this preprocessor's names: it stays as written.
    EXPECT_EQ(body(result.out), "1 1 0 __COUNTER__");
}

TEST_F(CppMacros, CommandLineDefinitions)
{
    const auto result = cpp("A B C\n", {"-DEFINE=A,B=2+3,+X,F(x)=x,C=,1X", "-DEFINE=G=1 2"});
    EXPECT_EQ(tokens(result.out), tokens("1 2+3"));
    EXPECT_EQ(count(result.err, "MALFOROPT"), 2);
    EXPECT_THAT(allMessagesOf(result.err), Contains(PlainMessage{"W", "MALFOROPT", " Malformed option -D+X"}))
        << result.err;
    // A digit is an identifier character: the option is taken, the definition refuses the name.
    EXPECT_THAT(messagesOf(result.err),
                Contains(IsMessage({"W", "INVAMACRO", "*Initialization*", 1}, StartsWith("Invalid macro name 1X"))))
        << result.err;
    EXPECT_THAT(allMessagesOf(result.err), Contains(PlainMessage{"W", "MALFOROPT", " Malformed option -DF(x)=x"}));
}

TEST_F(CppMacros, DefineDirectiveWarnings)
{
    const auto result = cpp(R"(#define
#define 3x 1
#define defined 1
#define A(1) x
#define B(a,) x
#define C(a b) x
#define D(a.. ) x
#define E(a..., b) x
#define F(a
#define G(a,,b) x
#define H(a)a
H(1)
)");
    expectReports(result, {
        {"W", "INVAMACRO", 1, StartsWith("Invalid macro name")},
        {"W", "INVAMACRO", 2, StartsWith("Invalid macro name 3x")},
        {"W", "INVDEFINE", 3, StartsWith("Invalid definition of defined defined")},
        {"W", "PARASTART", 4, StartsWith("Invalid start of macro parameter 1) x")},
        {"W", "BADPARDEF", 5, StartsWith("Incorrect macro parameter definition ) x")},
        {"W", "BADPARDEF", 6, StartsWith("Incorrect macro parameter definition b) x")},
        {"W", "BADPARDEF", 7, StartsWith("Incorrect macro parameter definition \"...\" expected")},
        {"W", "BADPARDEF", 8, StartsWith("Incorrect macro parameter definition another parameter " "follow \"...\"")},
        {"W", "UNTPARDEF", 9, StartsWith("Unterminated macro parameter list")},
        {"W", "BADPARDEF", 10, StartsWith("Incorrect macro parameter definition ,b) x")},
    });
    EXPECT_EQ(body(result.out), "1");
}

TEST_F(CppMacros, UndefRules)
{
    const auto result = cpp("#define A 1\n#undef A\n#undef defined\n#undef __FILE__\n#undef __STDC__\n"
                            "#undef NEVER\nA __FILE__ __STDC__\n");
    expectReports(result, {
        {"W", "UNDEFININ", 3, StartsWith("Incorrect #undef of defined")},
        {"W", "UNDEFININ", 4, StartsWith("Incorrect #undef of __FILE__")},
    });
    EXPECT_EQ(count(result.err, "UNDEFININ"), 2);
    EXPECT_EQ(body(result.out), "A __FILE__ __STDC__");
}

}  // namespace
}  // namespace qvm::testing
