// What pointers and arrays of characters hold, from their C types: text or bytes.
#pragma once

#include "script/semmodel.h"

#include <string>
#include <string_view>

namespace qvm::canalysis {
struct CType;
}

namespace qvm::codegen::program {

// A pointer to or an array of char and signed char holds text; of unsigned
// char (uint8_t, Bytef...) bytes, which a string check would read up to a
// zero that may lie beyond them.
enum class CharData { Unknown, Text, Bytes };
CharData charDataOf(const canalysis::CType* pointerOrArray);
// Whether the characters are signed char or unsigned char, types a plain
// char pointer does not convert to silently.
bool holdsSignedOrUnsignedChar(const canalysis::CType* pointerOrArray);
bool isArrayType(const canalysis::CType* type);

// The C type of a variable path, "name", "name.field", "name[i]->field"...,
// in a C scope or the global one; none for another text.
const canalysis::CType* typeOfPath(std::string_view path, std::string_view scope);
// The C type of a member path (".field[i].next") below a type name.
const canalysis::CType* typeOfMemberPath(std::string_view typeName, std::string_view members);
// The declared return type of a C function.
const canalysis::CType* returnType(std::string_view function, std::string_view scope);
// The declared type of a C function's parameter (index from 0).
const canalysis::CType* parameterType(std::string_view function, std::size_t index, std::string_view scope);
// "sizeof(<value>)" for an array or a string literal, whose size C knows,
// else "TRV_NO_SIZE" (a pointer to a string, read up to its terminator).
std::string sizeOfValue(std::string_view value, std::string_view scope);
// The C scope of the block that holds a statement, as the analysis named
// it: a scenario's dotted path (with "@init", "@term" or "@excp" for its
// level blocks), a procedure's or communication block's name; "" at the
// global scope.
std::string cScopeOf(const script::sem::Entry& entry);

}  // namespace qvm::codegen::program
