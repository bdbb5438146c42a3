#pragma once

#include "shell/capture_host.h"
#include "shell/subsystem_entry_points.h"

namespace tovrel::shell {

// The desktop's commands ("[F4]-Screen Recording", "[F5]-Screen Snapshot") as entry points into
// the host's screen recorder; a host without one (no sink writer) answers with a failure. The
// host outlives the entry points. GUI thread.
void fillScreenEntryPoints(SubsystemEntryPoints& entryPoints, CaptureHost& host);

}  // namespace tovrel::shell
