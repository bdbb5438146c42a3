#pragma once

// Which implementation of the primitives runs. The fastest path the processor supports is chosen
// on first use; tests may lower the limit to compare paths. Safe from any thread, but changing the
// limit while other threads convert frames makes those threads switch paths mid-stream (results
// are identical, only speed differs).

namespace tovrel::imaging {

enum class KernelPath : int {
    kReference = 0,  // plain scalar code, the definition of the results
    kSse2 = 1,       // 16-byte vectors, the build's baseline
    kAvx2 = 2,       // 32-byte vectors, chosen when the processor has AVX2
    kAvx512 = 3,     // the AVX2 path with 64-byte kernels where they gain; AVX-512 F, BW and VL
};

// As a limit: no cap, the processor's best.
inline constexpr KernelPath kBestKernelPath = KernelPath::kAvx512;

// The best path this processor can run.
KernelPath supportedKernelPath();

// The path the primitives use now: the lower of the supported path and the limit.
KernelPath activeKernelPath();

// Caps the path (test and benchmark hook); kBestKernelPath restores the default.
void setKernelPathLimit(KernelPath limit);

const char* kernelPathName(KernelPath path);

}  // namespace tovrel::imaging
