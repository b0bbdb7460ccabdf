// The numbers the writers give to the constructs of an analysed script: the
// TDC writer's record numbers and the tracer structure writer's element
// numbers, kept for the program writer, which passes them to the runtime.
#pragma once

#include "codegen/genindex.h"
#include "script/semmodel.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::codegen {

// The begin and end numbers of one construct; -1 for a number not given.
struct ItemNumbers {
    int begin = -1;
    int end = -1;
};

// Numbers by index, all -1 until given, in blocks that never move: a
// writer may hold on to numbers it fills in later while more are added.
class NumberBlocks {
public:
    ItemNumbers& at(std::size_t index)
    {
        while (index / kBlockSize >= blocks_.size()) {
            blocks_.push_back(std::make_unique<ItemNumbers[]>(kBlockSize));
        }
        return blocks_[index / kBlockSize][index % kBlockSize];
    }
    ItemNumbers get(std::size_t index) const
    {
        return index / kBlockSize < blocks_.size() ? blocks_[index / kBlockSize][index % kBlockSize] : ItemNumbers{};
    }
    void clear() { blocks_.clear(); }

private:
    static constexpr std::size_t kBlockSize = 1024;
    std::vector<std::unique_ptr<ItemNumbers[]>> blocks_;
};

// The numbers of the nodes of one value tree, side by side in the order of
// the nodes in the tree's block: a walk over the tree finds the numbers of
// a node from its place after the top node, without a lookup.
class TreeNumbers {
public:
    TreeNumbers() = default;
    TreeNumbers(const script::ValueNode& root, ItemNumbers* numbers) : root_(&root), numbers_(numbers) {}

    ItemNumbers& of(const script::ValueNode& node) const { return numbers_[&node - root_]; }

private:
    const script::ValueNode* root_ = nullptr;
    ItemNumbers* numbers_ = nullptr;
};

// The numbers given to the nodes of one tree, or all -1 for a tree that has none.
class KeptTreeNumbers {
public:
    KeptTreeNumbers() = default;
    KeptTreeNumbers(const script::ValueNode& root, const ItemNumbers* numbers) : root_(&root), numbers_(numbers) {}

    ItemNumbers find(const script::ValueNode& node) const
    {
        return numbers_ != nullptr ? numbers_[&node - root_] : ItemNumbers{};
    }

private:
    const script::ValueNode* root_ = nullptr;
    const ItemNumbers* numbers_ = nullptr;
};

// Numbers by value tree, found through an open-addressing index of their
// top nodes' addresses. A slot of the index holds the tree's rank in the
// order given; the index has at least twice as many slots as there are
// trees. The numbers of a tree lie together in blocks that never move: a
// writer may hold on to numbers it fills in later while more are added.
class NodeNumbers {
public:
    // The numbers of the tree below that top node, all -1 until given.
    TreeNumbers tree(const script::ValueNode& root)
    {
        if (2 * (trees_.size() + 1) > slots_.size()) {
            grow();
        }
        std::uint32_t& slot = slots_[slotOf(&root)];
        if (slot == kEmpty) {
            slot = static_cast<std::uint32_t>(trees_.size());
            trees_.push_back({&root, place(nodeCount(root, root))});
        }
        return {root, trees_[slot].numbers};
    }
    KeptTreeNumbers find(const script::ValueNode& root) const
    {
        if (slots_.empty()) {
            return {};
        }
        const std::uint32_t slot = slots_[slotOf(&root)];
        return slot != kEmpty ? KeptTreeNumbers(root, trees_[slot].numbers) : KeptTreeNumbers();
    }
    void clear()
    {
        slots_.clear();
        trees_.clear();
        blocks_.clear();
        lastSize_ = 0;
        free_ = 0;
    }

private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;
    static constexpr std::size_t kBlockSize = 1024;

    struct Tree {
        const script::ValueNode* root;
        ItemNumbers* numbers;  // one per node of its block, in their order
    };

    // The nodes of the tree's block up to the last one below the root: the
    // nodes of a tree lie side by side in its block, the root first.
    static std::size_t nodeCount(const script::ValueNode& node, const script::ValueNode& root)
    {
        std::size_t count = static_cast<std::size_t>(&node - &root) + 1;
        for (const script::ValueNode& child : node.children()) {
            count = std::max(count, nodeCount(child, root));
        }
        return count;
    }
    // Room for count numbers, all -1, in the last block or a new one.
    ItemNumbers* place(std::size_t count)
    {
        if (blocks_.empty() || count > free_) {
            lastSize_ = std::max(kBlockSize, count);
            blocks_.push_back(std::make_unique<ItemNumbers[]>(lastSize_));
            free_ = lastSize_;
        }
        ItemNumbers* const placed = blocks_.back().get() + (lastSize_ - free_);
        free_ -= count;
        return placed;
    }

    // The slot of the tree, or the empty one where it would go.
    std::size_t slotOf(const script::ValueNode* root) const
    {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = (reinterpret_cast<std::uintptr_t>(root) * 0x9E3779B97F4A7C15ull >> 32) & mask;
        while (slots_[at] != kEmpty && trees_[slots_[at]].root != root) {
            at = (at + 1) & mask;
        }
        return at;
    }
    void grow()
    {
        slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), kEmpty);
        for (std::size_t rank = 0; rank < trees_.size(); ++rank) {
            slots_[slotOf(trees_[rank].root)] = static_cast<std::uint32_t>(rank);
        }
    }

    std::vector<std::uint32_t> slots_;  // ranks; a power of two of them, at most half used
    std::vector<Tree> trees_;           // by rank
    std::vector<std::unique_ptr<ItemNumbers[]>> blocks_;
    std::size_t lastSize_ = 0;  // the numbers the last block holds
    std::size_t free_ = 0;      // those not yet placed, at its end
};

// Numbers by construct. A construct is an entry of the model or, for the
// parts of a value that have no entry of their own (the dump description of
// a message type), a node of its value tree. Entries, numbered by most
// statements, are found by their serial; the nodes of a value tree through
// the tree's top node.
class NumberTable {
public:
    ItemNumbers& of(const script::sem::Entry& entry) { return entries_.at(entry.serial); }
    TreeNumbers treeOf(const script::ValueNode& root) { return values_.tree(root); }
    // The numbers given, or all -1 for a construct that has none.
    ItemNumbers find(const script::sem::Entry& entry) const { return entries_.get(entry.serial); }
    KeptTreeNumbers findTree(const script::ValueNode& root) const { return values_.find(root); }

    void clear()
    {
        entries_.clear();
        values_.clear();
    }

private:
    NumberBlocks entries_;  // by entry serial
    NodeNumbers values_;
};

// What the writers of one run share.
//
// records, filled by the TDC writer (letters of the records in brackets):
// - ENT_SCRIPT [E], ENT_COMMENT [C], ENT_RENDEZVOUS [N], ENT_PRINT [M],
//   ENT_EXIT [Q], ENT_SET [J], ENT_UNSET [U], ENT_ERROR, ENT_MESSAGE_DATE,
//   ENT_NO_MESSAGE, ENT_ADD_ID (FD_ADD too) [O], ENT_FLUSH_TRACE [FT],
//   ENT_TRACE_ON [TN], ENT_TRACE_OFF [TF], ENT_INTERSEND [ID],
//   ENT_INTERRECV [IC], ENT_CHANNEL with its used flag [CN]: begin only.
// - ENT_SCENARIO marked for generation [S]: begin, end (its trace identifier).
// - ENT_INITIALIZATION, ENT_TERMINATION, ENT_EXCEPTION [Z]: begin, end (the
//   block code).
// - ENT_PROC marked used [P]: begin, end.
// - ENT_CALL [A]: begin, end (the result number); with a result variable
//   the R record of the result check is end - 1. Each ENT_ARG below the call
//   (or below a call-form level block) [R]: begin (the parameter's number).
// - ENT_SEND [SD]: begin, end.
// - ENT_WAITTIL [W]: begin, end. Each ENT_MATCH_PIECE in its scope, one
//   per message variable the statement names, in order [Y]: begin.
// - ENT_VAR with EV= (and EV==) or VA= [K]: begin, end (end_var_va). An
//   INIT= VAR has none. Its value entries:
//     ENT_AGGREGATE of a structure or union [D], of an array [B]: begin, end;
//     ENT_FIELD_VALUE, ENT_UNION_VALUE: the numbers of the value entry below;
//     ENT_ELEMENT_VALUE, ENT_OTHERS_VALUE holding an aggregate: [L] begin,
//       end, or the array's numbers when they cover all of its indices;
//     ENT_SCALAR_VALUE, ENT_BOUNDED_VALUE, and ENT_OTHERS_VALUE holding a
//       scalar [I]: begin only.
// - ENT_EVENT_STRUCT whose messages are used, defined or dumped [T]: begin
//   (its type number), end (its end-event number). The ValueNodes of its dump
//   description (EventStructData::receivedCheck) are numbered like value
//   entries: Structure, Union [D] and Array [B] nodes begin, end; Scalar and
//   Bounded nodes [I] begin; an IndexRange node holding one scalar has the
//   scalar's I number, one holding an aggregate [L] begin, end, or the
//   array's numbers when it covers all of the array's indices (not OTHERS).
// - ENT_DEF_MESSAGE that is generated and has a value [V]: begin (the
//   message number); the ValueNodes of its tree as for a dump description.
//
// elements, filled by the tracer structure writer: see tsfgen.h.
//
// index, gathered by the TDC writer before its walk, for the tracer structure
// and program writers too; it points into the model, which outlives them.
// The event codes the probe header names (probe mode): each name once,
// with the number of the first construct that gives it, since a name
// defined twice would not compile.
struct ProbeCodes {
    // A SEND or WAITTIL code: its message type and channel, and for a
    // WAITTIL the message variable it waits for first.
    struct Exchange {
        const script::sem::Entry* type;
        const script::sem::Entry* channel;
        const script::sem::Entry* message;  // null for a SEND
    };
    std::vector<Exchange> sends;
    std::vector<Exchange> receives;
    // The names defined, without their "TRV_TDC_" prefix.
    std::set<std::string, std::less<>> names;

    bool defines(std::string_view name) const { return names.count(name) != 0; }
};

struct Numbering {
    NumberTable records;   // TDC records: begin and end record numbers
    NumberTable elements;  // tracer structure elements: begin element (end where it differs)
    std::optional<ScriptIndex> index;
    ProbeCodes probe;
};

}  // namespace qvm::codegen
