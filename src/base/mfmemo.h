// Checked memory: exhaustion never returns to the caller.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace qvm::base {

void* allocate(std::size_t size);
void* reallocate(void* block, std::size_t size);
void* allocateZeroed(std::size_t count, std::size_t size);
void release(void* block);
void zeroFill(void* block, std::size_t length);

// Reports "ERRINTFCT" (internal) with the translated "memory overflow".
[[noreturn]] void memoryExhausted();

// Blocks for large tables that fill as the analysis goes: whole large pages
// that the system may back with 2 MB pages, which saves the page fault taken
// for every 4 KB of an ordinary block. A block of fewer bytes than a large
// page comes from the ordinary heap.
constexpr std::size_t kLargePage = std::size_t{1} << 21;
void* allocateLargePages(std::size_t bytes);
void releaseLargePages(void* block, std::size_t bytes);

// The block size of the stores that grow an item at a time (the analysed
// model's, the syntax tree's): small enough that a store's last block
// leaves little unused. Such blocks come from the ordinary heap, which is
// advised large pages as a whole; a block aligned to a large page would
// leave in front of it a touched gap that no later aligned block fits in.
constexpr std::size_t kStoreBlockBytes = std::size_t{256} << 10;

// Lets the system back the ordinary heap with large pages too. The first
// call makes the heap grow in large steps and shares it with the threads
// (the program's worker threads never run beside the thread that started
// them); every call advises what the heap has reached so far, and so does
// every block of allocateLargePages, which keeps the advice close behind the
// heap while a pass runs. Nothing changes where the system has no
// large pages.
void adviseHeapLargePages();

// Standard allocator over the blocks above, for containers that grow large.
template <typename T>
struct LargePageAllocator {
    using value_type = T;

    LargePageAllocator() = default;
    template <typename U>
    LargePageAllocator(const LargePageAllocator<U>& /*other*/)
    {
    }

    T* allocate(std::size_t count) { return static_cast<T*>(allocateLargePages(count * sizeof(T))); }
    void deallocate(T* block, std::size_t count) { releaseLargePages(block, count * sizeof(T)); }

    template <typename U>
    bool operator==(const LargePageAllocator<U>& /*other*/) const
    {
        return true;
    }
};

// Texts kept until the store is cleared, copied into chunks that never move.
// A kept text is its length (four bytes, unaligned), then its characters;
// the pointer keep() gives reads back with keptText(), eight bytes where a
// string takes thirty-two.
class TextStore {
public:
    const char* keep(std::string_view text)
    {
        const auto size = static_cast<std::uint32_t>(text.size());
        const std::size_t bytes = sizeof size + text.size();
        if (used_ + bytes > capacity_ || size != text.size()) {
            startChunk(text.size());
        }
        char* kept = chunks_.back().get() + used_;
        used_ += bytes;
        std::memcpy(kept, &size, sizeof size);
        std::copy(text.begin(), text.end(), kept + sizeof size);  // an empty text may have no data
        return kept;
    }
    void clear();

private:
    void startChunk(std::size_t textSize);

    std::vector<std::unique_ptr<char[]>> chunks_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
};

inline std::string_view keptText(const char* kept)
{
    std::uint32_t size = 0;
    std::memcpy(&size, kept, sizeof size);
    return {kept + sizeof size, size};
}

}  // namespace qvm::base
