// The symbol and type table of the C analysis: scopes, look-ups, type questions.
#include "canalysis/declarations/ctabsy.h"

#include "base/mfmemo.h"
#include "canalysis/declarations/cgloba.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <iterator>
#include <new>
#include <optional>
#include <string>

namespace qvm::canalysis {

namespace {

struct TableState {
    std::deque<EnumerationConstant> enumerationConstants;
    // The latest enumerator of each name in the list above.
    RecordIndex latestEnumerator;
    int unnamedTags = 0;
};

TableState& tableState()
{
    static TableState state;
    return state;
}

// Slots of one size for type descriptors, which are many, small and freed
// as often as made: a freed slot is taken again by the next descriptor.
// Address-sanitised builds use the ordinary heap, so that a descriptor used
// after it was freed is still caught.
#if defined(__SANITIZE_ADDRESS__)
#define QVM_DESCRIPTOR_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVM_DESCRIPTOR_POOL 0
#endif
#endif
#ifndef QVM_DESCRIPTOR_POOL
#define QVM_DESCRIPTOR_POOL 1
#endif

template <std::size_t Size, std::size_t Alignment>
class SlotPool {
public:
    static SlotPool& instance()
    {
        // Never destroyed: descriptors held by other run-wide records may be
        // freed while the program ends.
        static SlotPool& pool = *new SlotPool;
        return pool;
    }

    void* take()
    {
        if (free_ != nullptr) {
            Slot* slot = free_;
            free_ = slot->next;
            return slot;
        }
        if (blocks_.empty() || used_ == kSlotsPerBlock) {
            // Left unwritten: pages are touched only as slots are taken.
            blocks_.push_back(static_cast<Slot*>(base::allocateLargePages(kBlockBytes)));
            used_ = 0;
        }
        return &blocks_.back()[used_++];
    }

    void give(void* storage)
    {
        Slot* slot = static_cast<Slot*>(storage);
        slot->next = free_;
        free_ = slot;
    }

private:
    union Slot {
        Slot* next;
        alignas(Alignment) std::byte storage[Size];
    };
    static constexpr std::size_t kBlockBytes = base::kLargePage;
    static constexpr std::size_t kSlotsPerBlock = kBlockBytes / sizeof(Slot);

    std::vector<Slot*> blocks_;  // never released: the pool lives as long as the program
    std::size_t used_ = 0;  // slots of the last block handed out
    Slot* free_ = nullptr;  // slots given back
};

template <typename T>
struct DescriptorAllocator {
    using value_type = T;

    DescriptorAllocator() = default;
    template <typename U>
    DescriptorAllocator(const DescriptorAllocator<U>& /*other*/)
    {
    }

    T* allocate(std::size_t count)
    {
        if (QVM_DESCRIPTOR_POOL && count == 1) {
            return static_cast<T*>(SlotPool<sizeof(T), alignof(T)>::instance().take());
        }
        return static_cast<T*>(::operator new(count * sizeof(T)));
    }

    void deallocate(T* storage, std::size_t count)
    {
        if (QVM_DESCRIPTOR_POOL && count == 1) {
            SlotPool<sizeof(T), alignof(T)>::instance().give(storage);
            return;
        }
        ::operator delete(storage);
    }

    template <typename U>
    bool operator==(const DescriptorAllocator<U>& /*other*/) const
    {
        return true;
    }
};

TypePtr makeDescriptor(CType&& part)
{
    return std::allocate_shared<CType>(DescriptorAllocator<CType>{}, std::move(part));
}

// Descriptors are freed within one another up to a small depth; deeper
// ones wait in a list that the outermost free works through.
constexpr int kDirectReleaseDepth = 64;
int releaseDepth = 0;
bool releaseDraining = false;

std::vector<TypePtr>& pendingRelease()
{
    // Never destroyed: descriptors of other run-wide records may be freed
    // while the program ends.
    static std::vector<TypePtr>& pending = *new std::vector<TypePtr>;
    return pending;
}

void handOver(TypePtr& type)
{
    if (type && type.use_count() == 1) {
        pendingRelease().push_back(std::move(type));
    }
}

}  // namespace

CType::~CType()
{
    if (!target && parameters.empty()) {
        return;
    }
    if (releaseDepth >= kDirectReleaseDepth) {
        handOver(target);
        for (Parameter& parameter : parameters) {
            handOver(parameter.type);
        }
        return;
    }
    ++releaseDepth;
    target.reset();
    parameters.clear();
    --releaseDepth;
    if (releaseDepth > 0 || releaseDraining) {
        return;
    }
    releaseDraining = true;
    std::vector<TypePtr>& pending = pendingRelease();
    while (!pending.empty()) {
        TypePtr next = std::move(pending.back());
        pending.pop_back();
        next.reset();
    }
    releaseDraining = false;
}

void RecordIndex::insert(const void* name, const void* scope, void* record)
{
    // At most half full: most lookups are of names not declared (is this
    // word a type name?), and those probe to the next free slot.
    if ((used_ + 1) * 2 > slots_.size()) {
        grow();
    }
    Slot& slot = slots_[slotOf(name, scope)];
    if (slot.record == nullptr) {
        slot = {name, scope, record};
        ++used_;
    }
}

void RecordIndex::assign(const void* name, const void* scope, void* record)
{
    insert(name, scope, record);
    slots_[slotOf(name, scope)].record = record;
}

void RecordIndex::erase(const void* name, const void* scope)
{
    if (slots_.empty()) {
        return;
    }
    const std::size_t mask = slots_.size() - 1;
    std::size_t hole = slotOf(name, scope);
    if (slots_[hole].record == nullptr) {
        return;
    }
    // Later slots of the same run move back into the hole when their home
    // lies at or before it, so that no key falls out of reach.
    for (std::size_t next = (hole + 1) & mask; slots_[next].record != nullptr; next = (next + 1) & mask) {
        const std::size_t wanted = home(slots_[next].name, slots_[next].scope);
        const bool reachable = hole <= next ? (wanted > hole && wanted <= next) : (wanted > hole || wanted <= next);
        if (!reachable) {
            slots_[hole] = slots_[next];
            hole = next;
        }
    }
    slots_[hole] = Slot{};
    --used_;
}

void RecordIndex::grow()
{
    Slots old(slots_.empty() ? 64 : slots_.size() * 2);
    old.swap(slots_);
    // The keys are distinct: each goes to the first free slot from its home.
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.record != nullptr) {
            std::size_t i = home(slot.name, slot.scope);
            while (slots_[i].record != nullptr) {
                i = (i + 1) & mask;
            }
            slots_[i] = slot;
        }
    }
}

bool Tag::hasBody() const
{
    return (aggregate && aggregate->hasBody) || (enumeration && enumeration->hasBody);
}

Symbol* SymbolTable::findInScope(Ident name, Ident scope)
{
    if (name == nullptr) {
        return nullptr;
    }
    return static_cast<Symbol*>(symbolIndex_.find(name, scope));
}

Symbol* SymbolTable::find(Ident name, Ident scope)
{
    if (Symbol* found = findInScope(name, scope)) {
        return found;
    }
    return scope != nullptr ? findInScope(name, nullptr) : nullptr;
}

Symbol& SymbolTable::append(Symbol symbol)
{
    symbol.order = nextOrder_++;
    Symbol& added = symbolStore_.emplace_back(std::move(symbol));
    symbolIndex_.insert(added.name, added.scope, &added);
    scopeSymbols_[added.scope].push_back(&added);
    return added;
}

bool SymbolTable::remove(Ident name, Ident scope)
{
    Symbol* first = findInScope(name, scope);
    if (first == nullptr) {
        return false;
    }
    // Removed records are mostly the latest ones (probes of type names), so
    // the scope's list is searched from its end.
    auto& ofScope = scopeSymbols_[scope];
    const auto next = ofScope.erase(std::prev(std::find(ofScope.rbegin(), ofScope.rend(), first).base()));
    symbolIndex_.erase(name, scope);
    // A later record of the same name and scope becomes the one found.
    const auto later = std::find_if(next, ofScope.end(), [&](const Symbol* record) { return record->name == name; });
    if (later != ofScope.end()) {
        symbolIndex_.insert(name, scope, *later);
    }
    *first = Symbol{};  // the record stays in the store, unused
    return true;
}

std::size_t SymbolTable::tagSlot(TypeKind kind)
{
    return kind == kUnion ? 1 : kind == kEnum ? 2 : 0;
}

Tag* SymbolTable::findTagInScope(Ident name, TypeKind kind, Ident scope)
{
    if (name == nullptr) {
        return nullptr;
    }
    const RecordIndex& index = tagIndex_[tagSlot(kind)];
    return static_cast<Tag*>(index.find(name, scope));
}

Tag* SymbolTable::findTag(Ident name, TypeKind kind, Ident scope)
{
    if (Tag* found = findTagInScope(name, kind, scope)) {
        return found;
    }
    return scope != nullptr ? findTagInScope(name, kind, nullptr) : nullptr;
}

Tag& SymbolTable::appendTag(Tag tag)
{
    tag.order = nextOrder_++;
    Tag& added = tagStore_.emplace_back(std::move(tag));
    tagIndex_[tagSlot(added.kind)].insert(added.name, added.scope, &added);
    scopeTags_[added.scope].push_back(&added);
    return added;
}

std::vector<const Symbol*> SymbolTable::symbolsOf(Ident scope) const
{
    const auto found = scopeSymbols_.find(scope);
    return found != scopeSymbols_.end() ? std::vector<const Symbol*>(found->second.begin(), found->second.end())
                                        : std::vector<const Symbol*>{};
}

void SymbolTable::giveBody(Tag& tag, std::vector<Field> fields)
{
    tag.aggregate->fields = std::move(fields);
    tag.aggregate->hasBody = true;
    if (tag.scope == nullptr) {
        for (const Field& field : tag.aggregate->fields) {
            if (field.name != nullptr) {
                fileScopeMembers_.insert(field.name, nullptr, &tag);
            }
        }
    }
}

const std::vector<const Tag*>& SymbolTable::tagsOf(Ident scope) const
{
    static const std::vector<const Tag*> none;
    const auto found = scopeTags_.find(scope);
    return found != scopeTags_.end() ? found->second : none;
}

const std::deque<EnumerationConstant>& enumerationConstants()
{
    return tableState().enumerationConstants;
}

const EnumerationConstant* findEnumerationConstant(Ident name)
{
    return static_cast<const EnumerationConstant*>(tableState().latestEnumerator.find(name, nullptr));
}

void addEnumerationConstant(Ident name, Ident value)
{
    TableState& state = tableState();
    state.latestEnumerator.assign(name, nullptr, &state.enumerationConstants.emplace_back(EnumerationConstant{name, value}));
}

std::string unnamedTagPrefix()
{
    const char* prefix = std::getenv("TRV_UNAMESTRUCT");
    return prefix != nullptr && *prefix != '\0' ? std::string(prefix) : std::string("_unamedStruct");
}

Ident nextUnnamedTag(std::string_view prefix)
{
    std::array<char, 16> digits{};
    const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), ++tableState().unnamedTags).ptr;
    const std::string_view number(digits.data(), static_cast<std::size_t>(end - digits.data()));
    // The name is built in the room of the last one: a header may hold
    // thousands of unnamed tags.
    thread_local std::string text;
    text.assign(prefix).append(number);
    return base::ident(text);
}

void C_CPP_reset_analysis()
{
    tableState() = TableState{};
    resetLexerSwitches();
    decl::forgetSharedBasics();
}

// Lookups come in runs in one scope (the lines of one scenario or
// procedure): the last scope's identifier is kept for the next lookup.
Ident scopeIdent(std::string_view scope)
{
    // The identifier's own text is what the scope is compared with: nothing
    // is copied, and the thread's record needs no destructor.
    struct LastScope {
        Ident id = nullptr;
        std::size_t length = 0;
        std::uint64_t generation = 0;
    };
    thread_local LastScope last;
    if (scope.empty()) {
        return nullptr;
    }
    if (last.id == nullptr || last.generation != base::identGeneration() || scope != std::string_view(last.id, last.length)) {
        last.id = base::ident(scope);
        last.length = last.id != nullptr ? std::strlen(last.id) : 0;
        last.generation = base::identGeneration();
    }
    return last.id;
}

Symbol* C_CPP_find_symbol(std::string_view name, SymbolTable& table, std::string_view scope)
{
    return table.find(base::ident(name), scopeIdent(scope));
}

Symbol* C_CPP_find_symbol_with_parent(std::string_view name, SymbolTable& table, std::string_view scope)
{
    for (SymbolTable* current = &table; current != nullptr; current = current->parent) {
        if (Symbol* found = current->find(base::ident(name), scopeIdent(scope))) {
            return found;
        }
    }
    return nullptr;
}

Tag* C_CPP_find_tag(std::string_view name, SymbolTable& table, TypeKind kind)
{
    return table.findTag(base::ident(name), kind, nullptr);
}

bool C_CPP_remove_symbol(std::string_view name, SymbolTable& table, std::string_view scope)
{
    return table.remove(base::ident(name), scopeIdent(scope));
}

void C_CPP_free_type(TypePtr& type)
{
    // Struct, union and enum bodies are shared with their tag records, which
    // keep them alive.
    type.reset();
}

TypePtr C_CPP_new_type(TypeKind kind, CType&& part)
{
    part.kind = kind;
    return makeDescriptor(std::move(part));
}

TypePtr C_CPP_new_type(TypeKind kind, const CType& part)
{
    return C_CPP_new_type(kind, CType(part));
}

TypePtr C_CPP_new_type(TypeKind kind)
{
    return C_CPP_new_type(kind, CType{});
}

TypePtr C_CPP_copy_type(const TypePtr& type)
{
    // Descriptors still to copy with the place of their copy: no depth of
    // derivations or parameter lists weighs on the call stack. A typedef name
    // keeps sharing the type the table holds for it.
    TypePtr copy;
    std::vector<std::pair<const CType*, TypePtr*>> pending = {{type.get(), &copy}};
    while (!pending.empty()) {
        const auto [from, place] = pending.back();
        pending.pop_back();
        if (from == nullptr) {
            continue;
        }
        *place = makeDescriptor(CType(*from));
        CType& made = **place;
        for (Parameter& parameter : made.parameters) {
            pending.emplace_back(parameter.type.get(), &parameter.type);
        }
        if (from->kind != kTypedefName) {
            pending.emplace_back(from->target.get(), &made.target);
        }
    }
    return copy;
}

namespace {

// A typedef chain cannot loop: a name only stands for types known before it.
template <typename Type>
Type* resolved(Type* type)
{
    while (type != nullptr && (type->kind == kTypedefName || type->kind == kQualified)) {
        type = type->target.get();
    }
    return type;
}

}  // namespace

const CType* C_CPP_resolve(const CType* type)
{
    return resolved(type);
}

CType* C_CPP_resolve(CType* type)
{
    return resolved(type);
}

namespace {

std::string aggregateBody(const Aggregate& aggregate)
{
    std::string text = "{\n";
    for (const Field& field : aggregate.fields) {
        text += '\t';
        text += C_CPP_type_image(field.type.get(), base::identText(field.name), false);
        if (field.width != nullptr) {
            text += " : ";
            text += field.width;
        }
        text += ";\n";
    }
    return text + "}";
}

std::string enumBody(const EnumBody& body)
{
    std::string text = "{\n";
    for (std::size_t i = 0; i < body.enumerators.size(); ++i) {
        if (i > 0) {
            text += ",\n";
        }
        text += base::identText(body.enumerators[i].name);
        text += " = ";
        text += base::identText(body.enumerators[i].value);
    }
    return text + "}";
}

std::string taggedHead(std::string_view keyword, const CType& type, bool full)
{
    const std::string_view name = type.name != nullptr ? std::string_view(type.name) : std::string_view();
    std::string text;
    text.reserve(keyword.size() + 1 + name.size());
    text.append(keyword);
    text += ' ';
    text.append(name);
    if (full && type.kind == kEnum && type.enumeration && type.enumeration->hasBody) {
        text += " " + enumBody(*type.enumeration);
    } else if (full && type.kind != kEnum && type.aggregate && type.aggregate->hasBody) {
        text += " " + aggregateBody(*type.aggregate);
    }
    return text;
}

bool needsParentheses(const CType* pointed)
{
    return pointed != nullptr && (pointed->kind == kArray || pointed->kind == kFunction);
}

// The words of a type that derives from no other.
std::string baseName(const CType* type, bool full)
{
    if (type == nullptr) {
        return "int";
    }
    switch (type->kind) {
    case kEllipsis:
        return "...";
    case kVoid:
        return "void";
    case kStruct:
        return taggedHead("struct", *type, full);
    case kUnion:
        return taggedHead("union", *type, full);
    case kEnum:
        return taggedHead("enum", *type, full);
    default:
        return base::identText(type->name);
    }
}

bool derives(const CType* type)
{
    return type != nullptr && (type->kind == kPointer || type->kind == kArray || type->kind == kFunction ||
                               type->kind == kQualified);
}

// One type being written. The walk goes from the outermost derivation down
// to the base type, and the declarator grows around the name on both sides:
// what goes before it is kept reversed, so that each piece is appended.
struct ImageFrame {
    const CType* type = nullptr;  // what is still to be written
    std::string name;
    std::string beforeReversed;
    std::string after;
    std::string qualifiers;  // of the base type, each followed by a blank
    bool full = false;
    std::size_t parameter = 0;  // next parameter of the function at `type`
    std::string parameters;     // images of the parameters written so far

    bool bare() const { return name.empty() && beforeReversed.empty() && after.empty(); }

    void before(std::string_view piece) { beforeReversed.append(piece.rbegin(), piece.rend()); }

    void addParameter(std::string_view text)
    {
        if (parameter++ > 0) {
            parameters += ", ";
        }
        parameters += text;
    }

    void pointer(const CType* pointer, std::string_view pointerQualifiers)
    {
        std::string piece = "*";
        piece += pointerQualifiers;
        if (!pointerQualifiers.empty() && !bare()) {
            piece += ' ';
        }
        before(piece);
        type = pointer->target.get();
        if (needsParentheses(type)) {
            before("(");
            after += ')';
        }
    }

    // Writes the derivation at `type` and steps below it; false at the base
    // type or at a function whose parameters are still to be written.
    bool derive()
    {
        switch (type->kind) {
        case kPointer:
            pointer(type, {});
            return true;
        case kArray:
            after += '[';
            after += base::identText(type->dimension);
            after += ']';
            type = type->target.get();
            return true;
        case kFunction:
            if (parameter < type->parameters.size()) {
                return false;
            }
            after += '(';
            after += parameters;
            after += ')';
            parameter = 0;
            parameters.clear();
            type = type->target.get();
            return true;
        case kQualified:
            qualified();
            return true;
        default:
            return false;
        }
    }

    // A run of qualifiers: after the '*' of the pointer they qualify, in the
    // order written, else before the base type.
    void qualified()
    {
        std::string words;  // in the order written: the innermost first
        const CType* below = type;
        for (; below != nullptr && below->kind == kQualified; below = below->target.get()) {
            words.insert(0, words.empty() ? "" : " ");
            words.insert(0, base::identText(below->name));
        }
        if (below != nullptr && below->kind == kPointer) {
            pointer(below, words);
            return;
        }
        for (const CType* word = type; word != below; word = word->target.get()) {
            qualifiers += base::identText(word->name);
            qualifiers += ' ';
        }
        type = below;
    }

    std::string baseImage() const
    {
        std::string text = qualifiers + baseName(type, full);
        if (type != nullptr && type->kind == kEllipsis) {
            return text;
        }
        if (!bare()) {
            text += ' ';
            text.append(beforeReversed.rbegin(), beforeReversed.rend());
            text += name;
            text += after;
        }
        return text;
    }
};

std::string_view dimensionText(const CType* array)
{
    return array->dimension != nullptr ? std::string_view(array->dimension) : std::string_view();
}

// The image of arrays of pointers of a base type ("int *name[2][3]"), the
// common derived shape, written in one string; nothing for other shapes.
std::optional<std::string> arraysOfPointersImage(const CType* type, std::string_view declarator, bool full)
{
    const CType* below = type;
    std::size_t arrays = 0;
    std::size_t dimensionsSize = 0;
    for (; below != nullptr && below->kind == kArray; below = below->target.get()) {
        ++arrays;
        dimensionsSize += dimensionText(below).size() + 2;
    }
    std::size_t pointers = 0;
    for (; below != nullptr && below->kind == kPointer; below = below->target.get()) {
        ++pointers;
    }
    if (derives(below) || (below != nullptr && below->kind == kEllipsis)) {
        return std::nullopt;
    }
    std::string text = baseName(below, full);
    text.reserve(text.size() + 1 + pointers + declarator.size() + dimensionsSize);
    text += ' ';
    text.append(pointers, '*');
    text += declarator;
    for (const CType* array = type; array != nullptr && array->kind == kArray; array = array->target.get()) {
        text += '[';
        text += dimensionText(array);
        text += ']';
    }
    return text;
}

}  // namespace

std::string C_CPP_type_image(const CType* type, std::string_view declarator, bool full)
{
    if (!derives(type)) {
        std::string text = baseName(type, full);
        if (!declarator.empty() && (type == nullptr || type->kind != kEllipsis)) {
            text += ' ';
            text += declarator;
        }
        return text;
    }
    if (std::optional<std::string> text = arraysOfPointersImage(type, declarator, full)) {
        return std::move(*text);
    }
    // Parameters are written in frames of their own, so that no depth of
    // nesting weighs on the call stack.
    ImageFrame outer;
    outer.type = type;
    outer.name = declarator;
    outer.full = full;
    std::vector<ImageFrame> parameters;
    for (;;) {
        ImageFrame& frame = parameters.empty() ? outer : parameters.back();
        if (frame.type != nullptr && frame.derive()) {
            continue;
        }
        if (frame.type != nullptr && frame.type->kind == kFunction) {
            const Parameter& parameter = frame.type->parameters[frame.parameter];
            std::string name = base::identText(parameter.name);
            if (!parameter.type) {
                // A name of an identifier list: an int, as a prototype says it.
                frame.addParameter(name.empty() ? "int" : "int " + name);
                continue;
            }
            ImageFrame inner;
            inner.type = parameter.type.get();
            inner.name = std::move(name);
            parameters.push_back(std::move(inner));
            continue;
        }
        std::string text = frame.baseImage();
        if (parameters.empty()) {
            return text;
        }
        parameters.pop_back();
        (parameters.empty() ? outer : parameters.back()).addParameter(text);
    }
}

std::string C_CPP_decl_image(const Symbol& symbol, bool withStorage)
{
    std::string text;
    if (withStorage) {
        if (symbol.storage & kExtern) {
            text += "extern ";
        }
        if (symbol.storage & kStatic) {
            text += "static ";
        }
        if (symbol.storage & kAuto) {
            text += "auto ";
        }
        if (symbol.storage & kRegister) {
            text += "register ";
        }
    }
    text += C_CPP_type_image(symbol.type.get(), base::identText(symbol.name), false);
    if (symbol.init != nullptr && (symbol.storage & kExtern) == 0) {
        text += " = ";
        text += symbol.init;
    } else {
        text += ";";
    }
    return text;
}

bool C_CPP_is_const(const CType* type)
{
    static const base::CachedIdent constName("const");
    while (type != nullptr) {
        switch (type->kind) {
        case kQualified:
            if (type->name == constName.get()) {
                return true;
            }
            type = type->target.get();
            break;
        case kBasic:
        case kFloating:
        case kVoid:
        case kEllipsis:
            return false;
        case kPointer:
        case kArray:
        case kFunction:
            type = type->target.get();
            break;
        default:
            return false;
        }
    }
    return false;
}

int C_CPP_field_index(const CType* type, Ident name)
{
    type = C_CPP_resolve(type);
    if (type == nullptr) {
        return 1;
    }
    if ((type->kind == kStruct || type->kind == kUnion) && type->aggregate) {
        const auto& fields = type->aggregate->fields;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].name == name) {
                return static_cast<int>(i) + 1;
            }
        }
        return 0;
    }
    if (type->kind == kEnum && type->enumeration) {
        const auto& items = type->enumeration->enumerators;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].name == name) {
                return static_cast<int>(i) + 1;
            }
        }
        return static_cast<int>(items.size()) + 1;
    }
    return 1;
}

namespace {

// Aggregates being walked, so that a struct holding itself ends the walk.
using AggregatePath = std::vector<const Aggregate*>;

bool onPath(const AggregatePath& path, const Aggregate* aggregate)
{
    return std::find(path.begin(), path.end(), aggregate) != path.end();
}

int scalarCount(const CType* type, AggregatePath& path);

const Field* fieldPath(const CType* type, int position, bool scalarLeaves, std::string& text, AggregatePath& path)
{
    type = C_CPP_resolve(type);
    if (type == nullptr || type->kind != kStruct || type->aggregate == nullptr || position < 1 ||
        onPath(path, type->aggregate)) {
        return nullptr;
    }
    path.push_back(type->aggregate);
    int remaining = position;
    for (const Field& field : type->aggregate->fields) {
        const int width = scalarLeaves ? scalarCount(field.type.get(), path) : 1;
        if (remaining > width) {
            remaining -= width;
            continue;
        }
        text += ".";
        text += base::identText(field.name);
        const CType* inner = C_CPP_resolve(field.type.get());
        if (scalarLeaves && inner != nullptr && inner->kind == kStruct && width > 0) {
            const Field* found = fieldPath(inner, remaining, true, text, path);
            path.pop_back();
            return found;
        }
        path.pop_back();
        return &field;
    }
    path.pop_back();
    return nullptr;
}

// Scalars a value of the type holds: fields of structs (a struct that
// contains itself counts once), the element of an array, the selected member
// of a union; any other type is one. path holds the aggregates being walked.
int scalarCount(const CType* type, AggregatePath& path)
{
    type = C_CPP_resolve(type);
    if (type == nullptr) {
        return 1;
    }
    switch (type->kind) {
    case kStruct: {
        if (type->aggregate == nullptr || onPath(path, type->aggregate)) {
            return type->aggregate == nullptr ? 0 : 1;
        }
        path.push_back(type->aggregate);
        int count = 0;
        for (const Field& field : type->aggregate->fields) {
            count += scalarCount(field.type.get(), path);
        }
        path.pop_back();
        return count;
    }
    case kArray:
        return scalarCount(type->target.get(), path);
    case kUnion:
        if (type->selectedMember > 0 && type->aggregate != nullptr && !onPath(path, type->aggregate) &&
            type->selectedMember <= static_cast<int>(type->aggregate->fields.size())) {
            path.push_back(type->aggregate);
            const int count = scalarCount(type->aggregate->fields[type->selectedMember - 1].type.get(), path);
            path.pop_back();
            return count;
        }
        return 1;
    default:
        return 1;
    }
}

}  // namespace

const Field* C_CPP_field_path(const CType* type, int position, bool scalarLeaves, std::string& path)
{
    AggregatePath walked;
    return fieldPath(type, position, scalarLeaves, path, walked);
}

int C_CPP_scalar_count(const CType* type)
{
    AggregatePath walked;
    return scalarCount(type, walked);
}

bool C_CPP_is_signed_char_pointer(const CType* type)
{
    type = C_CPP_resolve(type);
    if (type == nullptr || (type->kind != kPointer && type->kind != kArray)) {
        return false;
    }
    const CType* element = C_CPP_resolve(type->target.get());
    return element != nullptr && element->kind == kBasic && element->isChar && element->size < 0;
}

}  // namespace qvm::canalysis
