#pragma once

namespace tovrel::shell {

// What tells the two editions of the program apart: names, the single-instance marker and the
// settings section. Each program's main() picks one; nothing else tests for the edition.
struct Edition {
    const char* programName;      // window title and message-box caption
    const char* windowClassName;  // the single-instance marker
    const char* settingsSection;  // section of "setting.ini"
    const char* keepAwakeWho;     // how the sleep inhibitor names us
};

inline constexpr Edition kTovrel2Edition{"Tovrel2", "Tovrel2ClassName", "TOVREL2", "Tovrel2"};

}  // namespace tovrel::shell
