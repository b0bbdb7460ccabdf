// The numbers the writers give to the constructs of an analysed script: the
// TDC writer's record numbers and the tracer structure writer's element
// numbers, kept for the program writer, which passes them to the runtime.
#pragma once

#include <unordered_map>

namespace qvm::script {
struct ValueNode;
namespace sem {
struct Entry;
}
}  // namespace qvm::script

namespace qvm::codegen {

// The begin and end numbers of one construct; -1 for a number not given.
struct ItemNumbers {
    int begin = -1;
    int end = -1;
};

// Numbers by construct. A construct is an entry of the model or, for the
// parts of a value that have no entry of their own (the dump description of
// a message type), a node of its value tree.
class NumberTable {
public:
    ItemNumbers& of(const script::sem::Entry& entry) { return entries_[&entry]; }
    ItemNumbers& of(const script::ValueNode& node) { return values_[&node]; }
    // The numbers given, or all -1 for a construct that has none.
    ItemNumbers find(const script::sem::Entry& entry) const { return lookup(entries_, &entry); }
    ItemNumbers find(const script::ValueNode& node) const { return lookup(values_, &node); }

    void clear()
    {
        entries_.clear();
        values_.clear();
    }

private:
    template <typename Key>
    static ItemNumbers lookup(const std::unordered_map<const Key*, ItemNumbers>& map, const Key* key)
    {
        const auto found = map.find(key);
        return found != map.end() ? found->second : ItemNumbers{};
    }

    std::unordered_map<const script::sem::Entry*, ItemNumbers> entries_;
    std::unordered_map<const script::ValueNode*, ItemNumbers> values_;
};

// What the writers of one run share.
struct Numbering {
    NumberTable records;   // TDC records: begin and end record numbers
    NumberTable elements;  // tracer structure elements: begin element (end where it differs)
};

}  // namespace qvm::codegen
