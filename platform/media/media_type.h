#pragma once

#include <memory>

#include "platform/media/attributes.h"
#include "platform/media/mf_guids.h"

namespace tovrel::platform {

// A media type: an attribute store describing one stream format (MF_MT_MAJOR_TYPE,
// MF_MT_SUBTYPE, MF_MT_FRAME_SIZE, MF_MT_AUDIO_* ...). Copyable; the reader hands out copies,
// so a caller owns what it receives. Any thread.
class MediaType : public Attributes {
  public:
    MediaType() = default;

    HRESULT GetMajorType(Guid* majorType) const { return GetGUID(MF_MT_MAJOR_TYPE, majorType); }
    bool IsVideo() const;
    bool IsAudio() const;
    // Both stores hold the same items.
    bool IsEqual(const MediaType& other) const {
        return IsSubsetOf(other) && other.IsSubsetOf(*this);
    }
    // For diagnostics: "YUY2 1920x1080 @60000/1001" or "PCM 48000 Hz 2 ch 16 bit".
    std::string describe() const;
};

// S_OK; E_OUTOFMEMORY when the store cannot be allocated; E_POINTER.
HRESULT MFCreateMediaType(std::unique_ptr<MediaType>* mediaType);
// Makes the calling thread's next `count` MFCreateMediaType calls fail as an exhausted heap
// makes them fail, so that tests can reach the callers' paths for it. Other threads are
// untouched.
void failMediaTypeCreationsOnThisThread(uint32_t count);

// The default row stride in bytes of an uncompressed format (its FourCC, as Guid::data1 of the
// subtype) at this width: the luma row for planar formats. MF_E_INVALIDMEDIATYPE for a format
// without one.
HRESULT MFGetStrideForBitmapInfoHeader(uint32_t format, uint32_t width, int32_t* stride);

}  // namespace tovrel::platform
