// The string identifier table: one stored copy of every text, so that equal
// texts give the same pointer and identifiers compare by pointer.
#pragma once

#include <cstddef>
#include <cstdint>
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

namespace detail {
inline std::uint64_t identGeneration = 0;  // counts the resets of the table
}

// How many times the table was reset: an identifier kept from an earlier
// generation may name another text now.
inline std::uint64_t identGeneration()
{
    return detail::identGeneration;
}

// The identifier of a fixed text, kept across calls (in a static or a table)
// and looked up again after the table was reset.
class CachedIdent {
public:
    // text must outlive the object (a literal).
    explicit CachedIdent(std::string_view text) : text_(text) {}

    Ident get() const
    {
        if (id_ == nullptr || generation_ != identGeneration()) {
            id_ = ident(text_);
            generation_ = identGeneration();
        }
        return id_;
    }

private:
    std::string_view text_;
    mutable Ident id_ = nullptr;            // looked up on first use
    mutable std::uint64_t generation_ = 0;  // table generation id_ belongs to
};

}  // namespace qvm::base
