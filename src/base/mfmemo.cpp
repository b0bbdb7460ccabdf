#include "base/mfmemo.h"

#include "diag/i18nerrgest.h"
#include "diag/i18nutil.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

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
    return block;
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

void memoryExhausted()
{
    diag::internalAt("ERRINTFCT", diag::trLocal("Error Parameter", "memory overflow",
                                                "Used as a parameter for 'ERRINTFCT' error message"));
}

}  // namespace qvm::base
