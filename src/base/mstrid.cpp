#include "base/mstrid.h"

#include "base/mhcode.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace qvm::base {

namespace {

constexpr std::size_t kInitialEntries = 10000;
constexpr std::size_t kEntryGrowth = 20000;
constexpr std::size_t kInitialChunkSize = 100000;

const char kEmptyText[] = "";

struct Entry {
    const char* text = nullptr;
    std::size_t length = 0;
    std::uint32_t hashValue = 0;
    int next = 0;  // next entry of the same bucket chain, 0 ends the chain
};

// Texts are copied into chunks that live until the table is reset, so every
// identifier stays valid for the whole run.
struct IdentTable {
    std::array<int, kIdentBuckets> buckets{};
    std::vector<Entry> entries;
    std::size_t capacity = 0;
    std::vector<std::unique_ptr<char[]>> chunks;
    std::size_t chunkSize = kInitialChunkSize;
    std::size_t chunkUsed = 0;

    bool initialised() const { return !entries.empty(); }
};

IdentTable& table()
{
    static IdentTable instance;
    return instance;
}

void startChunk(IdentTable& t)
{
    t.chunks.push_back(std::make_unique<char[]>(t.chunkSize));
    t.chunkUsed = 0;
}

const char* storeText(IdentTable& t, std::string_view text)
{
    const std::size_t needed = text.size() + 1;
    if (needed > t.chunkSize - t.chunkUsed) {
        if (needed > t.chunkSize) {
            t.chunkSize += text.size();
        }
        startChunk(t);
    }
    char* copy = t.chunks.back().get() + t.chunkUsed;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    t.chunkUsed += needed;
    return copy;
}

void growEntriesWhenFull(IdentTable& t)
{
    if (t.entries.size() >= t.capacity - 1) {
        t.capacity += kEntryGrowth;
        t.entries.reserve(t.capacity);
    }
}

// The table works on C texts: a text ends at its first zero character.
std::string_view untilZero(std::string_view text)
{
    const auto zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

}  // namespace

void initIdentTable()
{
    IdentTable& t = table();
    if (t.initialised()) {
        return;
    }
    t.buckets.fill(0);
    t.capacity = kInitialEntries;
    t.entries.reserve(t.capacity);
    t.entries.push_back(Entry{kEmptyText, 0, 0, 0});
    t.chunkSize = kInitialChunkSize;
    startChunk(t);
}

Ident ident(std::string_view text)
{
    text = untilZero(text);
    if (text.empty()) {
        return nullptr;
    }
    IdentTable& t = table();
    initIdentTable();
    const std::uint32_t hashValue = identHashValue(text);
    int& chain = t.buckets[static_cast<std::size_t>(identBucket(hashValue))];
    for (int index = chain; index != 0;) {
        const Entry& entry = t.entries[static_cast<std::size_t>(index)];
        if (entry.hashValue == hashValue && entry.length == text.size() &&
            std::memcmp(entry.text, text.data(), text.size()) == 0) {
            return entry.text;
        }
        index = entry.next;
    }
    growEntriesWhenFull(t);
    const char* stored = storeText(t, text);
    t.entries.push_back(Entry{stored, text.size(), hashValue, chain});
    chain = static_cast<int>(t.entries.size() - 1);
    return stored;
}

Ident identOrEmpty(Ident id)
{
    return id != nullptr ? id : kEmptyText;
}

std::string identText(Ident id)
{
    return id != nullptr ? std::string(id) : std::string();
}

int compareTexts(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr) {
        return -1;
    }
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return static_cast<signed char>(*a) - static_cast<signed char>(*b);
}

std::size_t identCount()
{
    return table().entries.size();
}

std::size_t identCapacity()
{
    return table().capacity;
}

std::size_t identChunkSize()
{
    return table().chunkSize;
}

void resetIdentTable()
{
    table() = IdentTable{};
    ++detail::identGeneration;
}

}  // namespace qvm::base
