#include "imaging/kernel_path.h"

#include <atomic>

#include "imaging/kernel_table.h"

namespace tovrel::imaging {
namespace {

std::atomic<int> pathLimit{static_cast<int>(kBestKernelPath)};

}  // namespace

KernelPath supportedKernelPath() {
    static const KernelPath supported = [] {
        __builtin_cpu_init();
        // The built-in checks also that the system saves the wide registers.
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512vl")) {
            return KernelPath::kAvx512;
        }
        if (__builtin_cpu_supports("avx2")) return KernelPath::kAvx2;
        return KernelPath::kSse2;  // the x86-64 baseline
    }();
    return supported;
}

KernelPath activeKernelPath() {
    const int limit = pathLimit.load(std::memory_order_relaxed);
    const int supported = static_cast<int>(supportedKernelPath());
    return static_cast<KernelPath>(limit < supported ? limit : supported);
}

void setKernelPathLimit(KernelPath limit) {
    pathLimit.store(static_cast<int>(limit), std::memory_order_relaxed);
}

const char* kernelPathName(KernelPath path) {
    switch (path) {
        case KernelPath::kReference:
            return "reference";
        case KernelPath::kSse2:
            return "sse2";
        case KernelPath::kAvx2:
            return "avx2";
        case KernelPath::kAvx512:
            return "avx512";
    }
    return "unknown";
}

namespace detail {

const KernelTable& activeKernels() {
    switch (activeKernelPath()) {
        case KernelPath::kAvx512:
            return avx512Kernels();
        case KernelPath::kAvx2:
            return avx2Kernels();
        case KernelPath::kSse2:
            return sse2Kernels();
        case KernelPath::kReference:
            break;
    }
    return referenceKernels();
}

}  // namespace detail
}  // namespace tovrel::imaging
