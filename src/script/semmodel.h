// The semantic model of an analysed script: scopes holding ordered entries,
// each entry optionally carrying a descriptor whose data depends on its kind.
#pragma once

#include "base/mfmemo.h"
#include "script/sourcefiles.h"
#include "script/valuetree.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <new>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace qvm::script::sem {

// What an entry stands for. Some kinds come in pairs of numbers (a
// declaration and its block-level twin, begin and end markers).
enum EntryCode : int {
    ENT_SCENARIO = 0,
    ENT_SCRIPT = 1,
    ENT_PROC = 3,
    ENT_CALL = 4,
    ENT_FAMILY = 5,
    ENT_COMMENT = 6,
    ENT_ENABLE_CLEANUP = 10,
    ENT_DISABLE_CLEANUP = 11,
    ENT_WAITTIL = 12,
    ENT_HASH_LINE = 13,
    ENT_AT_LINE = 14,
    ENT_WHILE = 15,
    ENT_IF = 16,
    ENT_CASE = 17,
    ENT_WHEN_VALUE = 18,
    ENT_ERROR = 19,
    ENT_EXIT = 20,
    ENT_INITIALIZATION = 21,
    ENT_TERMINATION = 22,
    ENT_VAR = 23,              // a VAR check: the variable, its value entries below
    ENT_AGGREGATE = 24,        // a structure or array value holding its elements
    ENT_SET = 25,
    ENT_UNSET = 26,
    ENT_ARG = 27,
    ENT_WHEN = 28,
    ENT_RETURN_VAR = 35,
    ENT_EXCEPTION = 36,
    ENT_PARAM = 37,            // one parameter of a procedure
    ENT_FIELD_VALUE = 38,      // the value of a structure field
    ENT_ELEMENT_VALUE = 39,    // the value of an array element or index range
    ENT_SCALAR_VALUE = 40,     // a scalar value
    ENT_SHARE = 41,
    ENT_RENDEZVOUS = 42,
    ENT_BOUNDED_VALUE = 43,    // a scalar expected between two bounds
    ENT_DEF_MESSAGE = 44,
    ENT_DEF_MESSAGE_CHECK = 45,  // the received-message check of a structure
    ENT_MESSAGE_VAR = 46,
    ENT_EVENT_STRUCT = 47,
    ENT_CHANNEL = 49,
    ENT_COMMTYPE = 50,
    ENT_CALLBACK = 51,
    ENT_NO_MESSAGE = 52,
    ENT_MESSAGE_DATE = 53,
    ENT_POLL_PAIR = 54,
    ENT_ADD_ID = 55,
    ENT_CLEAR_ID = 56,
    ENT_MATCH_PIECE = 57,
    ENT_WAITTIL_REF = 58,
    ENT_UNION_VALUE = 59,      // the value of the chosen union member
    ENT_TIMER = 60,
    ENT_TIMER_DECL = 61,       // the timer's variable at the head of its block
    ENT_RESET = 63,
    ENT_PAUSE = 64,
    ENT_PRINT = 65,
    ENT_SEND = 67,
    ENT_PROCSEND = 68,
    ENT_INSTANCE_DECL = 69,
    ENT_INSTANCE_BEGIN = 70,
    ENT_INSTANCE_END = 71,
    ENT_INSTANCE_HASH_BEGIN = 72,
    ENT_INSTANCE_HASH_END = 73,
    ENT_INSTANCE_BODY_BEGIN = 74,
    ENT_INSTANCE_BODY_END = 75,
    ENT_INSTANCE_USE = 76,
    ENT_OTHERS_VALUE = 77,     // the elements an OTHERS stands for
    ENT_FLUSH_TRACE = 78,
    ENT_TRACE_ON = 79,
    ENT_TRACE_OFF = 80,
    ENT_HIDDEN_DECL = 81,      // a C declaration the analysis made once for the run
    ENT_INTERSEND = 82,
    ENT_INTERRECV = 83,
};
inline constexpr int kLastEntryCode = 83;

enum DescriptorCode : int {
    DSC_SCENARIO = 101,
    DSC_SCRIPT = 102,
    DSC_PROC = 104,
    DSC_CALL = 105,
    DSC_ARG = 107,
    DSC_WAITTIL = 108,
    DSC_IF = 109,
    DSC_CASE = 110,
    DSC_WHEN = 111,
    DSC_WHILE = 114,
    DSC_INITIALIZATION = 115,
    DSC_TERMINATION = 116,
    DSC_ENABLE_CLEANUP = 117,
    DSC_DISABLE_CLEANUP = 118,
    DSC_VAR = 119,
    DSC_VALUE = 120,
    DSC_COMMENT = 121,
    DSC_RETURN_VAR = 127,
    DSC_EXCEPTION = 128,
    DSC_PARAM = 130,
    DSC_DEF_MESSAGE = 131,
    DSC_DEF_MESSAGE_CHECK = 132,
    DSC_MESSAGE_VAR = 133,
    DSC_EVENT_STRUCT = 134,
    DSC_CHANNEL = 137,
    DSC_COMMTYPE = 138,
    DSC_CALLBACK = 139,
    DSC_POLL_PAIR = 140,
    DSC_ADD_ID = 141,
    DSC_CLEAR_ID = 142,
    DSC_MATCH_PIECE = 143,
    DSC_TIMER = 146,
    DSC_PRINT = 149,
    DSC_SEND = 151,
    DSC_PROCSEND = 152,
    DSC_INSTANCE_DECL = 153,
    DSC_INSTANCE_USE = 154,
    DSC_INTERSEND = 155,
    DSC_INTERRECV = 156,
    DSC_RENDEZVOUS = 157,
};
inline constexpr int kFirstDescriptorCode = 101;
inline constexpr int kLastDescriptorCode = 157;

// "ENT_..." and "DSC_..." names; a number without a name gives "".
std::string_view entryCodeName(int code);
std::string_view descriptorCodeName(int code);

struct Entry;
struct Scope;
struct Descriptor;

// Items made one by one and freed together, in blocks so that each costs
// no allocation of its own; items keep their addresses. The first block is
// small; a store of items that every script line makes (kPerLine) goes on
// in full blocks, any other doubles its blocks up to a full one, so that a
// store of few items does not take room it leaves mostly empty. Blocks are
// plain heap blocks: the heap is advised large pages as a whole, and a block
// aligned to a large page would leave a free gap in front of it, touched
// and too small for the next aligned block.
template <typename T, bool kPerLine = false>
class BlockStore {
public:
    BlockStore() = default;
    BlockStore(const BlockStore&) = delete;
    BlockStore& operator=(const BlockStore&) = delete;
    ~BlockStore() { clear(); }

    T& make()
    {
        if (blocks_.empty() || used_ == blocks_.back().capacity) {
            startBlock();
        }
        T* item = ::new (static_cast<void*>(blocks_.back().slots[used_].bytes)) T();
        ++used_;
        return *item;
    }

    template <typename Visit>
    void forEach(Visit visit) const
    {
        for (std::size_t block = 0; block < blocks_.size(); ++block) {
            const std::size_t count = block + 1 == blocks_.size() ? used_ : blocks_[block].capacity;
            for (std::size_t i = 0; i < count; ++i) {
                visit(*std::launder(reinterpret_cast<const T*>(blocks_[block].slots[i].bytes)));
            }
        }
    }

    void clear()
    {
        while (!blocks_.empty()) {
            const Block& block = blocks_.back();
            while (used_ > 0) {
                --used_;
                std::destroy_at(std::launder(reinterpret_cast<T*>(block.slots[used_].bytes)));
            }
            base::release(block.slots);
            blocks_.pop_back();
            used_ = blocks_.empty() ? 0 : blocks_.back().capacity;
        }
    }

private:
    struct Slot {
        alignas(T) std::byte bytes[sizeof(T)];
    };
    static_assert(alignof(T) <= alignof(std::max_align_t), "blocks are only aligned as the heap is");
    struct Block {
        Slot* slots;
        std::size_t capacity;
    };
    static constexpr std::size_t kFirstBlockItems = 128;

    void startBlock()
    {
        blocks_.reserve(blocks_.size() + 1);
        std::size_t bytes = base::kStoreBlockBytes;
        if (blocks_.empty()) {
            bytes = kFirstBlockItems * sizeof(Slot);
        } else if (!kPerLine) {
            bytes = std::min(2 * blocks_.back().capacity * sizeof(Slot), base::kStoreBlockBytes);
        }
        blocks_.push_back(Block{static_cast<Slot*>(base::allocate(bytes)), bytes / sizeof(Slot)});
        used_ = 0;
    }

    std::vector<Block> blocks_;
    std::size_t used_ = 0;  // items made in the last block
};

// A text the model keeps until it is released (the entries and payloads that
// hold it go with it): its length, then its characters, in the model's text
// chunks; none for the empty text. Eight bytes where a string takes
// thirty-two, and no heap block of its own.
class ModelText {
public:
    ModelText() = default;

    std::string_view view() const { return kept_ == nullptr ? std::string_view() : base::keptText(kept_); }
    operator std::string_view() const { return view(); }
    bool empty() const { return kept_ == nullptr; }
    std::size_t size() const { return view().size(); }
    friend bool operator==(ModelText text, std::string_view other) { return text.view() == other; }
    friend bool operator==(ModelText text, ModelText other) { return text.view() == other.view(); }
    friend std::string operator+(std::string left, ModelText right)
    {
        left += right.view();
        return left;
    }
    friend std::string operator+(ModelText left, std::string_view right)
    {
        std::string joined(left.view());
        joined += right;
        return joined;
    }

private:
    friend class Model;
    explicit ModelText(const char* kept) : kept_(kept) {}

    const char* kept_ = nullptr;
};

// ---- kind-specific descriptor data ----
// Value trees are held apart, so that every descriptor stays small.

// The analysed value moved out of its optional, none for a refused one.
inline std::unique_ptr<ValueTree> boxed(std::optional<ValueTree> tree)
{
    return tree ? std::make_unique<ValueTree>(std::move(*tree)) : nullptr;
}
inline ValueTree held(std::optional<ValueTree> tree)
{
    return tree ? std::move(*tree) : ValueTree();
}

struct ScriptData {
    std::array<std::string, 3> header;  // HEADER values; strings keep their quotes
};

struct ScenarioData {
    std::string_view fileName;  // file of the SCENARIO line
    bool leaf = true;           // no sub-scenario
    int loopCount = 0;          // LOOP count, 0 without
    int line = 0;               // line of the scenario's body, less one
    Entry* parent = nullptr;    // the enclosing scenario; none for the root scenario
    Scope* familyScope = nullptr;  // one ENT_FAMILY per name, or none
    bool selected = false;      // generated (so are all the scenarios around it)
};

// The dotted path of a scenario's name from the root scenario: its own name
// below the root, "" for the root itself. Made on demand: a deep tree would
// hold its paths in quadratic room.
std::string qualifiedName(const Entry& scenario);

struct ProcData {
    bool used = false;                  // called from a scenario (directly or not)
    int parameterCount = 0;
};

// The payloads' texts are held by the model (see ModelText).

struct CallData {
    ModelText expected;          // text after the first '@', "" when absent
    ModelText result;            // text after the second '@' (or the hidden return variable)
    int expectedClass = -1;
    int resultClass = -1;
    Entry* procedure = nullptr;  // the script procedure called
    bool cFunction = false;      // a C function of the interfaces
    int returnClass = -1;        // of the C function
    std::span<const int> parameterClasses;  // of the C function: {14} for none, 15 for "..."; held by the model
    bool expandedCall = false;   // found through the macro expansion of the whole call

    // The class of the result check: the function's return class, or where
    // no prototype tells it the result variable's (int without one); "@
    // NONIL" asks for the non-null check (class 8).
    int checkedClass() const;
};

// Expression classes run from -1 to 17: the argument's four take a byte each,
// so that the payload fits in its descriptor.
struct ArgData {
    ModelText text;          // the argument expression
    ModelText expected;      // text after '@' inside the argument
    ModelText result;        // text after the second '@'
    std::int8_t cls = -1;            // its expression class
    std::int8_t parameterClass = -1; // class of the parameter it is passed to (15: variadic part)
    std::int8_t expectedClass = -1;
    std::int8_t resultClass = -1;
    bool reference = false;  // written REF(...)
    bool designator = false; // its text designates an object, with no macro in it

    // The class of what its check compares after the call: the variable a
    // REF names after '@', else what the REF names, else the parameter (or
    // the argument itself where no prototype tells); "@ NONIL" asks for the
    // non-null check (class 8).
    int checkedClass() const;
};

// Whether a C expression designates an object: a name followed by fields
// (".f", "->f") and elements ("[i]"), perhaps behind '*' and parentheses.
bool designatesObject(std::string_view text);

struct ParamData {
    std::string type;  // as written; "" for the single entry of an empty list
    int cls = -1;
};

struct ConditionData {            // IF, WHILE, CASE
    ModelText text;               // the condition or selector, pieces joined
    ModelText code;               // the text for generated code: MATCHING-family pieces rewritten
    int cls = -1;                 // its expression class
    Scope* elseScope = nullptr;   // IF with ELSE only
};

// What a WAITTIL's condition function takes and declares besides its fixed
// parameters, so that its condition sees what the statement sees, as the
// texts the writer spells.
struct WaitContext {
    std::vector<std::pair<std::string, std::string>> parameters;  // (type text, name)
    std::string arguments;                                       // ", a, &b" for the call
    std::vector<std::string> typedefs;                           // written before the function
    std::vector<std::pair<std::string, std::string>> aliases;     // (name, what it stands for) inside
    std::vector<std::string> timers;                             // "int name=index;" inside
    std::vector<std::string> hidden;  // variables whose type the file scope cannot name
};

struct WaittilTexts {
    ModelText condition;        // as shown to the user
    ModelText timeout;
    ModelText conditionCode;    // MATCHING-family pieces rewritten for generated code
    ModelText timeoutCode;
    std::string limit = "0";  // the waiting limit read from a WTIME comparison
    std::string cScope;       // C scope of the native declarations the statement sees
    long declaredBefore = 0;  // C declarations ranked below this one come before the statement
    WaitContext context;      // gathered when the analysis ends
};

// The texts are held apart: WAITTILs are rare, and five strings would size
// every descriptor.
struct WaittilData {
    std::unique_ptr<WaittilTexts> texts = std::make_unique<WaittilTexts>();
    int number = 0;           // run-wide count of WAITTILs, from 0
};

struct BlockData {                // INITIALIZATION, TERMINATION, EXCEPTION
    Entry* procedure = nullptr;   // call form: the procedure; block form: none
};

struct ProcedureRefData {         // ENABLE_CLEANUP, DISABLE_CLEANUP
    Entry* procedure = nullptr;
};

struct ReturnVarData {
    int cls = -1;
    int number = 0;
    // The variable declared with the function's own return type, for a
    // class that no runtime type stands for (a structure, a union); "" else.
    ModelText declaration;
};

enum class CheckMode { Init, Expected, Value };  // INIT=, EV= (and EV==), VA=

// The variable expression is the VAR entry's name.
struct VarData {
    ModelText check;        // INIT=/EV=/VA= text as analysed
    Entry* message = nullptr;  // when the variable is a message variable
    CheckMode mode = CheckMode::Expected;
    int formatCode = -1;    // of the FORMAT registered for the variable, -1 without
    ValueTree tree;         // the analysed value; the value entries point into it

    // INIT, EV or VA as written.
    std::string_view keyword() const { return valueKeyword(check); }
};

// One value of a VAR check: an aggregate, a field, an element or a scalar.
struct ValueData {
    const ValueNode* node = nullptr;  // in the tree of the VAR entry above
    long long lowerIndex = 0;         // array elements: the indices they stand for
    long long upperIndex = 0;
    bool element = false;             // an array element (lowerIndex..upperIndex apply)
};

struct DefMessageData {
    int number = 0;             // run-wide, from 1
    bool inProcedure = false;
    Entry* message = nullptr;
    ModelText check;            // the EV= text
    Entry* procedure = nullptr;     // the procedure whose body holds it
    ValueTree tree;             // the EV= text analysed against the message, none when refused
    // Generated unless it stands in a procedure that nothing uses.
    bool generated() const;
};

struct CommtypeData {
    std::string idType;        // C type of a connection identifier
    int typeIndex = 0;
    int channelCount = 0;
    bool multiplexing = false;
    bool used = false;         // generated code reaches its channel table
    std::vector<Entry*> channels;  // in declaration order
};

struct ChannelData {
    Entry* commtype = nullptr;
    int index = 0;
    bool used = false;
};

struct EventStructData {
    int index = 0;
    int messageCount = 0;
    Entry* callback = nullptr;  // TRIGGER mode: the callback of the structure
    Entry* triggerChannel = nullptr;  // TRIGGER mode: the channel its messages arrive on
    std::string companion;      // context member text of its selection context
    // "EV=trv_msgrcv" analysed against one of its messages: the received
    // message as the generated code dumps it.
    std::unique_ptr<ValueTree> receivedCheck;  // none when refused
    bool receivedCheckDone = false;
};

struct MessageVarData {
    Entry* structure = nullptr;
    int index = 0;
    bool used = false;
    bool sent = false;
};

struct CommBlockData {          // CALLBACK, PROCSEND
    Entry* commtype = nullptr;
    Entry* structure = nullptr;
    std::string messageVar;
    std::string idVar;
    std::string countVar;       // multiplexed callbacks only
    bool used = false;
    bool multiplexed = false;
};

struct SendData {
    Entry* message = nullptr;
    Entry* channel = nullptr;
    Entry* procsend = nullptr;
};

struct ChannelOpData {          // ADD_ID, FD_ADD, CLEAR_ID
    ModelText channel;
    Entry* channelEntry = nullptr;
    ModelText id;               // ADD_ID only
    bool constant = false;      // the identifier is assigned, not copied
};

struct MatchPieceData {         // one MATCHING-family piece of a WAITTIL
    ModelText display;          // as shown to the user
    ModelText code;             // as written into generated code
    Entry* message = nullptr;
    Entry* channel = nullptr;   // as written (or given in TRIGGER mode)
};

struct PollPairData {           // a (structure, channel) pair a WAITTIL polls
    Entry* structure = nullptr;
    Entry* channel = nullptr;
    Entry* callback = nullptr;
    Entry* message = nullptr;   // the message whose piece asked for it
};

struct InterData {              // INTERSEND, INTERRECV
    std::string first;
    std::string second;         // empty for INTERRECV without a size
    int firstClass = -1;
    int secondClass = -1;
};

struct TextPairData {           // PRINT, INTERSEND, INTERRECV, match pieces
    ModelText first;
    ModelText second;
};

struct NumberData {             // TIMER, instance declarations
    int number = 0;
};

struct NameData {               // RENDEZVOUS, instance uses
    ModelText name;
};

// Payloads larger than this are held apart, in the model's stores, so that a
// descriptor stays small: most descriptors are values of VAR checks.
inline constexpr std::size_t kInlineDataBytes = 32;

template <typename T>
inline constexpr bool kHeldApart = sizeof(T) > kInlineDataBytes;
// A large script holds a VAR check for every few lines and an argument for every other line.
static_assert(!kHeldApart<VarData> && !kHeldApart<ArgData>);

// A payload held apart: the model owns it.
template <typename T>
struct HeldApart {
    T* data = nullptr;
};

// How a descriptor holds a payload of kind T.
template <typename T>
using Held = std::conditional_t<kHeldApart<T>, HeldApart<T>, T>;

template <typename T>
inline constexpr bool kIsHeldApart = false;
template <typename T>
inline constexpr bool kIsHeldApart<HeldApart<T>> = true;

// The payload a descriptor holds, in place or apart.
template <typename H>
auto& unheld(H& held)
{
    if constexpr (kIsHeldApart<std::remove_const_t<H>>) {
        return *held.data;
    } else {
        return held;
    }
}

template <typename... Kinds>
struct DescriptorKinds {
    using Data = std::variant<std::monostate, Held<Kinds>...>;
    using Stores = std::tuple<BlockStore<Kinds>...>;  // those held apart only are used
};

using DescriptorKindList =
    DescriptorKinds<ScriptData, ScenarioData, ProcData, CallData, ArgData, ParamData, ConditionData, WaittilData,
                    BlockData, ProcedureRefData, ReturnVarData, VarData, ValueData, DefMessageData, CommtypeData,
                    ChannelData, EventStructData, MessageVarData, CommBlockData, SendData, ChannelOpData,
                    MatchPieceData, PollPairData, InterData, TextPairData, NumberData, NameData>;

struct Descriptor {
    Entry* owner = nullptr;
    Scope* subScope = nullptr;        // the nested scope of a block-owning entry

    template <typename T>
    T& as() { return unheld(std::get<Held<T>>(data_)); }
    template <typename T>
    const T& as() const { return unheld(std::get<Held<T>>(data_)); }
    // The data when it is of that kind, else none.
    template <typename T>
    const T* find() const
    {
        const Held<T>* held = std::get_if<Held<T>>(&data_);
        return held != nullptr ? &unheld(*held) : nullptr;
    }
    // Calls visit with the data (std::monostate for the codes that carry none).
    template <typename Visit>
    void visit(Visit&& visit) const
    {
        std::visit([&](const auto& held) { visit(std::as_const(unheld(held))); }, data_);
    }

private:
    friend class Model;
    // The code and key that follow fill the variant's padding after its index.
    [[no_unique_address]] DescriptorKindList::Data data_;

public:
    std::int16_t code = 0;            // a DescriptorCode
    int key = 0;                      // order of ordered insertion
};
// Most entries carry one: payload, variant index, code, key and two pointers without padding.
static_assert(sizeof(Descriptor) <= 56);
static_assert(kLastDescriptorCode <= std::numeric_limits<std::int16_t>::max());

// Where an entry comes from.
struct Origin {
    std::string_view fileName;
    int fileId = 0;
    int line = 0;
};

// The number of a file entries were made in, among every (name, file id)
// pair of the process (scripts read few files); 0 stands for the empty name
// and id 0.
using EntryFileNumber = std::uint16_t;
EntryFileNumber entryFileNumber(std::string_view fileName, int fileId);

namespace detail {
// By number; the names are held by the table (see entryFileNumber) until exit.
extern std::vector<Origin> entryFiles;
}  // namespace detail

inline std::string_view entryFileName(EntryFileNumber number)
{
    return number == 0 ? std::string_view() : detail::entryFiles[number].fileName;
}
inline int entryFileId(EntryFileNumber number)
{
    return number == 0 ? 0 : detail::entryFiles[number].fileId;
}

struct Entry {
    Scope* scope = nullptr;
    Entry* prev = nullptr;       // neighbours in the scope
    Entry* next = nullptr;
    Descriptor* descriptor = nullptr;  // held by the model
    ModelText name;              // held by the model
    std::uint8_t code = 0;       // an EntryCode
    bool filtered = false;       // has an execution filter prefix: see Model::filterOf
    EntryFileNumber file = 0;    // see entryFileName
    int auxiliary = 0;
    int line = 0;
    std::uint32_t serial = 0;    // rank of creation in its model, from 0: an index for the writers' tables

    std::string_view fileName() const { return entryFileName(file); }
    int fileId() const { return entryFileId(file); }

    template <typename T>
    T& data() { return descriptor->as<T>(); }
    template <typename T>
    const T& data() const { return descriptor->as<T>(); }
};
// A large script holds hundreds of thousands of entries: no padding between members.
static_assert(sizeof(Entry) <= 5 * sizeof(void*) + 4 * sizeof(int));
static_assert(kLastEntryCode <= std::numeric_limits<std::uint8_t>::max());

class EntryList;

template <typename E>
class EntryIterator {
public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = E*;
    using reference = E&;

    EntryIterator() = default;
    EntryIterator(E* entry, const EntryList* list) : entry_(entry), list_(list) {}
    operator EntryIterator<const Entry>() const { return {entry_, list_}; }

    E& operator*() const { return *entry_; }
    E* operator->() const { return entry_; }
    EntryIterator& operator++()
    {
        entry_ = entry_->next;
        return *this;
    }
    EntryIterator operator++(int)
    {
        EntryIterator was = *this;
        ++*this;
        return was;
    }
    EntryIterator& operator--();
    EntryIterator operator--(int)
    {
        EntryIterator was = *this;
        --*this;
        return was;
    }
    bool operator==(const EntryIterator& other) const { return entry_ == other.entry_; }

private:
    E* entry_ = nullptr;  // none past the last entry
    const EntryList* list_ = nullptr;
};

// The entries of one scope in order, linked through the entries themselves;
// the model holds them.
class EntryList {
public:
    using iterator = EntryIterator<Entry>;
    using const_iterator = EntryIterator<const Entry>;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;

    EntryList() = default;
    EntryList(const EntryList&) = delete;
    EntryList& operator=(const EntryList&) = delete;

    iterator begin() { return {head_, this}; }
    iterator end() { return {nullptr, this}; }
    const_iterator begin() const { return {head_, this}; }
    const_iterator end() const { return {nullptr, this}; }
    reverse_iterator rbegin() { return reverse_iterator(end()); }
    reverse_iterator rend() { return reverse_iterator(begin()); }
    const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
    const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Entry* first() const { return head_; }
    Entry* lastEntry() const { return tail_; }

    // Links entry in before the given one (none: at the end).
    void insert(Entry* before, Entry& entry)
    {
        entry.next = before;
        entry.prev = before != nullptr ? before->prev : tail_;
        (entry.prev != nullptr ? entry.prev->next : head_) = &entry;
        (before != nullptr ? before->prev : tail_) = &entry;
        ++size_;
    }
    void clear()
    {
        head_ = tail_ = nullptr;
        size_ = 0;
    }

private:
    Entry* head_ = nullptr;
    Entry* tail_ = nullptr;
    std::uint32_t size_ = 0;  // entries are counted in 32 bits: see Entry::serial
};

template <typename E>
EntryIterator<E>& EntryIterator<E>::operator--()
{
    entry_ = entry_ != nullptr ? entry_->prev : list_->lastEntry();
    return *this;
}

// The scenarios of a scope: the few scopes that hold any have one.
struct ScenarioIndex {
    Entry* first = nullptr;
    std::map<std::string_view, Entry*, std::less<>> byName;  // first of each name; the model holds the names
};

// A set of entry codes in 32-bit words, so that a scope packs it after its
// entry list's 32-bit count.
class EntryCodeSet {
public:
    void set(int code) { words_[word(code)] |= bit(code); }
    bool test(int code) const { return (words_[word(code)] & bit(code)) != 0; }
    void reset() { words_ = {}; }

private:
    static constexpr int kWordBits = 32;
    static std::size_t word(int code) { return static_cast<std::size_t>(code / kWordBits); }
    static std::uint32_t bit(int code) { return std::uint32_t{1} << (code % kWordBits); }

    std::array<std::uint32_t, kLastEntryCode / kWordBits + 1> words_{};
};

struct Scope {
    Scope* parent = nullptr;
    Descriptor* owner = nullptr;  // none for the global scope
    // In order. The code set that follows takes the padding after its count.
    [[no_unique_address]] EntryList entries;
    EntryCodeSet codes;           // codes present
    std::unique_ptr<ScenarioIndex> scenarios;  // made with the first scenario

    Scope() = default;
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    Entry* ownerEntry() const;
    Entry* last() const { return entries.lastEntry(); }
    // None without a scenario.
    Entry* firstScenario() const { return scenarios ? scenarios->first : nullptr; }
    bool holds(int code) const { return codes.test(code); }
};
// A large script holds a scope for nearly every other line.
static_assert(sizeof(Scope) <= 56);

// A variable that the script's top-level '#' lines define, as a member of
// each tester's context.
struct ContextVariable {
    std::string name;
    std::string member;   // the member's declaration: the variable's type, named "trv_ctx<name>"
    bool shared = false;  // a SHARE or a timer names it: it stays global
};

// The analysed script: the global scope and the indexes of global names.
class Model {
public:
    Model();
    ~Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    Scope& global() { return *global_; }
    const Scope& global() const { return *global_; }

    // An empty scope under parent; the descriptor's sub-scope becomes it.
    Scope& makeScope(Descriptor& owner, Scope* parent);
    // A scope owned by a descriptor beside its sub-scope (ELSE, family names).
    Scope& makeSideScope(Descriptor& owner, Scope* parent);

    Entry& append(Scope* scope, int code, std::string_view name, const Origin& origin, int auxiliary = 0);
    // Before the first entry whose descriptor key is larger (the entry gets
    // a descriptor of descriptorCode with that key).
    Entry& insertOrdered(Scope* scope, int code, std::string_view name, int descriptorCode, int key,
                         const Origin& origin);
    Entry& prepend(Scope* scope, int code, std::string_view name, const Origin& origin, int auxiliary = 0);
    // At the head of the block that becomes one generated function: IF,
    // WHILE, CASE and WHEN scopes are climbed through. In the global scope
    // the head is just after the script entry.
    Entry& prependToBlock(Scope* scope, int code, std::string_view name, const Origin& origin, int auxiliary = 0);
    Entry& insertBeforeFirstScenario(Scope* scope, int code, std::string_view name, const Origin& origin,
                                     int auxiliary = 0);
    Descriptor& attach(Entry& entry, int descriptorCode);
    // Gives the entry its execution filter prefix ("" for none).
    void setFilter(Entry& entry, std::string_view filter)
    {
        if (!filter.empty() || entry.filtered) {
            changeFilter(entry, filter);
        }
    }
    std::string_view filterOf(const Entry& entry) const
    {
        return entry.filtered ? filters_.find(&entry)->second.view() : std::string_view();
    }
    // The model's copy of a list of expression classes: each list is kept
    // once (calls of one C function share it) as long as the model's entries.
    std::span<const int> keepClasses(const std::vector<int>& classes)
    {
        return *classLists_.insert(classes).first;
    }
    // A copy of the text that lives as long as the model's entries.
    ModelText keep(std::string_view text) { return text.empty() ? ModelText() : ModelText(texts_.keep(text)); }

    // Global entries by code and name (first of that name).
    Entry* findGlobal(int code, std::string_view name) const;
    // Callback and procsend of a (communication type, event structure) pair.
    Entry* findCallback(const Entry* commtype, const Entry* structure);
    Entry* findProcsend(const Entry* commtype, const Entry* structure);
    std::vector<Entry*> callbacksOf(const Entry* structure) const;
    // Makes a callback or procsend findable by its pair (the first one stays).
    void registerCallback(Entry& callback);
    void registerProcsend(Entry& procsend);
    static Entry* findScenario(const Scope& scope, std::string_view name);
    static bool holdsCode(const Scope& scope, int code) { return scope.holds(code); }

    // Bounds of the writers' tables: the communication type counter (type
    // indexes stay below it), the highest channel index in use and the
    // number of event structures.
    int commtypeCounter() const { return commtypeCounter_; }
    int highestChannelIndex() const { return highestChannelIndex_; }
    int eventStructCount() const { return eventStructCount_; }
    int takeCommtypeIndex() { return commtypeCounter_++; }
    int takeEventStructIndex() { return eventStructCount_++; }
    void useChannelIndex(int index) { highestChannelIndex_ = std::max(highestChannelIndex_, index); }
    void skipChannelIndex() { ++highestChannelIndex_; }

    // The C declarations made by the script's own top-level '#' lines: the
    // ranks of the C analysis's records from first up to end.
    void keepScriptLineDeclarations(long first, long end)
    {
        if (first < end) {
            scriptLineDeclarations_.emplace_back(first, end);
        }
    }
    bool declaredByScriptLines(long order) const
    {
        return std::any_of(scriptLineDeclarations_.begin(), scriptLineDeclarations_.end(),
                           [order](const auto& range) { return order >= range.first && order < range.second; });
    }

    // The context variables of the script's lines, gathered when the
    // analysis ends if the run asked for them (reading them otherwise throws).
    void keepContextVariables(std::vector<ContextVariable> variables) { contextVariables_ = std::move(variables); }
    const std::vector<ContextVariable>& contextVariables() const { return contextVariables_.value(); }

    // Frees every scope, entry and descriptor below the global scope,
    // checking each descriptor's code.
    void release();

private:
    Entry& place(Scope* scope, Entry* where, int code, std::string_view name, const Origin& origin,
                 int auxiliary);
    void index(Entry& entry);
    EntryFileNumber fileNumber(const Origin& origin);
    void changeFilter(Entry& entry, std::string_view filter);
    // Gives the descriptor the empty data of its code.
    void fill(Descriptor& descriptor);
    template <typename T>
    void hold(Descriptor& descriptor);

    std::unique_ptr<Scope> global_;
    BlockStore<Entry, true> entries_;
    std::uint32_t entryCount_ = 0;  // entries made, the next one's serial
    BlockStore<Descriptor, true> descriptors_;
    DescriptorKindList::Stores heldApart_;  // the descriptors' large payloads
    BlockStore<Scope, true> scopes_;  // every scope but the global one
    base::TextStore texts_;  // the entries' names and filters, the payloads' texts
    std::set<std::vector<int>> classLists_;  // the calls' parameter classes
    // The few entries with an execution filter have it here, not in a member
    // that every entry would carry.
    std::unordered_map<const Entry*, ModelText> filters_;
    Origin lastFile_;                 // file of the entry made last (the file table holds the name)
    EntryFileNumber lastFileNumber_ = 0;
    int commtypeCounter_ = 0;
    int highestChannelIndex_ = 0;
    int eventStructCount_ = 0;
    // Global entries by code, then name: looked up by views, so that a
    // look-up copies no text.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
    };
    using NameIndex = std::unordered_map<std::string, Entry*, NameHash, std::equal_to<>>;
    std::array<NameIndex, kLastEntryCode + 1> names_;
    std::map<std::pair<const Entry*, const Entry*>, Entry*> callbacks_;
    std::map<std::pair<const Entry*, const Entry*>, Entry*> procsends_;
    std::vector<Entry*> callbackOrder_;  // registered callbacks, in declaration order
    std::vector<std::pair<long, long>> scriptLineDeclarations_;
    std::optional<std::vector<ContextVariable>> contextVariables_;
};

// The descriptor's key fields, "key=value" separated by blanks (texts in
// double quotes); "" when it has none.
std::string describeFields(const Descriptor& descriptor);

// One entry per line, two blanks per scope depth, then the instance line.
std::string dumpModel(const Model& model, int instanceMode, int instanceNumber, int timerCount);

}  // namespace qvm::script::sem
