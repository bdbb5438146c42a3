#include "platform/media/media_type.h"

#include <cstdio>
#include <new>

namespace tovrel::platform {

bool MediaType::IsVideo() const {
    Guid major;
    return SUCCEEDED(GetMajorType(&major)) && major == MFMediaType_Video;
}

bool MediaType::IsAudio() const {
    Guid major;
    return SUCCEEDED(GetMajorType(&major)) && major == MFMediaType_Audio;
}

namespace {
std::string subtypeName(const Guid& subtype) {
    if (subtype == MFAudioFormat_PCM) return "PCM";
    if (subtype == MFAudioFormat_Float) return "Float";
    if (subtype.data2 == 0 && subtype.data3 == 0x0010 && subtype.data1 > 0xFFFF) {
        std::string fourcc;
        for (int shift = 0; shift < 32; shift += 8) {
            fourcc += static_cast<char>((subtype.data1 >> shift) & 0xFF);
        }
        return fourcc;
    }
    return subtype.toString();
}
}  // namespace

std::string MediaType::describe() const {
    Guid subtype;
    std::string text = SUCCEEDED(GetGUID(MF_MT_SUBTYPE, &subtype)) ? subtypeName(subtype) : "?";
    char part[96];
    uint32_t a = 0, b = 0;
    if (SUCCEEDED(MFGetAttributeSize(this, MF_MT_FRAME_SIZE, &a, &b))) {
        std::snprintf(part, sizeof part, " %ux%u", a, b);
        text += part;
    }
    if (SUCCEEDED(MFGetAttributeRatio(this, MF_MT_FRAME_RATE, &a, &b))) {
        std::snprintf(part, sizeof part, " @%u/%u", a, b);
        text += part;
    }
    uint32_t value = 0;
    if (SUCCEEDED(GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &value))) {
        std::snprintf(part, sizeof part, " %u Hz", value);
        text += part;
    }
    if (SUCCEEDED(GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &value))) {
        std::snprintf(part, sizeof part, " %u ch", value);
        text += part;
    }
    if (SUCCEEDED(GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &value))) {
        std::snprintf(part, sizeof part, " %u bit", value);
        text += part;
    }
    return text;
}

HRESULT MFGetStrideForBitmapInfoHeader(uint32_t format, uint32_t width, int32_t* stride) {
    if (stride == nullptr) return E_POINTER;
    struct Entry {
        uint32_t format;
        uint32_t bytesPerPixel;
    };
    static constexpr Entry kStrides[] = {
        {MFVideoFormat_NV12.data1, 1},
        {MFVideoFormat_YUY2.data1, 2},
        {MFVideoFormat_RGB32.data1, 4},
    };
    for (const Entry& entry : kStrides) {
        if (entry.format == format) {
            *stride = static_cast<int32_t>(width * entry.bytesPerPixel);
            return S_OK;
        }
    }
    return MF_E_INVALIDMEDIATYPE;
}

namespace {

thread_local uint32_t creationsToFail = 0;

}  // namespace

HRESULT MFCreateMediaType(std::unique_ptr<MediaType>* mediaType) {
    if (mediaType == nullptr) return E_POINTER;
    mediaType->reset();
    if (creationsToFail > 0) {
        --creationsToFail;
        return E_OUTOFMEMORY;
    }
    try {
        *mediaType = std::make_unique<MediaType>();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void failMediaTypeCreationsOnThisThread(uint32_t count) { creationsToFail = count; }

}  // namespace tovrel::platform
