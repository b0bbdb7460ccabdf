// The string identifier table: one stored copy of every text, so that equal
// texts give the same pointer and identifiers compare by pointer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qvm::base {

using Ident = const char*;

// Allocates the first chunk and the entry array; does nothing when the table
// already holds entries.
void initIdentTable();

// The identifier of a text; an empty text gives nullptr.
Ident ident(std::string_view text);

// The given identifier, or the empty text's identifier for nullptr.
Ident identOrEmpty(Ident id);

// The text of an identifier ("" for nullptr).
std::string identText(Ident id);

// -1 when either text is null, else the difference of the first differing
// characters (as signed chars), 0 when equal.
int compareTexts(const char* a, const char* b);

// Sizes observed by tests: number of entries (the reserved entry 0 of the
// empty text included), entry capacity, current chunk size.
std::size_t identCount();
std::size_t identCapacity();
std::size_t identChunkSize();

// Drops every identifier (tests only: identifiers handed out before become invalid).
void resetIdentTable();

}  // namespace qvm::base
