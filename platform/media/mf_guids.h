#pragma once

#include "platform/media/guid.h"

namespace tovrel::platform {

// Major types, subtypes and attribute keys of the media layer, under the platform's names.
// Keys not named by the platform's headers use private values of our own (family 0x7E0Dxxxx).

namespace detail {
constexpr Guid key(uint32_t n) {
    return Guid{0x7E0D0000u + n, 0x4D46, 0x4B45, {0x59, 0x53, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
}
}  // namespace detail

// Major types.
constexpr Guid MFMediaType_Video = fourccGuid('v', 'i', 'd', 's');
constexpr Guid MFMediaType_Audio = fourccGuid('a', 'u', 'd', 's');

// Video subtypes.
constexpr Guid MFVideoFormat_YUY2 = fourccGuid('Y', 'U', 'Y', '2');
constexpr Guid MFVideoFormat_MJPG = fourccGuid('M', 'J', 'P', 'G');
constexpr Guid MFVideoFormat_NV12 = fourccGuid('N', 'V', '1', '2');
constexpr Guid MFVideoFormat_RGB32 = numberGuid(22);
constexpr Guid MFVideoFormat_H264 = fourccGuid('H', '2', '6', '4');
constexpr Guid MFVideoFormat_HEVC = fourccGuid('H', 'E', 'V', 'C');

// Audio subtypes.
constexpr Guid MFAudioFormat_PCM = numberGuid(1);
constexpr Guid MFAudioFormat_Float = numberGuid(3);
constexpr Guid MFAudioFormat_MP3 = numberGuid(0x55);
constexpr Guid MFAudioFormat_AAC = numberGuid(0x1610);

// Media type attributes.
constexpr Guid MF_MT_MAJOR_TYPE = detail::key(1);          // GUID
constexpr Guid MF_MT_SUBTYPE = detail::key(2);             // GUID
constexpr Guid MF_MT_FRAME_SIZE = detail::key(3);          // UINT64: width << 32 | height
constexpr Guid MF_MT_FRAME_RATE = detail::key(4);          // UINT64: numerator << 32 | denominator
constexpr Guid MF_MT_DEFAULT_STRIDE = detail::key(5);      // UINT32 (signed stride)
constexpr Guid MF_MT_INTERLACE_MODE = detail::key(6);      // UINT32
constexpr Guid MF_MT_PIXEL_ASPECT_RATIO = detail::key(7);  // UINT64 ratio
constexpr Guid MF_MT_AVG_BITRATE = detail::key(8);         // UINT32
constexpr Guid MF_MT_ALL_SAMPLES_INDEPENDENT = detail::key(9);  // UINT32
constexpr Guid MF_MT_FIXED_SIZE_SAMPLES = detail::key(10);      // UINT32
constexpr Guid MF_MT_SAMPLE_SIZE = detail::key(11);             // UINT32
constexpr Guid MF_MT_FRAME_RATE_RANGE_MIN = detail::key(12);    // UINT64 ratio
constexpr Guid MF_MT_FRAME_RATE_RANGE_MAX = detail::key(13);    // UINT64 ratio
constexpr Guid MF_MT_VIDEO_CHROMA_SITING = detail::key(14);     // UINT32
constexpr Guid MF_MT_MPEG2_PROFILE = detail::key(15);           // UINT32
constexpr Guid MF_MT_MPEG2_LEVEL = detail::key(16);             // UINT32
constexpr Guid MF_MT_USER_DATA = detail::key(17);               // blob
constexpr Guid MF_MT_AM_FORMAT_TYPE = detail::key(18);          // GUID
constexpr Guid FORMAT_VideoInfo2 = detail::key(19);
constexpr Guid MF_MT_AUDIO_NUM_CHANNELS = detail::key(30);           // UINT32
constexpr Guid MF_MT_AUDIO_SAMPLES_PER_SECOND = detail::key(31);     // UINT32
constexpr Guid MF_MT_AUDIO_BITS_PER_SAMPLE = detail::key(32);        // UINT32
constexpr Guid MF_MT_AUDIO_BLOCK_ALIGNMENT = detail::key(33);        // UINT32
constexpr Guid MF_MT_AUDIO_AVG_BYTES_PER_SECOND = detail::key(34);   // UINT32
constexpr Guid MF_MT_AUDIO_VALID_BITS_PER_SAMPLE = detail::key(35);  // UINT32
constexpr Guid MF_MT_AUDIO_CHANNEL_MASK = detail::key(36);           // UINT32

// Capture device attributes.
constexpr Guid MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE = detail::key(50);  // GUID
constexpr Guid MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID = detail::key(51);
constexpr Guid MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID = detail::key(52);
constexpr Guid MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME = detail::key(53);                     // string
constexpr Guid MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK = detail::key(54);  // string
constexpr Guid MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID = detail::key(55);    // string

// Source reader and read/write attributes.
constexpr Guid MF_SOURCE_READER_ASYNC_CALLBACK = detail::key(70);  // unknown: SourceReaderCallback
constexpr Guid MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING = detail::key(71);  // UINT32
constexpr Guid MF_LOW_LATENCY = detail::key(72);                            // UINT32
constexpr Guid MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS = detail::key(73);   // UINT32
constexpr Guid MF_READWRITE_DISABLE_CONVERTERS = detail::key(74);           // UINT32
constexpr Guid MF_SINK_WRITER_DISABLE_THROTTLING = detail::key(75);         // UINT32
constexpr Guid MF_TRANSCODE_CONTAINERTYPE = detail::key(76);                // GUID
constexpr Guid MFTranscodeContainerType_MPEG4 = detail::key(77);

// Encoder properties, set as attributes of a sink writer stream's output type.
constexpr Guid CODECAPI_AVEncCommonRateControlMode = detail::key(80);  // UINT32
constexpr Guid CODECAPI_AVEncMPVGOPSize = detail::key(81);             // UINT32
constexpr Guid CODECAPI_AVLowLatencyMode = MF_LOW_LATENCY;             // UINT32
constexpr uint32_t eAVEncCommonRateControlMode_Quality = 3;
constexpr uint32_t eAVEncH264VProfile_High = 100;
constexpr uint32_t eAVEncH265VProfile_Main_420_8 = 1;

// Sample attributes.
constexpr Guid MFSampleExtension_CleanPoint = detail::key(90);     // UINT32
constexpr Guid MFSampleExtension_Discontinuity = detail::key(91);  // UINT32
// When the device captured the sample (for sound, its first frame), on the system's monotonic
// clock in 100 ns: the time a late callback cannot move. UINT64, set by the sources that know it.
constexpr Guid MFSampleExtension_DeviceReferenceSystemTime = detail::key(92);

// Interlace modes and chroma siting values used with the keys above.
constexpr uint32_t MFVideoInterlace_Progressive = 2;
constexpr uint32_t MFVideoChromaSubsampling_Vertically_AlignedChromaPlanes = 0x1;

}  // namespace tovrel::platform
