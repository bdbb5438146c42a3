#include "capture/mf_manager.h"

#include "platform/media/mf_guids.h"

namespace tovrel::capture {

using namespace platform;

// Asks for PCM and nothing else: rate, channels and depth are whatever the endpoint offers.
HRESULT MFManager::configureAudioType(SourceReader* reader) {
    TOVREL_CHECK_THREAD(guiThread);
    audioFormat = audio::AudioFormat{};
    if (reader == nullptr) return E_POINTER;
    std::unique_ptr<MediaType> requested;
    HRESULT hr = MFCreateMediaType(&requested);
    if (SUCCEEDED(hr)) hr = requested->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    if (SUCCEEDED(hr)) hr = requested->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    if (SUCCEEDED(hr))
        hr = reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, *requested);
    std::unique_ptr<MediaType> current;
    if (SUCCEEDED(hr))
        hr = reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, &current);
    if (SUCCEEDED(hr)) hr = reader->SetStreamSelection(MF_SOURCE_READER_FIRST_AUDIO_STREAM, true);
    if (current) {
        current->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &audioFormat.samplesPerSecond);
        current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &audioFormat.channels);
        current->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &audioFormat.bitsPerSample);
        current->GetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, &audioFormat.blockAlign);
        Guid subtype;
        audioFormat.isPcm =
            SUCCEEDED(current->GetGUID(MF_MT_SUBTYPE, &subtype)) && subtype == MFAudioFormat_PCM;
    }
    // Without storage (no format, no memory) the ring refuses every write: the analyzer then
    // simply gets nothing.
    analysisRing.create(audioFormat.analysisRingBytes());
    return hr;
}

}  // namespace tovrel::capture
