#pragma once

#include <cstdint>

#include "capture/video_mode.h"
#include "platform/media/media_source.h"

namespace tovrel::capture {

// Records in `indices` the first native type of YUY2, MJPEG and NV12 on the source's first
// stream. The caller resets the indices beforehand; formats the source lacks keep their value
// (an audio source finds none). Returns the first failure of the descriptor chain, else S_OK.
// GUI thread.
platform::HRESULT scanMediaTypes(platform::MediaSource& source, FirstFormatIndices* indices);

// The family to open the device with: the requested MJPEG or NV12 when the device has it,
// otherwise the first of YUY2, MJPEG, NV12 that it has, else kFormatNone.
int32_t chooseVideoFormat(int32_t requestedFormat, const FirstFormatIndices& indices);

}  // namespace tovrel::capture
