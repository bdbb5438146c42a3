// Records the simulated box into the file named on the command line until it is killed: the
// program a crash test kills with SIGKILL. Prints "recording" once the recording runs.
#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/recording/simulated_recording.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.mp4\n", argv[0]);
        return 2;
    }
    tovrel::recording::SimulatedRecording rec;
    if (rec.controller->StartRecording(argv[1], 2, 0, 0, 1) != tovrel::platform::S_OK) return 1;
    std::printf("recording\n");
    std::fflush(stdout);
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}
