#pragma once

#include <array>

#include "shell/command_table.h"

namespace tovrel::shell {

// Every command of the family with its text, key, check rule and action, each written once;
// the editions' menus pick from it. Pure data; any thread.
struct CommandCatalogue {
    static const std::array<CommandTable::Command, 29> kCommands;
    // The command of an identifier, or null.
    static const CommandTable::Command* find(int id);
};

}  // namespace tovrel::shell
