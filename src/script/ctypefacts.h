// What the writers read of the C type of a value, a call's result or a
// parameter: plain facts, so that they never handle a C type themselves.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace qvm::canalysis {
struct CType;
}

namespace qvm::script {

// A character type: plain char, or spelled signed or unsigned char.
enum class CharKind { None, Plain, Signed, Unsigned };

struct CTypeFacts {
    bool known = false;            // a type was found (int, told by no type, is not)
    bool array = false;
    bool unsignedInteger = false;  // an integer type other than a character spelled unsigned
    CharKind character = CharKind::None;  // the type itself
    CharKind elements = CharKind::None;   // what a pointer or an array holds
    // An enumeration with constants, and the names of those constants in order.
    bool enumeration = false;
    std::vector<std::string_view> enumerators;
};

// The type of a variable path ("name", "name.field", "name[i]->field"...)
// in a C scope or the global one; unknown for another text.
CTypeFacts typeOfPath(std::string_view path, std::string_view scope);

// The type of a member path (".field[i].next") below a type name.
CTypeFacts typeOfMemberPath(std::string_view typeName, std::string_view members);

// The types of paths, for a writer that asks about the paths below one
// variable (or type name) one after the other, again and again: the start
// of the last path is kept, with the facts of the last few paths asked
// about from it, until a path starts from another. The C tables must stay
// as they are while it lives.
class KnownPathTypes {
public:
    KnownPathTypes();
    KnownPathTypes(const KnownPathTypes&) = delete;
    KnownPathTypes& operator=(const KnownPathTypes&) = delete;
    ~KnownPathTypes();

    // As typeOfPath and typeOfMemberPath give them; the facts last until
    // the next call.
    const CTypeFacts& ofPath(std::string_view path, std::string_view scope);
    const CTypeFacts& ofMemberPath(std::string_view typeName, std::string_view members);

private:
    struct Known;
    std::unique_ptr<Known> known_;
};

// The declared return type of a C function, or of what a pointer to one calls.
CTypeFacts returnType(std::string_view function, std::string_view scope);

// The declared type of a C function's parameter (index from 0).
CTypeFacts parameterType(std::string_view function, std::size_t index, std::string_view scope);

// The same for a writer that asks about several parameters of one function:
// the function is found once. The C tables must stay as they are while it lives.
class ParameterTypes {
public:
    ParameterTypes(std::string_view function, std::string_view scope);

    CTypeFacts of(std::size_t index) const;

private:
    const canalysis::CType* function_;
};

// The name a global C function's declaration gives a parameter (index
// from 0); "" when it names none.
std::string_view parameterName(std::string_view function, std::size_t index);

// Whether a C expression, macros expanded, is a null pointer constant that
// C compilers take for any pointer without a word: an integer constant of
// value zero written as a number ("0", "0L", "0x0"), in parentheses or cast
// to "void *". A zero reached by arithmetic or a character is none (a
// compiler warns about those).
bool isNullPointerConstant(std::string_view text);

}  // namespace qvm::script
