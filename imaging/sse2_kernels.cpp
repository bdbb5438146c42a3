#include "imaging/kernel_table.h"

namespace tovrel::imaging::detail {

// Vector rows are being written; until then this path runs the reference rows.
const KernelTable& sse2Kernels() { return referenceKernels(); }

}  // namespace tovrel::imaging::detail
