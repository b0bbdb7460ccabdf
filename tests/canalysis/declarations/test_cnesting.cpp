// Deep nesting in declarations and expressions, through qvminspect run on a
// small call stack: up to the deepest nesting accepted everything is
// analysed, one level more gives one report and the analysis goes on with
// the next declaration.
#include "canalysis/declarations/cexpr.h"
#include "canalysis/declarations/cgloba.h"

#include "support/messages.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace qvm::testing {
namespace {

constexpr int kLimit = canalysis::kMaxNesting;
static_assert(canalysis::kMaxExprDepth == kLimit);

std::string repeated(const std::string& part, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

// qvminspect with a call stack of 1 MiB: no walk may lean on the stack for
// each level of nesting.
RunResult inspectOnSmallStack(const std::vector<std::string>& arguments, const std::filesystem::path& directory)
{
    std::vector<std::string> shellArguments = {"-c", "ulimit -s 1024 && exec \"$0\" \"$@\"", QVM_INSPECT_BIN};
    shellArguments.insert(shellArguments.end(), arguments.begin(), arguments.end());
    return runProgram("/bin/sh", shellArguments,
                      {{"FENWIRDIR", std::string(QVM_SHARE_DIR)}, {"LANG", std::string("C")}, {"LC_ALL", std::nullopt}},
                      directory);
}

// The lines of qvminspect decls that declare a symbol of that name (tags
// and their fields aside).
int declarationsOf(const std::string& output, const std::string& name)
{
    const std::regex declared("(^|[^A-Za-z0-9_])" + name + "([^A-Za-z0-9_]|$)");
    int count = 0;
    for (const std::string& line : lines(output)) {
        if (!line.empty() && line[0] != '\t' && line.back() != '{' && std::regex_search(line, declared)) {
            ++count;
        }
    }
    return count;
}

// A declaration of `name` nested `levels` deep.
struct DeepDeclaration {
    const char* form;
    std::function<std::string(const std::string& name, int levels)> make;
    // The fault drops only the innermost part: the outer bodies still declare.
    bool faultStaysInside = false;
};

const std::vector<DeepDeclaration>& deepDeclarations()
{
    static const std::vector<DeepDeclaration> forms = {
        {"parentheses", [](const std::string& name, int n) { return "int " + repeated("(", n) + name + repeated(")", n) + ";"; }},
        {"pointers", [](const std::string& name, int n) { return "int " + repeated("*", n) + name + ";"; }},
        {"arrays", [](const std::string& name, int n) { return "int " + name + repeated("[2]", n) + ";"; }},
        {"pointers in parentheses",
         [](const std::string& name, int n) { return "int " + repeated("(*", n) + name + repeated(")", n) + ";"; }},
        // The list of f opens one level, each parameter list one more.
        {"parameter lists",
         [](const std::string& name, int n) {
             return "void " + name + "(" + repeated("void (*)(", n - 1) + "int" + repeated(")", n - 1) + ");";
         }},
        {"struct bodies",
         [](const std::string& name, int n) {
             std::string text;
             for (int i = 0; i < n; ++i) {
                 text += "struct " + name + "_" + std::to_string(i) + " { ";
             }
             return text + "int x;" + repeated(" };", n - 1) + " } " + name + ";";
         },
         true},
    };
    return forms;
}

TEST(CNesting, DeeperThanLimitReportedOnce)
{
    TempDir dir;
    for (const DeepDeclaration& form : deepDeclarations()) {
        writeFile(dir / "deep.h", "int first;\n" + form.make("deep", kLimit) + "\nint middle;\n" +
                                      form.make("deeper", kLimit + 1) + "\nint last;\n");
        const RunResult run = inspectOnSmallStack({"decls", "deep.h"}, dir.path());
        EXPECT_EQ(run.status, 3) << form.form;
        EXPECT_THAT(messagesOf(run.err), ::testing::ElementsAre(Message{"W", "SYNTAXERR", "deep.h", 4}))
            << form.form << run.err.substr(0, 300);
        EXPECT_EQ(allMessagesOf(run.err).size(), 1U) << form.form << run.err.substr(0, 300);
        EXPECT_EQ(declarationsOf(run.out, "first"), 1) << form.form;
        EXPECT_EQ(declarationsOf(run.out, "deep"), 1) << form.form;
        EXPECT_EQ(declarationsOf(run.out, "middle"), 1) << form.form;
        EXPECT_EQ(declarationsOf(run.out, "deeper"), form.faultStaysInside ? 1 : 0) << form.form;
        EXPECT_EQ(declarationsOf(run.out, "last"), 1) << form.form;
    }
}

TEST(CNesting, DeepDeclarationImage)
{
    TempDir dir;
    // Each level derives twice: a pointer and an array.
    const int levels = kLimit / 2;
    const std::string text = "int " + repeated("(*", levels) + "p" + repeated(")[1]", levels) + ";\n";
    writeFile(dir / "deep.h", text);
    const RunResult run = inspectOnSmallStack({"decls", "deep.h"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err.substr(0, 300);
    EXPECT_EQ(run.out, text);
}

// An expression nested `levels` deep over the declarations of kDeclarations.
struct DeepExpression {
    const char* form;
    std::function<std::string(int levels)> make;
};

constexpr const char* kDeclarations = "int i; int *a; struct s { struct s *n; int v; } *sp; int f(int);\n";

TEST(CNesting, DeepExpressionsRefusedOnce)
{
    const std::vector<DeepExpression> forms = {
        {"parentheses", [](int n) { return repeated("(", n) + "i" + repeated(")", n); }},
        {"left operands", [](int n) { return "i" + repeated(" + i", n); }},
        {"right operands", [](int n) { return repeated("i - (", n) + "i" + repeated(")", n); }},
        {"calls", [](int n) { return repeated("f(", n) + "i" + repeated(")", n); }},
        {"indexes", [](int n) { return repeated("a[", n) + "0" + repeated("]", n); }},
        {"conditionals", [](int n) { return repeated("i ? i : (", n) + "i" + repeated(")", n); }},
        {"unary operators", [](int n) { return repeated("-(", n) + "i" + repeated(")", n); }},
        {"casts", [](int n) { return repeated("(long)", n) + "i"; }},
        {"members", [](int n) { return "sp" + repeated("->n", n - 1) + "->v"; }},
    };
    TempDir dir;
    writeFile(dir / "e.h", kDeclarations);
    for (const DeepExpression& form : forms) {
        const RunResult within = inspectOnSmallStack({"type", "e.h", form.make(kLimit)}, dir.path());
        EXPECT_EQ(within.status, 0) << form.form << within.err.substr(0, 300);
        EXPECT_EQ(within.err, "") << form.form;
        EXPECT_NE(within.out.find("\t"), std::string::npos) << form.form;

        const RunResult beyond = inspectOnSmallStack({"type", "e.h", form.make(kLimit + 1)}, dir.path());
        EXPECT_EQ(beyond.status, 3) << form.form;
        EXPECT_EQ(beyond.err, "Fenwir-W-EXPERRONE,  [1] Error in expression \n") << form.form;
    }
    // Types nested to the limit in a cast and in sizeof.
    std::string deepType = "int";
    for (int level = 1; level < kLimit; ++level) {
        deepType = "void (*)(" + deepType + ")";
    }
    const RunResult cast = inspectOnSmallStack({"type", "e.h", "(" + deepType + ")0"}, dir.path());
    EXPECT_EQ(cast.status, 0) << cast.err.substr(0, 300);
    EXPECT_EQ(cast.out, deepType + "\t9\n");
    const RunResult size = inspectOnSmallStack({"type", "e.h", "sizeof(" + deepType + ")"}, dir.path());
    EXPECT_EQ(size.status, 0) << size.err.substr(0, 300);
    EXPECT_EQ(size.out, "unsigned int\t2\n");

    // A deep operand written back in a report.
    const std::string operand = repeated("-(", kLimit - 2) + "i" + repeated(")", kLimit - 2);
    const RunResult refused = inspectOnSmallStack({"type", "e.h", "(" + operand + ")++"}, dir.path());
    EXPECT_EQ(refused.status, 3);
    EXPECT_EQ(refused.err, "Fenwir-W-POSTINCRE,  [1] Post-increment not allowed (" + operand + ")\n");
}

}  // namespace
}  // namespace qvm::testing
