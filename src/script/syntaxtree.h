// The syntax tree of a test script: nodes with a kind, up to three children,
// the line and file they were made in, and a text for the leaf kinds.
#pragma once

#include "base/mfmemo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script {

// Eight bits: the kind shares a word with the node's file and text flag.
enum SyntaxKind : std::uint8_t {
    STX_SCRIPT,
    STX_HEADER,
    STX_DECL_LIST,
    STX_DECLARE_INSTANCE,
    STX_INSTANCE_NAME_LIST,
    STX_INSTANCE_BLOCK,
    STX_INSTANCE_DECL_LIST,
    STX_HASH_LINE,
    STX_AT_LINE,
    STX_TRIGGER,
    STX_TRIGGER_FIELD_LIST,
    STX_SHARE,
    STX_PROC,
    STX_PARAM_LIST,
    STX_PARAM,
    STX_INCLUDE,
    STX_FORMAT,
    STX_FORMAT_KEY,
    STX_CATCH,
    STX_COMMTYPE,
    STX_PROPERTY_LIST,
    STX_MULTIPLEXING,
    STX_CHANNEL,
    STX_CHANNEL_ITEM_LIST,
    STX_MESSAGE,
    STX_MESSAGE_ITEM_LIST,
    STX_CALLBACK,
    STX_VIRTUAL_CALLBACK,
    STX_CALLBACK_NAME,
    STX_CALLBACK_ON,
    STX_PROCSEND,
    STX_VIRTUAL_PROCSEND,
    STX_PROCSEND_NAME,
    STX_PROCSEND_ON,
    STX_TIMER,
    STX_RESET,
    STX_RENDEZVOUS,
    STX_SCENARIO_ITEM_LIST,
    STX_SCENARIO,
    STX_SCENARIO_BODY,
    STX_FAMILY,
    STX_FAMILY_NAMES,
    STX_INITIALIZATION,
    STX_TERMINATION,
    STX_EXCEPTION,
    STX_INSTR_GROUP,
    STX_NATIVE_GROUP,
    STX_NESTED_GROUP,
    STX_INSTANCE_BEGIN,
    STX_INSTANCE_BODY,
    STX_HASH_LINE_LIST,
    STX_INSTR_LINE,
    STX_FILTER,
    STX_FILTER_DOUBLE,
    STX_CALL,
    STX_CALL_AT,
    STX_ARG_LIST,
    STX_ARG,
    STX_REF_ARG,
    STX_AT_EXPR,
    STX_SEND,
    STX_SEND_ARGS,
    STX_CASE,
    STX_WHEN_CLAUSE_LIST,
    STX_WHEN_CLAUSE,
    STX_WHEN_LIST,
    STX_COMMENT,
    STX_DEF_TRIGGER,
    STX_TRIGGER_VALUE_LIST,
    STX_DISABLE_CLEANUP,
    STX_ENABLE_CLEANUP,
    STX_ERROR,
    STX_EXIT,
    STX_NO_MESSAGE,
    STX_MESSAGE_DATE,
    STX_FLUSH_TRACE,
    STX_TRACE_ON,
    STX_TRACE_OFF,
    STX_OTHERS,
    STX_EMPTY,
    STX_BLOCK_MARK,
    STX_EV_EQ,
    STX_INSTANCE_END,
    STX_IF,
    STX_ELSE,
    STX_WHILE,
    STX_SET,
    STX_UNSET,
    STX_VAR,
    STX_INIT_TEXT,
    STX_EV_TEXT,
    STX_DEF_MESSAGE,
    STX_WAITTIL,
    STX_FD_ADD,
    STX_ADD_ID,
    STX_FD_DEL,
    STX_CLEAR_ID,
    STX_PAUSE,
    STX_PRINT,
    STX_INTERSEND,
    STX_INTERSEND_ARGS,
    STX_INTERRECV,
    STX_INTERRECV_ARGS,
    STX_EXPR,
    STX_NATIVE_EXPR,
    STX_MATCHING,
    STX_MATCHED,
    STX_NOTMATCHING,
    STX_NOTMATCHED,
    STX_IDENT,
    STX_CONSTANT,
    STX_STRING,
    STX_ENV_VAR,
    STX_KIND_COUNT
};

// The "STX_..." name of a kind.
std::string_view kindName(SyntaxKind kind);

// A text the tree keeps: its length, then its characters.
struct KeptText;

// The text of a leaf node: one the tree keeps, or none. Reads like an
// optional string_view.
class NodeText {
public:
    NodeText() = default;
    explicit NodeText(const KeptText* kept) : kept_(kept) {}

    explicit operator bool() const { return kept_ != nullptr; }
    bool has_value() const { return kept_ != nullptr; }
    std::string_view operator*() const;
    const KeptText* kept() const { return kept_; }

private:
    const KeptText* kept_ = nullptr;
};

// A file nodes were made in: its name and its source record identifier.
struct NodeFile {
    std::string name;
    int id = 0;
};

// The number of a file among those nodes were made in (by any tree of the
// process: scripts read few files); 0 stands for none.
using NodeFileNumber = std::uint16_t;
const NodeFile& nodeFile(NodeFileNumber number);

// A node is its position and kind, followed in the tree's memory by its
// slots: one per child it has room for, or, for the leaf kinds, one for its
// text (leaf kinds carry a text and never children). A child past the room
// reads as null. Nodes are made only by SyntaxTree and never copied.
class alignas(void*) SyntaxNode {
public:
    SyntaxNode(const SyntaxNode&) = delete;
    SyntaxNode& operator=(const SyntaxNode&) = delete;

    int line = 0;                  // lexer line when the node was made
    NodeFileNumber file = 0;       // file current when the node was made
    SyntaxKind kind = STX_EMPTY;   // meaning of the children, per kind

    SyntaxNode* c0() const { return child(0); }
    SyntaxNode* c1() const { return child(1); }
    SyntaxNode* c2() const { return child(2); }
    // A leaf's shape is negative: it has room for no child.
    SyntaxNode* child(std::size_t index) const
    {
        return static_cast<int>(index) < static_cast<std::int8_t>(shape_) ? slots()[index].node : nullptr;
    }
    // The children the node has room for: those it was made with, or more
    // when made with more room.
    std::size_t room() const { return shape_ & kRoomMask; }
    // Only within the room.
    void setChild(std::size_t index, SyntaxNode* node) { slots()[index].node = node; }

    NodeText text() const { return NodeText((shape_ & kHasText) != 0 ? slots()[0].text : nullptr); }
    std::string_view textOrEmpty() const;
    std::string_view fileName() const { return nodeFile(file).name; }
    int fileId() const { return nodeFile(file).id; }

private:
    friend class SyntaxTree;

    union Slot {
        SyntaxNode* node;
        const KeptText* text;
    };
    static constexpr std::uint8_t kRoomMask = 0x03;
    static constexpr std::uint8_t kHasText = 0x80;  // the sign bit of the shape

    SyntaxNode(SyntaxKind madeKind, int madeLine, NodeFileNumber madeFile, std::uint8_t shape)
        : line(madeLine), file(madeFile), kind(madeKind), shape_(shape)
    {
    }
    // The slots follow the node in the block the tree made it in.
    Slot* slots() { return std::launder(reinterpret_cast<Slot*>(reinterpret_cast<std::byte*>(this) + sizeof *this)); }
    const Slot* slots() const
    {
        return std::launder(reinterpret_cast<const Slot*>(reinterpret_cast<const std::byte*>(this) + sizeof *this));
    }

    std::uint8_t shape_ = 0;  // the room, and whether the one slot is a text
};

// A large script makes hundreds of thousands of nodes, and the memory they
// take is most of what the parse costs: the file is a number, the kind a
// byte, and a node takes only the slots it uses.
static_assert(sizeof(SyntaxNode) == 8);

// Owns every node of one parse and the texts of its leaves (the files they
// were made in are numbered for the whole process, see nodeFile). Nodes and
// texts keep their addresses for the life of the tree. Nodes are made in
// plain heap blocks, a small one first, so that a large script costs one
// allocation per ten thousand nodes. A block aligned to a large page would
// leave a free gap in front of it, touched and too small for the next one.
class SyntaxTree {
public:
    SyntaxTree() = default;
    SyntaxTree(const SyntaxTree&) = delete;
    SyntaxTree& operator=(const SyntaxTree&) = delete;

    // A node with its children, as many slots as the last one given needs.
    SyntaxNode* make(SyntaxKind kind, SyntaxNode* c0 = nullptr, SyntaxNode* c1 = nullptr,
                     SyntaxNode* c2 = nullptr)
    {
        if (c2 != nullptr) {
            return makeWithRoom(kind, 0, c0, c1, c2);
        }
        if (c1 != nullptr) {
            return makeWithRoom(kind, 0, c0, c1);
        }
        return c0 != nullptr ? makeWithRoom(kind, 0, c0) : makeWithRoom(kind, 0);
    }

    // A node with the children given, and room for at least `room` children
    // in all: a list link gets the rest of its list once the list goes on.
    // Inlined where the kind is known, the slot count folds to a constant.
    template <typename... Children>
    [[gnu::always_inline]] SyntaxNode* makeWithRoom(SyntaxKind kind, std::size_t room, Children... children)
    {
        constexpr std::size_t given = sizeof...(Children);
        static_assert(given <= SyntaxNode::kRoomMask);
        const std::size_t slots = std::min<std::size_t>(std::max(room, given), SyntaxNode::kRoomMask);
        SyntaxNode* node = place(kind, slots, static_cast<std::uint8_t>(slots));
        SyntaxNode::Slot* slot = node->slots();
        std::size_t filled = 0;
        ((new (slot + filled++) SyntaxNode::Slot{.node = children}), ...);
        for (; filled < slots; ++filled) {
            new (slot + filled) SyntaxNode::Slot{.node = nullptr};
        }
        return node;
    }

    // A leaf: a node with a text and no children.
    SyntaxNode* makeLeaf(SyntaxKind kind, const KeptText* text)
    {
        SyntaxNode* node = place(kind, 1, SyntaxNode::kHasText);
        new (node->slots()) SyntaxNode::Slot{.text = text};
        return node;
    }

    // A stored copy of a file name, which lives as long as the tree.
    std::string_view keepFileName(std::string_view name);

    // Keeps a text for the life of the tree, for the nodes' text.
    const KeptText* keepText(std::string_view text);

    // Position stamped on the nodes made from now on. The file part is kept
    // apart because it changes only when the file does.
    void setPosition(int line, std::string_view fileName, int fileId);
    void setFile(std::string_view fileName, int fileId);
    void setLine(int line) { line_ = line; }
    // Gives an existing node that position.
    void stamp(SyntaxNode& node) const;

    // Frees every node, keeping the texts and file names the nodes referred
    // to (the semantic model views them); the tree has no root afterwards.
    void releaseNodes();

    SyntaxNode* root() const { return root_; }
    void setRoot(SyntaxNode* root) { root_ = root; }
    std::size_t size() const { return size_; }

private:
    struct BlockRelease {
        void operator()(std::byte* nodes) const;
    };
    using Block = std::unique_ptr<std::byte, BlockRelease>;

    // A node without its slots, with room for them after it.
    SyntaxNode* place(SyntaxKind kind, std::size_t slots, std::uint8_t shape)
    {
        const std::size_t bytes = sizeof(SyntaxNode) + slots * sizeof(SyntaxNode::Slot);
        if (blockCapacity_ - blockUsed_ < bytes) {
            startBlock();
        }
        SyntaxNode* node = new (blocks_.back().get() + blockUsed_) SyntaxNode(kind, line_, file_, shape);
        blockUsed_ += bytes;
        ++size_;
        return node;
    }
    void startBlock();

    std::vector<Block> blocks_;  // every node made, in order
    std::size_t size_ = 0;
    std::size_t blockUsed_ = 0;      // bytes used in the last block
    std::size_t blockCapacity_ = 0;  // bytes the last block holds
    base::TextStore texts_;  // the texts the nodes refer to
    std::deque<std::string> fileNames_;  // the file names the nodes refer to
    SyntaxNode* root_ = nullptr;
    int line_ = 0;                       // position stamped on new nodes
    NodeFileNumber file_ = 0;
    const NodeFile* currentFile_ = nullptr;  // the file numbered file_, once set
};

// One node per line, indented by two blanks per depth: kind, ` "text"` when
// the node has text, ` @line`; an empty child that a later child follows
// prints "-". The elements of a list chain stand at the list's own depth.
std::string dumpTree(const SyntaxNode* root);

}  // namespace qvm::script
