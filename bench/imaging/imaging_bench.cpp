// Each primitive on full frames, side by side with libyuv's nearest function and with our forced
// reference path, and a closing summary: our median, libyuv's median and their ratio. Runs are
// repeated and interleaved at random so that the machine's drift hits every entry alike.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "imaging/aligned_alloc.h"
#include "imaging/bilinear_scaler.h"
#include "imaging/byte_image_ops.h"
#include "imaging/kernel_path.h"
#include "imaging/pixel_conversion.h"

#if TOVREL_HAVE_LIBYUV
#include <libyuv.h>
#endif

namespace {

using namespace tovrel::imaging;

// A 64-byte aligned block of pseudo-random bytes, freed with the object.
class Frame {
  public:
    explicit Frame(int64_t bytes) : data_(static_cast<uint8_t*>(alignedAlloc(bytes))) {
        std::mt19937 rng(static_cast<uint32_t>(bytes));
        for (int64_t i = 0; i < bytes; i += 4) {
            const uint32_t r = rng();
            std::memcpy(data_ + i, &r, bytes - i < 4 ? bytes - i : 4);
        }
    }
    ~Frame() { alignedFree(data_); }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    uint8_t* get() const { return data_; }

  private:
    uint8_t* data_;
};

// kAvx2: ours capped at AVX2, for the primitives with a wider path, so its gain shows.
enum class Impl { kOurs, kReference, kLibyuv, kAvx2 };

// Runs one implementation for the benchmark's iterations with our path set as asked.
template <typename Body>
void runImpl(benchmark::State& state, Impl impl, Body body) {
    setKernelPathLimit(impl == Impl::kReference ? KernelPath::kReference
                       : impl == Impl::kAvx2    ? KernelPath::kAvx2
                                                : kBestKernelPath);
    for (auto _ : state) {
        body();
        benchmark::ClobberMemory();
    }
    setKernelPathLimit(kBestKernelPath);
}

void yuy2ToBgra(benchmark::State& state, Impl impl, int w, int h) {
    Frame src(2 * int64_t{w} * h);
    Frame dst(4 * int64_t{w} * h);
    runImpl(state, impl, [&] {
        if (impl == Impl::kLibyuv) {
#if TOVREL_HAVE_LIBYUV
            libyuv::YUY2ToARGB(src.get(), 2 * w, dst.get(), 4 * w, w, h);
#endif
        } else {
            convertYuy2ToBgra(src.get(), 2 * w, dst.get(), 4 * w, {w, h}, 255);
        }
    });
}

void bgraToNv12(benchmark::State& state, Impl impl, int w, int h) {
    Frame src(4 * int64_t{w} * h);
    Frame y(int64_t{w} * h);
    Frame uv(int64_t{w} * h / 2);
    runImpl(state, impl, [&] {
        if (impl == Impl::kLibyuv) {
#if TOVREL_HAVE_LIBYUV
            libyuv::ARGBToNV12(src.get(), 4 * w, y.get(), w, uv.get(), w, w, h);
#endif
        } else {
            convertBgraToNv12(src.get(), 4 * w, y.get(), w, uv.get(), w, {w, h});
        }
    });
}

void yuy2ToNv12(benchmark::State& state, Impl impl, int w, int h) {
    Frame src(2 * int64_t{w} * h);
    Frame y(int64_t{w} * h);
    Frame uv(int64_t{w} * h / 2);
    runImpl(state, impl, [&] {
        if (impl == Impl::kLibyuv) {
#if TOVREL_HAVE_LIBYUV
            libyuv::YUY2ToNV12(src.get(), 2 * w, y.get(), w, uv.get(), w, w, h);
#endif
        } else {
            convertYuy2ToNv12(src.get(), 2 * w, y.get(), w, uv.get(), w, {w, h});
        }
    });
}

void pack422(benchmark::State& state, Impl impl, int w, int h) {
    Frame planar(2 * int64_t{w} * h);
    Frame dst(2 * int64_t{w} * h);
    const uint8_t* planes[3] = {planar.get(), planar.get() + int64_t{w} * h,
                                planar.get() + int64_t{w} * h * 3 / 2};
    const int32_t steps[3] = {w, w / 2, w / 2};
    runImpl(state, impl, [&] {
        if (impl == Impl::kLibyuv) {
#if TOVREL_HAVE_LIBYUV
            libyuv::I422ToYUY2(planes[0], w, planes[1], w / 2, planes[2], w / 2, dst.get(), 2 * w,
                               w, h);
#endif
        } else {
            packPlanar422ToYuy2(planes, steps, dst.get(), 2 * w, {w, h});
        }
    });
}

void copy(benchmark::State& state, Impl impl, int w, int h) {
    Frame src(int64_t{w} * h);
    Frame dst(int64_t{w} * h);
    runImpl(state, impl, [&] {
        if (impl == Impl::kLibyuv) {
#if TOVREL_HAVE_LIBYUV
            libyuv::CopyPlane(src.get(), w, dst.get(), w, w, h);
#endif
        } else {
            copyPlane(src.get(), w, dst.get(), w, {w, h});
        }
    });
}

// libyuv has no absolute difference or range count; its sum of squared errors is the nearest
// pass that reads every byte of a frame (two frames, in fact) and reduces them.
void sumSquareError(const uint8_t* a, const uint8_t* b, int64_t bytes) {
#if TOVREL_HAVE_LIBYUV
    benchmark::DoNotOptimize(libyuv::ComputeSumSquareError(a, b, static_cast<int>(bytes)));
#else
    (void)a, (void)b, (void)bytes;
#endif
}

void absDiff(benchmark::State& state, Impl impl, int w, int h) {
    Frame a(int64_t{w} * h);
    Frame b(int64_t{w} * h);
    Frame dst(int64_t{w} * h);
    runImpl(state, impl, [&] {
        if (impl == Impl::kLibyuv) {
            sumSquareError(a.get(), b.get(), int64_t{w} * h);
        } else {
            absoluteDifference(a.get(), w, b.get(), w, dst.get(), w, {w, h});
        }
    });
}

void count(benchmark::State& state, Impl impl, int w, int h) {
    Frame a(int64_t{w} * h);
    Frame b(int64_t{w} * h);
    runImpl(state, impl, [&] {
        if (impl == Impl::kLibyuv) {
            sumSquareError(a.get(), b.get(), int64_t{w} * h);
        } else {
            int64_t n = 0;
            countInRange(a.get(), w, {w, h}, &n, 20, 255);
            benchmark::DoNotOptimize(n);
        }
    });
}

void scale(benchmark::State& state, Impl impl, int sw, int sh, int dw, int dh) {
    Frame src(4 * int64_t{sw} * sh);
    Frame dst(4 * int64_t{dw} * dh);
    int32_t descriptionBytes = 0;
    int32_t initBytes = 0;
    scalerQuerySizes({sw, sh}, {dw, dh}, Interpolation::kLinear, false, &descriptionBytes,
                     &initBytes);
    std::vector<uint8_t> description(descriptionBytes);
    scalerInit({sw, sh}, {dw, dh}, description.data());
    int32_t workBytes = 0;
    scalerQueryWorkSize(description.data(), {dw, dh}, 4, &workBytes);
    std::vector<uint8_t> work(workBytes);
    runImpl(state, impl, [&] {
        if (impl == Impl::kLibyuv) {
#if TOVREL_HAVE_LIBYUV
            libyuv::ARGBScale(src.get(), 4 * sw, sw, sh, dst.get(), 4 * dw, dw, dh,
                              libyuv::kFilterBilinear);
#endif
        } else {
            scaleBgra(src.get(), 4 * sw, dst.get(), 4 * dw, {0, 0}, {dw, dh},
                      BorderKind::kReplicate, nullptr, description.data(), work.data());
        }
    });
}

const char* implName(Impl impl) {
    switch (impl) {
        case Impl::kOurs:
            return "ours";
        case Impl::kReference:
            return "reference";
        case Impl::kLibyuv:
            return "libyuv";
        case Impl::kAvx2:
            return "avx2";
    }
    return "";
}

std::string sizeName(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

void registerAll() {
    std::vector<Impl> impls{Impl::kOurs, Impl::kReference};
#if TOVREL_HAVE_LIBYUV
    impls.push_back(Impl::kLibyuv);
#endif
    if (supportedKernelPath() == KernelPath::kAvx512) impls.push_back(Impl::kAvx2);
    // The primitives whose AVX-512 path has kernels of its own; the others run AVX2 anyway.
    static const char* const kWiderOnAvx512[] = {"yuy2_to_bgra/", "bgra_to_nv12/", "scale/"};
    const auto add = [](const std::string& name, Impl impl, auto fn) {
        if (impl == Impl::kAvx2 &&
            std::none_of(std::begin(kWiderOnAvx512), std::end(kWiderOnAvx512),
                         [&](const char* prefix) { return name.rfind(prefix, 0) == 0; })) {
            return;
        }
        benchmark::RegisterBenchmark((name + "/" + implName(impl)).c_str(),
                                     [fn, impl](benchmark::State& s) { fn(s, impl); })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.05)
            ->UseRealTime();
    };
    for (Impl impl : impls) {
        for (auto [w, h] : {std::pair{1920, 1080}, {3840, 2160}}) {
            add("yuy2_to_bgra/" + sizeName(w, h), impl,
                [w = w, h = h](benchmark::State& s, Impl i) { yuy2ToBgra(s, i, w, h); });
            add("yuy2_to_nv12/" + sizeName(w, h), impl,
                [w = w, h = h](benchmark::State& s, Impl i) { yuy2ToNv12(s, i, w, h); });
        }
        add("bgra_to_nv12/1920x1080", impl,
            [](benchmark::State& s, Impl i) { bgraToNv12(s, i, 1920, 1080); });
        add("pack422_to_yuy2/1920x1080", impl,
            [](benchmark::State& s, Impl i) { pack422(s, i, 1920, 1080); });
        add("copy_plane/1920x1080", impl,
            [](benchmark::State& s, Impl i) { copy(s, i, 1920, 1080); });
        add("absolute_difference/1920x1080", impl,
            [](benchmark::State& s, Impl i) { absDiff(s, i, 1920, 1080); });
        add("count_in_range/1920x1080", impl,
            [](benchmark::State& s, Impl i) { count(s, i, 1920, 1080); });
        add("scale/2560x1440-1920x1080", impl,
            [](benchmark::State& s, Impl i) { scale(s, i, 2560, 1440, 1920, 1080); });
        add("scale/1280x720-1920x1080", impl,
            [](benchmark::State& s, Impl i) { scale(s, i, 1280, 720, 1920, 1080); });
    }
}

// Keeps the console output and collects the medians for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
    }

    void printSummary() const {
        std::printf("\nsummary (medians in ms; ratio = ours / libyuv, path %s)\n",
                    kernelPathName(supportedKernelPath()));
        for (const auto& [name, ours] : medians_) {
            const std::string suffix = "/ours";
            if (name.size() < suffix.size() ||
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
                continue;
            }
            const std::string base = name.substr(0, name.size() - suffix.size());
            const auto anchor = medians_.find(base + "/libyuv");
            const auto reference = medians_.find(base + "/reference");
            const auto avx2 = medians_.find(base + "/avx2");
            std::printf("%-36s ours %8.3f", base.c_str(), ours);
            if (anchor != medians_.end()) {
                std::printf("  libyuv %8.3f  ratio %5.2f", anchor->second, ours / anchor->second);
            }
            if (reference != medians_.end()) {
                std::printf("  reference %8.3f", reference->second);
            }
            if (avx2 != medians_.end()) {
                std::printf("  avx2 %8.3f", avx2->second);
            }
            std::printf("\n");
        }
    }

  private:
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    // Defaults that make the summary meaningful; any flag given on the command line wins.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=15";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    const auto given = [&](const char* flag) {
        for (int i = 1; i < argc; ++i) {
            if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return true;
        }
        return false;
    };
    if (!given("--benchmark_repetitions")) args.push_back(repetitions.data());
    if (!given("--benchmark_enable_random_interleaving")) args.push_back(interleave.data());
    if (!given("--benchmark_report_aggregates_only")) args.push_back(aggregates.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    registerAll();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();
    return 0;
}
