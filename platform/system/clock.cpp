#include "platform/system/clock.h"

#include <chrono>
#include <thread>

namespace tovrel::platform {

uint64_t SystemClock::getTickCount64() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t SystemClock::timeGetTime() { return static_cast<uint32_t>(getTickCount64()); }

void SystemClock::sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

SystemClock& SystemClock::instance() {
    static SystemClock clock;
    return clock;
}

}  // namespace tovrel::platform
