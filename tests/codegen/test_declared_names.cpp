// Names a script declares, through qvmprepro: a '#' declaration that
// conflicts with the interface's declaration of its name, and a name that is
// a C keyword or one the generated program, its runtime header or the C
// library headers use, are errors at their line; the declarations that stay
// accepted give a program that gcc and clang compile without a warning.
#include "codegen/codegen_support.h"
#include "codegen/test_program_run_support.h"
#include "script/script_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qvm::testing;
using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kInterface = "#ifndef API_H\n#define API_H\n"
                               "#include <stdlib.h>\n"
                               "typedef struct { int a; } rec_t;\n"
                               "extern rec_t rec;\n"
                               "extern int v;\n"
                               "extern const int limit;\n"
                               "int f(int);\n"
                               "typedef int myint;\n"
                               "#endif\n";

const std::string kHeader = "HEADER \"a\", \"b\", \"c\"\n";

std::vector<Message> errorsOf(const RunResult& result)
{
    std::vector<Message> errors;
    for (const Message& message : messagesOf(result.err)) {
        if (message.severity == "E") {
            errors.push_back(message);
        }
    }
    return errors;
}

class DeclaredNames : public ScriptRunTest {
protected:
    DeclaredNames() : ScriptRunTest(kInterface) {}

    // qvmprepro with the host profile: the interface includes a C library header.
    RunResult run(const std::string& script)
    {
        return prepro(script, {"-STD_DEFINE=" + std::string(QVM_SHARE_DIR) + "/lib/x86_64-linux-gnu.def",
                               "-INCL=" + compilerInclude()});
    }

    static std::string compilerInclude()
    {
        const RunResult found = runProgram("gcc", {"-print-file-name=include"});
        return found.out.substr(0, found.out.find('\n'));
    }

    // The generated program compiled (not linked) by gcc and clang.
    void expectCompiles()
    {
        using namespace qvm::testing::program;
        for (const std::string compiler : {"gcc", "clang"}) {
            std::vector<std::string> arguments = kWarningFlags;
            for (const std::string& argument : {std::string("-c"), std::string("-I") + QVM_RUNTIME_INCLUDE_DIR,
                                                "-I" + work.path().string(), (work / "out.c").string(),
                                                std::string("-o"), (work / "out.o").string()}) {
                arguments.push_back(argument);
            }
            const RunResult compiled = runProgram(compiler, arguments);
            EXPECT_EQ(compiled.status, 0) << compiler << "\n" << compiled.err;
            EXPECT_THAT(compiled.err, IsEmpty()) << compiler;
        }
    }
};

struct Declared {
    const char* line;      // a '#' line at file scope, the script's second line
    const char* code;      // the error reported at that line, "" for none
    const char* text = "";
};

TEST_F(DeclaredNames, FileScopeAgainstInterface)
{
    const Declared cases[] = {
        {"#int rec;", "DCLCONFLT", "Conflicting declaration of 'rec': int here, rec_t in api.h"},
        {"#struct { int a; } rec;", "DCLCONFLT", "'rec': struct {...} here, rec_t in api.h"},
        {"#long v;", "DCLCONFLT", "'v': long here, int in api.h"},
        {"#unsigned v;", "DCLCONFLT", "'v': unsigned here, int in api.h"},
        {"#int limit;", "DCLCONFLT", "'limit': int here, const int in api.h"},
        {"#static int v;", "DCLCONFLT", "'v': static here, with external linkage in api.h"},
        {"#int f;", "DCLCONFLT", "'f': a variable here, a function in api.h"},
        {"#long f(int);", "DCLCONFLT", "'f': long (int) here, int (int) in api.h"},
        {"#int f(int, int);", "DCLCONFLT", "'f': int (int, int) here, int (int) in api.h"},
        {"#int myint;", "DCLCONFLT", "'myint': a variable here, a type name in api.h"},
        {"#typedef long myint;", "DCLCONFLT", "'myint': long here, int in api.h"},
        {"#typedef int myint;", "DCLCONFLT", "'myint': a type name here and in api.h"},
        {"#int exit;", "DCLCONFLT", "'exit': a variable here, a function in /usr/include/stdlib.h"},
        // Two lines of the script itself.
        {"#int twice;\n#long twice;", "DCLCONFLT", "'twice': long here, int in main.pts"},
        // Accepted: the same type again, or a definition of an external declaration.
        {"#extern int v;", ""},
        {"#int v;", ""},
        {"#int v = 2;", ""},
        {"#rec_t rec;", ""},
        {"#int f(int x);", ""},
        {"#extern const int limit;", ""},
        {"#void *malloc(size_t size);", ""},
    };
    for (const Declared& declared : cases) {
        SCOPED_TRACE(declared.line);
        const std::string script = kHeader + declared.line + "\nSCENARIO s\n  EXIT\nEND SCENARIO\n";
        const RunResult result = run(script);
        const std::vector<Message> errors = errorsOf(result);
        if (std::string(declared.code).empty()) {
            EXPECT_THAT(errors, IsEmpty()) << result.err;
            EXPECT_EQ(result.status, 0) << result.err;
            expectCompiles();
            continue;
        }
        const int line = std::string(declared.line).find('\n') == std::string::npos ? 2 : 3;
        EXPECT_EQ(result.status, 5);
        EXPECT_THAT(errors, ElementsAre(IsMessage({"E", declared.code, "main.pts", line}, HasSubstr(declared.text))))
            << result.err;
    }
}

// Each kind of name a script declares, at the line that declares it.
TEST_F(DeclaredNames, ReservedNamesAreErrors)
{
    const std::string script = kHeader +
                               "#int count;\n"             // 2: accepted
                               "#int trv_ctx;\n"           // 3
                               "#int main;\n"              // 4
                               "#int J1;\n"                // 5
                               "#int index;\n"             // 6: string.h, which TP.h includes
                               "#define timer 1\n"         // 7: a member of the run context
                               "#typedef int NONIL;\n"     // 8: a macro of TP.h
                               "COMMTYPE int IS int\n"     // 9
                               "COMMTYPE link IS int\n"    // 10
                               "CHANNEL link : exit\n"     // 11: a channel is a macro
                               "MESSAGE rec_t : argv\n"    // 12: so is a message
                               "PROCSEND rec_t : msg ON link : trv_id\n"  // 13
                               "  EXIT\n"
                               "END PROCSEND\n"
                               "TIMER strcmp\n"            // 16
                               "PROC p (int trv_return_0, int free)\n"  // 17: two parameters
                               "  #int I20;\n"             // 18
                               "  #int index;\n"           // 19: accepted in a body
                               "  TIMER int\n"             // 20
                               "END PROC\n"
                               "SCENARIO s\n"
                               "  #long v;\n"              // 23: accepted in a body
                               "  CALL p(1, 2)\n"
                               "END SCENARIO\n";
    const RunResult result = run(script);
    EXPECT_EQ(result.status, 5);
    EXPECT_THAT(errorsOf(result),
                ElementsAre(IsMessage({"E", "RESPREFIX", "main.pts", 3},
                                      HasSubstr("'trv_ctx' is reserved: names that begin with trv_ or TRV_")),
                            IsMessage({"E", "RESGENPRG", "main.pts", 4}, HasSubstr("'main' is reserved")),
                            IsMessage({"E", "RESGENPRG", "main.pts", 5}, HasSubstr("'J1' is reserved")),
                            IsMessage({"E", "RESCLIBRY", "main.pts", 6}, HasSubstr("'index' is reserved: the C library")),
                            IsMessage({"E", "RESGENPRG", "main.pts", 7}, HasSubstr("'timer'")),
                            IsMessage({"E", "RESRUNTIM", "main.pts", 8}, HasSubstr("'NONIL' is reserved: the runtime")),
                            IsMessage({"E", "RESCKEYWD", "main.pts", 9}, HasSubstr("'int' is a C keyword")),
                            IsMessage({"E", "RESCLIBRY", "main.pts", 11}, HasSubstr("'exit'")),
                            IsMessage({"E", "RESGENPRG", "main.pts", 12}, HasSubstr("'argv'")),
                            IsMessage({"E", "RESPREFIX", "main.pts", 13}, HasSubstr("'trv_id'")),
                            IsMessage({"E", "RESCLIBRY", "main.pts", 16}, HasSubstr("'strcmp'")),
                            IsMessage({"E", "RESPREFIX", "main.pts", 17}, HasSubstr("'trv_return_0'")),
                            IsMessage({"E", "RESCLIBRY", "main.pts", 17}, HasSubstr("'free'")),
                            IsMessage({"E", "RESGENPRG", "main.pts", 18}, HasSubstr("'I20'")),
                            IsMessage({"E", "RESCKEYWD", "main.pts", 20}, HasSubstr("'int'"))))
        << result.err;
}

}  // namespace
