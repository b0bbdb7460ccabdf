// What pointers and arrays of characters hold, from their C types: text or bytes.
#pragma once

#include "script/ctypefacts.h"
#include "script/semmodel.h"

#include <string>
#include <string_view>

namespace qvm::codegen::program {

// A pointer to or an array of char and signed char holds text; of unsigned
// char (uint8_t, Bytef...) bytes, which a string check would read up to a
// zero that may lie beyond them.
enum class CharData { Unknown, Text, Bytes };
CharData charDataOf(const script::CTypeFacts& pointerOrArray);
// Whether the characters are signed char or unsigned char, types a plain
// char pointer does not convert to silently.
bool holdsSignedOrUnsignedChar(const script::CTypeFacts& pointerOrArray);

// "sizeof(<value>)" for an array or a string literal, whose size C knows,
// else "TRV_NO_SIZE" (a pointer to a string, read up to its terminator).
std::string sizeOfValue(std::string_view value, std::string_view scope);
// The block whose C scope holds the variables of a statement: the nearest
// scenario, level block, procedure or communication block around it; none
// at the global scope.
const script::sem::Entry* scopeBlockOf(const script::sem::Entry& entry);
// The C scope of such a block, as the analysis named it: a scenario's
// dotted path (with "@init", "@term" or "@excp" for its level blocks), a
// procedure's or communication block's name; "" for none, the global scope.
std::string cScopeOfBlock(const script::sem::Entry* block);

}  // namespace qvm::codegen::program
