// The syntax tree of a test script.
#include "script/syntaxtree.h"

#include "base/mfmemo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <limits>
#include <map>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace qvm::script {

namespace {

// Blocks of nodes are freed without visiting their nodes.
static_assert(std::is_trivially_destructible_v<SyntaxNode>);

constexpr std::size_t kFirstBlockBytes = std::size_t{64} << 10;

constexpr std::string_view kKindNames[] = {
    "STX_SCRIPT",
    "STX_HEADER",
    "STX_DECL_LIST",
    "STX_DECLARE_INSTANCE",
    "STX_INSTANCE_NAME_LIST",
    "STX_INSTANCE_BLOCK",
    "STX_INSTANCE_DECL_LIST",
    "STX_HASH_LINE",
    "STX_AT_LINE",
    "STX_TRIGGER",
    "STX_TRIGGER_FIELD_LIST",
    "STX_SHARE",
    "STX_PROC",
    "STX_PARAM_LIST",
    "STX_PARAM",
    "STX_INCLUDE",
    "STX_FORMAT",
    "STX_FORMAT_KEY",
    "STX_CATCH",
    "STX_COMMTYPE",
    "STX_PROPERTY_LIST",
    "STX_MULTIPLEXING",
    "STX_CHANNEL",
    "STX_CHANNEL_ITEM_LIST",
    "STX_MESSAGE",
    "STX_MESSAGE_ITEM_LIST",
    "STX_CALLBACK",
    "STX_VIRTUAL_CALLBACK",
    "STX_CALLBACK_NAME",
    "STX_CALLBACK_ON",
    "STX_PROCSEND",
    "STX_VIRTUAL_PROCSEND",
    "STX_PROCSEND_NAME",
    "STX_PROCSEND_ON",
    "STX_TIMER",
    "STX_RESET",
    "STX_RENDEZVOUS",
    "STX_SCENARIO_ITEM_LIST",
    "STX_SCENARIO",
    "STX_SCENARIO_BODY",
    "STX_FAMILY",
    "STX_FAMILY_NAMES",
    "STX_INITIALIZATION",
    "STX_TERMINATION",
    "STX_EXCEPTION",
    "STX_INSTR_GROUP",
    "STX_NATIVE_GROUP",
    "STX_NESTED_GROUP",
    "STX_INSTANCE_BEGIN",
    "STX_INSTANCE_BODY",
    "STX_HASH_LINE_LIST",
    "STX_INSTR_LINE",
    "STX_FILTER",
    "STX_FILTER_DOUBLE",
    "STX_CALL",
    "STX_CALL_AT",
    "STX_ARG_LIST",
    "STX_ARG",
    "STX_REF_ARG",
    "STX_AT_EXPR",
    "STX_SEND",
    "STX_SEND_ARGS",
    "STX_CASE",
    "STX_WHEN_CLAUSE_LIST",
    "STX_WHEN_CLAUSE",
    "STX_WHEN_LIST",
    "STX_COMMENT",
    "STX_DEF_TRIGGER",
    "STX_TRIGGER_VALUE_LIST",
    "STX_DISABLE_CLEANUP",
    "STX_ENABLE_CLEANUP",
    "STX_ERROR",
    "STX_EXIT",
    "STX_NO_MESSAGE",
    "STX_MESSAGE_DATE",
    "STX_FLUSH_TRACE",
    "STX_TRACE_ON",
    "STX_TRACE_OFF",
    "STX_OTHERS",
    "STX_EMPTY",
    "STX_BLOCK_MARK",
    "STX_EV_EQ",
    "STX_INSTANCE_END",
    "STX_IF",
    "STX_ELSE",
    "STX_WHILE",
    "STX_SET",
    "STX_UNSET",
    "STX_VAR",
    "STX_INIT_TEXT",
    "STX_EV_TEXT",
    "STX_DEF_MESSAGE",
    "STX_WAITTIL",
    "STX_FD_ADD",
    "STX_ADD_ID",
    "STX_FD_DEL",
    "STX_CLEAR_ID",
    "STX_PAUSE",
    "STX_PRINT",
    "STX_INTERSEND",
    "STX_INTERSEND_ARGS",
    "STX_INTERRECV",
    "STX_INTERRECV_ARGS",
    "STX_EXPR",
    "STX_NATIVE_EXPR",
    "STX_MATCHING",
    "STX_MATCHED",
    "STX_NOTMATCHING",
    "STX_NOTMATCHED",
    "STX_IDENT",
    "STX_CONSTANT",
    "STX_STRING",
    "STX_ENV_VAR",
};
static_assert(std::size(kKindNames) == STX_KIND_COUNT);

// Every file nodes were made in, numbered from 1 in the order first met.
class NodeFiles {
public:
    NodeFiles() { byNumber_.push_back(&files_.emplace_back()); }

    const NodeFile& at(NodeFileNumber number) const { return *byNumber_[number]; }

    NodeFileNumber numberOf(std::string_view name, int id)
    {
        const auto found = numbers_.find(std::make_pair(id, name));
        if (found != numbers_.end()) {
            return found->second;
        }
        if (byNumber_.size() > std::numeric_limits<NodeFileNumber>::max()) {
            base::memoryExhausted();
        }
        const NodeFile& added = files_.emplace_back(NodeFile{std::string(name), id});
        const auto number = static_cast<NodeFileNumber>(byNumber_.size());
        byNumber_.push_back(&added);
        numbers_.emplace(std::make_pair(id, std::string_view(added.name)), number);
        return number;
    }

private:
    std::deque<NodeFile> files_;  // keep their places: the index views their names
    std::vector<const NodeFile*> byNumber_;
    std::map<std::pair<int, std::string_view>, NodeFileNumber> numbers_;
};

NodeFiles& nodeFiles()
{
    static NodeFiles files;
    return files;
}

void dumpLine(const SyntaxNode* node, std::size_t depth, std::string& out)
{
    out.append(depth * 2, ' ');
    if (node == nullptr) {
        out += "-\n";
        return;
    }
    out += kindName(node->kind);
    if (const NodeText text = node->text()) {
        out += " \"";
        out += *text;
        out += '"';
    }
    out += " @";
    out += std::to_string(node->line);
    out += '\n';
}

// A body is one list whose elements are groups of instruction lines and
// groups of '#' lines, in any order.
bool isBodyGroup(SyntaxKind kind)
{
    return kind == STX_INSTR_GROUP || kind == STX_NATIVE_GROUP;
}

// Whether `rest`, the last child of `node`, carries on the list `node` is an
// element of.
bool continuesList(const SyntaxNode& node, const SyntaxNode& rest)
{
    return rest.kind == node.kind || (isBodyGroup(node.kind) && isBodyGroup(rest.kind));
}

}  // namespace

const NodeFile& nodeFile(NodeFileNumber number)
{
    return nodeFiles().at(number);
}

std::string_view kindName(SyntaxKind kind)
{
    if (kind >= STX_KIND_COUNT) {
        return "STX_?";
    }
    return kKindNames[kind];
}

// KeptText only names the place of a text the tree's store keeps.
std::string_view NodeText::operator*() const
{
    return base::keptText(reinterpret_cast<const char*>(kept_));
}

std::string_view SyntaxNode::textOrEmpty() const
{
    const NodeText kept = text();
    return kept ? *kept : std::string_view();
}

void SyntaxTree::BlockRelease::operator()(std::byte* nodes) const
{
    base::release(nodes);
}

void SyntaxTree::startBlock()
{
    const std::size_t bytes = blocks_.empty() ? kFirstBlockBytes : base::kStoreBlockBytes;
    blocks_.emplace_back(static_cast<std::byte*>(base::allocate(bytes)), BlockRelease{});
    blockCapacity_ = bytes;
    blockUsed_ = 0;
}

std::string_view SyntaxTree::keepFileName(std::string_view name)
{
    for (const std::string& kept : fileNames_) {
        if (kept == name) {
            return kept;
        }
    }
    return fileNames_.emplace_back(name);
}

const KeptText* SyntaxTree::keepText(std::string_view text)
{
    return reinterpret_cast<const KeptText*>(texts_.keep(text));
}

void SyntaxTree::releaseNodes()
{
    blocks_.clear();
    blocks_.shrink_to_fit();
    size_ = 0;
    blockUsed_ = 0;
    blockCapacity_ = 0;
    root_ = nullptr;
}

// The position changes with every token: the file stays the same for long
// runs of them, and a script reads few files.
void SyntaxTree::setPosition(int line, std::string_view fileName, int fileId)
{
    setLine(line);
    setFile(fileName, fileId);
}

void SyntaxTree::setFile(std::string_view fileName, int fileId)
{
    if (currentFile_ != nullptr && currentFile_->id == fileId && currentFile_->name == fileName) {
        return;
    }
    file_ = nodeFiles().numberOf(fileName, fileId);
    currentFile_ = &nodeFile(file_);
}

void SyntaxTree::stamp(SyntaxNode& node) const
{
    node.line = line_;
    node.file = file_;
}

// Lists are long right-leaning chains: the walk keeps its own stack, and the
// rest of a list stands at the list's own depth, so that the text grows with
// the number of nodes only.
std::string dumpTree(const SyntaxNode* root)
{
    std::string out;
    if (root == nullptr) {
        return out;
    }
    std::vector<std::pair<const SyntaxNode*, std::size_t>> pending{{root, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        dumpLine(node, depth, out);
        if (node == nullptr) {
            continue;
        }
        std::size_t used = 3;
        while (used > 0 && node->child(used - 1) == nullptr) {
            --used;
        }
        for (std::size_t i = used; i > 0; --i) {
            const SyntaxNode* child = node->child(i - 1);
            const bool rest = i == used && continuesList(*node, *child);
            pending.emplace_back(child, rest ? depth : depth + 1);
        }
    }
    return out;
}

}  // namespace qvm::script
