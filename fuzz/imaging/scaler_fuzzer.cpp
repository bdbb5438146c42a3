// Drives the scaler's set-up and scaling with sizes, tiles and pixels from the fuzzer, on exactly
// sized buffers so that any read or write outside them is caught, and checks that every kernel
// path gives the reference bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/bilinear_scaler.h"
#include "imaging/kernel_path.h"

namespace {

using namespace tovrel::imaging;

struct Reader {
    const uint8_t* data;
    size_t size;
    uint32_t next(uint32_t limit) {
        uint32_t value = 0;
        for (int i = 0; i < 2 && size > 0; ++i, ++data, --size) value = (value << 8) | *data;
        return limit == 0 ? 0 : value % limit;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const Size src{static_cast<int32_t>(in.next(300)), static_cast<int32_t>(in.next(300))};
    const Size dst{static_cast<int32_t>(in.next(400)), static_cast<int32_t>(in.next(400))};
    int32_t descriptionBytes = 0;
    int32_t initBytes = 0;
    const int query =
        scalerQuerySizes(src, dst, Interpolation::kLinear, false, &descriptionBytes, &initBytes);
    if (src.width < 2 || src.height < 2) {
        if (query >= 0) std::abort();  // too small a source must be refused
        return 0;
    }
    if (query != kDone) std::abort();
    std::vector<uint8_t> description(static_cast<size_t>(descriptionBytes));
    if (scalerInit(src, dst, description.data()) != kDone) std::abort();

    // A tile of the destination.
    const Point offset{static_cast<int32_t>(in.next(dst.width + 1)),
                       static_cast<int32_t>(in.next(dst.height + 1))};
    const Size tile{static_cast<int32_t>(in.next(dst.width - offset.x + 1)),
                    static_cast<int32_t>(in.next(dst.height - offset.y + 1))};
    int32_t workBytes = 0;
    if (scalerQueryWorkSize(description.data(), tile, 4, &workBytes) != kDone) std::abort();
    std::vector<uint8_t> work(static_cast<size_t>(workBytes));

    const int32_t srcStep = 4 * src.width + static_cast<int32_t>(in.next(9));
    std::vector<uint8_t> pixels(static_cast<size_t>(srcStep) * src.height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = in.size > 0 ? in.data[i % in.size] : static_cast<uint8_t>(i * 37);
    }
    const int32_t dstStep = 4 * tile.width;
    const size_t dstBytes = static_cast<size_t>(dstStep) * tile.height;

    std::vector<uint8_t> expected(dstBytes + 1);  // never empty: a null destination is refused
    setKernelPathLimit(KernelPath::kReference);
    if (scaleBgra(pixels.data(), srcStep, expected.data(), dstStep, offset, tile,
                  BorderKind::kReplicate, nullptr, description.data(), work.data()) != kDone) {
        std::abort();
    }
    for (KernelPath path : {KernelPath::kSse2, KernelPath::kAvx2, KernelPath::kAvx512}) {
        if (static_cast<int>(path) > static_cast<int>(supportedKernelPath())) continue;
        setKernelPathLimit(path);
        std::vector<uint8_t> actual(dstBytes + 1);
        if (scaleBgra(pixels.data(), srcStep, actual.data(), dstStep, offset, tile,
                      BorderKind::kReplicate, nullptr, description.data(), work.data()) != kDone) {
            std::abort();
        }
        if (actual != expected) std::abort();
    }
    setKernelPathLimit(kBestKernelPath);
    return 0;
}
