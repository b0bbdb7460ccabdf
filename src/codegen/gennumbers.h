// The numbers the writers give to the constructs of an analysed script: the
// TDC writer's record numbers and the tracer structure writer's element
// numbers, kept for the program writer, which passes them to the runtime.
#pragma once

#include "script/semmodel.h"

#include <deque>
#include <unordered_map>

namespace qvm::codegen {

// The begin and end numbers of one construct; -1 for a number not given.
struct ItemNumbers {
    int begin = -1;
    int end = -1;
};

// Numbers by construct. A construct is an entry of the model or, for the
// parts of a value that have no entry of their own (the dump description of
// a message type), a node of its value tree. Entries, numbered by most
// statements, are found by their serial; value nodes, few, by address.
class NumberTable {
public:
    ItemNumbers& of(const script::sem::Entry& entry)
    {
        if (entry.serial >= entries_.size()) {
            entries_.resize(entry.serial + 1);
        }
        return entries_[entry.serial];
    }
    ItemNumbers& of(const script::ValueNode& node) { return values_[&node]; }
    // The numbers given, or all -1 for a construct that has none.
    ItemNumbers find(const script::sem::Entry& entry) const
    {
        return entry.serial < entries_.size() ? entries_[entry.serial] : ItemNumbers{};
    }
    ItemNumbers find(const script::ValueNode& node) const
    {
        const auto found = values_.find(&node);
        return found != values_.end() ? found->second : ItemNumbers{};
    }

    void clear()
    {
        entries_.clear();
        values_.clear();
    }

private:
    // By entry serial. A deque, so that numbers keep their place while the
    // table grows: writers hold on to numbers they fill in later.
    std::deque<ItemNumbers> entries_;
    std::unordered_map<const script::ValueNode*, ItemNumbers> values_;
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
