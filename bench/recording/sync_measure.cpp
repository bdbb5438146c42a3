// Measures a recording of the simulated box's sync pattern (`tovrelctl --simulate pattern sync`):
// the sound against the picture second by second, and the frames against the mode's grid.
//   tovrel_sync_measure FILE.mp4 [--rate N/D] [--summary]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/sync_measurement.h"

int main(int argc, char** argv) {
    std::string path;
    int numerator = 0, denominator = 1;
    bool perSecond = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rate" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%d/%d", &numerator, &denominator) < 1 || numerator <= 0 ||
                denominator <= 0) {
                std::fprintf(stderr, "tovrel_sync_measure: --rate takes N or N/D\n");
                return 2;
            }
        } else if (arg == "--summary") {
            perSecond = false;
        } else if (path.empty() && !arg.starts_with("-")) {
            path = arg;
        } else {
            std::fprintf(stderr,
                         "usage: tovrel_sync_measure FILE.mp4 [--rate N/D] [--summary]\n"
                         "  --rate     the capture mode's rate, for the grid (default: the "
                         "file's r_frame_rate)\n"
                         "  --summary  leave out the line of every second\n");
            return 2;
        }
    }
    if (path.empty()) {
        std::fprintf(stderr, "usage: tovrel_sync_measure FILE.mp4 [--rate N/D] [--summary]\n");
        return 2;
    }
    const auto m = tovrel::testing::SyncMeasurement::measure(path, numerator, denominator);
    std::fputs(m.report(perSecond).c_str(), stdout);
    return m.readable ? 0 : 1;
}
