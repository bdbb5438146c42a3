#pragma once

#include <cstdio>
#include <string>

namespace tovrel::testing {

// What a shell command prints, trailing blanks and newlines cut; empty when it cannot run.
// For tests that set up the sound server with pactl. Test thread.
inline std::string commandOutput(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

}  // namespace tovrel::testing
