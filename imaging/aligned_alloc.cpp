#include "imaging/aligned_alloc.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace tovrel::imaging {
namespace {

// The block keeps the address malloc returned in the pointer-sized slot just before the aligned
// address, so a 64-bit address is kept whole.
constexpr int64_t kSlot = static_cast<int64_t>(sizeof(void*));
constexpr int64_t kOverhead = kAllocAlignment - 1 + kSlot;

}  // namespace

void* alignedAlloc(int64_t bytes) {
    if (bytes <= 0) return nullptr;
    if (bytes > std::numeric_limits<int64_t>::max() - kOverhead) return nullptr;
    const int64_t total = bytes + kOverhead;
    if (static_cast<uint64_t>(total) > std::numeric_limits<size_t>::max()) return nullptr;
    void* raw = std::malloc(static_cast<size_t>(total));
    if (raw == nullptr) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw) + kSlot;
    const uintptr_t aligned = (start + kAllocAlignment - 1) & ~uintptr_t(kAllocAlignment - 1);
    void* block = reinterpret_cast<void*>(aligned);
    std::memcpy(static_cast<uint8_t*>(block) - kSlot, &raw, sizeof raw);
    return block;
}

void alignedFree(void* block) {
    if (block == nullptr) return;
    void* raw = nullptr;
    std::memcpy(&raw, static_cast<uint8_t*>(block) - kSlot, sizeof raw);
    std::free(raw);
}

}  // namespace tovrel::imaging
