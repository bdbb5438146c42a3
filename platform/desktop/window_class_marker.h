#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tovrel::platform {

// The marker that a window of a given class exists (FindWindow on the class name), used to keep
// one running copy per user. `claim` is called when the window is created; a later `findAndRaise`
// with the same class, from any process, asks the holder to bring its window forward.
// GUI thread only; the raise callback runs on the holder's GUI thread.
class WindowClassMarker {
  public:
    virtual ~WindowClassMarker() = default;
    // True when a window of this class exists; it has been asked to come forward.
    virtual bool findAndRaise(const std::string& className) = 0;
    // Marks this process's window; false when the marker could not be set up, also when another
    // copy holds it already (two copies started together).
    virtual bool claim(const std::string& className, std::function<void()> raise) = 0;
    virtual void release() = 0;
};

// One per-user local socket per class name.
std::unique_ptr<WindowClassMarker> makeLocalSocketMarker();

}  // namespace tovrel::platform
