#include "device/box_operations.h"

namespace tovrel::device {

BoxOperations::BoxOperations(platform::ExtensionUnitBus& bus, platform::Clock& clock,
                             platform::CaptureEndpoints* endpoints)
    : library_(bus), clock_(clock), controls_(library_, clock, endpoints) {}

void BoxOperations::recordStart(bool registerCapable, bool settingsOpen) {
    if (!registerCapable) return;
    worker_.post([this, settingsOpen] {
        int32_t sent = 0;
        controls_.RecordStart(true, settingsOpen, sent);
    });
}

void BoxOperations::recordStop(bool registerCapable, bool px40, bool settingsOpen) {
    if (!registerCapable) return;
    worker_.post([this, px40, settingsOpen] { controls_.RecordStop(true, px40, settingsOpen); });
}

}  // namespace tovrel::device
