#pragma once

#include <cstdint>

#include "platform/system/hresult.h"

namespace tovrel::platform {

// Result codes of the media layer, with the platform's values.
constexpr HRESULT MF_E_INVALIDREQUEST = static_cast<HRESULT>(0xC00D36B2u);
constexpr HRESULT MF_E_INVALIDSTREAMNUMBER = static_cast<HRESULT>(0xC00D36B3u);
constexpr HRESULT MF_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0xC00D36B4u);
constexpr HRESULT MF_E_NOTACCEPTING = static_cast<HRESULT>(0xC00D36B5u);
constexpr HRESULT MF_E_NO_MORE_TYPES = static_cast<HRESULT>(0xC00D36B9u);
constexpr HRESULT MF_E_INVALIDTYPE = static_cast<HRESULT>(0xC00D36BDu);
constexpr HRESULT MF_E_ATTRIBUTENOTFOUND = static_cast<HRESULT>(0xC00D36E6u);
constexpr HRESULT MF_E_BUFFERTOOSMALL = static_cast<HRESULT>(0xC00D36B1u);
constexpr HRESULT MF_E_SHUTDOWN = static_cast<HRESULT>(0xC00D3E85u);
constexpr HRESULT MF_E_END_OF_STREAM = static_cast<HRESULT>(0xC00D3E84u);
// The device went away while in use (HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED)).
constexpr HRESULT MF_E_DEVICE_NOT_CONNECTED = static_cast<HRESULT>(0x8007048Fu);
// No encoder for a stream's output type could be found or opened.
constexpr HRESULT MF_E_TOPO_CODEC_NOT_FOUND = static_cast<HRESULT>(0xC00D5212u);

// Stream indices of the source reader.
constexpr uint32_t MF_SOURCE_READER_FIRST_VIDEO_STREAM = 0xFFFFFFFCu;
constexpr uint32_t MF_SOURCE_READER_FIRST_AUDIO_STREAM = 0xFFFFFFFDu;
constexpr uint32_t MF_SOURCE_READER_ALL_STREAMS = 0xFFFFFFFEu;
constexpr uint32_t MF_SOURCE_READER_ANY_STREAM = 0xFFFFFFFEu;

// Stream flags handed to OnReadSample.
constexpr uint32_t MF_SOURCE_READERF_ERROR = 0x1;
constexpr uint32_t MF_SOURCE_READERF_ENDOFSTREAM = 0x2;
constexpr uint32_t MF_SOURCE_READERF_NEWSTREAM = 0x4;
constexpr uint32_t MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED = 0x10;
constexpr uint32_t MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED = 0x20;
constexpr uint32_t MF_SOURCE_READERF_STREAMTICK = 0x100;

// Reader creation flags.
constexpr uint32_t MF_SOURCE_READER_CONTROLF_DRAIN = 0x1;

}  // namespace tovrel::platform
