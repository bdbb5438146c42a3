#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/media/mf_guids.h"
#include "platform/media/source_reader.h"
#include "sim/box/box_model.h"
#include "sim/video/simulated_video_source.h"

namespace tovrel::sim {
namespace {

using namespace platform;

constexpr std::array<SimVideoMode, 3> kModes{{
    {SimPixelFormat::Yuy2, 64, 32, 30, 1},
    {SimPixelFormat::Mjpg, 64, 32, 60000, 1001},
    {SimPixelFormat::Nv12, 64, 32, 60, 1},
}};

struct Pulled {
    HRESULT hr;
    SourceReadResult result;
    std::vector<uint8_t> bytes;
};

Pulled pull(SimulatedVideoSource& source, uint32_t timeoutMs = 200) {
    Pulled out;
    out.hr = source.pullSample(0, timeoutMs, &out.result);
    if (out.hr == S_OK && out.result.sample) {
        std::shared_ptr<MediaBuffer> buffer;
        out.result.sample->ConvertToContiguousBuffer(&buffer);
        uint8_t* data = nullptr;
        uint32_t length = 0;
        buffer->Lock(&data, nullptr, &length);
        out.bytes.assign(data, data + length);
        buffer->Unlock();
    }
    return out;
}

struct JpegInfo {
    int width = 0, height = 0, subsampling = -1;
    bool readable = false;
};
// Mean of every second byte from `first`: luma (0) or chroma (1) of a YUY2 frame.
double meanOf(const std::vector<uint8_t>& yuy2, size_t first) {
    double sum = 0;
    for (size_t i = first; i < yuy2.size(); i += 2) sum += yuy2[i];
    return sum / static_cast<double>(yuy2.size() / 2);
}

JpegInfo jpegInfo(const std::vector<uint8_t>& jpeg) {
    JpegInfo info;
    tjhandle handle = tjInitDecompress();
    int colorspace = 0;
    info.readable = tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &info.width, &info.height,
                                        &info.subsampling, &colorspace) == 0;
    tjDestroy(handle);
    return info;
}

TEST(BoxModels, EveryModelListsItsNamesAndAtLeastOneUncompressedOrMjpegMode) {
    for (const BoxModel& model : kBoxModels) {
        SCOPED_TRACE(std::string(model.model));
        EXPECT_NE(model.audioFriendlyName.find(model.model), std::string_view::npos);
        EXPECT_FALSE(model.modes.empty());
        auto types = SimulatedVideoSource::nativeTypesOf(model.modes);
        ASSERT_EQ(types.size(), model.modes.size());
        for (const MediaType& type : types) {
            EXPECT_TRUE(type.IsVideo());
            uint32_t w = 0, h = 0;
            EXPECT_EQ(MFGetAttributeSize(&type, MF_MT_FRAME_SIZE, &w, &h), S_OK);
            EXPECT_EQ(w % 2, 0u);
        }
    }
    EXPECT_EQ(findBoxModel("QUORVA PX40")->px40, true);
    EXPECT_EQ(findBoxModel("nothing"), nullptr);
}

TEST(SimulatedVideoSource, OffersTheModesAsNativeTypesInOrder) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    std::vector<MediaType> types;
    ASSERT_EQ(source.nativeTypes(0, &types), S_OK);
    ASSERT_EQ(types.size(), 3u);
    Guid subtype;
    types[1].GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_EQ(subtype, MFVideoFormat_MJPG);
    uint32_t n = 0, d = 0;
    MFGetAttributeRatio(&types[1], MF_MT_FRAME_RATE, &n, &d);
    EXPECT_EQ(n, 60000u);
    EXPECT_EQ(d, 1001u);
    std::unique_ptr<PresentationDescriptor> presentation;
    ASSERT_EQ(source.CreatePresentationDescriptor(&presentation), S_OK);
    uint32_t count = 0;
    presentation->GetStreamDescriptorCount(&count);
    EXPECT_EQ(count, 1u);
}

TEST(SimulatedVideoSource, SteppedFramesCarryTimeStampsOfTheModesRate) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    ASSERT_EQ(source.startStream(0), S_OK);
    EXPECT_EQ(pull(source, 20).hr, S_FALSE) << "nothing until a step";
    source.step(2);
    Pulled first = pull(source);
    Pulled second = pull(source);
    ASSERT_EQ(first.hr, S_OK);
    ASSERT_EQ(second.hr, S_OK);
    EXPECT_EQ(first.result.timestamp100ns, 0);
    EXPECT_EQ(second.result.timestamp100ns, 333333);
    EXPECT_EQ(first.bytes.size(), 64u * 32u * 2u);
    EXPECT_NE(first.bytes, second.bytes) << "the picture moves";
    int64_t duration = 0;
    second.result.sample->GetSampleDuration(&duration);
    EXPECT_EQ(duration, 333333);
    EXPECT_EQ(source.framesDelivered(), 2u);
}

// Frames follow the rate on the box's clock (the monotonic clock, in whole periods of it), and
// each says when it was due there, however late it is pulled.
TEST(SimulatedVideoSource, RealTimePacingFollowsTheRate) {
    constexpr std::array<SimVideoMode, 1> fast{{{SimPixelFormat::Yuy2, 32, 16, 100, 1}}};
    SimulatedVideoSource source(fast);
    source.startStream(0);
    const auto now100ns = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count() /
               100;
    };
    const auto start = std::chrono::steady_clock::now();
    int frames = 0;
    int64_t previousDue = 0;
    while (frames < 6) {
        Pulled p = pull(source);
        if (p.hr != S_OK) continue;
        const int64_t pulled = now100ns();
        uint64_t due = 0;
        ASSERT_EQ(p.result.sample->GetUINT64(MFSampleExtension_DeviceReferenceSystemTime, &due),
                  S_OK);
        EXPECT_EQ(static_cast<int64_t>(due) % 100'000, 0) << "off the box clock's periods";
        EXPECT_LE(static_cast<int64_t>(due), pulled);
        if (frames > 0) {
            // A frame the busy machine pulled too late for is skipped, as from hardware.
            EXPECT_GT(static_cast<int64_t>(due), previousDue);
            EXPECT_EQ((static_cast<int64_t>(due) - previousDue) % 100'000, 0);
        }
        previousDue = static_cast<int64_t>(due);
        ++frames;
        if (frames == 3) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
    EXPECT_GE(elapsedMs, 45);  // frames 0..5 at 10 ms
    EXPECT_LT(elapsedMs, 1000);
}

// The sync pattern: the first frame of every second of the box's clock is white, whatever the
// picture controls say, and the others are the test picture; the video tells the sound its period.
TEST(SimulatedVideoSource, TheSyncPatternFlashesTheFirstFrameOfEverySecond) {
    auto pattern = std::make_shared<SyncPattern>(true);
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped, nullptr, pattern);
    source.pictureControls().set(0, 200);
    ASSERT_EQ(source.startStream(0), S_OK);  // YUY2 at 30 frames a second
    source.step(62);
    for (int n = 0; n < 62; ++n) {
        Pulled p = pull(source);
        ASSERT_EQ(p.hr, S_OK) << n;
        const bool white = meanOf(p.bytes, 0) == SyncPattern::kWhiteLuma &&
                           meanOf(p.bytes, 1) == SyncPattern::kWhiteChroma;
        EXPECT_EQ(white, n % 30 == 0) << "frame " << n;
        if (n % 30 != 0) {
            EXPECT_LT(meanOf(p.bytes, 0), 200.0) << "frame " << n;
        }
    }
    EXPECT_EQ(pattern->videoRateNumerator(), 30u);
    pattern->setEnabled(false);
    source.step(1);
    EXPECT_LT(meanOf(pull(source).bytes, 0), 200.0)
        << "frame 62 after the pattern was switched off";

    // At 59.94 frames a second the flash is the first frame at or after the whole second.
    EXPECT_TRUE(SyncPattern::flashes(0, 60000, 1001));
    EXPECT_EQ(SyncPattern::flashTime(1, 60000, 1001), 10'010'000);  // frame 60
    EXPECT_TRUE(SyncPattern::flashes(60, 60000, 1001));
    EXPECT_FALSE(SyncPattern::flashes(59, 60000, 1001));
    EXPECT_FALSE(SyncPattern::flashes(61, 60000, 1001));
    // 1001 seconds are 60,000 frames exactly; the flash of second 1000 is frame 59,941.
    EXPECT_TRUE(SyncPattern::flashes(60000, 60000, 1001));
    EXPECT_EQ(SyncPattern::flashTime(1001, 60000, 1001), 10'010'000'000);
    EXPECT_TRUE(SyncPattern::flashes(59941, 60000, 1001));
    EXPECT_FALSE(SyncPattern::flashes(59940, 60000, 1001));
    EXPECT_EQ(SyncPattern::flashTime(1000, 60000, 1001), 10'000'156'833);
    EXPECT_TRUE(SyncPattern::flashes(59881, 60000, 1001));
    EXPECT_FALSE(SyncPattern::flashes(59880, 60000, 1001));
}

TEST(SimulatedVideoSource, MjpegFramesAre422AtTheModesSize) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    source.selectNativeType(0, 1);
    source.startStream(0);
    source.step(1);
    Pulled frame = pull(source);
    ASSERT_EQ(frame.hr, S_OK);
    JpegInfo info = jpegInfo(frame.bytes);
    ASSERT_TRUE(info.readable);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 32);
    EXPECT_EQ(info.subsampling, TJSAMP_422);
}

TEST(SimulatedVideoSource, JpegFaultsSpoilTheNextFramesOnly) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    source.selectNativeType(0, 1);
    source.startStream(0);
    source.step(5);
    Pulled good = pull(source);
    source.injectFault(VideoFault::CorruptJpeg);
    EXPECT_FALSE(jpegInfo(pull(source).bytes).readable);
    source.injectFault(VideoFault::TruncatedJpeg);
    EXPECT_LT(pull(source).bytes.size(), good.bytes.size() / 2);
    source.injectFault(VideoFault::WrongSizeJpeg);
    source.injectFault(VideoFault::Jpeg420);
    JpegInfo odd = jpegInfo(pull(source).bytes);
    EXPECT_EQ(odd.width, 32);
    EXPECT_EQ(odd.subsampling, TJSAMP_420);
    JpegInfo back = jpegInfo(pull(source).bytes);
    EXPECT_EQ(back.width, 64);
    EXPECT_EQ(back.subsampling, TJSAMP_422);
}

TEST(SimulatedVideoSource, Nv12FramesMatchTheirYuy2Twin) {
    SimulatedVideoSource yuy2(kModes, SimulatedVideoSource::Pacing::Stepped);
    SimulatedVideoSource nv12(kModes, SimulatedVideoSource::Pacing::Stepped);
    nv12.selectNativeType(0, 2);
    yuy2.startStream(0);
    nv12.startStream(0);
    yuy2.step();
    nv12.step();
    Pulled a = pull(yuy2), b = pull(nv12);
    ASSERT_EQ(b.bytes.size(), 64u * 32u * 3u / 2u);
    for (size_t i = 0; i < 64u * 32u; ++i) ASSERT_EQ(b.bytes[i], a.bytes[2 * i]) << "luma " << i;
    nv12.injectFault(VideoFault::ShortSample);
    nv12.step();
    EXPECT_EQ(pull(nv12).bytes.size(), 64u * 32u * 3u / 4u);
}

TEST(SimulatedVideoSource, StreamFaults) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    source.startStream(0);
    source.step(10);
    source.injectFault(VideoFault::MediaTypeChange);
    Pulled change = pull(source);
    EXPECT_EQ(change.hr, S_OK);
    EXPECT_EQ(change.result.streamFlags, MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED);
    EXPECT_EQ(source.nativeIndex(), 1u);

    source.injectFault(VideoFault::Stall);
    EXPECT_EQ(pull(source, 30).hr, S_FALSE);
    source.clearFaults();
    EXPECT_EQ(pull(source).hr, S_OK);

    source.injectFault(VideoFault::EndOfStream);
    EXPECT_EQ(pull(source).result.streamFlags, MF_SOURCE_READERF_ENDOFSTREAM);
    EXPECT_EQ(pull(source).result.streamFlags, MF_SOURCE_READERF_ENDOFSTREAM)
        << "ended stays ended";
    source.stopStream(0);
    source.startStream(0);
    source.step();
    EXPECT_TRUE(pull(source).result.sample) << "a restart streams again";

    source.injectFault(VideoFault::Unplug);
    EXPECT_EQ(pull(source).hr, MF_E_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(source.startStream(0), MF_E_DEVICE_NOT_CONNECTED);
    source.Shutdown();
    EXPECT_EQ(pull(source).hr, MF_E_SHUTDOWN);
    EXPECT_EQ(source.startStream(0), MF_E_SHUTDOWN);
}

TEST(SimulatedVideoSource, PictureControlsChangeTheFramesItDraws) {
    // The same frame from a twin left at the defaults is the reference.
    SimulatedVideoSource reference(kModes, SimulatedVideoSource::Pacing::Stepped);
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    VideoProcAmp& amp = *source.videoProcAmp();
    reference.startStream(0);
    source.startStream(0);
    auto frames = [&] {
        reference.step();
        source.step();
        Pulled a = pull(reference), b = pull(source);
        EXPECT_EQ(a.hr, S_OK);
        EXPECT_EQ(b.hr, S_OK);
        return std::pair{a.bytes, b.bytes};
    };
    auto set = [&](int32_t property, int32_t value) {
        ASSERT_EQ(amp.Set(property, value, VideoProcAmp_Flags_Manual), S_OK);
    };
    auto [plain, same] = frames();
    EXPECT_EQ(plain, same) << "every control at its default leaves the picture as it was";

    set(VideoProcAmp_Brightness, 255);
    auto [dim, bright] = frames();
    EXPECT_GT(meanOf(bright, 0), meanOf(dim, 0) + 60);
    EXPECT_EQ(meanOf(bright, 1), meanOf(dim, 1)) << "brightness leaves the colours";
    set(VideoProcAmp_Brightness, 0);
    auto [normal, dark] = frames();
    EXPECT_LT(meanOf(dark, 0), meanOf(normal, 0) - 60);

    // No contrast is a flat mid grey; no saturation is no colour at all.
    set(VideoProcAmp_Brightness, 128);
    set(VideoProcAmp_Contrast, 0);
    set(VideoProcAmp_Saturation, 0);
    auto [coloured, grey] = frames();
    for (size_t i = 0; i < grey.size(); ++i) ASSERT_EQ(grey[i], 128) << i;
    EXPECT_NE(coloured, grey);

    // Hue turns the colours without making them paler.
    set(VideoProcAmp_Contrast, 128);
    set(VideoProcAmp_Saturation, 128);
    set(VideoProcAmp_Hue, 0);
    auto [hues, turned] = frames();
    double before = 0, after = 0;
    bool changed = false;
    for (size_t i = 1; i < turned.size(); i += 2) {
        before += std::abs(hues[i] - 128);
        after += std::abs(turned[i] - 128);
        changed |= hues[i] != turned[i];
    }
    EXPECT_TRUE(changed);
    EXPECT_NEAR(after / before, 1.0, 0.25);
}

TEST(SimulatedVideoSource, TheBoxKeepsItsControlValuesUntilItIsPluggedAgain) {
    const BoxModel& usb3 = *findBoxModel("QUORVA PX50h");
    auto entry = simulatedVideoEntry(usb3, SimulatedVideoSource::Pacing::Stepped);
    std::shared_ptr<MediaSource> first, second, replugged;
    ASSERT_EQ(entry.activation(&first), S_OK);
    int32_t minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0, value = 0, flags = 0;
    ASSERT_EQ(first->videoProcAmp()->GetRange(VideoProcAmp_Brightness, &minimum, &maximum, &step,
                                              &defaultValue, &caps),
              S_OK);
    EXPECT_EQ(minimum, 0);
    EXPECT_EQ(maximum, 255);
    EXPECT_EQ(defaultValue, 128);
    EXPECT_EQ(first->videoProcAmp()->GetRange(VideoProcAmp_Sharpness, &minimum, &maximum, &step,
                                              &defaultValue, &caps),
              E_PROP_ID_UNSUPPORTED)
        << "the USB 3.0 box has no sharpness";
    ASSERT_EQ(first->videoProcAmp()->Set(VideoProcAmp_Brightness, 200, VideoProcAmp_Flags_Manual),
              S_OK);
    first->Shutdown();

    // A restart activates the device again: the value is still there.
    ASSERT_EQ(entry.activation(&second), S_OK);
    ASSERT_EQ(second->videoProcAmp()->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(value, 200);
    EXPECT_EQ(static_cast<SimulatedVideoSource*>(second.get())->pictureControls().values()[0], 200);
    // Plugged in again (a new entry), the device starts from its defaults.
    ASSERT_EQ(
        simulatedVideoEntry(usb3, SimulatedVideoSource::Pacing::Stepped).activation(&replugged),
        S_OK);
    ASSERT_EQ(replugged->videoProcAmp()->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(value, 128);

    // The USB 2.0 boxes count brightness from -128 and have sharpness.
    std::shared_ptr<MediaSource> usb2;
    ASSERT_EQ(simulatedVideoEntry(*findBoxModel("Norvik"), SimulatedVideoSource::Pacing::Stepped)
                  .activation(&usb2),
              S_OK);
    ASSERT_EQ(usb2->videoProcAmp()->GetRange(VideoProcAmp_Brightness, &minimum, &maximum, &step,
                                             &defaultValue, &caps),
              S_OK);
    EXPECT_EQ(minimum, -128);
    EXPECT_EQ(defaultValue, 0);
    EXPECT_EQ(usb2->videoProcAmp()->GetRange(VideoProcAmp_Sharpness, &minimum, &maximum, &step,
                                             &defaultValue, &caps),
              S_OK);
}

TEST(SimulatedVideoSource, CancelWakesAWaitingPull) {
    SimulatedVideoSource source(kModes, SimulatedVideoSource::Pacing::Stepped);
    source.startStream(0);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        source.cancelPull(0);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pull(source, 5000).hr, S_FALSE);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(SimulatedVideoSource, ThroughTheSourceReaderAsTheBoxsEntry) {
    const BoxModel& model = *findBoxModel("Sorvane");
    auto entry = simulatedVideoEntry(model, SimulatedVideoSource::Pacing::Stepped);
    EXPECT_EQ(entry.friendlyName, "Sorvane USB 3.0 Video Bridge");
    std::shared_ptr<MediaSource> opened;
    ASSERT_EQ(entry.activation(&opened), S_OK);
    auto* source = static_cast<SimulatedVideoSource*>(opened.get());
    std::unique_ptr<SourceReader> reader;
    Attributes attributes;
    attributes.SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, 1);
    ASSERT_EQ(MFCreateSourceReaderFromMediaSource(opened, &attributes, &reader), S_OK);
    MediaType nv12;
    nv12.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
    uint32_t flags = 0;
    ASSERT_EQ(reader->SetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, nv12, &flags), S_OK);
    EXPECT_EQ(source->nativeIndex(), 4u);
    MediaType yuy2;
    yuy2.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
    ASSERT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, yuy2), S_OK);
    EXPECT_EQ(source->nativeIndex(), 4u) << "converted, not switched to the YUY2 mode";
    source->step();
    uint32_t stream = 0;
    int64_t time = 0;
    std::shared_ptr<Sample> sample;
    ASSERT_EQ(
        reader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, &stream, &flags, &time, &sample),
        S_OK);
    uint32_t length = 0;
    sample->GetTotalLength(&length);
    EXPECT_EQ(length, 1920u * 1080u * 2u);
}

}  // namespace
}  // namespace tovrel::sim
