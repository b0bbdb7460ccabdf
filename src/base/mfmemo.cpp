// Checked memory: allocation that never returns exhausted.
#include "base/mfmemo.h"

#include "diag/i18nerrgest.h"
#include "diag/i18nutil.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace qvm::base {

namespace {

// A zero size still asks the C library for a real block, so that a null
// result always means exhaustion.
std::size_t atLeastOne(std::size_t size)
{
    return size == 0 ? 1 : size;
}

}  // namespace

void* allocate(std::size_t size)
{
    void* block = std::malloc(atLeastOne(size));
    if (block == nullptr) {
        memoryExhausted();
    }
    return block;
}

void* reallocate(void* block, std::size_t size)
{
    void* grown = std::realloc(block, atLeastOne(size));
    if (grown == nullptr) {
        memoryExhausted();
    }
    return grown;
}

void* allocateZeroed(std::size_t count, std::size_t size)
{
    void* block = std::calloc(atLeastOne(count), atLeastOne(size));
    if (block == nullptr) {
        memoryExhausted();
    }
    return block;
}

void release(void* block)
{
    std::free(block);
}

// Heap advice needs the C library's heap settings, and stays out of the
// way of the address sanitizer's own allocator.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#if __GLIBC_PREREQ(2, 33)
#define QVM_HEAP_ADVICE 1
#endif
#endif

namespace {

#ifdef QVM_HEAP_ADVICE
// Heap growth at each step: the advice reaches that far ahead of use.
constexpr int kHeapStepBytes = 64 << 20;

// How far the heap is advised; none before the first advice.
std::uintptr_t advisedTo = 0;

std::uintptr_t roundUpToLargePage(std::uintptr_t address)
{
    return (address + kLargePage - 1) / kLargePage * kLargePage;
}

// Advises what the heap has grown since the last advice, once the first
// advice is taken.
void adviseHeapGrowth()
{
    if (advisedTo == 0) {
        return;
    }
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0)) / kLargePage * kLargePage;
    if (end > advisedTo) {
        // Only advice: a refusal leaves ordinary pages.
        ::madvise(reinterpret_cast<void*>(advisedTo), end - advisedTo, MADV_HUGEPAGE);
        advisedTo = end;
    }
}
#else
void adviseHeapGrowth() {}
#endif

}  // namespace

void* allocateLargePages(std::size_t bytes)
{
    if (bytes < kLargePage) {
        return allocate(bytes);
    }
    if (bytes > SIZE_MAX - kLargePage) {
        memoryExhausted();
    }
    const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* block = std::aligned_alloc(kLargePage, rounded);
    if (block == nullptr) {
        memoryExhausted();
    }
    // Only advice: without large pages the block works as any other.
    ::madvise(block, rounded, MADV_HUGEPAGE);
    adviseHeapGrowth();
    return block;
}

void adviseHeapLargePages()
{
#ifdef QVM_HEAP_ADVICE
    if (advisedTo == 0) {
        ::mallopt(M_ARENA_MAX, 1);
        ::mallopt(M_TOP_PAD, kHeapStepBytes);
        ::mallopt(M_TRIM_THRESHOLD, kHeapStepBytes);
        ::mallopt(M_MMAP_THRESHOLD, kHeapStepBytes / 16);
        // A block larger than the free top of the heap makes the heap take
        // its first step now, so that the advice covers what comes next.
        void* probe = allocate(::mallinfo2().keepcost + 1);
        advisedTo = roundUpToLargePage(reinterpret_cast<std::uintptr_t>(probe));
        release(probe);
    }
    adviseHeapGrowth();
#endif
}

void releaseLargePages(void* block, std::size_t /*bytes*/)
{
    std::free(block);
}

void zeroFill(void* block, std::size_t length)
{
    if (length != 0) {
        std::memset(block, 0, length);
    }
}

namespace {

// Most kept texts are a few characters long: a chunk holds thousands.
constexpr std::size_t kTextChunkBytes = std::size_t{64} << 10;

}  // namespace

void TextStore::startChunk(std::size_t textSize)
{
    if (textSize > std::numeric_limits<std::uint32_t>::max()) {
        memoryExhausted();
    }
    capacity_ = std::max(kTextChunkBytes, sizeof(std::uint32_t) + textSize);
    chunks_.push_back(std::make_unique_for_overwrite<char[]>(capacity_));
    used_ = 0;
}

void TextStore::clear()
{
    chunks_.clear();
    used_ = 0;
    capacity_ = 0;
}

void memoryExhausted()
{
    diag::internalAt("ERRINTFCT", diag::trLocal("Error Parameter", "memory overflow",
                                                "Used as a parameter for 'ERRINTFCT' error message"));
}

}  // namespace qvm::base
