#pragma once

#include "recording/snapshot_writer.h"
#include "shell/capture_host.h"
#include "shell/subsystem_entry_points.h"

namespace tovrel::shell {

// The recordings' and snapshots' commands ("[F2]-Recording", "[F3]-Snapshot", "[F4]-Screen
// Recording", "[F5]-Screen Snapshot") as entry points into the host's box recording controller
// and screen recorder; a host without them (no sink writer, or an edition without the desktop)
// answers with a failure. Snapshots are encoded on `snapshotWriter` (the box's need it; the
// desktop's are encoded on the window thread without it). The host and the writer outlive the
// entry points. GUI thread.
void fillRecordingEntryPoints(SubsystemEntryPoints& entryPoints, CaptureHost& host,
                              recording::SnapshotWriter* snapshotWriter);

}  // namespace tovrel::shell
