#include "platform/imaging/bmp_image_encoder.h"

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

namespace tovrel::platform {

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint16_t kBitsPerPixel = 24;
// Rows are written in blocks of about this size: few system calls, little memory.
constexpr size_t kBlockBytes = 256 * 1024;

void put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

HRESULT BmpImageEncoder::Encode(const BgrxPicture& picture, ImageFile& file) {
    if (picture.pixels == nullptr || picture.width == 0 || picture.height == 0 ||
        picture.stride < static_cast<uint64_t>(picture.width) * 4) {
        return E_INVALIDARG;
    }
    const uint64_t rowBytes = (static_cast<uint64_t>(picture.width) * 3 + 3) & ~uint64_t{3};
    const uint64_t imageBytes = rowBytes * picture.height;
    const uint64_t fileBytes = kFileHeaderBytes + kInfoHeaderBytes + imageBytes;
    // The header's sizes are 32-bit and its dimensions signed.
    if (fileBytes > std::numeric_limits<uint32_t>::max() ||
        picture.width > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ||
        picture.height > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        return E_INVALIDARG;
    }

    uint8_t header[kFileHeaderBytes + kInfoHeaderBytes] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, static_cast<uint32_t>(fileBytes));
    put32(header + 10, kFileHeaderBytes + kInfoHeaderBytes);
    uint8_t* info = header + kFileHeaderBytes;
    put32(info, kInfoHeaderBytes);
    put32(info + 4, picture.width);
    put32(info + 8, picture.height);  // positive: bottom row first
    put16(info + 12, 1);              // planes
    put16(info + 14, kBitsPerPixel);
    put32(info + 16, 0);  // BI_RGB
    put32(info + 20, static_cast<uint32_t>(imageBytes));
    HRESULT hr = file.Write(header, sizeof header);

    const size_t rowsPerBlock = std::max<size_t>(1, kBlockBytes / rowBytes);
    // Zero-filled once: the pixels never reach a row's padding.
    std::vector<uint8_t> block;
    try {
        block.resize(rowsPerBlock * rowBytes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    uint32_t row = picture.height;  // rows still to write, bottom up
    while (SUCCEEDED(hr) && row > 0) {
        const size_t rows = std::min<size_t>(rowsPerBlock, row);
        for (size_t i = 0; i < rows; ++i) {
            const uint8_t* from =
                picture.pixels + static_cast<size_t>(row - 1 - i) * picture.stride;
            uint8_t* to = block.data() + i * rowBytes;
            for (uint32_t x = 0; x < picture.width; ++x, from += 4, to += 3) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
            }
        }
        hr = file.Write(block.data(), rows * rowBytes);
        row -= static_cast<uint32_t>(rows);
    }
    return hr;
}

}  // namespace tovrel::platform
