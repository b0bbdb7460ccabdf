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
    const char* text = nullptr;  // the stored copy, in a chunk of the table
    std::size_t length = 0;      // its length without the terminating zero
};

// Entries live in fixed segments: the first of the initial size, then one per
// growth step, so growing never moves the entries already stored.
class EntryStore {
public:
    std::size_t size() const { return count_; }
    std::size_t capacity() const { return capacity_; }

    void grow(std::size_t entries)
    {
        segments_.push_back(std::make_unique<Entry[]>(entries));
        capacity_ += entries;
    }

    std::uint32_t push(const Entry& entry)
    {
        const std::uint32_t index = static_cast<std::uint32_t>(count_++);
        at(index) = entry;
        return index;
    }

    Entry& at(std::uint32_t index)
    {
        if (index < kInitialEntries) {
            return segments_[0][index];
        }
        const std::size_t later = index - kInitialEntries;
        return segments_[1 + later / kEntryGrowth][later % kEntryGrowth];
    }

private:
    std::vector<std::unique_ptr<Entry[]>> segments_;  // the initial segment, then growth segments
    std::size_t count_ = 0;                           // entries stored
    std::size_t capacity_ = 0;                        // entries the segments hold
};

// A bucket finds its entries through a small open-addressing index keyed by
// a second, well-spread hash of the text. The bucket hash alone takes few
// distinct values for short names (about 10,000 for the 150,000 names of a
// large header), so walking a bucket's entries one by one would make every
// lookup cost in proportion to the number of names already stored.
class Bucket {
public:
    template <typename Matches>
    std::uint32_t find(std::uint32_t fingerprint, Matches&& matches) const
    {
        if (slots_.empty()) {
            return 0;
        }
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = fingerprint & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (slot.entry == 0) {
                return 0;
            }
            if (slot.fingerprint == fingerprint && matches(slot.entry)) {
                return slot.entry;
            }
        }
    }

    void add(std::uint32_t fingerprint, std::uint32_t entry)
    {
        if ((used_ + 1) * 4 > slots_.size() * 3) {
            rehash(slots_.empty() ? 4 : slots_.size() * 2);
        }
        place(Slot{fingerprint, entry});
        ++used_;
    }

private:
    struct Slot {
        std::uint32_t fingerprint = 0;  // second hash of the entry's text
        std::uint32_t entry = 0;  // 0: free (entry 0 is the empty text, never stored here)
    };

    void place(const Slot& slot)
    {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = slot.fingerprint & mask;
        while (slots_[i].entry != 0) {
            i = (i + 1) & mask;
        }
        slots_[i] = slot;
    }

    void rehash(std::size_t size)
    {
        std::vector<Slot> old(size);
        old.swap(slots_);
        for (const Slot& slot : old) {
            if (slot.entry != 0) {
                place(slot);
            }
        }
    }

    std::vector<Slot> slots_;  // a power of two in size, at most three quarters used
    std::size_t used_ = 0;     // slots holding an entry
};

// Texts are copied into chunks that live until the table is reset, so every
// identifier stays valid for the whole run.
struct IdentTable {
    std::vector<Bucket> buckets;                  // indexed by the bucket hash of a text
    EntryStore entries;                           // entry 0 is the empty text
    std::vector<std::unique_ptr<char[]>> chunks;  // the stored texts, the last one being filled
    std::size_t chunkSize = kInitialChunkSize;    // size of the last chunk
    std::size_t chunkUsed = 0;                    // bytes used in the last chunk

    bool initialised() const { return entries.size() != 0; }
};

IdentTable& table()
{
    // Never destroyed: identifiers stay valid until the process ends, and
    // freeing every chunk and bucket at exit would only cost time.
    static IdentTable& instance = *new IdentTable;
    return instance;
}

std::uint32_t fingerprintOf(std::string_view text)
{
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
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
    if (t.entries.size() >= t.entries.capacity() - 1) {
        t.entries.grow(kEntryGrowth);
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
    t.buckets.assign(kIdentBuckets, Bucket{});
    t.entries.grow(kInitialEntries);
    t.entries.push(Entry{kEmptyText, 0});
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
    Bucket& bucket = t.buckets[static_cast<std::size_t>(identHash(text))];
    const std::uint32_t fingerprint = fingerprintOf(text);
    const std::uint32_t found = bucket.find(fingerprint, [&](std::uint32_t index) {
        const Entry& entry = t.entries.at(index);
        return entry.length == text.size() && std::memcmp(entry.text, text.data(), text.size()) == 0;
    });
    if (found != 0) {
        return t.entries.at(found).text;
    }
    growEntriesWhenFull(t);
    const char* stored = storeText(t, text);
    bucket.add(fingerprint, t.entries.push(Entry{stored, text.size()}));
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
    return table().entries.capacity();
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
