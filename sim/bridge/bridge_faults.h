#pragma once

#include <cstdint>

namespace tovrel::sim {

// The four requests the bridge answers, as bits of BridgeFaults::failingRequests.
enum class BridgeRequestKind : uint32_t {
    CommandBlockWrite = 1u << 0,
    CommandBlockRead = 1u << 1,
    DataBufferWrite = 1u << 2,
    DataBufferRead = 1u << 3,
};

inline constexpr uint32_t bit(BridgeRequestKind kind) { return static_cast<uint32_t>(kind); }

// Faults the simulated bridge produces on demand.
struct BridgeFaults {
    bool commandNeverIdle = false;  // register 0 keeps the last command number
    bool flashBusyForever = false;  // status polls never report ready
    bool unplugged = false;         // the box is gone: not enumerated, every request fails
    uint32_t failingRequests = 0;   // BridgeRequestKind bits that stall
    bool shortTransfers = false;    // IN requests return half of what was asked
};

}  // namespace tovrel::sim
