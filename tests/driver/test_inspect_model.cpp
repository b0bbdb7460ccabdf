// The command line of qvminspect model: its arguments, the selection options
// spelt as qvmprepro's, and a script that does not parse.
#include "support/messages.h"
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using qvm::testing::lines;
using qvm::testing::runInspect;
using qvm::testing::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;

class InspectModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        qvm::testing::writeFile(dir / "api.h", "int counter;\n");
        qvm::testing::writeFile(dir / "main.pts", "HEADER \"a\", \"b\", \"c\"\nDECLARE_INSTANCE one, two\n"
                                                  "SCENARIO s\n  TRACE_ON\nEND SCENARIO\n");
    }

    qvm::testing::RunResult model(const std::vector<std::string>& options)
    {
        std::vector<std::string> arguments{"model", "main.pts", "api.h"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runInspect(arguments, {}, dir.path());
    }

    TempDir dir;
};

TEST_F(InspectModel, TakesScriptAndInterfaces)
{
    const auto missing = runInspect({"model", "main.pts"}, {}, dir.path());
    EXPECT_EQ(missing.status, 2);
    EXPECT_THAT(missing.err, HasSubstr("usage: qvminspect model SCRIPT INTERFACE[,INTERFACE]"));
    EXPECT_THAT(runInspect({"nothing"}).err, HasSubstr("qvminspect model SCRIPT"));

    qvm::testing::writeFile(dir / "more.h", "int more;\n");
    qvm::testing::writeFile(dir / "uses.pts", "HEADER \"a\", \"b\", \"c\"\n# char counter;\n# char more;\n"
                                              "SCENARIO s\n  EXIT\nEND SCENARIO\n");
    // Each script line conflicts with one of the two interfaces.
    const auto both = runInspect({"model", "uses.pts", "api.h,more.h"}, {}, dir.path());
    EXPECT_EQ(both.status, 5);
    EXPECT_THAT(both.err, HasSubstr("Conflicting declaration of 'counter': char here, int in api.h"));
    EXPECT_THAT(both.err, HasSubstr("Conflicting declaration of 'more': char here, int in more.h"));
}

TEST_F(InspectModel, ReadsTheSelectionOptions)
{
    const auto lastLine = [](const std::string& out) {
        const auto all = lines(out);
        return all.empty() ? std::string() : all.back();
    };
    EXPECT_EQ(lastLine(model({"-INSTANCE=two", "-NOFAST"}).out), "instance-mode=1 instance=2 timers=0");
    EXPECT_EQ(lastLine(model({"-INSTANCE=one", "-FAST"}).out), "instance-mode=1 instance=1 timers=0");
    const auto circular = model({"-TRACE=CIRCULAR", "-SCN=s", "-EXSCN=t", "-FAMILY=f", "-EXFAMILY=g"});
    EXPECT_EQ(circular.status, 0) << circular.err;
    EXPECT_THAT(circular.out, HasSubstr("    ENT_TRACE_ON\t\"\"\tmain.pts:4\t-\n"));
    const auto error = model({"-TRACE=ERROR"});
    EXPECT_THAT(error.out, Not(HasSubstr("ENT_TRACE_ON")));
    EXPECT_THAT(error.err, HasSubstr("IGNEDTRON"));
    EXPECT_EQ(model({"-TRACE=LOUD"}).status, 2);
    EXPECT_EQ(model({"-FASTER"}).status, 2);
}

TEST_F(InspectModel, NoModelWhenUnparsable)
{
    qvm::testing::writeFile(dir / "main.pts", "HEADER \"a\", \"b\", \"c\"\nSCENARIO s\n  EXIT EXIT\nEND SCENARIO\n");
    const auto run = model({});
    EXPECT_EQ(run.status, 5);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(qvm::testing::messagesOf(run.err).at(0).code, "UNEXPEXIT");
}

}  // namespace
