#pragma once

#include "shell/edition.h"

namespace tovrel::reduced {

// The reduced program: recording, snapshots of the box, preview and the monitor, its own
// Settings window over the video device's controls and the capture endpoint, no register access,
// no keyboard watcher, the platform's placement, and only the box's own devices by name.
extern const shell::Edition kTovrelEdition;

}  // namespace tovrel::reduced
