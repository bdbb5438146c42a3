#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/panel_transport.h"
#include "device/register_transport.h"
#include "platform/system/manual_clock.h"
#include "tests/device/recording_unit.h"

namespace tovrel::device::testing {

// Each of the two programs' transports over a recording bus whose units answer from a register
// file (register 0 idle). `open()` finds the type-0 box the way the transport does, `close()`
// lets it go again.

struct VendorLibraryRig {
    FakeBus bus;
    platform::ManualClock clock;
    KelmUvcLibrary library{bus};
    RegisterTransport transport{library, clock};
    RegisterFileResponder box;
    std::unique_ptr<DeviceSession> session;

    VendorLibraryRig() {
        (*box.registers)[0] = 0xFF;
        bus.log->responder = box;
    }
    void attach() { bus.attached[{0x7B30, 0x4E11}] = 1; }
    void open() { session = transport.IdentifyDevice(); }
    void close() { transport.CloseDeviceSession(std::move(session)); }
};

struct PanelRig {
    FakeBus bus;
    platform::ManualClock clock;
    std::vector<std::string> messages;
    PanelTransport transport{bus, clock, [this](std::string_view m) { messages.emplace_back(m); }};
    RegisterFileResponder box;

    PanelRig() {
        (*box.registers)[0] = 0xFF;
        bus.log->responder = box;
    }
    void attach() { bus.attached[{0x7B30, 0x4E11}] = 1; }
    void open() { transport.OpenBox(); }
    void close() { transport.CloseBox(); }
};

}  // namespace tovrel::device::testing
