#include "tests/support/sync_measurement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include "sim/box/sync_pattern.h"

namespace tovrel::testing {

namespace {

// A white frame of the video range stays far above this after any encoder; the test picture's
// mean is about half of it.
constexpr double kFlashLuma = 200.0;
// The click's peak is 0.7 of full scale; silence between clicks stays near 0 after encoding.
constexpr double kClickLevel = 0.1;
// Loud samples closer than this belong to one click.
constexpr double kClickGapSeconds = 0.05;
// The part of a click's energy that decides its centre: its loud part and a little around it.
constexpr double kClickMarginSeconds = 0.005;
constexpr double kGridToleranceMs = 0.1;

struct Decoder {
    AVCodecContext* context = nullptr;
    int streamIndex = -1;
    AVRational timeBase{1, 1};
    ~Decoder() { avcodec_free_context(&context); }

    bool open(AVFormatContext* format, AVMediaType type, std::string* error) {
        const AVCodec* codec = nullptr;
        streamIndex = av_find_best_stream(format, type, -1, -1, &codec, 0);
        if (streamIndex < 0 || codec == nullptr) {
            *error = std::string("no ") + av_get_media_type_string(type) + " stream";
            return false;
        }
        AVStream* stream = format->streams[streamIndex];
        timeBase = stream->time_base;
        context = avcodec_alloc_context3(codec);
        if (context == nullptr || avcodec_parameters_to_context(context, stream->codecpar) < 0 ||
            avcodec_open2(context, codec, nullptr) < 0) {
            *error = std::string("cannot open the ") + av_get_media_type_string(type) + " decoder";
            return false;
        }
        return true;
    }
};

double meanLuma(const AVFrame* frame) {
    // Every format an H.264 or HEVC decoder gives here has 8-bit luma first.
    double sum = 0;
    for (int y = 0; y < frame->height; ++y) {
        const uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        uint64_t rowSum = 0;
        for (int x = 0; x < frame->width; ++x) rowSum += row[x];
        sum += static_cast<double>(rowSum);
    }
    return sum / (static_cast<double>(frame->width) * frame->height);
}

// The first channel of a decoded audio frame as −1 … 1.
void appendFirstChannel(const AVFrame* frame, std::vector<float>* out) {
    const int n = frame->nb_samples;
    const int channels = frame->ch_layout.nb_channels;
    for (int i = 0; i < n; ++i) {
        float value = 0;
        switch (frame->format) {
            case AV_SAMPLE_FMT_FLTP:
                value = reinterpret_cast<const float*>(frame->extended_data[0])[i];
                break;
            case AV_SAMPLE_FMT_FLT:
                value = reinterpret_cast<const float*>(frame->extended_data[0])[i * channels];
                break;
            case AV_SAMPLE_FMT_S16P:
                value = reinterpret_cast<const int16_t*>(frame->extended_data[0])[i] / 32768.0f;
                break;
            case AV_SAMPLE_FMT_S16:
                value = reinterpret_cast<const int16_t*>(frame->extended_data[0])[i * channels] /
                        32768.0f;
                break;
            case AV_SAMPLE_FMT_S32P:
                value = static_cast<float>(
                    reinterpret_cast<const int32_t*>(frame->extended_data[0])[i] / 2147483648.0);
                break;
            default:
                break;
        }
        out->push_back(value);
    }
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())) - 1);
    return values[std::min(index, values.size() - 1)];
}

}  // namespace

SyncMeasurement SyncMeasurement::measure(const std::string& path, int gridNumerator,
                                         int gridDenominator) {
    SyncMeasurement m;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        m.error = "cannot open " + path;
        return m;
    }
    struct Closer {
        AVFormatContext** f;
        ~Closer() { avformat_close_input(f); }
    } closer{&format};
    if (avformat_find_stream_info(format, nullptr) < 0) {
        m.error = "cannot read the streams of " + path;
        return m;
    }
    Decoder video, audio;
    if (!video.open(format, AVMEDIA_TYPE_VIDEO, &m.error)) return m;
    // A file without sound is measured for its frames alone.
    std::string noSound;
    const bool haveSound = audio.open(format, AVMEDIA_TYPE_AUDIO, &noSound);
    const AVRational guessed = format->streams[video.streamIndex]->r_frame_rate;
    m.rateNumerator = guessed.num;
    m.rateDenominator = guessed.den;
    if (gridNumerator <= 0) {
        gridNumerator = guessed.num;
        gridDenominator = guessed.den;
    }

    std::vector<double> frameTimes;
    std::vector<double> flashTimes;
    bool previousWhite = false;
    std::vector<float> sound;
    double soundStart = NAN;
    int rate = haveSound ? audio.context->sample_rate : 48'000;

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto take = [&](Decoder& d) {
        while (avcodec_receive_frame(d.context, frame) >= 0) {
            const int64_t pts = frame->best_effort_timestamp;
            const double time = pts == AV_NOPTS_VALUE ? NAN : pts * av_q2d(d.timeBase);
            if (&d == &video) {
                // A white frame right after one is the flash repeated (a frame the writer
                // filled in), not a flash of its own.
                const bool white = meanLuma(frame) > kFlashLuma;
                if (white && !previousWhite) flashTimes.push_back(time);
                previousWhite = white;
                frameTimes.push_back(time);
            } else {
                // The sound is taken as one continuous run from its first decoded sample: the
                // writer gives it no gaps (it fills them with silence).
                if (std::isnan(soundStart)) soundStart = time;
                rate = frame->sample_rate;
                appendFirstChannel(frame, &sound);
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        Decoder* d = packet->stream_index == video.streamIndex                ? &video
                     : haveSound && packet->stream_index == audio.streamIndex ? &audio
                                                                              : nullptr;
        if (d != nullptr && avcodec_send_packet(d->context, packet) >= 0) take(*d);
        av_packet_unref(packet);
    }
    for (Decoder* d : {&video, &audio}) {
        if (d->context == nullptr) continue;
        avcodec_send_packet(d->context, nullptr);
        take(*d);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    m.readable = true;

    // Frame intervals and the grid.
    std::sort(frameTimes.begin(), frameTimes.end());
    m.frames = static_cast<int>(frameTimes.size());
    std::vector<double> intervals;
    for (size_t i = 1; i < frameTimes.size(); ++i)
        intervals.push_back((frameTimes[i] - frameTimes[i - 1]) * 1000.0);
    if (!intervals.empty()) {
        m.intervalMedianMs = percentile(intervals, 0.5);
        m.intervalP99Ms = percentile(intervals, 0.99);
        m.intervalMinMs = *std::min_element(intervals.begin(), intervals.end());
        m.intervalMaxMs = *std::max_element(intervals.begin(), intervals.end());
    }
    if (gridNumerator > 0 && gridDenominator > 0 && !frameTimes.empty()) {
        const double periodMs = 1000.0 * gridDenominator / gridNumerator;
        for (double t : frameTimes) {
            const double fromFirst = (t - frameTimes.front()) * 1000.0;
            const double slot = std::round(fromFirst / periodMs);
            if (std::fabs(fromFirst - slot * periodMs) > kGridToleranceMs) ++m.offGrid;
        }
        for (double interval : intervals)
            if (std::fabs(interval - periodMs) > kGridToleranceMs) ++m.intervalsOffPeriod;
    }

    // Clicks: runs of loud samples, each timed by the centre of its energy less the click's own
    // half length, so that an encoder's smearing on either side does not move it.
    std::vector<double> clickTimes;
    const auto gap = static_cast<size_t>(kClickGapSeconds * rate);
    const auto margin = static_cast<size_t>(kClickMarginSeconds * rate);
    const double clickFrames = rate * sim::SyncPattern::kClickMicroseconds / 1e6;
    for (size_t i = 0; i < sound.size();) {
        if (std::fabs(sound[i]) < kClickLevel) {
            ++i;
            continue;
        }
        size_t last = i;
        for (size_t j = i; j < sound.size() && j <= last + gap; ++j)
            if (std::fabs(sound[j]) >= kClickLevel) last = j;
        const size_t from = i > margin ? i - margin : 0;
        const size_t to = std::min(sound.size(), last + margin + 1);
        double energy = 0, moment = 0;
        for (size_t j = from; j < to; ++j) {
            const double e = static_cast<double>(sound[j]) * sound[j];
            energy += e;
            moment += e * static_cast<double>(j);
        }
        if (energy > 0) {
            const double centre = moment / energy;
            clickTimes.push_back(soundStart + (centre - (clickFrames - 1) / 2.0) / rate);
        }
        i = last + gap + 1;
    }

    m.flashes = static_cast<int>(flashTimes.size());
    m.clicks = static_cast<int>(clickTimes.size());
    for (double flash : flashTimes) {
        double best = NAN;
        for (double click : clickTimes)
            if (std::isnan(best) || std::fabs(click - flash) < std::fabs(best - flash))
                best = click;
        if (!std::isnan(best) && std::fabs(best - flash) < 0.5)
            m.pairs.push_back({flash, (best - flash) * 1000.0});
    }
    if (!m.pairs.empty()) {
        std::vector<double> offsets;
        for (const Pair& p : m.pairs) offsets.push_back(p.offsetMs);
        m.offsetMedianMs = percentile(offsets, 0.5);
        if (offsets.size() % 2 == 0) {
            std::vector<double> sorted = offsets;
            std::sort(sorted.begin(), sorted.end());
            m.offsetMedianMs = (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
        }
        m.offsetMinMs = *std::min_element(offsets.begin(), offsets.end());
        m.offsetMaxMs = *std::max_element(offsets.begin(), offsets.end());
        m.spreadMs = m.offsetMaxMs - m.offsetMinMs;
        if (m.pairs.size() >= 2) {
            double st = 0, so = 0, stt = 0, sto = 0;
            const auto n = static_cast<double>(m.pairs.size());
            for (const Pair& p : m.pairs) {
                st += p.flash;
                so += p.offsetMs;
                stt += p.flash * p.flash;
                sto += p.flash * p.offsetMs;
            }
            const double denominator = n * stt - st * st;
            const double slope = denominator != 0 ? (n * sto - st * so) / denominator : 0;
            m.driftMs = slope * (m.pairs.back().flash - m.pairs.front().flash);
        }
    }
    return m;
}

std::string SyncMeasurement::report(bool perSecond) const {
    if (!readable) return "not measured: " + error + "\n";
    std::string text;
    char line[256];
    if (perSecond) {
        for (const Pair& p : pairs) {
            std::snprintf(line, sizeof line, "%9.3f s  audio - video %+8.3f ms\n", p.flash,
                          p.offsetMs);
            text += line;
        }
    }
    std::snprintf(line, sizeof line,
                  "video: %d frames, r_frame_rate %d/%d, interval median %.3f ms, p99 %.3f ms "
                  "(min %.3f, max %.3f), off the grid %d, intervals not one period %d\n",
                  frames, rateNumerator, rateDenominator, intervalMedianMs, intervalP99Ms,
                  intervalMinMs, intervalMaxMs, offGrid, intervalsOffPeriod);
    text += line;
    std::snprintf(line, sizeof line,
                  "sync: %d flashes, %d clicks, %zu pairs; audio - video median %+.3f ms, spread "
                  "%.3f ms (%+.3f .. %+.3f), drift %+.3f ms\n",
                  flashes, clicks, pairs.size(), offsetMedianMs, spreadMs, offsetMinMs, offsetMaxMs,
                  driftMs);
    text += line;
    return text;
}

}  // namespace tovrel::testing
