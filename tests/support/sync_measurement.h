#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovrel::testing {

// How well a recording of the simulated box's sync pattern keeps its sound with its picture and
// its frames on a steady grid, read by decoding the file with FFmpeg: every white frame (a flash)
// and every click is found, each click is paired with the flash of the same second, and the
// frames' times are compared with the grid of the capture mode's rate. Test and benchmark helper;
// one thread.
struct SyncMeasurement {
    struct Pair {
        double flash = 0;     // seconds, the white frame's time
        double offsetMs = 0;  // the click's start minus the flash
    };

    bool readable = false;
    std::string error;

    // Video.
    int frames = 0;
    int rateNumerator = 0;  // r_frame_rate, as the file's reader guesses it
    int rateDenominator = 1;
    double intervalMedianMs = 0;
    double intervalP99Ms = 0;
    double intervalMinMs = 0;
    double intervalMaxMs = 0;
    // Frames more than a tenth of a millisecond off the grid of the rate asked for, counted from
    // the first frame; and intervals that are not one period of it (a repeated or a lost frame
    // shows as none of these in a constant-rate file, a late one as both).
    int offGrid = 0;
    int intervalsOffPeriod = 0;

    // Sound against picture.
    int flashes = 0;
    int clicks = 0;
    std::vector<Pair> pairs;
    double offsetMedianMs = 0;
    double offsetMinMs = 0;
    double offsetMaxMs = 0;
    double spreadMs = 0;  // max − min
    // The straight line through the offsets, from the first pair to the last.
    double driftMs = 0;

    // Measures `path`; the grid is that of `gridNumerator`/`gridDenominator` frames a second, or
    // of the rate the file's reader guesses when 0.
    static SyncMeasurement measure(const std::string& path, int gridNumerator = 0,
                                   int gridDenominator = 1);

    // The figures as lines of text: one per second, then the summary.
    std::string report(bool perSecond = true) const;
};

}  // namespace tovrel::testing
