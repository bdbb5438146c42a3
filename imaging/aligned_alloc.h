#pragma once

#include <cstdint>

// Heap blocks aligned to 64 bytes for the vector code of the screen recorder and the analyzer.
// Safe from any thread.

namespace tovrel::imaging {

inline constexpr int64_t kAllocAlignment = 64;

// Null when bytes <= 0, when the block with its bookkeeping would not fit the address space, or
// when the heap is exhausted.
void* alignedAlloc(int64_t bytes);

// Frees a block from alignedAlloc; null is ignored.
void alignedFree(void* block);

}  // namespace tovrel::imaging
