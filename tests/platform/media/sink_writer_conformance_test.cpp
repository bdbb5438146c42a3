// The sink writer conformance suite against the FFmpeg writer and the recording double.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/ffmpeg/ffmpeg_sink_writer_factory.h"
#include "platform/media/mf_guids.h"
#include "platform/media/recording_sink_writer.h"
#include "tests/platform/media/sink_writer_conformance.h"
#include "tests/support/file_probe.h"

namespace tovrel::platform::testing {
namespace {

// The FFmpeg writer into a private folder; ffprobe reads the file back.
class FfmpegBackend final : public SinkWriterBackend {
  public:
    FfmpegBackend() {
        char pattern[] = "/tmp/tovrel-writer-conformance-XXXXXX";
        if (::mkdtemp(pattern) != nullptr) dir_ = pattern;
    }
    ~FfmpegBackend() override {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    std::unique_ptr<SinkWriter> create() override { return createAt(dir_ + "/MF1.mp4"); }
    // /dev/full takes every write and fails it with ENOSPC.
    std::unique_ptr<SinkWriter> createUnwritable() override { return createAt("/dev/full"); }
    std::vector<FinishedStream> finished() override {
        const tovrel::testing::ProbedFile file = tovrel::testing::probeFile(path_);
        EXPECT_TRUE(file.readable) << file.errors;
        std::vector<FinishedStream> streams;
        for (const tovrel::testing::ProbedStream& probed : file.streams) {
            FinishedStream stream{probed.codecType, 0, probed.startTime,
                                  probed.startTime + probed.duration};
            // The track's duration, not the last frame's: this ffprobe gives no frame durations
            // in a fragmented file.
            if (probed.codecType == "video")
                stream.videoFrames = tovrel::testing::probeVideoFrames(path_).decoded;
            streams.push_back(stream);
        }
        return streams;
    }

  private:
    std::unique_ptr<SinkWriter> createAt(const std::string& path) {
        path_ = path;
        Attributes attributes;
        attributes.SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_MPEG4);
        std::unique_ptr<SinkWriter> writer;
        EXPECT_EQ(factory_.CreateSinkWriterFromURL(path, &attributes, &writer), S_OK);
        return writer;
    }

    FfmpegSinkWriterFactory factory_;
    std::string dir_;
    std::string path_;
};

// The double's record: the streams' types and the samples accepted, with their times.
class RecordingBackend final : public SinkWriterBackend {
  public:
    std::unique_ptr<SinkWriter> create() override {
        std::unique_ptr<SinkWriter> writer;
        EXPECT_EQ(factory_.CreateSinkWriterFromURL("MF1.mp4", nullptr, &writer), S_OK);
        return writer;
    }
    std::unique_ptr<SinkWriter> createUnwritable() override {
        std::unique_ptr<SinkWriter> writer = create();
        static_cast<RecordingSinkWriter*>(writer.get())->failCall("BeginWriting", E_FAIL);
        return writer;
    }
    std::vector<FinishedStream> finished() override {
        const std::shared_ptr<RecordingSinkWriter::Log> log = factory_.last();
        EXPECT_TRUE(log->finalized && log->released);
        std::vector<FinishedStream> streams(log->outputTypes.size());
        std::vector<bool> any(streams.size(), false);
        for (size_t i = 0; i < streams.size(); ++i) {
            Guid major;
            log->outputTypes[i].GetMajorType(&major);
            streams[i].type = major == MFMediaType_Video ? "video" : "audio";
        }
        for (const RecordingSinkWriter::Written& written : log->samples) {
            if (written.afterFinalize || written.streamIndex >= streams.size()) continue;
            FinishedStream& stream = streams[written.streamIndex];
            const double start = written.time100ns / 1e7;
            double length = 0;
            if (stream.type == "video") {
                uint32_t numerator = 0, denominator = 0;
                MFGetAttributeRatio(&log->outputTypes[written.streamIndex], MF_MT_FRAME_RATE,
                                    &numerator, &denominator);
                length = numerator ? double(denominator) / numerator : 0;
                ++stream.videoFrames;
            } else {
                const MediaType& input = log->inputTypes[written.streamIndex];
                uint32_t rate = 0, channels = 0, bits = 0;
                input.GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
                input.GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
                input.GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
                const uint32_t frameBytes = channels * bits / 8;
                length = rate && frameBytes ? double(written.data.size() / frameBytes) / rate : 0;
            }
            if (!any[written.streamIndex]) stream.start = start;
            any[written.streamIndex] = true;
            stream.end = std::max(stream.end, start + length);
        }
        return streams;
    }

  private:
    RecordingSinkWriterFactory factory_;
};

INSTANTIATE_TEST_SUITE_P(
    EveryWriter, SinkWriterConformance,
    ::testing::Values(
        SinkWriterCase{"Ffmpeg", [](std::string&) { return std::make_unique<FfmpegBackend>(); }},
        SinkWriterCase{"RecordingDouble",
                       [](std::string&) { return std::make_unique<RecordingBackend>(); }}),
    sinkWriterCaseName);

}  // namespace
}  // namespace tovrel::platform::testing
