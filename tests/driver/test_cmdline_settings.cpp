// The option settings and the command-line echo, decoded in-process.
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "driver/cmdppro.h"
#include "driver/gcmdec.h"
#include "support/console.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using namespace qvm;
using Strings = std::vector<std::string>;

class CommandLine : public qvm::testing::ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        cmdline::release();
    }
    void TearDown() override
    {
        cmdline::release();
        ConsoleTest::TearDown();
    }

    // Decodes "qvmprepro" followed by the arguments.
    bool decode(std::initializer_list<const char*> arguments)
    {
        std::vector<const char*> argv{"qvmprepro"};
        argv.insert(argv.end(), arguments);
        return cmdline::decode(static_cast<int>(argv.size()), argv.data(), echo);
    }

    std::string echo;
};

TEST_F(CommandLine, AbsolutePathsArePositional)
{
    ASSERT_TRUE(decode({"/work/t/demo", "/usr/include/a.h,b.h", "/tmp/out/run", "/NOLOG", "/INCL=/opt/inc"}));
    EXPECT_EQ(cmdline::scriptName(), "/work/t/demo");
    EXPECT_EQ(cmdline::interfaceFiles(), (Strings{"/usr/include/a.h", "b.h"}));
    EXPECT_EQ(cmdline::rootName(), "/tmp/out/run");
    EXPECT_EQ(cmdline::consoleLog(), 0);
    EXPECT_EQ(cmdline::includeDirectories(), Strings{"/opt/inc"});
}

TEST_F(CommandLine, SettingsWhenNoOptionIsGiven)
{
    ASSERT_TRUE(decode({"demo", "a.h", "out"})) << console;
    EXPECT_EQ(console, "");
    EXPECT_EQ(cmdline::scriptName(), "demo");
    EXPECT_EQ(cmdline::interfaceFiles(), Strings{"a.h"});
    EXPECT_EQ(cmdline::rootName(), "out");
    EXPECT_EQ(cmdline::includeDirectories(), Strings{});
    EXPECT_FALSE(cmdline::hasFilterLetters());
    EXPECT_EQ(cmdline::defines(), Strings{});
    EXPECT_FALSE(cmdline::hasStdDefine());
    EXPECT_FALSE(cmdline::hasStudioLog());
    EXPECT_EQ(cmdline::scenarios(), Strings{});
    EXPECT_EQ(cmdline::excludedScenarios(), Strings{});
    EXPECT_EQ(cmdline::families(), Strings{});
    EXPECT_EQ(cmdline::excludedFamilies(), Strings{});
    EXPECT_FALSE(cmdline::hasInstance());
    EXPECT_EQ(cmdline::dialect(), cmdline::DialectNone);
    EXPECT_EQ(cmdline::fastMode(), 1);
    EXPECT_EQ(cmdline::probeMode(), cmdline::ProbeNone);
    EXPECT_EQ(cmdline::consoleLog(), 1);
    EXPECT_EQ(cmdline::allocationMode(), cmdline::AllocationNone);
    EXPECT_EQ(cmdline::threadRoutine(), "<main>");
    EXPECT_EQ(cmdline::notShared(), 0);
    EXPECT_EQ(cmdline::comments(), 1);
    EXPECT_EQ(cmdline::spgOnly(), 0);
    EXPECT_EQ(cmdline::traceLevel(), 0);
    EXPECT_EQ(cmdline::bufferSize(), 10);
    EXPECT_EQ(echo, "qvmprepro demo a.h out -FAST -LOG");
}

TEST_F(CommandLine, EveryOptionInTheEchoOrder)
{
    ASSERT_TRUE(decode({"-nocomment", "-THREAD=worker", "-NOTSHARED", "-ALLOCATION=dyn", "-NOLOG", "-BUFSIZE=64",
                        "-TRACE=scn", "-PROBE=c", "-NOFAST", "-RESTRICTION=ansi", "-SPVGEN", "-EXSCN=x1,x2",
                        "-INSTANCE=inst", "demo", "a.h,b.h", "out", "-FAMILY=f1", "-STUDIO_LOG=studio.txt",
                        "-STD_DEFINE=std", "-DEFINE=A=1,B", "-SET=XY", "-INCL=inc1,inc2"}))
        << console;
    EXPECT_EQ(echo,
              "qvmprepro demo a.h,b.h out -INCL=inc1,inc2 -SET=XY -DEFINE=A=1,B -STD_DEFINE=std "
              "-STUDIO_LOG=studio.txt -FAMILY=f1 -INSTANCE=inst -EXSCN=x1,x2 -SPVGEN -RESTRICTION=ANSI -NOFAST "
              "-PROBE=CUSTOM -TRACE=SCN -BUFSIZE=64 -NOLOG -ALLOCATION=DYNAMIC -THREAD=worker -NOTSHARED "
              "-NOCOMMENT");
    EXPECT_EQ(cmdline::interfaceFiles(), (Strings{"a.h", "b.h"}));
    EXPECT_EQ(cmdline::includeDirectories(), (Strings{"inc1", "inc2"}));
    EXPECT_EQ(cmdline::filterLetters(), "XY");
    EXPECT_EQ(cmdline::defines(), (Strings{"A=1", "B"}));
    EXPECT_EQ(cmdline::stdDefine(), "std");
    EXPECT_EQ(cmdline::studioLog(), "studio.txt");
    EXPECT_EQ(cmdline::families(), Strings{"f1"});
    EXPECT_EQ(cmdline::excludedScenarios(), (Strings{"x1", "x2"}));
    EXPECT_EQ(cmdline::instanceName(), "inst");
    EXPECT_EQ(cmdline::dialect(), cmdline::DialectANSI);
    EXPECT_EQ(cmdline::fastMode(), 0);
    EXPECT_EQ(cmdline::probeMode(), cmdline::ProbeCustom);
    EXPECT_EQ(cmdline::consoleLog(), 0);
    EXPECT_EQ(cmdline::allocationMode(), cmdline::AllocationDynamic);
    EXPECT_EQ(cmdline::threadRoutine(), "worker");
    EXPECT_EQ(cmdline::notShared(), 1);
    EXPECT_EQ(cmdline::comments(), 0);
    EXPECT_EQ(cmdline::spgOnly(), 1);
    EXPECT_EQ(cmdline::traceLevel(), 10);
    EXPECT_EQ(cmdline::bufferSize(), 64);
}

TEST_F(CommandLine, TraceValuesByPrefix)
{
    const std::pair<const char*, int> cases[] = {
        {"-trace=ti", 20}, {"-TRACE=C", 50}, {"-Trace=Error", 5}, {"-TR=s", 10}, {"/TRACE=TIME", 20}};
    for (const auto& [option, level] : cases) {
        ASSERT_TRUE(decode({"demo", "a.h", "out", option})) << option << console;
        EXPECT_EQ(cmdline::traceLevel(), level) << option;
    }
}

TEST_F(CommandLine, NegatedFormsByPrefix)
{
    ASSERT_TRUE(decode({"demo", "a.h", "out", "-NOF", "-nol"})) << console;
    EXPECT_EQ(cmdline::fastMode(), 0);
    EXPECT_EQ(cmdline::consoleLog(), 0);
    EXPECT_EQ(echo, "qvmprepro demo a.h out -NOFAST -NOLOG");
}

TEST_F(CommandLine, OptionalValuesDefaults)
{
    ASSERT_TRUE(decode({"demo", "a.h", "out", "-ALLOCATION", "-THREAD"})) << console;
    EXPECT_EQ(cmdline::allocationMode(), cmdline::AllocationStack);
    EXPECT_EQ(cmdline::threadRoutine(), "<start>");
    EXPECT_EQ(echo, "qvmprepro demo a.h out -FAST -LOG -ALLOCATION=STACK -THREAD=<start>");

    ASSERT_TRUE(decode({"demo", "a.h", "out", "-ALLOCATION=", "-THREAD=", "-NOTSHARED"})) << console;
    EXPECT_EQ(cmdline::allocationMode(), cmdline::AllocationStack);
    EXPECT_EQ(cmdline::threadRoutine(), "<start>");
    EXPECT_EQ(cmdline::notShared(), 1);
}

TEST_F(CommandLine, ListValuesSplitAtCommas)
{
    ASSERT_TRUE(decode({"demo", "a.h", "out", "-INCL=dir\\,1", "-INC=d2,d3", "-SCN=s\\,1,s2"})) << console;
    EXPECT_EQ(cmdline::includeDirectories(), (Strings{"dir,1", "d2", "d3"}));
    EXPECT_EQ(cmdline::scenarios(), (Strings{"s,1", "s2"}));
    EXPECT_EQ(echo, "qvmprepro demo a.h out -INCL=dir,1,d2,d3 -SCN=s,1,s2 -FAST -LOG");
}

TEST_F(CommandLine, EscapedCommaInASingleValue)
{
    ASSERT_TRUE(decode({"de\\,mo", "a.h", "out", "-INSTANCE=i\\,j"})) << console;
    EXPECT_EQ(cmdline::scriptName(), "de,mo");
    EXPECT_EQ(cmdline::instanceName(), "i,j");
}

TEST_F(CommandLine, BufferSize)
{
    ASSERT_TRUE(decode({"demo", "a.h", "out", "-BUFSIZE=0"})) << console;
    EXPECT_EQ(cmdline::bufferSize(), 10);
    EXPECT_EQ(echo, "qvmprepro demo a.h out -FAST -BUFSIZE=10 -LOG");

    ASSERT_TRUE(decode({"demo", "a.h", "out", "-BUF=0128"})) << console;
    EXPECT_EQ(cmdline::bufferSize(), 128);
}

TEST_F(CommandLine, BadBufferSizeFatalInEcho)
{
    for (const char* option : {"-BUFSIZE=1k", "-BUFSIZE=-5", "-BUFSIZE=99999999999999999999"}) {
        console.clear();
        EXPECT_EQ(statusOf([&] { decode({"demo", "a.h", "out", option}); }), 7) << option;
        EXPECT_EQ(console, "Fenwir-F-BADBSZVAL,  Incorrect -BUFSIZE option : buffer size must be a number\n");
    }
}

TEST_F(CommandLine, FilterLettersEachCall)
{
    ASSERT_TRUE(decode({"demo", "a.h", "out", "-SET=Ab"})) << console;
    EXPECT_TRUE(cmdline::hasFilterLetters());
    EXPECT_NE(echo.find(" -SET=Ab "), std::string::npos) << echo;
    for (int call = 0; call < 2; ++call) {
        console.clear();
        EXPECT_EQ(statusOf([] { cmdline::filterLetters(); }), 7);
        EXPECT_EQ(console, "Fenwir-F-BADFLTVAL,  Incorrect -SET option : filters must be upper case letters\n");
    }
}

TEST_F(CommandLine, NoPathStripsPositionals)
{
    ASSERT_TRUE(decode({"scripts/demo.pts", "inc\\a.h,/abs/b.h,c.h", "out\\gen/run", "-NOPATH"})) << console;
    EXPECT_EQ(cmdline::scriptName(), "demo.pts");
    EXPECT_EQ(cmdline::interfaceFiles(), (Strings{"a.h", "b.h", "c.h"}));
    EXPECT_EQ(cmdline::rootName(), "run");
    EXPECT_EQ(echo, "qvmprepro demo.pts a.h,b.h,c.h run -FAST -LOG");
}

TEST_F(CommandLine, GettersNeedASuccessfulDecode)
{
    const std::string initialisationProblem =
        "Fenwir-S-INITPBRLM,  Initialization problem on command line\n";
    EXPECT_EQ(statusOf([] { cmdline::scriptName(); }), 9);
    EXPECT_EQ(console, initialisationProblem);

    ASSERT_FALSE(decode({"demo", "a.h"}));
    console.clear();
    EXPECT_EQ(statusOf([] { cmdline::traceLevel(); }), 9);
    EXPECT_EQ(console, initialisationProblem);

    ASSERT_TRUE(decode({"demo", "a.h", "out"}));
    EXPECT_EQ(cmdline::rootName(), "out");
    cmdline::release();
    console.clear();
    EXPECT_EQ(statusOf([] { cmdline::interfaceFiles(); }), 9);
    EXPECT_EQ(console, initialisationProblem);
}

TEST_F(CommandLine, ADecodeForgetsThePreviousOne)
{
    ASSERT_TRUE(decode({"one", "a.h", "out", "-INCL=x", "-NOFAST"}));
    ASSERT_TRUE(decode({"two", "b.h", "out2", "-INCL=y"}));
    EXPECT_EQ(cmdline::scriptName(), "two");
    EXPECT_EQ(cmdline::includeDirectories(), Strings{"y"});
    EXPECT_EQ(cmdline::fastMode(), 1);
}

// A small table of its own reaches the parts of the decoder the program's
// tables leave unused: integer values, keywords sharing a start, French names.
class Decoder : public CommandLine {
protected:
    static cmdline::CommandTable makeTable()
    {
        using namespace cmdline;
        CommandTable table;
        table.productTitle = "Fenwir";
        table.usage = {"\nUsage T\n", "\nUsage T\n", "\nUsage T:\n\t[-COUNT=<count>]\n\t[-XTRA]\n"};
        table.connective = {"et", "et", "and"};
        table.parameters = {ParameterSpec{{"nom", "nom", "name"}, ValueType::Text, false, 1, 10, true}};
        OptionSpec count;
        count.names = {"NOMBRE", "NOMBRE", "COUNT"};
        count.argumentMandatory = true;
        count.argument = ParameterSpec{{"n", "n", "n"}, ValueType::Integer, false, 2, 9, false};
        OptionSpec mode;
        mode.names = {"MODE", "MODE", "MODE"};
        mode.argumentMandatory = true;
        mode.argument = ParameterSpec{{"m", "m", "m"}, ValueType::Text, false, 1, 10, false};
        mode.allowed = {KeywordSpec{{"LENT", "LENT", "SLOW"}}, KeywordSpec{{"SURE", "SÛRE", "SAFE"}}};
        table.options = {count, mode};
        return table;
    }

    bool decodeWith(std::initializer_list<const char*> arguments)
    {
        std::vector<const char*> argv{"t"};
        argv.insert(argv.end(), arguments);
        console.clear();
        return decoder.decode(static_cast<int>(argv.size()), argv.data());
    }

    // The message part of a failure, before the usage text.
    std::string message() const { return console.substr(0, console.find('\n')); }

    cmdline::CommandTable table = makeTable();
    cmdline::CommandDecoder decoder{table};
};

TEST_F(Decoder, IntegerBounds)
{
    ASSERT_TRUE(decodeWith({"-COUNT=5"}));
    EXPECT_EQ(decoder.optionValues("COUNT"), Strings{"5"});
    EXPECT_FALSE(decodeWith({"-COUNT=1"}));
    EXPECT_EQ(message(), "Fenwir Command analysis : Arg value too small, 1");
    EXPECT_FALSE(decodeWith({"-COUNT=10"}));
    EXPECT_EQ(message(), "Fenwir Command analysis : Arg value too large, 10");
    EXPECT_FALSE(decodeWith({"-COUNT=99999999999999999999999"}));
    EXPECT_EQ(message(), "Fenwir Command analysis : Arg value too large, 99999999999999999999999");
    EXPECT_FALSE(decodeWith({"-COUNT=4x"}));
    EXPECT_EQ(message(), "Fenwir Command analysis : Unknown value of option, 4x");
}

TEST_F(Decoder, SharedStartIsAmbiguous)
{
    EXPECT_FALSE(decodeWith({"-MODE=S"}));
    EXPECT_EQ(message(), "Fenwir Command analysis : Ambiguous value of option, S");
    ASSERT_TRUE(decodeWith({"-MODE=sl"}));
    EXPECT_EQ(decoder.optionValues("MODE"), Strings{"SLOW"});
}

TEST_F(Decoder, FrenchNamesShownInEnglish)
{
    ASSERT_TRUE(decodeWith({"-NOMB=3", "-MODE=lent"}));
    EXPECT_EQ(decoder.optionState("COUNT"), cmdline::Given);
    EXPECT_EQ(decoder.optionValues("MODE"), Strings{"SLOW"});
}

TEST_F(Decoder, ReservedUsageLinesRemoved)
{
    EXPECT_FALSE(decodeWith({"-X"}));
    EXPECT_EQ(console, "Fenwir Command analysis : Unknown option, -X\nUsage T:\n\t[-COUNT=<count>]\n\n");
}

TEST_F(Decoder, MissingOptionIsInternal)
{
    ASSERT_TRUE(decodeWith({}));
    EXPECT_EQ(statusOf([this] { decoder.optionState("NOSUCH"); }), 9);
    EXPECT_EQ(console, "Fenwir Command analysis : Internal error, bad option name\n");
}

}  // namespace
