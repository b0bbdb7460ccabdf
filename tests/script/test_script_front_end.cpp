// The parse entry in-process: source file records and file ids, limits that
// end the run, and repeated parses in one process.
#include "script_support.h"

#include "base/extgest.h"
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "script/stxpti.h"
#include "support/console.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

namespace {

using namespace qvm;
using namespace qvm::testing::script;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class FrontEnd : public qvm::testing::ConsoleTest {
protected:
    // Parses from an in-memory set of files.
    script::ParsedScript parseFiles(const std::map<std::string, std::string>& files, const std::string& script)
    {
        script::ParseOptions options;
        options.reader = [files](const std::string& path) -> std::optional<std::string> {
            const auto found = files.find(path);
            return found == files.end() ? std::nullopt : std::optional(found->second);
        };
        return script::parseScript(script, options);
    }

    int statusOfParse(const std::map<std::string, std::string>& files, const std::string& script)
    {
        return statusOf([&] { parseFiles(files, script); });
    }
};

const std::string kHeader = "HEADER \"a\", \"b\", \"c\"\n#x\n";

// Nodes of one kind in tree order (lists are long chains: no recursion).
std::vector<const script::SyntaxNode*> nodesOfKind(const script::SyntaxNode* root, script::SyntaxKind kind)
{
    std::vector<const script::SyntaxNode*> found;
    std::vector<const script::SyntaxNode*> pending{root};
    while (!pending.empty()) {
        const script::SyntaxNode* node = pending.back();
        pending.pop_back();
        if (node == nullptr) {
            continue;
        }
        if (node->kind == kind) {
            found.push_back(node);
        }
        pending.push_back(node->c2());
        pending.push_back(node->c1());
        pending.push_back(node->c0());
    }
    return found;
}

TEST_F(FrontEnd, SameFileTwiceOneId)
{
    script::ParseOptions options;
    options.includeDirectories = {kDataDir + "/none", kDataDir + "/inc"};
    const script::ParsedScript parsed = script::parseScript(kDataDir + "/include_twice.pts", options);
    ASSERT_NE(parsed.root, nullptr);
    EXPECT_EQ(diag::errorCount(), 0u) << console;

    const auto hashLines = nodesOfKind(parsed.root, script::STX_HASH_LINE);
    ASSERT_EQ(hashLines.size(), 3u);
    EXPECT_EQ(hashLines[0]->fileId(), 1);
    EXPECT_EQ(hashLines[1]->fileId(), 2);
    EXPECT_EQ(hashLines[2]->fileId(), 2);
    EXPECT_EQ(hashLines[1]->fileName(), kDataDir + "/inc/shared.pts");

    // The script, the shared file once, the included scenario: newest first.
    ASSERT_EQ(parsed.sourceFiles.size(), 3u);
    EXPECT_EQ(parsed.sourceFiles[2].path, kDataDir + "/include_twice.pts");
    EXPECT_EQ(parsed.sourceFiles[1].path, kDataDir + "/inc/shared.pts");
    EXPECT_EQ(parsed.sourceFiles[0].baseName, "scenario.pts");
    EXPECT_EQ(parsed.sourceFiles[0].fileId, 3);
}

TEST_F(FrontEnd, SourceRecordFields)
{
    const std::string path = kDataDir + "/inc/shared.pts";
    const std::string content = qvm::testing::readFile(path);
    script::ParseOptions options;
    try {
        script::parseScript(path, options);
    } catch (const RunAbort&) {
    }
    const script::SourceFileRecord record = script::describeSourceFile(path, content);
    EXPECT_EQ(record.size, content.size());
    EXPECT_EQ(record.checksum, base::crc16Kermit(content));
    EXPECT_EQ(record.absoluteDirectory, kDataDir + "/inc");
    EXPECT_EQ(record.baseName, "shared.pts");
    std::int64_t key = static_cast<std::int64_t>(content.size());
    for (const char c : record.absoluteDirectory) {
        key += static_cast<unsigned char>(c) - 32;
    }
    EXPECT_EQ(record.hashKey, key);
}

TEST_F(FrontEnd, Files501OverflowTable)
{
    // The script and 499 included files fill the table.
    std::map<std::string, std::string> files;
    std::string script = kHeader;
    for (int i = 1; i < 500; ++i) {
        const std::string name = "f" + std::to_string(i) + ".pts";
        files[name] = "#define F" + std::to_string(i) + "\n";
        script += "INCLUDE \"" + name + "\"\n";
    }
    files["main.pts"] = script + "SCENARIO s\n  EXIT\nEND SCENARIO\n";
    const script::ParsedScript parsed = parseFiles(files, "main.pts");
    EXPECT_EQ(parsed.sourceFiles.size(), 500u);

    files["f500.pts"] = "#define F500\n";
    files["main.pts"] = script + "INCLUDE \"f500.pts\"\n";
    diag::resetRun();
    console.clear();
    EXPECT_EQ(statusOfParse(files, "main.pts"), 7);
    EXPECT_THAT(messagesOf(console),
                ElementsAre(IsMessage({"F", "INCLOVFLW", "main.pts", 502},
                                      "Too many included files in current test script: the limit is 500 distinct files")));
}

TEST_F(FrontEnd, IndirectIncludeLoop)
{
    const std::map<std::string, std::string> files{{"a.pts", kHeader + "INCLUDE \"b.pts\"\n"},
                                                   {"b.pts", "#b\nINCLUDE \"a.pts\"\n"}};
    EXPECT_EQ(statusOfParse(files, "a.pts"), 7);
    EXPECT_THAT(messagesOf(console), ElementsAre(IsMessage({"F", "INCLOOPDT", "b.pts", 2}, "Include file loop detected")));
}

TEST_F(FrontEnd, ScriptWideFlags)
{
    const auto flagsOf = [this](const std::string& declarations) {
        return parseFiles({{"s.pts", kHeader + declarations + "SCENARIO s\n  EXIT\nEND SCENARIO\n"}}, "s.pts")
            .scriptFlags;
    };
    EXPECT_EQ(flagsOf(""), 0);
    EXPECT_EQ(flagsOf("COMMTYPE c IS int\n"), script::ScriptUsesCommtype);
    EXPECT_EQ(flagsOf("TRIGGER t a\n"), script::ScriptUsesTrigger);
    EXPECT_EQ(diag::errorCount(), 0u) << console;
}

TEST_F(FrontEnd, RepeatedParsesGiveTheSameTree)
{
    script::ParseOptions options;
    const script::ParsedScript first = script::parseScript(kDataDir + "/declarations.pts", options);
    const script::ParsedScript second = script::parseScript(kDataDir + "/declarations.pts", options);
    EXPECT_EQ(script::dumpTree(first.root), script::dumpTree(second.root));
    EXPECT_EQ(script::dumpTree(first.root), qvm::testing::readFile(kDataDir + "/declarations.tree"));
}

TEST_F(FrontEnd, RootWrapsScenarioItems)
{
    const script::ParsedScript parsed =
        parseFiles({{"s.pts", kHeader + "SCENARIO one\n  EXIT\nEND SCENARIO\n"}}, "s.pts");
    const script::SyntaxNode* items = parsed.root->c2();
    ASSERT_EQ(items->kind, script::STX_SCENARIO_ITEM_LIST);
    EXPECT_EQ(items->c1(), nullptr);
    const script::SyntaxNode* wrapper = items->c0();
    ASSERT_EQ(wrapper->kind, script::STX_SCENARIO);
    EXPECT_EQ(wrapper->c0()->kind, script::STX_IDENT);
    EXPECT_EQ(wrapper->c0()->textOrEmpty(), "");
    EXPECT_EQ(wrapper->c1()->c0(), nullptr);
    EXPECT_EQ(wrapper->c1()->c1()->kind, script::STX_EMPTY);
    EXPECT_EQ(wrapper->c1()->c2()->c0()->c0()->textOrEmpty(), "one");
}

TEST_F(FrontEnd, LongBodyParsesIntoOneChain)
{
    std::string script = kHeader + "SCENARIO s\n";
    for (int i = 0; i < 50000; ++i) {
        script += "  EXIT\n";
    }
    script += "END SCENARIO\n";
    const script::ParsedScript parsed = parseFiles({{"long.pts", script}}, "long.pts");
    ASSERT_NE(parsed.root, nullptr);
    const auto exits = nodesOfKind(parsed.root, script::STX_EXIT);
    ASSERT_EQ(exits.size(), 0u + 50000);
    EXPECT_EQ(exits.back()->line, 50003);
}

}  // namespace

namespace {

TEST(SyntaxTreeFiles, NodesKeepTheirFile)
{
    qvm::script::SyntaxTree first;
    qvm::script::SyntaxTree second;
    const qvm::script::SyntaxNode* before = first.make(qvm::script::STX_EMPTY);
    first.setPosition(3, "one.pts", 1);
    const qvm::script::SyntaxNode* one = first.make(qvm::script::STX_IDENT);
    second.setPosition(4, "two.pts", 2);
    const qvm::script::SyntaxNode* two = second.make(qvm::script::STX_IDENT);
    first.setPosition(5, "two.pts", 7);
    const qvm::script::SyntaxNode* again = first.make(qvm::script::STX_IDENT);
    first.setPosition(6, "one.pts", 1);
    const qvm::script::SyntaxNode* back = first.make(qvm::script::STX_EMPTY);

    EXPECT_EQ(before->fileName(), "");
    EXPECT_EQ(before->fileId(), 0);
    EXPECT_EQ(one->fileName(), "one.pts");
    EXPECT_EQ(one->fileId(), 1);
    EXPECT_EQ(two->fileName(), "two.pts");
    EXPECT_EQ(two->fileId(), 2);
    EXPECT_EQ(again->fileName(), "two.pts");
    EXPECT_EQ(again->fileId(), 7);
    EXPECT_EQ(back->fileName(), "one.pts");
    EXPECT_EQ(back->line, 6);
    EXPECT_EQ(back->file, one->file);
    EXPECT_EQ(kindName(back->kind), "STX_EMPTY");
}

}  // namespace

namespace {

using qvm::script::SyntaxNode;
using qvm::script::SyntaxTree;

// A node holds only the children it was made with, or the room it was given:
// every child past them, and every child of a leaf, reads as null.
TEST(TreeNodes, ChildrenPastRoomAreNull)
{
    SyntaxTree tree;
    SyntaxNode* name = tree.makeLeaf(qvm::script::STX_IDENT, tree.keepText("name"));
    SyntaxNode* piece = tree.makeLeaf(qvm::script::STX_NATIVE_EXPR, tree.keepText(""));
    const SyntaxNode* bare = tree.make(qvm::script::STX_EXIT);
    const SyntaxNode* one = tree.make(qvm::script::STX_ARG, name);
    const SyntaxNode* gap = tree.make(qvm::script::STX_PROC, name, nullptr, piece);

    for (const SyntaxNode* leaf : {name, piece}) {
        EXPECT_EQ(leaf->c0(), nullptr);
        EXPECT_EQ(leaf->c1(), nullptr);
        EXPECT_EQ(leaf->c2(), nullptr);
        EXPECT_EQ(leaf->room(), 0u);
    }
    EXPECT_EQ(name->textOrEmpty(), "name");
    EXPECT_TRUE(piece->text());
    EXPECT_EQ(piece->textOrEmpty(), "");

    EXPECT_FALSE(bare->text());
    EXPECT_EQ(bare->c0(), nullptr);
    EXPECT_EQ(bare->c2(), nullptr);
    EXPECT_EQ(one->c0(), name);
    EXPECT_EQ(one->c1(), nullptr);
    EXPECT_EQ(one->c2(), nullptr);
    EXPECT_FALSE(one->text());
    EXPECT_EQ(gap->c0(), name);
    EXPECT_EQ(gap->c1(), nullptr);
    EXPECT_EQ(gap->c2(), piece);
    EXPECT_EQ(tree.size(), 5u);
}

// A list link is made with room for the rest of its list, which is set later.
TEST(TreeNodes, RoomTakesALaterChild)
{
    SyntaxTree tree;
    SyntaxNode* element = tree.makeLeaf(qvm::script::STX_IDENT, tree.keepText("a"));
    SyntaxNode* first = tree.makeWithRoom(qvm::script::STX_NESTED_GROUP, 3, element);
    SyntaxNode* second = tree.makeWithRoom(qvm::script::STX_NESTED_GROUP, 3, element);
    EXPECT_EQ(first->room(), 3u);
    EXPECT_EQ(first->c2(), nullptr);
    first->setChild(2, second);
    EXPECT_EQ(first->c0(), element);
    EXPECT_EQ(first->c1(), nullptr);
    EXPECT_EQ(first->c2(), second);
    EXPECT_EQ(second->c2(), nullptr);
    EXPECT_EQ(qvm::script::dumpTree(first),
              "STX_NESTED_GROUP @0\n  STX_IDENT \"a\" @0\n  -\nSTX_NESTED_GROUP @0\n  STX_IDENT \"a\" @0\n");
}

}  // namespace
