// Messages of the command-line decoder, through the real program.
#include "support/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qvm::testing::readFile;
using qvm::testing::runPrepro;
using qvm::testing::TempDir;

const std::string kUsage =
    "\nUsage QVMPREPRO:\n\t<scn>\n\t<interface_file>[,interface_file]\n\t<root>\n"
    "\t[-INCL=<directory_list>[,directory_list]]\n\t[-SET=<letters>]\n"
    "\t[-DEFINE=<compiler_option>[,compiler_option]]\n\t[-STD_DEFINE=<file>]\n\t[-STUDIO_LOG=<file>]\n"
    "\t[-SCN=<scenario_name>[,scenario_name]]\n\t[-EXSCN=<exscenario_name>[,exscenario_name]]\n"
    "\t[-FAMILY=<family_name>[,family_name]]\n\t[-EXFAMILY=<exfamily_name>[,exfamily_name]]\n"
    "\t[-INSTANCE=<instance_name>]\n\t[-RESTRICTION=<ANSI|KR>]\n\t[-FAST|-NOFAST]\n"
    "\t[-PROBE=<CUSTOM|DEFAULT>]\n\t[-LOG|-NOLOG]\n\t[-ALLOCATION[=<DYNAMIC|STACK>]]\n"
    "\t[-THREAD[=<routine_name>]]\n\t[-NOTSHARED]\n\t[-NOPATH]\n\t[-NOCOMMENT]\n\t[-SCRIPTLINES]\n\t[-SPVGEN]\n"
    "\t[-TRACE=<ERROR|TIME|SCN|CIRCULAR>]\n\t[-BUFSIZE=<buffer_size>]\n";

const std::string kCommandFatal = "Fenwir-F-COMMFATAL,  Invalid command line\n";

struct Rejection {
    std::vector<std::string> arguments;
    std::string message;  // what follows "Fenwir Command analysis : "
};

// The whole standard error text of a rejected command line.
std::string rejectionText(const std::string& message)
{
    return "Fenwir Command analysis : " + message + kUsage + "\n" + kCommandFatal;
}

void expectRejected(const Rejection& rejection)
{
    TempDir dir;
    const auto result = runPrepro(rejection.arguments, {}, dir.path());
    EXPECT_EQ(result.status, 7) << rejection.message;
    EXPECT_EQ(result.err, rejectionText(rejection.message));
    EXPECT_FALSE(std::filesystem::exists(dir / "demo.lis"));
}

TEST(CmdLineMsgs, OptionNames)
{
    const Rejection cases[] = {
        {{"demo", "a.h", "out", "-XYZ"}, "Unknown option, -XYZ"},
        {{"demo", "a.h", "out", "/"}, "Unknown option, /"},
        {{"demo", "a.h", "out", "/abs"}, "Unknown option, /abs"},
        {{"demo", "a.h", "out", "-S"}, "Ambiguous option, -S"},
        {{"demo", "a.h", "out", "-NO"}, "Ambiguous option, -NO"},
        {{"demo", "a.h", "out", "-FASTER"}, "Invalid character following option, -FASTER"},
        {{"demo", "a.h", "out", "-NOFAST:1"}, "Invalid character following option, -NOFAST:1"},
    };
    for (const auto& rejection : cases) {
        expectRejected(rejection);
    }
}

TEST(CmdLineMsgs, OptionUseAndArguments)
{
    const Rejection cases[] = {
        {{"demo", "a.h", "out", "-FAST", "-NOF"}, "An option can't be used twice, -NOF"},
        {{"demo", "a.h", "out", "-SET=A", "-set=B"}, "An option can't be used twice, -set=B"},
        {{"demo", "a.h", "out", "-INCL"}, "Mandatory argument for this option, -INCL"},
        {{"demo", "a.h", "out", "-TRACE="}, "Mandatory argument for this option, -TRACE="},
        {{"demo", "a.h", "out", "-NOPATH=x"}, "No argument for this option, -NOPATH=x"},
        {{"demo", "a.h", "out", "-LOG="}, "No argument for this option, -LOG="},
        {{"demo", "a.h", "out", "-SET=A,B"}, "List forbidden invalid option, -SET=A,B"},
        {{"demo", "a.h", "out", "-TRACE=TIME,SCN"}, "List forbidden invalid option, -TRACE=TIME,SCN"},
    };
    for (const auto& rejection : cases) {
        expectRejected(rejection);
    }
}

TEST(CmdLineMsgs, ValuePieces)
{
    const std::string tooLong(256, 'x');
    const Rejection cases[] = {
        {{"demo", "a.h", "out", "-INCL=a,,b"}, "Arg length too small,"},
        {{"", "a.h", "out"}, "Arg length too small,"},
        {{"demo", "a.h", "out", "-RESTRICTION=ANSIXY"}, "Arg length too large, ANSIXY"},
        {{"demo", "a.h," + tooLong, "out"}, "Arg length too large, " + tooLong},
        {{"demo", "a.h", "out", "-TRACE=X"}, "Unknown value of option, X"},
        {{"demo", "a.h", "out", "-PROBE=DEFAULTS"}, "Unknown value of option, DEFAULTS"},
    };
    for (const auto& rejection : cases) {
        expectRejected(rejection);
    }
}

TEST(CmdLineMsgs, PositionalArguments)
{
    const Rejection cases[] = {
        {{"demo", "a.h", "out", "extra"}, "Too many arguments invalid argument, extra"},
        {{"demo", "a.h", "b.h", "out"}, "Too many arguments invalid argument, out"},
        {{"de,mo", "a.h", "out"}, "List forbidden invalid argument, de,mo"},
        {{"demo", "a.h"}, "Argument missing, root"},
        {{}, "Argument missing, scn"},
        {{"-NOFAST", "demo"}, "Argument missing, interface_file"},
    };
    for (const auto& rejection : cases) {
        expectRejected(rejection);
    }
}

TEST(CmdLineMsgs, IllegalCombinationsInOrder)
{
    const Rejection cases[] = {
        {{"demo", "a.h", "out", "-NOTSHARED"}, "Illegal combination of command elements, NOTSHARED and ALLOCATION"},
        {{"demo", "a.h", "out", "-FAMILY=f", "-EXFAMILY=g"},
         "Illegal combination of command elements, FAMILY and EXFAMILY"},
        {{"demo", "a.h", "out", "-SCN=s", "-EXSCN=t"}, "Illegal combination of command elements, SCN and EXSCN"},
        {{"demo", "a.h", "out", "-SCN=s", "-EXSCN=t", "-FAMILY=f", "-EXFAMILY=g", "-NOTSHARED"},
         "Illegal combination of command elements, NOTSHARED and ALLOCATION"},
    };
    for (const auto& rejection : cases) {
        expectRejected(rejection);
    }
}

TEST(CmdLineRun, AcceptedRunsToSummary)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runPrepro({"demo", "demo.h", "out", "-trace=ti", "-ALLOC", "-NOTSHARED", "-INCL=dir\\,1",
                                   "-BUFSIZE=0", "-NOF", "-SET=AB"},
                                  {}, dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err.find("Command analysis"), std::string::npos);
}

TEST(CmdLineRun, LowerCaseFilterFatal)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runPrepro({"demo", "demo.h", "out", "-SET=Ab"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    const std::string line = "Fenwir-F-BADFLTVAL,  Incorrect -SET option : filters must be upper case letters\n";
    ASSERT_GE(result.err.size(), line.size());
    EXPECT_EQ(result.err.substr(result.err.size() - line.size()), line);
    EXPECT_EQ(readFile(dir / "demo.lis"), result.err);
}

TEST(CmdLineRun, NonDigitBufferSizeFatal)
{
    TempDir dir;
    const auto result = runPrepro({"demo", "demo.h", "out", "-BUFSIZE=1k"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.err, "Fenwir-F-BADBSZVAL,  Incorrect -BUFSIZE option : buffer size must be a number\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "demo.lis"));
}

}  // namespace
