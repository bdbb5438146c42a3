// The screen recording on the X desktop, measured as a user's run would go: a 1920x1080 desktop
// that changes all the time (a block of colour drawn at 60 Hz) with a pointer that moves, a
// tone playing into the default sink, F4's recording (H.264 High, "Normal") into an MP4 for the
// given seconds. It prints:
// - the video thread's passes and the frames the file holds (ffprobe), their share, the
//   smallest and the largest gap between frames;
// - the video thread's own cost per frame (acquire, pointer, scale, convert; median and 99th
//   percentile) and the acquisition's part of it, which is the X server's image request;
// - the resident memory after the first minute (or a sixth of the run) and at the end;
// - the recording's CPU (this process while recording, less this process while only the
//   desktop changes, over the same time) beside FFmpeg's x11grab with libx264 at the same
//   preset, size, rate and bit rate on the same display right after, and the X server's CPU
//   in each phase when its process id is given;
// - the window thread's time for a 1080p JPG snapshot (median of ten).
// usage: tovrel_screen_recording_bench [SECONDS=60] [XSERVER_PID]
// Needs DISPLAY and a sound server (scripts/components.sh start DIR; source DIR/env).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/mf_manager.h"
#include "platform/audio/pulse_loopback_endpoints.h"
#include "platform/ffmpeg/ffmpeg_sink_writer_factory.h"
#include "platform/imaging/library_image_encoders.h"
#include "platform/screen/x11_desktop.h"
#include "recording/screen_recorder.h"
#include "recording/video_bitrate.h"

namespace {

using namespace tovrel;
using Clock = std::chrono::steady_clock;

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// utime + stime of another process, in seconds; 0 when it cannot be read.
double processCpu(long pid) {
    if (pid <= 0) return 0;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t end = text.rfind(')');
    if (end == std::string::npos) return 0;
    std::vector<std::string> fields;
    size_t at = end + 2;
    while (at < text.size()) {
        const size_t space = text.find(' ', at);
        fields.push_back(text.substr(at, space - at));
        if (space == std::string::npos) break;
        at = space + 1;
    }
    if (fields.size() < 13) return 0;
    return (std::stod(fields[11]) + std::stod(fields[12])) / sysconf(_SC_CLK_TCK);
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

double percentile(std::vector<int64_t> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))] / 1e6;
}

// The desktop changing all the time: a moving block of changing colour, the pointer circling.
class DesktopActivity {
  public:
    void start() {
        running_ = true;
        thread_ = std::thread([this] { loop(); });
    }
    void stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

  private:
    void loop() {
        int screen = 0;
        xcb_connection_t* c = xcb_connect(nullptr, &screen);
        xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const uint32_t gc = xcb_generate_id(c);
        const uint32_t values[] = {0, XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS};
        xcb_create_gc(c, gc, s->root, XCB_GC_FOREGROUND | XCB_GC_SUBWINDOW_MODE, values);
        for (uint32_t tick = 0; running_; ++tick) {
            const uint32_t colour = (tick * 0x050301u) & 0xFFFFFF;
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t r{static_cast<int16_t>((tick * 7) % 1400),
                                    static_cast<int16_t>((tick * 3) % 700), 500, 380};
            xcb_poly_fill_rectangle(c, s->root, gc, 1, &r);
            const double a = tick * 0.05;
            xcb_warp_pointer(c, XCB_NONE, s->root, 0, 0, 0, 0,
                             static_cast<int16_t>(960 + 400 * std::cos(a)),
                             static_cast<int16_t>(540 + 300 * std::sin(a)));
            xcb_flush(c);
            std::this_thread::sleep_for(std::chrono::milliseconds(16));
        }
        xcb_free_gc(c, gc);
        xcb_disconnect(c);
    }
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const long xserver = argc > 2 ? std::atol(argv[2]) : 0;
    auto desktop = platform::X11Desktop::open();
    if (!desktop) {
        std::fprintf(stderr, "needs an X display\n");
        return 77;
    }
    const std::string folder = "/tmp/tovrel-screen-bench";
    std::system(("mkdir -p " + folder).c_str());
    const std::string file = folder + "/screen.mp4";
    std::remove(file.c_str());
    // The tone, looped by the sound server's own client for the whole run.
    run("ffmpeg -v error -y -f lavfi -i sine=frequency=700:duration=10 -ac 2 " + folder +
        "/tone.wav");
    const pid_t tone = fork();
    if (tone == 0) {
        execlp("sh", "sh", "-c", ("while paplay " + folder + "/tone.wav; do :; done").c_str(),
               nullptr);
        _exit(127);
    }

    capture::MFManager manager;
    platform::FfmpegSinkWriterFactory writers;
    platform::PulseLoopbackEndpoints loopback;
    platform::LibraryImageEncoders encoders;
    recording::ScreenRecorder recorder(manager, writers, desktop.get(), &loopback, &encoders);
    std::mutex costLock;
    std::vector<int64_t> acquireNs;
    std::vector<int64_t> totalNs;
    recorder.frameCostObserver = [&](int64_t acquire, int64_t total) {
        std::lock_guard lock(costLock);
        acquireNs.push_back(acquire);
        totalNs.push_back(total);
    };

    DesktopActivity activity;
    activity.start();
    const int phase = std::max(10, seconds / 6);
    // Phase 1: only the desktop changes.
    double cpu0 = cpuSeconds(RUSAGE_SELF);
    double x0 = processCpu(xserver);
    std::this_thread::sleep_for(std::chrono::seconds(phase));
    const double idleCpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    const double idleX = processCpu(xserver) - x0;

    // Phase 2: recording; the CPU of its first `phase` seconds compares with phase 1.
    cpu0 = cpuSeconds(RUSAGE_SELF);
    x0 = processCpu(xserver);
    if (recorder.StartScreenRecording(file, 2, 0, 0, 0) != platform::S_OK) {
        std::fprintf(stderr, "the screen recording did not start\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(phase));
    const double recordCpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    const double recordX = processCpu(xserver) - x0;
    const long rssEarly = residentKb();

    // The snapshot while recording, as the window thread sees it.
    std::vector<int64_t> snapshotNs;
    for (int i = 0; i < 10; ++i) {
        const auto t0 = Clock::now();
        recorder.TakeScreenSnapshot(folder + "/shot.jpg");
        snapshotNs.push_back(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::this_thread::sleep_for(std::chrono::seconds(std::max(0, seconds - phase - 3)));
    const long rssEnd = residentKb();
    recorder.StopScreenRecording();
    const recording::ScreenRecorder::Statistics stats = recorder.statistics();

    // Phase 3: FFmpeg's own x11grab and libx264 at the same settings, on the same display.
    const uint32_t bitrate =
        recording::VideoBitrate(1920, 1080, 30.0f, platform::MFVideoFormat_H264, 2);
    const std::string anchor = folder + "/x11grab.mp4";
    const std::string display = std::getenv("DISPLAY");
    double ffmpegCpu = 0;
    double anchorX = 0;
    const double ax0 = processCpu(xserver);
    const pid_t child = fork();
    if (child == 0) {
        const std::string rate = std::to_string(bitrate);
        execlp("ffmpeg", "ffmpeg", "-v", "error", "-y", "-f", "x11grab", "-draw_mouse", "1",
               "-framerate", "30", "-video_size", "1920x1080", "-i", display.c_str(), "-t",
               std::to_string(phase).c_str(), "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset",
               "superfast", "-profile:v", "high", "-bf", "0", "-g", "12", "-b:v", rate.c_str(),
               "-maxrate", std::to_string(bitrate * 3 / 2).c_str(), "-bufsize",
               std::to_string(bitrate * 2).c_str(), anchor.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    rusage childUsage{};
    wait4(child, &status, 0, &childUsage);
    ffmpegCpu = childUsage.ru_utime.tv_sec + childUsage.ru_stime.tv_sec +
                (childUsage.ru_utime.tv_usec + childUsage.ru_stime.tv_usec) / 1e6;
    anchorX = processCpu(xserver) - ax0;
    activity.stop();
    kill(tone, SIGTERM);
    run("pkill -P " + std::to_string(tone));
    waitpid(tone, nullptr, 0);

    // What the file holds.
    const std::string times =
        run("ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 " + file);
    std::vector<double> pts;
    for (size_t at = 0; at < times.size();) {
        const size_t end = times.find('\n', at);
        const std::string line = times.substr(at, end - at);
        if (!line.empty()) pts.push_back(std::atof(line.c_str()));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    std::sort(pts.begin(), pts.end());
    double minGap = 1e9, maxGap = 0;
    for (size_t i = 1; i < pts.size(); ++i) {
        minGap = std::min(minGap, pts[i] - pts[i - 1]);
        maxGap = std::max(maxGap, pts[i] - pts[i - 1]);
    }

    std::printf("run: %d s on %s, phases of %d s\n", seconds, desktop->name().c_str(), phase);
    std::printf(
        "video passes %llu, frames written %llu, frames in the file %zu: %.2f%% of the "
        "passes; frames without a buffer %llu\n",
        static_cast<unsigned long long>(stats.passes),
        static_cast<unsigned long long>(stats.framesWritten), pts.size(),
        stats.passes ? 100.0 * pts.size() / stats.passes : 0.0,
        static_cast<unsigned long long>(stats.framesNoBuffer));
    std::printf("gaps between frames: smallest %.1f ms, largest %.1f ms; %.2f frames a second\n",
                minGap * 1000, maxGap * 1000,
                pts.size() > 1 ? (pts.size() - 1) / (pts.back() - pts.front()) : 0.0);
    std::printf(
        "video thread per frame: median %.2f ms, 99th percentile %.2f ms; of it the "
        "acquisition (X server's image): median %.2f ms, 99th %.2f ms\n",
        percentile(totalNs, 0.5), percentile(totalNs, 0.99), percentile(acquireNs, 0.5),
        percentile(acquireNs, 0.99));
    std::printf("resident memory: %ld kB after %d s, %ld kB at the end (%.1f%%)\n", rssEarly, phase,
                rssEnd, rssEarly ? 100.0 * (rssEnd - rssEarly) / rssEarly : 0.0);
    const double ours = (recordCpu - idleCpu) / phase;
    const double theirs = ffmpegCpu / phase;
    std::printf(
        "CPU in cores: recording %.3f (process %.3f less %.3f idle), x11grab+libx264 "
        "%.3f; ratio %.2f\n",
        ours, recordCpu / phase, idleCpu / phase, theirs, theirs > 0 ? ours / theirs : 0);
    if (xserver > 0) {
        std::printf("X server in cores: idle %.3f, recording %.3f, x11grab %.3f\n", idleX / phase,
                    recordX / phase, anchorX / phase);
    }
    std::printf("JPG snapshot while recording, window thread: median %.1f ms, largest %.1f ms\n",
                percentile(snapshotNs, 0.5), percentile(snapshotNs, 1.0));
    return 0;
}
