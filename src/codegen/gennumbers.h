// The numbers the writers give to the constructs of an analysed script: the
// TDC writer's record numbers and the tracer structure writer's element
// numbers, kept for the program writer, which passes them to the runtime.
#pragma once

#include "script/semmodel.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
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

// Numbers by value node, in the order they were given: they keep their
// place while the table grows, and are found through an open-addressing
// index of their nodes' addresses. A slot of the index holds only the
// node's rank in the order given, through which the node and its numbers
// are found: the index has at least twice as many slots as there are
// nodes, and a rank takes a quarter of the room of the node's address and
// rank together.
class NodeNumbers {
public:
    ItemNumbers& of(const script::ValueNode& node)
    {
        if (2 * (nodes_.size() + 1) > slots_.size()) {
            grow();
        }
        std::uint32_t& slot = slots_[slotOf(&node)];
        if (slot == kEmpty) {
            slot = static_cast<std::uint32_t>(nodes_.size());
            nodes_.push_back(&node);
        }
        return numbers_.at(slot);
    }
    ItemNumbers find(const script::ValueNode& node) const
    {
        if (slots_.empty()) {
            return {};
        }
        const std::uint32_t slot = slots_[slotOf(&node)];
        return slot != kEmpty ? numbers_.get(slot) : ItemNumbers{};
    }
    void clear()
    {
        slots_.clear();
        nodes_.clear();
        numbers_.clear();
    }

private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;

    // The slot of the node, or the empty one where it would go.
    std::size_t slotOf(const script::ValueNode* node) const
    {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = (reinterpret_cast<std::uintptr_t>(node) * 0x9E3779B97F4A7C15ull >> 32) & mask;
        while (slots_[at] != kEmpty && nodes_[slots_[at]] != node) {
            at = (at + 1) & mask;
        }
        return at;
    }
    void grow()
    {
        slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), kEmpty);
        for (std::size_t rank = 0; rank < nodes_.size(); ++rank) {
            slots_[slotOf(nodes_[rank])] = static_cast<std::uint32_t>(rank);
        }
    }

    std::vector<std::uint32_t> slots_;  // ranks; a power of two of them, at most half used
    std::vector<const script::ValueNode*> nodes_;  // by rank
    NumberBlocks numbers_;  // by rank
};

// Numbers by construct. A construct is an entry of the model or, for the
// parts of a value that have no entry of their own (the dump description of
// a message type), a node of its value tree. Entries, numbered by most
// statements, are found by their serial; value nodes, few, by address.
class NumberTable {
public:
    ItemNumbers& of(const script::sem::Entry& entry) { return entries_.at(entry.serial); }
    ItemNumbers& of(const script::ValueNode& node) { return values_.of(node); }
    // The numbers given, or all -1 for a construct that has none.
    ItemNumbers find(const script::sem::Entry& entry) const { return entries_.get(entry.serial); }
    ItemNumbers find(const script::ValueNode& node) const { return values_.find(node); }

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
struct Numbering {
    NumberTable records;   // TDC records: begin and end record numbers
    NumberTable elements;  // tracer structure elements: begin element (end where it differs)
};

}  // namespace qvm::codegen
