// The string identifier table: one stored copy of each text.
#include "base/mstrid.h"

#include "base/mfmemo.h"
#include "base/mstrin.h"

#include <algorithm>
#include <array>
#include <bit>
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

inline std::uint64_t loadWord(const char* p)
{
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The n (< 8) characters at p as one word, the unused high bytes zero. Two
// loads that may overlap: the bytes they share are the same.
inline std::uint64_t shortWord(const char* p, std::size_t n)
{
    if (n >= 4) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        std::memcpy(&low, p, sizeof low);
        std::memcpy(&high, p + n - 4, sizeof high);
        return low | (std::uint64_t{high} << (8 * (n - 4)));
    }
    if (n >= 2) {
        std::uint16_t low = 0;
        std::uint16_t high = 0;
        std::memcpy(&low, p, sizeof low);
        std::memcpy(&high, p + n - 2, sizeof high);
        return low | (std::uint64_t{high} << (8 * (n - 2)));
    }
    return n == 1 ? static_cast<unsigned char>(*p) : 0;
}

// Whether the n characters at a and b are the same; names are short, so
// this is done in words rather than by a call.
inline bool sameBytes(const char* a, const char* b, std::size_t n)
{
    if (n < 8) {
        return shortWord(a, n) == shortWord(b, n);
    }
    if (n > 16) {
        return std::memcmp(a, b, n) == 0;
    }
    return loadWord(a) == loadWord(b) && loadWord(a + n - 8) == loadWord(b + n - 8);
}

// The count of stored texts and the capacity they are accounted against: the
// texts themselves are reached only through the index, so no array of entries
// is kept, only its size as it would grow.
class EntryCount {
public:
    std::size_t size() const { return count_; }
    std::size_t capacity() const { return capacity_; }

    void grow(std::size_t entries) { capacity_ += entries; }
    void push() { ++count_; }

private:
    std::size_t count_ = 0;     // texts stored, the empty text included
    std::size_t capacity_ = 0;  // texts the table is grown for
};

// The texts are found through one open-addressing index keyed by a
// well-spread hash of the text. Each slot holds what a lookup needs
// (the hash, the length and the stored text), so that finding a name costs
// one slot and one comparison of texts, however many names are stored.
class TextIndex {
public:
    static constexpr std::size_t kInitialSlots = std::size_t{1} << 15;

    const char* find(std::uint32_t hash, std::string_view text) const
    {
        if (slots_.empty()) {
            return nullptr;
        }
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (slot.text == nullptr) {
                return nullptr;
            }
            if (slot.hash == hash && slot.length == text.size() && sameBytes(slot.text, text.data(), text.size())) {
                return slot.text;
            }
        }
    }

    void add(std::uint32_t hash, const char* text, std::size_t length)
    {
        if ((used_ + 1) * 4 > slots_.size() * 3) {
            rehash(slots_.empty() ? kInitialSlots : slots_.size() * 2);
        }
        place(Slot{hash, static_cast<std::uint32_t>(length), text});
        ++used_;
    }

private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t length = 0;    // texts are far shorter than 4 GB
        const char* text = nullptr;  // nullptr: free
    };

    void place(const Slot& slot)
    {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = slot.hash & mask;
        while (slots_[i].text != nullptr) {
            i = (i + 1) & mask;
        }
        slots_[i] = slot;
    }

    void rehash(std::size_t size)
    {
        std::vector<Slot, LargePageAllocator<Slot>> old(size);
        old.swap(slots_);
        for (const Slot& slot : old) {
            if (slot.text != nullptr) {
                place(slot);
            }
        }
    }

    std::vector<Slot, LargePageAllocator<Slot>> slots_;  // a power of two in size, at most three quarters used
    std::size_t used_ = 0;                               // slots holding a text
};

// Texts are copied into chunks that live until the table is reset, so every
// identifier stays valid for the whole run.
struct IdentTable {
    TextIndex index;                              // finds the stored texts
    EntryCount entries;                           // entry 0 is the empty text
    std::vector<std::unique_ptr<char[]>> chunks;  // the stored texts, the last one being filled
    std::size_t chunkSize = kInitialChunkSize;    // size of the last chunk
    std::size_t chunkUsed = 0;                    // bytes used in the last chunk

    bool initialised() const { return entries.size() != 0; }
};

// The table, made on first use and never destroyed: identifiers stay valid
// until the process ends, and freeing every chunk at exit would only cost time.
IdentTable* theTable = nullptr;

inline IdentTable& table()
{
    if (theTable == nullptr) {
        theTable = new IdentTable;
    }
    return *theTable;
}

inline std::uint64_t mixIn(std::uint64_t hash, std::uint64_t bytes)
{
    hash = (hash ^ bytes) * 0x9E3779B97F4A7C15ULL;
    return hash ^ (hash >> 29);
}

// The hash of a text, and in zeroSeen whether it holds a zero character.
// Eight characters are taken at once: every name of every file goes through
// here.
static_assert(std::endian::native == std::endian::little, "the bytes of a word are read lowest first");
inline std::uint32_t hashOfText(std::string_view text, bool& zeroSeen)
{
    const char* p = text.data();
    const std::size_t n = text.size();
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    std::uint64_t zeroFlags = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t bytes = loadWord(p + i);
        zeroFlags |= (bytes - repeatedBytes(1)) & ~bytes;
        hash = mixIn(hash, bytes);
    }
    if (const std::size_t rest = n - i; rest != 0) {
        const std::uint64_t bytes = n >= 8 ? loadWord(p + n - 8) >> (8 * (8 - rest)) : shortWord(p, n);
        const std::uint64_t padded = bytes | (~std::uint64_t{0} << (8 * rest));
        zeroFlags |= (padded - repeatedBytes(1)) & ~padded;
        hash = mixIn(hash, bytes);
    }
    zeroSeen = (zeroFlags & repeatedBytes(0x80)) != 0;
    hash = mixIn(hash, n);
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
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

}  // namespace

void initIdentTable()
{
    IdentTable& t = table();
    if (t.initialised()) {
        return;
    }
    t.entries.grow(kInitialEntries);
    t.entries.push();
    t.chunkSize = kInitialChunkSize;
    startChunk(t);
}

Ident ident(std::string_view text)
{
    // The table works on C texts: a text ends at its first zero character.
    bool zeroSeen = false;
    const std::uint32_t hash = hashOfText(text, zeroSeen);
    if (zeroSeen) {
        return ident(text.substr(0, static_cast<std::size_t>(
                                        static_cast<const char*>(std::memchr(text.data(), '\0', text.size())) -
                                        text.data())));
    }
    if (text.empty()) {
        return nullptr;
    }
    IdentTable& t = table();
    if (!t.initialised()) {
        initIdentTable();
    }
    if (const char* found = t.index.find(hash, text)) {
        return found;
    }
    growEntriesWhenFull(t);
    const char* stored = storeText(t, text);
    t.entries.push();
    t.index.add(hash, stored, text.size());
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
