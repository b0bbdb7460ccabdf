// Checked memory: exhaustion never returns to the caller.
#pragma once

#include <cstddef>

namespace qvm::base {

void* allocate(std::size_t size);
void* reallocate(void* block, std::size_t size);
void* allocateZeroed(std::size_t count, std::size_t size);
void release(void* block);
void zeroFill(void* block, std::size_t length);

// Reports "ERRINTFCT" (internal) with the translated "memory overflow".
[[noreturn]] void memoryExhausted();

}  // namespace qvm::base
