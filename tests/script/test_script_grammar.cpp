// The grammar, the syntax tree and the syntax error reports, through the real
// binaries: `qvminspect tree` for the tree, `qvmprepro` for messages and the
// exit status of a run.
#include "script_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

using namespace qvm::testing;
using namespace qvm::testing::script;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Runs qvmprepro on a copy of the test data, so that nothing it writes lands
// in the source tree.
RunResult prepro(const std::string& script, const std::vector<std::string>& options = {})
{
    TempDir work;
    std::filesystem::copy(kDataDir, work.path(), std::filesystem::copy_options::recursive);
    std::vector<std::string> arguments{script, "api.h", "prog"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return runPrepro(arguments, {}, work.path());
}

std::string kindOf(const std::string& line)
{
    const std::size_t start = line.find_first_not_of(' ');
    return line.substr(start, line.find(' ', start) - start);
}

// The lines of the first node whose line starts with `head` and of its
// descendants, indented relative to that node; when the node is a list, the
// elements that follow it at its own depth belong to it too.
std::vector<std::string> subtree(const std::string& tree, const std::string& head)
{
    std::vector<std::string> found;
    std::size_t depth = std::string::npos;
    std::string kind;
    for (const std::string& line : lines(tree)) {
        const std::size_t indent = line.find_first_not_of(' ');
        if (depth == std::string::npos) {
            if (line.compare(indent, head.size(), head) == 0) {
                depth = indent;
                kind = kindOf(line);
                found.push_back(line.substr(indent));
            }
        } else if (indent > depth || (indent == depth && kindOf(line) == kind)) {
            found.push_back(line.substr(depth));
        } else {
            break;
        }
    }
    return found;
}

std::string treeOf(const std::string& script, const std::vector<std::string>& options = {})
{
    std::vector<std::string> arguments{"tree", script};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const RunResult result = inspect(arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

TEST(ScriptGrammar, EveryKindBuildsItsNodes)
{
    EXPECT_EQ(treeOf("declarations.pts"), readFile(kDataDir + "/declarations.tree"));
}

// Scripts of the test data that a run rejects: the exit status and every
// located message, in order.
struct Rejected {
    const char* script;
    int status;
    std::vector<Message> messages;
    std::vector<std::string> options{};
};

TEST(ScriptGrammar, RejectedAtTheirLines)
{
    const Rejected cases[] = {
        // Reported on the scenario keyword, once.
        {"missing_end_if.pts", 5, {{"E", "UNEXPSCEN", "missing_end_if.pts", 6}}},
        // Line 5 fails at its first token and line 6 at its second: both are
        // skipped silently; line 7 fails at its third token and is reported.
        {"error_skip.pts", 5, {{"E", "UNEXPEXIT", "error_skip.pts", 4}, {"E", "UNEXPAROB", "error_skip.pts", 7}}},
        // A message on a continuation line carries that line.
        {"continuation.pts", 5, {{"E", "UNEXPEXIT", "continuation.pts", 7}}},
        {"include_self.pts", 7, {{"F", "INCLOOPDT", "include_self.pts", 3}}},
        // INCLUDE is a declaration or scenario item, not an instruction.
        {"include_in_body.pts", 5, {{"E", "UNEXPINCL", "include_in_body.pts", 5}}, {"-INCL=inc"}},
        {"include_missing.pts", 7, {{"F", "CANNOTOPN", "include_missing.pts", 3, "Cannot open file missing.pts"}},
         {"-INCL=inc"}},
        // COMMTYPE after TRIGGER is an unknown sequence.
        {"commtype_trigger.pts", 5, {{"E", "LEXSEQUNK", "commtype_trigger.pts", 3}}},
        // An unexpected virtual block is an internal error.
        {"virtual_misplaced.pts", 9, {{"S", "STXNOMESS", "virtual_misplaced.pts", 4}}},
    };
    for (const Rejected& rejected : cases) {
        SCOPED_TRACE(rejected.script);
        const RunResult result = prepro(rejected.script, rejected.options);
        EXPECT_EQ(result.status, rejected.status);
        const std::vector<Message> reported = messagesOf(result.err);
        EXPECT_EQ(reported, rejected.messages) << result.err;
        for (std::size_t i = 0; i < std::min(reported.size(), rejected.messages.size()); ++i) {
            EXPECT_THAT(reported[i].text, HasSubstr(rejected.messages[i].text));
        }
    }
    EXPECT_EQ(lastMessageOf(prepro("error_skip.pts").err),
              (PlainMessage{"I", "ENDERRNWR", "End of execution with 2 error(s)"}));
    // The declaration part may be empty: a SCENARIO may follow the header.
    for (const char* script : {"header_hash_scenario.pts", "header_then_scenario.pts"}) {
        const RunResult accepted = prepro(script);
        EXPECT_EQ(accepted.status, 0) << script << accepted.err;
    }
}

TEST(ScriptGrammar, EmptyArgumentList)
{
    EXPECT_THAT(subtree(treeOf("call_empty.pts"), "STX_CALL "),
                ElementsAre("STX_CALL @5", "  STX_IDENT \" p\" @4", "  STX_ARG_LIST @4", "    STX_ARG @4",
                            "      STX_AT_EXPR @4", "        STX_EXPR @4", "          STX_EMPTY @4"));
}

TEST(ScriptGrammar, StackedWhenValues)
{
    EXPECT_THAT(subtree(treeOf("when_stacked.pts"), "STX_WHEN_CLAUSE_LIST"),
                ElementsAre("STX_WHEN_CLAUSE_LIST @12",
                            "  STX_WHEN_CLAUSE @7",
                            "    STX_WHEN_LIST @6",
                            "      STX_CONSTANT \"1\" @5",
                            "    STX_NESTED_GROUP @7",
                            "      STX_INSTR_LINE @7",
                            "        -",
                            "        STX_EXIT @6",
                            "STX_WHEN_CLAUSE_LIST @12",
                            "  STX_WHEN_CLAUSE @11",
                            "    STX_WHEN_LIST @9",
                            "      STX_CONSTANT \"2\" @7",
                            "    STX_WHEN_LIST @9",
                            "      STX_CONSTANT \"3\" @8",
                            "    STX_NESTED_GROUP @11",
                            "      STX_INSTR_LINE @10",
                            "        -",
                            "        STX_ERROR @9",
                            "      -",
                            "    STX_NESTED_GROUP @11",
                            "      STX_INSTR_LINE @11",
                            "        -",
                            "        STX_EXIT @10",
                            "STX_WHEN_CLAUSE_LIST @12",
                            "  STX_WHEN_CLAUSE @12",
                            "    STX_WHEN_LIST @11",
                            "      STX_OTHERS @11",
                            "    STX_NESTED_GROUP @12",
                            "      STX_INSTR_LINE @12",
                            "        -",
                            "        STX_EXIT @11"));
}

// Every list of a long script, the body mixing instruction lines and '#'
// lines included, stands at one depth: the listing's indentation does not
// grow with the script.
TEST(ScriptGrammar, LongListsAtTheirDepth)
{
    constexpr int kRepeats = 2000;
    std::string text = "HEADER \"t\", \"1.0\", \"long\"\n#include \"api.h\"\nSCENARIO body\n";
    for (int i = 0; i < kRepeats; ++i) {
        text += "  CALL check(a, b, c, d)\n# trace();\n  EXIT\n";
    }
    text += "END SCENARIO\n";
    for (int i = 0; i < kRepeats; ++i) {
        text += "SCENARIO s" + std::to_string(i) + "\n  EXIT\nEND SCENARIO\n";
    }
    TempDir work;
    writeFile(work / "long.pts", text);
    const RunResult result = runInspect({"tree", "long.pts"}, {}, work.path());
    ASSERT_EQ(result.status, 0) << result.err;

    std::map<std::string, std::set<std::size_t>> depthsOfKind;
    std::size_t exits = 0;
    std::size_t calledNames = 0;  // leaves made all through the tree's blocks of nodes keep their texts
    for (const std::string& line : lines(result.out)) {
        const std::string kind = kindOf(line);
        depthsOfKind[kind].insert(line.find_first_not_of(' '));
        exits += kind == "STX_EXIT" ? 1 : 0;
        calledNames += line.find("STX_IDENT \" check\"") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(exits, 2u * kRepeats);
    EXPECT_EQ(calledNames, std::size_t{kRepeats});
    EXPECT_THAT(result.out, HasSubstr("STX_IDENT \"s1999\""));
    for (const auto& [kind, depths] : depthsOfKind) {
        EXPECT_LT(*depths.rbegin(), 40u) << kind;
        if (kind.ends_with("_LIST")) {
            EXPECT_LE(depths.size(), 2u) << kind;  // the scenario list holds one nested list
        }
    }
    EXPECT_EQ(depthsOfKind["STX_INSTR_GROUP"].size(), 1u);
    EXPECT_EQ(depthsOfKind["STX_NATIVE_GROUP"], depthsOfKind["STX_INSTR_GROUP"]);
}

TEST(ScriptGrammar, CatchWithEllipsis)
{
    const std::string tree = treeOf("catch_any.pts");
    EXPECT_THAT(subtree(tree, "STX_CATCH"), ElementsAre("STX_CATCH @2", "  -", "  STX_IDENT \"handler\" @2"));
    EXPECT_THAT(tree, HasSubstr("STX_IDENT \"oops\" @3"));
}

TEST(ScriptGrammar, IncludeNotAnInstruction)
{
    const std::string tree = treeOf("include_twice.pts", {"-INCL=inc"});
    EXPECT_THAT(tree, HasSubstr("STX_HASH_LINE \"define FROM_INCLUDE 1\""));
    EXPECT_THAT(tree, HasSubstr("STX_IDENT \"included\" @1"));
    EXPECT_THAT(subtree(tree, "STX_INCLUDE"), ElementsAre("STX_INCLUDE @1"));
}

TEST(ScriptGrammar, CommentInstructions)
{
    EXPECT_THAT(subtree(treeOf("comment_flag.pts"), "STX_INSTR_LINE"),
                ElementsAre("STX_INSTR_LINE @5", "  -", "  STX_COMMENT \" checks the flag\" @4"));
    EXPECT_THAT(subtree(treeOf("comment_flag.pts", {"-NOCOMMENT"}), "STX_INSTR_LINE"),
                ElementsAre("STX_INSTR_LINE @5"));
}

TEST(ScriptGrammar, UnreadableScriptFatal)
{
    const RunResult result = prepro("no_such_script.pts");
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(lastMessageOf(result.err), (PlainMessage{"F", "FICNOTOPN", "File no_such_script.pts access problem: No such file or directory"}));
}

TEST(ScriptGrammar, EndOfFileInsideAScenario)
{
    TempDir dir;
    writeFile(dir / "api.h", "");
    writeFile(dir / "eof.pts", "HEADER \"a\", \"b\", \"c\"\n#x\nSCENARIO s\n  EXIT\n");
    const RunResult result = runPrepro({"eof.pts", "api.h", "prog"}, {}, dir.path());
    EXPECT_EQ(result.status, 5);
    // At the script's last line, not the line after its last newline.
    EXPECT_THAT(messagesOf(result.err), ElementsAre(Message{"E", "UNEXPTEOF", "eof.pts", 4}));
}

// A message is located at the line where its token begins: an unexpected end
// of line is reported on the line that it ends.
TEST(ScriptGrammar, OneMessagePerFaultyLine)
{
    TempDir dir;
    writeFile(dir / "api.h", "");
    writeFile(dir / "bad.pts", "HEADER \"a\", \"b\", \"c\"\n#x\nSCENARIO s\n  SEND(a b)\n  EXIT\n"
                               "  WAITTIL(x, 1) 3\n  EXIT\n  CATCH x WITH\nEND SCENARIO\n");
    const RunResult result = runPrepro({"bad.pts", "api.h", "prog"}, {}, dir.path());
    EXPECT_EQ(result.status, 5);
    EXPECT_THAT(messagesOf(result.err),
                ElementsAre(Message{"E", "UNEXPIDNT", "bad.pts", 4}, Message{"E", "UNEXPDECM", "bad.pts", 6},
                            Message{"E", "UNEXPTRET", "bad.pts", 8}));
    EXPECT_THAT(messagesOf(readFile(dir / "bad.lis")),
                Contains(IsMessage({"E", "UNEXPDECM", "bad.pts", 6}, HasSubstr("Unexpected number"))));
    EXPECT_FALSE(std::filesystem::exists(dir / "prog.c"));
}

// An instruction cut short at the end of its line: a bare PRINT, a call whose
// parentheses stay open, an IF without THEN, a VAR without its value.
TEST(ScriptGrammar, CutShortAtItsOwnLine)
{
    for (const std::string instruction :
         {"PRINT rounds", "CALL f(0L, 0", "IF (rounds)", "VAR rounds,", "WAITTIL(rounds", "SEND("}) {
        SCOPED_TRACE(instruction);
        TempDir dir;
        writeFile(dir / "api.h", "int f(long, int);\n");
        writeFile(dir / "cut.pts", "HEADER \"a\", \"b\", \"c\"\n#int rounds;\nSCENARIO s\n  " + instruction +
                                       "\n  ERROR\nEND SCENARIO\n");
        const RunResult result = runPrepro({"cut.pts", "api.h", "prog"}, {}, dir.path());
        EXPECT_EQ(result.status, 5);
        EXPECT_THAT(messagesOf(result.err), ElementsAre(IsMessage({"E", "UNEXPTRET", "cut.pts", 4},
                                                                  HasSubstr("Unexpected end of line"))));
    }
}

TEST(ScriptGrammar, CarriageReturnsAsLineEnds)
{
    TempDir work;
    std::string text = readFile(kDataDir + "/declarations.pts");
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
        text.insert(at, "\r");
    }
    writeFile(work / "crlf.pts", text);
    EXPECT_EQ(treeOf((work / "crlf.pts").string()), treeOf(kDataDir + "/declarations.pts"));
}

}  // namespace
