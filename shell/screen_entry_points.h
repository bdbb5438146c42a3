#pragma once

#include "recording/snapshot_writer.h"
#include "shell/capture_host.h"
#include "shell/subsystem_entry_points.h"

namespace tovrel::shell {

// The desktop's commands ("[F4]-Screen Recording", "[F5]-Screen Snapshot") as entry points into
// the host's screen recorder; a host without one (no sink writer) answers with a failure. The
// host outlives the entry points. Desktop snapshots are encoded on `snapshotWriter` when given
// (it must outlive the entry points too), on the window thread otherwise. GUI thread.
void fillScreenEntryPoints(SubsystemEntryPoints& entryPoints, CaptureHost& host,
                           recording::SnapshotWriter* snapshotWriter);

}  // namespace tovrel::shell
