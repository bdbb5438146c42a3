#pragma once

#include <cstdint>

#include "platform/system/hresult.h"

namespace tovrel::platform {

// Share modes of an audio client; the monitor only ever asks for the shared one.
enum class AudioShareMode { AUDCLNT_SHAREMODE_SHARED, AUDCLNT_SHAREMODE_EXCLUSIVE };

// Stream flags of AudioClient::Initialize.
constexpr uint32_t AUDCLNT_STREAMFLAGS_RATEADJUST = 0x00100000u;
constexpr uint32_t AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY = 0x08000000u;
constexpr uint32_t AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM = 0x80000000u;

// Flags of AudioRenderClient::ReleaseBuffer.
constexpr uint32_t AUDCLNT_BUFFERFLAGS_SILENT = 0x2u;

// Result codes, with the platform's values.
constexpr HRESULT AUDCLNT_E_NOT_INITIALIZED = static_cast<HRESULT>(0x88890001u);
constexpr HRESULT AUDCLNT_E_ALREADY_INITIALIZED = static_cast<HRESULT>(0x88890002u);
constexpr HRESULT AUDCLNT_E_DEVICE_INVALIDATED = static_cast<HRESULT>(0x88890004u);
constexpr HRESULT AUDCLNT_E_NOT_STOPPED = static_cast<HRESULT>(0x88890005u);
constexpr HRESULT AUDCLNT_E_BUFFER_TOO_LARGE = static_cast<HRESULT>(0x88890006u);
constexpr HRESULT AUDCLNT_E_OUT_OF_ORDER = static_cast<HRESULT>(0x88890007u);
constexpr HRESULT AUDCLNT_E_UNSUPPORTED_FORMAT = static_cast<HRESULT>(0x88890008u);
constexpr HRESULT AUDCLNT_E_INVALID_SIZE = static_cast<HRESULT>(0x88890009u);
constexpr HRESULT AUDCLNT_E_SERVICE_NOT_RUNNING = static_cast<HRESULT>(0x88890010u);
constexpr HRESULT AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED = static_cast<HRESULT>(0x88890019u);
// No device of the asked role (HRESULT_FROM_WIN32(ERROR_NOT_FOUND)).
constexpr HRESULT E_NOTFOUND = static_cast<HRESULT>(0x80070490u);

}  // namespace tovrel::platform
