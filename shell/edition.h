#pragma once

#include <span>

#include "capture/capture_rules.h"
#include "shell/command_table.h"

namespace tovrel::shell {

struct SettingsWindowContext;

// Everything that tells one program of the family from another: names, the single-instance
// marker, the settings section, the commands it offers in menu order, the feature switches and
// the window behind [F8]-Settings. Each program's main() names one; nothing else in the code
// asks which edition it is. Pure data; any thread.
struct Edition {
    struct Features {
        bool keyboardHook;         // the program-wide Insert-key watcher of start-up
        bool halfScreenPlacement;  // the half-screen rule; else the platform's placement
        bool boxRegisters;         // the register worker: recording notices, audio source
        capture::CaptureRules capture;
    };
    // Runs the Settings window modally; answers its result.
    using SettingsWindow = int (*)(SettingsWindowContext& context);

    const char* programName;      // window title and message-box caption
    const char* windowClassName;  // the single-instance marker
    const char* settingsSection;  // section of "setting.ini"
    const char* keepAwakeWho;     // how the sleep inhibitor names us
    std::span<const CommandTable::MenuEntry> menu;
    Features features;
    SettingsWindow settingsWindow;  // null: [F8] opens nothing

    // The command the edition runs for a key, or null (Esc is not a command: it only leaves
    // full screen; a key of a command the edition lacks does nothing).
    const CommandTable::Command* commandForKey(int key) const {
        for (const CommandTable::MenuEntry& entry : menu) {
            if (entry.command->key != 0 && entry.command->key == key) return entry.command;
        }
        return nullptr;
    }
    // The command of an identifier if the edition offers it, else null.
    const CommandTable::Command* command(int id) const {
        for (const CommandTable::MenuEntry& entry : menu)
            if (entry.command->id == id) return entry.command;
        return nullptr;
    }
    bool offers(int id) const { return command(id) != nullptr; }
};

}  // namespace tovrel::shell
