// Declarations seen through the real binaries: qvminspect decls on a
// realistic interface header and on the system headers, and qvmprepro
// analysing its interface files before the script.
#include "support/messages.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace qvm::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

// A report of a run by severity letter and code, whatever its position.
auto IsReport(const std::string& severity, const std::string& code)
{
    return AllOf(Field("severity", &PlainMessage::severity, severity), Field("code", &PlainMessage::code, code));
}

// The reports of a run that have that code.
std::vector<PlainMessage> reportsWithCode(const std::string& output, const std::string& code)
{
    std::vector<PlainMessage> found;
    for (const PlainMessage& message : allMessagesOf(output)) {
        if (message.code == code) {
            found.push_back(message);
        }
    }
    return found;
}

const std::string kData = std::string(QVM_TESTDATA_DIR) + "/canalysis/";

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(CDeclsInspect, EmbeddedHeaderDeclarations)
{
    const RunResult run = runInspect({"decls", "embedded.h"}, {}, kData);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, readFile(kData + "embedded.decls"));
}

TEST(CDeclsInspect, ReportsCarryHeaderLine)
{
    TempDir dir;
    writeFile(dir / "inner.h", "int a;\nint b c;\nshort long d;\n");
    writeFile(dir / "outer.h", "#include \"inner.h\"\nint after;\n");
    const RunResult run = runInspect({"decls", "outer.h"}, {}, dir.path());
    EXPECT_EQ(run.status, 3);
    EXPECT_THAT(messagesOf(run.err),
                ElementsAre(IsMessage({"W", "SYNTAXERR", "inner.h", 2}, "Syntax error int b c"),
                            IsMessage({"W", "CONSTRUCT", "inner.h", 3}, "Incompatible type combination short long")))
        << run.err;
    EXPECT_EQ(run.out, "int a;\nint b;\nint d;\nint after;\n");

    writeFile(dir / "cut.h", "int a;\nstruct s {\n  int x;\n");
    const RunResult cut = runInspect({"decls", "cut.h"}, {}, dir.path());
    EXPECT_EQ(cut.status, 5);
    EXPECT_THAT(messagesOf(cut.err), ElementsAre(IsMessage({"E", "UNEXP_EOF", "cut.h", 2}, "Unexpected end of text")))
        << cut.err;
}

TEST(CDeclsInspect, OpenFunctionBodyIsError)
{
    TempDir dir;
    writeFile(dir / "open.h", "int before;\nint f(void)\n{\n  return 0;\n\nint after;\n");
    const RunResult open = runInspect({"decls", "open.h"}, {}, dir.path());
    EXPECT_EQ(open.status, 5);
    EXPECT_EQ(open.err, "Fenwir-E-UNEXP_EOF,  [open.h:2] Unexpected end of text\n");
    EXPECT_EQ(open.out.rfind("int before;\n", 0), 0U) << open.out;
}

// A header, the reports of qvminspect decls on it, and the declarations it
// prints.
struct RecoveryCase {
    const char* header;
    const char* reports;
    const char* declarations;
};

void expectRecoveries(const std::vector<RecoveryCase>& cases)
{
    TempDir dir;
    for (const RecoveryCase& item : cases) {
        writeFile(dir / "t.h", item.header);
        const RunResult run = runInspect({"decls", "t.h"}, {}, dir.path());
        EXPECT_EQ(run.status, 3) << item.header;
        EXPECT_EQ(run.err, item.reports) << item.header;
        EXPECT_EQ(run.out, item.declarations) << item.header;
    }
}

TEST(CDeclsInspect, TagBodyErrorKeepsMembers)
{
    expectRecoveries({
        // A faulty value drops its enumerator; the others keep their places.
        {"enum e { A, B = , C };\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error enum e { A, B = ,\n",
         "enum e {\nA = 0,\nC = 1}\nint next;\n"},
        // A name followed by a stray word stays.
        {"enum e { A, B C, D };\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error enum e { A, B C\n",
         "enum e {\nA = 0,\nB = 1,\nD = 2}\nint next;\n"},
        {"enum e {\n  A,\n  B = (1, C\n};\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:4] Syntax error }\n",
         "enum e {\nA = 0}\nint next;\n"},
        {"enum e { A, B = [1], C = 4) };\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error enum e { A, B = [1], C = 4)\n",
         "enum e {\nA = 0,\nB = [1],\nC = 4}\nint next;\n"},
        {"typedef enum { A, 3, C, } T;\nT next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error typedef enum { A, 3\n",
         "enum _unamedStruct1 {\nA = 0,\nC = 1}\ntypedef enum _unamedStruct1 T;\nT next;\n"},
        {"enum e { A, , B };\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error enum e { A, ,\n",
         "enum e {\nA = 0,\nB = 1}\nint next;\n"},
        {"enum e { };\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error enum e { }\n",
         "enum e {\n}\nint next;\n"},
        // A body left open ends where the next declaration begins.
        {"enum e { A, B\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:2] Syntax error int\n",
         "enum e {\nA = 0,\nB = 1}\nint next;\n"},
        {"enum e { A, B;\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error enum e { A, B;\n",
         "enum e {\nA = 0,\nB = 1}\nint next;\n"},
        {"enum colours { COLOUR_RED, COLOUR_GREEN, COLOUR_YELLOW, COLOUR_BLUE = , COLOUR_LAST };\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error  { COLOUR_RED, COLOUR_GREEN, COLOUR_YELLOW, COLOUR_BLUE = ,\n",
         "enum colours {\nCOLOUR_RED = 0,\nCOLOUR_GREEN = 1,\nCOLOUR_YELLOW = 2,\nCOLOUR_LAST = 3}\n"},
        {"struct s { enum { X, Y Z } e; int c; };\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error struct s { enum { X, Y Z\n",
         "enum _unamedStruct1 {\nX = 0,\nY = 1}\nstruct s {\n\tenum _unamedStruct1 e;\n\tint c;\n}\nint next;\n"},
        // Fields: a faulty one is dropped, the others and the struct stay.
        {"struct s {\n  int a;\n  int b[4;\n  int c;\n};\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:3] Syntax error   int b[4;\n", "struct s {\n\tint a;\n\tint c;\n}\nint next;\n"},
        {"struct s { int a : ; int b; };\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error struct s { int a : ;\n", "struct s {\n\tint b;\n}\nint next;\n"},
        {"struct s { int b : 3 ); int c; };\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error struct s { int b : 3 )\n",
         "struct s {\n\tint b : 3;\n\tint c;\n}\nint next;\n"},
        {"struct s { int a; int f(int x; int y); long c; };\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error struct s { int a; int f(int x;\n",
         "struct s {\n\tint a;\n\tlong c;\n}\nint next;\n"},
        {"struct s { 3 }; int next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error struct s { 3\n",
         "struct s {\n}\nint next;\n"},
    });
}

TEST(CDeclsInspect, OneErrorOneReport)
{
    expectRecoveries({
        // Each syntax error is reported once, at its line.
        {"int x int y;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int x int\n", "int x;\nint y;\n"},
        {"int x\nstruct { int a; } y;\nint f(int;\nint z;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:2] Syntax error struct\nFenwir-W-SYNTAXERR,  [t.h:3] Syntax error int f(int;\n",
         "struct _unamedStruct1 {\n\tint a;\n}\nint x;\nstruct _unamedStruct1 y;\nint z;\n"},
        {"int before;\nstruct s {\n  int a b;\n  int c;\n};\nint after;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:3] Syntax error   int a b\n", "struct s {\n\tint a;\n\tint c;\n}\nint before;\nint after;\n"},
        // A line number beyond the largest int is refused.
        {"int a;\n#2147483648 \"other.h\"\nint b c;\n",
         "Fenwir-W-DIESELINE,  [t.h:2] Incorrect line directive\nFenwir-W-SYNTAXERR,  [t.h:3] Syntax error int b c\n",
         "int a;\nint b;\n"},
        // Parameter lists: the faulty declaration ends after the list.
        {"int f(int a; int b);\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int f(int a;\n",
         "int next;\n"},
        {"int f(int a int b);\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int f(int a int\n",
         "int next;\n"},
        {"int (*fp)(int a; int b), after;\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int (*fp)(int a;\n", "int next;\n"},
        {"int f(int a, );\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int f(int a, )\n", "int next;\n"},
        // A list never closed ends where the next declaration begins.
        {"int f(int a\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:2] Syntax error int\n", "int next;\n"},
        // Function bodies end the faulty definition.
        {"int f(int a b) { return a; }\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int f(int a b\n",
         "int next;\n"},
        {"int f(int a; int b) { return a; }\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int f(int a;\n",
         "int next;\n"},
        {"int old(a) int a b; { return a; }\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int old(a) int a b\n", "int next;\n"},
        // Array dimensions.
        {"int a[3;\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int a[3;\n", "int next;\n"},
        {"int a[3][;\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int a[3][;\n", "int next;\n"},
        {"int (a[3);\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int (a[3)\n", "int next;\n"},
        {"int f(int v[2; int w);\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int f(int v[2;\n",
         "int next;\n"},
        // Initialisers.
        {"int x = ;\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int x = ;\n", "int next;\n"},
        {"int x = (1;\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int x = (1;\n", "int next;\n"},
        {"int x = 1, y = {2;\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int x = 1, y = {2;\n",
         "int x = 1\nint next;\n"},
        {"int x = 1);\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int x = 1)\n",
         "int x = 1\nint next;\n"},
        // Attributes.
        {"int f(void) __attribute__((noreturn);\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int f(void) __attribute__((noreturn);\n", "int next;\n"},
        {"int f(void) __attribute__((noreturn)));\nint next;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int f(void) __attribute__((noreturn)))\n",
         "int f(void);\nint next;\n"},
        // A missing ';' before the next declaration.
        {"int a\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:2] Syntax error int\n", "int a;\nint next;\n"},
        {"typedef int T\nT next;\n", "Fenwir-W-SYNTAXERR,  [t.h:2] Syntax error T\n", "typedef int T;\nT next;\n"},
        {"int a = 1\nstatic int next;\n", "Fenwir-W-SYNTAXERR,  [t.h:2] Syntax error static\n",
         "int a = 1\nstatic int next;\n"},
        {"int a = 1 int next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int a = 1 int\n",
         "int a = 1\nint next;\n"},
        {"struct s {\n  int a : 3\n  int b;\n};\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:3] Syntax error   int\n",
         "struct s {\n\tint a : 3;\n\tint b;\n}\nint next;\n"},
        {"enum e { A = 1\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:2] Syntax error int\n",
         "enum e {\nA = 1}\nint next;\n"},
        // A '}' out of any body.
        {"}\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error }\n", "int next;\n"},
        {"typedef int T;\nint a; }\nT next;\n", "Fenwir-W-SYNTAXERR,  [t.h:2] Syntax error int a; }\n",
         "typedef int T;\nint a;\nT next;\n"},
        {"int a b }\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int a b\n", "int a;\nint next;\n"},
    });
}

TEST(CDeclsInspect, TypedefEndedByErrorNamed)
{
    expectRecoveries({
        {"typedef int (*F)(int a int b);\nF x;\nF y;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error typedef int (*F)(int a int\n", "typedef int F;\nF x;\nF y;\n"},
        {"typedef int A, (*B)(int a; int b);\nB b1;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error typedef int A, (*B)(int a;\n",
         "typedef int A;\ntypedef int B;\nB b1;\n"},
        // An unknown type word takes the declarator's place: the word after it is the name.
        {"typedef unsigned __int256 u256;\nu256 v;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error typedef unsigned __int256 u256\n",
         "typedef unsigned __int256;\ntypedef int u256;\nu256 v;\n"},
        // Field names of a body read before the declarator are not taken for it.
        {"typedef struct s { int a; } (*T)(int x int y);\nT t;\nint a;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error typedef struct s { int a; } (*T)(int x int\n",
         "struct s {\n\tint a;\n}\ntypedef int T;\nT t;\nint a;\n"},
        // A name declared before keeps its declaration.
        {"typedef long T;\ntypedef int (*T)(int a int b);\nT t;\n",
         "Fenwir-W-SYNTAXERR,  [t.h:2] Syntax error typedef int (*T)(int a int\n", "typedef long T;\nT t;\n"},
        // Other declarations ended by an error declare nothing.
        {"int (*f)(int a int b);\nint next;\n", "Fenwir-W-SYNTAXERR,  [t.h:1] Syntax error int (*f)(int a int\n",
         "int next;\n"},
    });
}

TEST(CDeclsInspect, StatusOfHeaderSyntaxErrors)
{
    TempDir dir;
    writeSampleRun(dir.path());
    writeFile(dir / "mid.h", "int x\nextern int counter;\nint reset_counter(int value);\n");
    // A compiler refuses the header too: no program is written.
    const RunResult warned = runPrepro({"demo.pts", "mid.h", "out"}, {}, dir.path());
    EXPECT_EQ(warned.status, 5) << warned.err;
    EXPECT_THAT(reportsWithCode(warned.err, "CDECLSYNT"), ElementsAre(IsReport("E", "CDECLSYNT"))) << warned.err;
    EXPECT_THAT(reportsWithCode(warned.err, "SYNTAXERR"), ElementsAre(IsReport("W", "SYNTAXERR"))) << warned.err;
    EXPECT_THAT(messagesOf(warned.err), Contains(IsMessage({"W", "SYNTAXERR", "mid.h", 2}, "Syntax error extern")))
        << warned.err;
    EXPECT_THAT(reportsWithCode(warned.err, "UNEXP_EOF"), IsEmpty()) << warned.err;

    writeFile(dir / "cut.h", "extern int counter;\n\nstruct open {\n  int a;\nint reset_counter(int value);\n");
    const RunResult cut = runPrepro({"demo.pts", "demo.h,cut.h", "out"}, {}, dir.path());
    EXPECT_EQ(cut.status, 5) << cut.err;
    EXPECT_THAT(messagesOf(cut.err), ElementsAre(IsMessage({"E", "UNEXP_EOF", "cut.h", 3}, "Unexpected end of text")))
        << cut.err;
    EXPECT_EQ(allMessagesOf(cut.err).size(), 4u) << cut.err;  // banner, copyright, error, summary
}

TEST(CDeclsInspect, HeaderEndsAtNulByte)
{
    using namespace std::string_literals;
    TempDir dir;
    writeFile(dir / "nul.h", "int a;\n\0int b;\n"s);
    writeFile(dir / "outer.h", "#include \"nul.h\"\nint c;\n");
    const RunResult header = runInspect({"decls", "outer.h"}, {}, dir.path());
    EXPECT_EQ(header.status, 0) << header.err;
    EXPECT_EQ(header.out, "int a;\nint c;\n");

    writeFile(dir / "nul.pts", "HEADER \"a\", \"b\", \"1\"\n\0SCENARIO x\n"s);
    const RunResult script = runInspect({"tokens", "nul.pts"}, {}, dir.path());
    EXPECT_EQ(script.status, 0) << script.err;
    EXPECT_NE(script.out.find("2\tBAD_SEQUENCE\t\n2\tSCENARIO\t\n2\tIDENT\tx\n"), std::string::npos) << script.out;

    std::filesystem::create_directories(dir / "folder.h");
    const RunResult folder = runInspect({"decls", "folder.h"}, {}, dir.path());
    EXPECT_EQ(folder.status, 7);
    EXPECT_THAT(allMessagesOf(folder.err), ElementsAre(IsReport("F", "IMPOUVFIC"))) << folder.err;
}

TEST(CDeclsInspect, OptionsPragmasReachDecls)
{
    TempDir dir;
    writeFile(dir / "std.def", "typedef long word_t;\n");
    writeFile(dir / "m.h",
              "#pragma tarvo type_modifier = far\n"
              "#ifdef WIDE\nword_t buffer[SIZE];\n#endif\n"
              "int far *p;\n#pragma tarvo sizeof int = 16\nint small;\n");
    const RunResult run =
        runInspect({"decls", "m.h", "-DEFINE=WIDE,SIZE=4", "-STD_DEFINE=std"}, {}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "typedef long word_t;\nword_t buffer[4];\nfar int *p;\nint small;\n");
}

TEST(CDeclsInspect, SizeofPragmaReachesLater)
{
    TempDir dir;
    writeFile(dir / "std.def", "#pragma tarvo sizeof int = 16\n#pragma tarvo signof char = unsigned\n");
    writeFile(dir / "m.h", "#if sizeof(int) == 2\nint sixteen;\n#else\nint thirtytwo;\n#endif\nchar c;\n");
    const RunResult run = runInspect({"decls", "m.h", "-STD_DEFINE=std"}, {}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "int sixteen;\nchar c;\n");
    const RunResult typed = runInspect({"type", "m.h", "c", "-STD_DEFINE=std"}, {}, dir.path());
    EXPECT_EQ(typed.out, "char\t1\n");
    const RunResult missing = runInspect({"decls", "none.h"}, {}, dir.path());
    EXPECT_EQ(missing.status, 7);
    EXPECT_THAT(allMessagesOf(missing.err), ElementsAre(IsReport("F", "IMPOUVFIC"))) << missing.err;
}

// A size or sign pragma on a typedef name changes the type of every name of
// that typedef declaration and of typedefs of it, and nothing else: the
// usual arithmetic conversions with a plain int show which types changed.
TEST(CDeclsInspect, TypedefPragmasStayLocal)
{
    TempDir dir;
    writeFile(dir / "sign.h",
              "typedef int a, b;\ntypedef a c;\ntypedef int d;\nint vi;\n#pragma tarvo signof b = unsigned\n"
              "a va; b vb; c vc; d vd; int vk;\n");
    const std::vector<std::pair<std::string, std::string>> signs = {
        {"vi + vb", "b\t2\n"}, {"vi + va", "a\t2\n"}, {"vi + vc", "c\t2\n"}, {"vi + vd", "int\t2\n"},
        {"vk + vb", "b\t2\n"}};
    for (const auto& [expression, type] : signs) {
        const RunResult run = runInspect({"type", "sign.h", expression}, {}, dir.path());
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, type) << expression;
    }
    writeFile(dir / "size.h",
              "typedef unsigned int u, v;\nunsigned int w;\n#pragma tarvo sizeof (v) 16\n"
              "u vu; unsigned int vw; int vi;\n");
    const std::vector<std::pair<std::string, std::string>> sizes = {
        {"vu + vi", "int\t2\n"}, {"w + vi", "unsigned int\t2\n"}, {"vw + vi", "unsigned int\t2\n"}};
    for (const auto& [expression, type] : sizes) {
        EXPECT_EQ(runInspect({"type", "size.h", expression}, {}, dir.path()).out, type) << expression;
    }
}

// Include directories of the C compiler of this machine, so that the system
// headers are read as they are installed.
std::vector<std::string> systemIncludeOptions()
{
    std::string directories;
    const RunResult gcc = runProgram("/bin/sh", {"-c", "gcc -print-file-name=include"});
    if (gcc.status == 0 && !gcc.out.empty()) {
        directories = gcc.out.substr(0, gcc.out.find('\n')) + ",";
    }
    directories += "/usr/local/include,/usr/include/x86_64-linux-gnu,/usr/include";
    return {"-INCL=" + directories, "-DEFINE=__x86_64__=1,__STDC_HOSTED__=1"};
}

struct HeaderCase {
    const char* header;
    std::vector<std::string> declarations;
};

TEST(CDeclsInspect, SystemHeadersDeclareClean)
{
    if (!std::filesystem::exists("/usr/include/stdio.h")) {
        GTEST_SKIP() << "no system headers";
    }
    const std::vector<HeaderCase> cases = {
        {"stdio.h",
         {"typedef struct _IO_FILE FILE;", "extern FILE *fopen(const char *__filename, const char *__modes);",
          "extern int printf(const char *__format, ...);", "typedef long unsigned int size_t;"}},
        {"stdlib.h", {"extern long int strtol(const char *__nptr, char **__endptr, int __base);"}},
        {"string.h", {"extern void *memcpy(void *__dest, const void *__src, size_t __n);"}},
        {"stdint.h", {"typedef __uint32_t uint32_t;", "typedef long int intptr_t;"}},
        {"limits.h", {}},
        {"errno.h", {"extern int *__errno_location(void);"}},
        {"signal.h", {"typedef void (*__sighandler_t)(int);"}},
        {"time.h",
         {"struct tm {\n\tint tm_sec;\n\tint tm_min;\n\tint tm_hour;\n\tint tm_mday;\n\tint tm_mon;\n"
          "\tint tm_year;\n\tint tm_wday;\n\tint tm_yday;\n\tint tm_isdst;\n\tlong int tm_gmtoff;\n"
          "\tconst char *tm_zone;\n}",
          "extern time_t time(time_t *__timer);"}},
        {"sys/types.h", {"typedef __pid_t pid_t;"}},
        {"sys/socket.h", {"extern int socket(int __domain, int __type, int __protocol);"}},
        {"netinet/in.h", {"extern uint16_t htons(uint16_t __hostshort);"}},
        {"pthread.h", {"extern int pthread_create(pthread_t *__newthread, const pthread_attr_t *__attr, "
                       "void *(*__start_routine)(void *), void *__arg);"}},
        {"setjmp.h", {"typedef struct __jmp_buf_tag jmp_buf[1];"}},
        {"stdarg.h", {"typedef __gnuc_va_list va_list;"}},
        {"math.h", {"extern double sin(double __x);"}},
        {"sys/stat.h", {"extern int stat(const char *__file, struct stat *__buf);"}},
    };
    TempDir dir;
    // The compiler's own va_list type is no C; the standard-definitions file gives it one.
    writeFile(dir / "std.def", "typedef char *__builtin_va_list;\n");
    for (const HeaderCase& item : cases) {
        writeFile(dir / "t.h", std::string("#include <") + item.header + ">\n");
        std::vector<std::string> arguments = {"decls", "t.h", "-STD_DEFINE=std.def"};
        for (const std::string& option : systemIncludeOptions()) {
            arguments.push_back(option);
        }
        const RunResult run = runInspect(arguments, {}, dir.path());
        EXPECT_TRUE(run.status == 0 || run.status == 3) << item.header << ": " << run.status << "\n" << run.err;
        for (const PlainMessage& message : allMessagesOf(run.err)) {
            EXPECT_TRUE(message.severity == "W" || message.severity == "I") << item.header << "\n" << run.err;
            EXPECT_NE(message.code, "SYNTAXERR") << item.header << "\n" << run.err;
        }
        for (const std::string& declaration : item.declarations) {
            EXPECT_TRUE(contains(run.out, declaration + "\n")) << item.header << ": " << declaration;
        }
    }
}

TEST(CDeclsInspect, InterfacesBeforeScript)
{
    TempDir dir;
    writeSampleRun(dir.path());
    writeFile(dir / "std.def", "typedef int base_t;\n");
    writeFile(dir / "ok.h", "base_t counter;\n");
    writeFile(dir / "bad.h", "int x;\nint y\n");
    const RunResult clean = runPrepro({"demo.pts", "demo.h,ok.h", "out", "-STD_DEFINE=std"}, {}, dir.path());
    EXPECT_EQ(clean.status, 0) << clean.err;

    const RunResult broken = runPrepro({"demo.pts", "ok.h,bad.h", "out", "-STD_DEFINE=std"}, {}, dir.path());
    EXPECT_EQ(broken.status, 5) << broken.err;
    EXPECT_THAT(messagesOf(broken.err), Contains(IsMessage({"E", "UNEXP_EOF", "bad.h", 2}, "Unexpected end of text")))
        << broken.err;
    EXPECT_TRUE(contains(readFile(dir / "demo.lis"), "UNEXP_EOF"));

    // Without the standard definitions base_t is no type name.
    const RunResult missing = runPrepro({"demo.pts", "demo.h,ok.h", "out"}, {}, dir.path());
    EXPECT_EQ(missing.status, 5) << missing.err;
    EXPECT_TRUE(contains(missing.err, "SYNTAXERR")) << missing.err;
    EXPECT_TRUE(contains(missing.err, "CDECLSYNT")) << missing.err;
}

}  // namespace
}  // namespace qvm::testing
