// The symbol and type table of the C analysis: type descriptors, symbol and
// tag records, the enumeration constant list, and the images of types and
// declarations as C text.
#pragma once

#include "base/mfmemo.h"
#include "base/mstrid.h"
#include "canalysis/cerror.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qvm::canalysis {

using base::Ident;

enum TypeKind : int {
    kBasic = 0,
    kFloating = 1,
    kStruct = 2,
    kPointer = 3,
    kArray = 4,
    kEnum = 5,
    kUnion = 6,
    kTypedefName = 7,
    kFunction = 8,
    kVoid = 9,
    kEllipsis = 10,
    kQualified = 11,
};

struct CType;
using TypePtr = std::shared_ptr<CType>;

struct Field {
    Ident name = nullptr;   // none for an unnamed member
    TypePtr type;
    Ident width = nullptr;  // bit-field width text
    Ident init = nullptr;   // initial value text
};

// The body of a struct or union; shared by the tag record and every
// descriptor that names the tag, so a later definition completes them all.
struct Aggregate {
    Ident tag = nullptr;        // the tag name (a made-up one for an unnamed tag)
    std::vector<Field> fields;  // members in declaration order
    bool hasBody = false;       // a body was read (else only declared)
};

struct Enumerator {
    Ident name = nullptr;
    Ident value = nullptr;  // text of its value ("A+1" after an explicit A)
};

struct EnumBody {
    Ident tag = nullptr;                  // the tag name (a made-up one for an unnamed tag)
    std::vector<Enumerator> enumerators;  // in declaration order
    bool hasBody = false;                 // a body was read (else only declared)
};

struct Parameter {
    Ident name = nullptr;  // none for an unnamed parameter
    TypePtr type;  // none for a name of an identifier list without declaration
};

// Members are ordered so that no padding falls between them: a large
// interface holds a great many descriptors.
struct CType {
    CType() = default;
    CType(const CType&) = default;
    CType(CType&&) = default;
    CType& operator=(const CType&) = default;
    CType& operator=(CType&&) = default;
    // Frees the descriptors that only this one holds; beyond a small depth
    // they are freed one after the other, so that no depth of derivations
    // weighs on the call stack.
    ~CType();

    TypeKind kind = kBasic;
    // Basic: size in bits, negative when signed.
    int size = 0;
    // Basic and floating spelling, tag, typedef name or qualifier name.
    Ident name = nullptr;
    // Pointed-to type, element type, return type, the type a typedef name
    // stands for, or the qualified type.
    TypePtr target;
    // Array.
    Ident dimension = nullptr;
    // Struct and union: the body owned by the tag record.
    Aggregate* aggregate = nullptr;
    // Enum: the body owned by the tag record.
    EnumBody* enumeration = nullptr;
    // Function.
    std::vector<Parameter> parameters;
    int selectedMember = 0;  // union: 1-based member a value selects, 0 none
    bool isChar = false;     // basic
    bool prototype = false;  // function
    bool definition = false; // function
};

// Storage classes of a symbol record.
enum Storage : unsigned {
    kExtern = 1,
    kStatic = 2,
    kAuto = 4,
    kRegister = 8,
    kTypedef = 16,
};

struct Symbol {
    Ident name = nullptr;
    TypePtr type;           // none stands for int
    Ident scope = nullptr;  // none for the global scope
    unsigned storage = 0;   // Storage bits
    Ident init = nullptr;   // initialiser text, none when not written
    Ident file = nullptr;   // file of the first declaration
    long order = 0;         // table-wide rank of the first declaration
};

struct Tag {
    Ident name = nullptr;
    TypeKind kind = kStruct;  // kStruct, kUnion or kEnum
    Ident scope = nullptr;    // none for the global scope
    std::shared_ptr<Aggregate> aggregate;   // struct and union: the current body
    std::shared_ptr<EnumBody> enumeration;  // enum: the current body
    // Bodies replaced by a redefinition, kept for the declarations that use them.
    std::vector<std::shared_ptr<void>> retired;
    Ident file = nullptr;  // file of the first declaration
    long order = 0;        // table-wide rank of the first declaration

    bool hasBody() const;
};

// Records by (name, scope): open addressing over a power-of-two number
// of slots, which keeps lookups to one or two cache lines.
class RecordIndex {
public:
    void* find(const void* name, const void* scope) const
    {
        return slots_.empty() ? nullptr : slots_[slotOf(name, scope)].record;
    }
    // Does nothing when the key is present already.
    void insert(const void* name, const void* scope, void* record);
    // The key gives that record from now on, present already or not.
    void assign(const void* name, const void* scope, void* record);
    void erase(const void* name, const void* scope);

private:
    struct Slot {
        const void* name = nullptr;
        const void* scope = nullptr;
        void* record = nullptr;  // none marks a free slot
    };
    std::size_t home(const void* name, const void* scope) const
    {
        const auto a = reinterpret_cast<std::uintptr_t>(name);
        const auto b = reinterpret_cast<std::uintptr_t>(scope);
        std::uint64_t hash = a * 0x9E3779B97F4A7C15ULL ^ b * 0xC2B2AE3D27D4EB4FULL;
        hash ^= hash >> 32;
        return static_cast<std::size_t>(hash) & (slots_.size() - 1);
    }
    // The slot holding the key, or a free one.
    std::size_t slotOf(const void* name, const void* scope) const
    {
        std::size_t slot = home(name, scope);
        while (slots_[slot].record != nullptr && (slots_[slot].name != name || slots_[slot].scope != scope)) {
            slot = (slot + 1) & (slots_.size() - 1);
        }
        return slot;
    }
    void grow();

    using Slots = std::vector<Slot, base::LargePageAllocator<Slot>>;
    Slots slots_;
    std::size_t used_ = 0;
};

class SymbolTable {
public:
    SymbolTable() = default;
    // Records are found by their addresses: a table is moved, never copied.
    SymbolTable(const SymbolTable&) = delete;
    SymbolTable& operator=(const SymbolTable&) = delete;
    SymbolTable(SymbolTable&&) = default;
    SymbolTable& operator=(SymbolTable&&) = default;

    // The record of that scope, else the global one.
    Symbol* find(Ident name, Ident scope);
    // The record of exactly that scope.
    Symbol* findInScope(Ident name, Ident scope);
    Symbol& append(Symbol symbol);
    bool remove(Ident name, Ident scope);

    Tag* findTag(Ident name, TypeKind kind, Ident scope);
    Tag* findTagInScope(Ident name, TypeKind kind, Ident scope);
    Tag& appendTag(Tag tag);
    // Gives a struct or union tag of this table the fields of its body.
    void giveBody(Tag& tag, std::vector<Field> fields);
    // Whether a body given to a file-scope struct or union had a member of
    // that name: when none had, no file-scope tag has that member now.
    bool fileScopeMemberGiven(Ident member) const { return fileScopeMembers_.find(member, nullptr) != nullptr; }

    // Records of one scope in the order first declared.
    std::vector<const Symbol*> symbolsOf(Ident scope) const;
    const std::vector<const Tag*>& tagsOf(Ident scope) const;
    // The rank the next record will get: records ranked below it were
    // declared before.
    long nextOrder() const { return nextOrder_; }

    SymbolTable* parent = nullptr;

    // When set, shown each declaration before it is entered: the record it
    // makes, the record of the same name and scope that it meets (none for
    // a new name) and the line where the declaration begins.
    std::function<void(const Symbol& declared, const Symbol* earlier, int line)> declarationWatch;

private:
    // The records themselves: a deque keeps their addresses as it grows and
    // takes them in blocks rather than one allocation each.
    std::deque<Symbol> symbolStore_;
    std::deque<Tag> tagStore_;
    // The first record of each (name, scope), and of each (name, scope) per
    // tag kind, so lookups need not walk the lists.
    RecordIndex symbolIndex_;
    std::array<RecordIndex, 3> tagIndex_;
    // Records of each scope in the order first declared.
    std::unordered_map<Ident, std::vector<Symbol*>> scopeSymbols_;
    std::unordered_map<Ident, std::vector<const Tag*>> scopeTags_;
    // Each member name given to a file-scope body, with the first tag given it.
    RecordIndex fileScopeMembers_;
    long nextOrder_ = 0;

    static std::size_t tagSlot(TypeKind kind);
};

struct EnumerationConstant {
    Ident name = nullptr;
    Ident value = nullptr;
};

// Every enumerator read during the run, in order.
const std::deque<EnumerationConstant>& enumerationConstants();
const EnumerationConstant* findEnumerationConstant(Ident name);
void addEnumerationConstant(Ident name, Ident value);

// The start of unnamed tag names: TRV_UNAMESTRUCT (when set and not empty)
// or "_unamedStruct".
std::string unnamedTagPrefix();
// The name of the next unnamed tag: prefix followed by the run-wide count of
// unnamed tags.
Ident nextUnnamedTag(std::string_view prefix);

// Back to the start of a run: no enumeration constants, unnamed tags counted
// from 1, lexer switches off.
void C_CPP_reset_analysis();

// Entry points.
Ident scopeIdent(std::string_view scope);
Symbol* C_CPP_find_symbol(std::string_view name, SymbolTable& table, std::string_view scope);
Symbol* C_CPP_find_symbol_with_parent(std::string_view name, SymbolTable& table, std::string_view scope);
Tag* C_CPP_find_tag(std::string_view name, SymbolTable& table, TypeKind kind);
bool C_CPP_remove_symbol(std::string_view name, SymbolTable& table, std::string_view scope);
void C_CPP_free_type(TypePtr& type);
// The parts given are moved into the new descriptor, or copied when they
// cannot be moved.
TypePtr C_CPP_new_type(TypeKind kind, CType&& part);
TypePtr C_CPP_new_type(TypeKind kind, const CType& part);
TypePtr C_CPP_new_type(TypeKind kind);
TypePtr C_CPP_copy_type(const TypePtr& type);

// C text of a type; declarator is the text it wraps (a name or empty). The
// full form writes struct, union and enum bodies.
std::string C_CPP_type_image(const CType* type, std::string_view declarator = {}, bool full = false);
std::string C_CPP_decl_image(const Symbol& symbol, bool withStorage);

bool C_CPP_is_const(const CType* type);
int C_CPP_field_index(const CType* type, Ident name);
// The field reached by a 1-based position (leaves of nested aggregates
// counted when scalarLeaves); its names are appended to path after ".".
const Field* C_CPP_field_path(const CType* type, int position, bool scalarLeaves, std::string& path);
int C_CPP_scalar_count(const CType* type);
bool C_CPP_is_signed_char_pointer(const CType* type);

// Follows typedef names and qualified types to the type they stand for.
const CType* C_CPP_resolve(const CType* type);
// The same for a caller that changes the type found (a size pragma).
CType* C_CPP_resolve(CType* type);

// Parses declaration text and enters every declaration in the table.
// Returns the number of errors reported.
int C_CPP_parse_decls(std::string_view text, SymbolTable& table, std::string_view scope, std::string_view file,
                      int firstLine, const DiagnosticCallback& callback, bool flag = false);

// Syntax errors of the declaration grammar that a C compiler refuses as
// well: neither nesting past the grammar's own limit nor a word of today's
// C read under the K&R dialect. The place is that of the first one.
struct RefusedSyntax {
    int count = 0;
    std::string file;
    int line = 0;
};
// The syntax errors counted since the last call, which forgets them.
RefusedSyntax C_CPP_take_refused_syntax();

// The type a type-name text denotes, or none.
TypePtr C_CPP_type_of_type_name(std::string_view text, SymbolTable& table, std::string_view scope,
                                std::string_view file, int line);

}  // namespace qvm::canalysis
