#pragma once

#include "shell/edition.h"

namespace tovrel::shell {

// The full program: every command of the family, the half-screen placement, the Insert-key
// watcher, the box's registers and the Settings window of the box.
extern const Edition kTovrel2Edition;

}  // namespace tovrel::shell
