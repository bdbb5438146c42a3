#pragma once

namespace tovrel::shell {

struct Edition;

// A whole program of the family, put together from its edition: the application with its
// backends (the simulated box with "--simulate", the machine's otherwise), the start checks, the
// main window, the door for the simulated box's control, and the event loop. Answers the
// program's exit code. The main thread, once per process.
int runProgram(const Edition& edition, int argc, char** argv);

}  // namespace tovrel::shell
