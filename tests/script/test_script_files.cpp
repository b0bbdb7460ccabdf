// Script files as users write them, through the real binaries: a last line
// without its newline, a byte-order mark, very long lists, very deep nesting,
// and the position of the messages about an INCLUDE line.
#include "script_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qvm::testing;
using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kHeader = "HEADER \"a\", \"b\", \"c\"\n#define QVM_SCRIPT 1\n";

// A directory holding the files of one run and an empty interface file.
class ScriptFiles : public ::testing::Test {
protected:
    void SetUp() override { writeFile(work / "api.h", ""); }

    RunResult prepro(const std::string& script, const std::vector<std::string>& options = {})
    {
        std::vector<std::string> arguments{script, "api.h", "prog", "-NOLOG"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        RunResult result = runPrepro(arguments, {}, work.path());
        // With -NOLOG the messages are in the list file only.
        result.err = readFile(work / (script + ".lis"));
        return result;
    }

    RunResult inspectHere(const std::vector<std::string>& arguments)
    {
        return runInspect(arguments, {}, work.path());
    }

    TempDir work;
};

TEST_F(ScriptFiles, LastLineWithoutNewline)
{
    writeFile(work / "part.pts", "#define FROM_PART 1\n#define LAST_OF_PART 2");
    writeFile(work / "main.pts", kHeader + "INCLUDE \"part.pts\"\nSCENARIO s\n  EXIT\nEND SCENARIO");
    const RunResult run = prepro("main");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(messagesOf(run.err), IsEmpty());

    const RunResult tree = inspectHere({"tree", "main.pts"});
    EXPECT_EQ(tree.status, 0) << tree.err;
    EXPECT_THAT(tree.out, HasSubstr("STX_HASH_LINE \"define LAST_OF_PART 2\""));
    EXPECT_THAT(tree.out, HasSubstr("STX_SCENARIO @"));

    // An error on that last line is placed on it, in the included file.
    writeFile(work / "part.pts", "#define FROM_PART 1\nTIMER 5");
    EXPECT_THAT(messagesOf(prepro("main").err), ElementsAre(Message{"E", "UNEXPDECM", "part.pts", 2}));
}

TEST_F(ScriptFiles, ByteOrderMarkSkipped)
{
    writeFile(work / "marked.pts", "\xEF\xBB\xBF" + kHeader + "SCENARIO s\n  EXIT\nEND SCENARIO\n");
    const RunResult run = prepro("marked");
    EXPECT_EQ(run.status, 0) << run.err;

    const std::vector<std::string> tokens = lines(inspectHere({"tokens", "marked.pts"}).out);
    ASSERT_FALSE(tokens.empty());
    EXPECT_EQ(tokens.front(), "1\tHEADER\t");

    // Elsewhere those bytes are no part of the language.
    writeFile(work / "late.pts", kHeader + "\xEF\xBB\xBF" + "SCENARIO s\n  EXIT\nEND SCENARIO\n");
    EXPECT_THAT(messagesOf(prepro("late").err), ElementsAre(Message{"E", "LEXSEQUNK", "late.pts", 3}));
}

TEST_F(ScriptFiles, ListsOfAnyLengthParse)
{
    const auto repeated = [](const std::string& line, int count) {
        std::string text;
        text.reserve(line.size() * static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            text += line;
        }
        return text;
    };
    const std::string end = "END SCENARIO\n";
    writeFile(work / "instructions.pts", kHeader + "SCENARIO s\n" + repeated("  RENDEZVOUS r\n", 1000000) + end);
    writeFile(work / "hashes.pts",
              kHeader + "SCENARIO s\n" + repeated("  #define HASHED 1\n", 1000000) + "  EXIT\n" + end);
    writeFile(work / "declarations.pts", kHeader + repeated("#define D\n", 200000) + "SCENARIO s\n  EXIT\n" + end);
    std::string scenarios = kHeader;
    for (int i = 0; i < 100000; ++i) {
        scenarios += "SCENARIO s" + std::to_string(i) + "\n  EXIT\n" + end;
    }
    writeFile(work / "scenarios.pts", scenarios);

    for (const std::string script : {"instructions", "hashes", "declarations", "scenarios"}) {
        const RunResult run = prepro(script);
        EXPECT_EQ(run.status, 0) << script << "\n" << run.err;
        EXPECT_THAT(messagesOf(run.err), IsEmpty()) << script;
    }
}

TEST_F(ScriptFiles, TooDeepNestingSaysSo)
{
    const int depth = 20000;
    std::string script = kHeader + "SCENARIO s\n";
    for (int i = 0; i < depth; ++i) {
        script += "  IF (a) THEN\n";
    }
    script += "  EXIT\n";
    for (int i = 0; i < depth; ++i) {
        script += "  END IF\n";
    }
    writeFile(work / "deep.pts", script + "END SCENARIO\n");
    const RunResult run = prepro("deep");
    EXPECT_EQ(run.status, 5);
    const auto messages = messagesOf(run.err);
    ASSERT_EQ(messages.size(), 1u) << run.err;
    EXPECT_EQ(messages[0].code, "STXTOODEP");
    EXPECT_EQ(messages[0].text, "Script nested too deeply: the parser's limit of 102400 stack entries was reached");
}

TEST_F(ScriptFiles, IncludeMessagesNameLine)
{
    // The INCLUDE line is the script's last: the line after it does not exist.
    writeFile(work / "missing.pts", kHeader + "INCLUDE \"nowhere.pts\"\n");
    EXPECT_THAT(messagesOf(prepro("missing").err), ElementsAre(Message{"F", "CANNOTOPN", "missing.pts", 3}));

    writeFile(work / "outer.pts", kHeader + "INCLUDE \"inner.pts\"\nSCENARIO s\n  EXIT\nEND SCENARIO\n");
    writeFile(work / "inner.pts", "#inner\n\nINCLUDE \"outer.pts\"\n");
    EXPECT_THAT(messagesOf(prepro("outer").err), ElementsAre(Message{"F", "INCLOOPDT", "inner.pts", 3}));

    // Without its newline the INCLUDE line is still the one named.
    writeFile(work / "unended.pts", kHeader + "INCLUDE \"nowhere.pts\"");
    EXPECT_THAT(messagesOf(prepro("unended").err), ElementsAre(Message{"F", "CANNOTOPN", "unended.pts", 3}));
}

}  // namespace
