#pragma once

namespace tovrel::shell {

// A part of the program that must hear when the capture host tears capture down for a device or
// power event and when streaming runs again (the analyzer's worker reads the analysis ring,
// which goes with the session). Called on the GUI thread, in the order of registration.
class CaptureParticipant {
  public:
    // Before the teardown: stop reading what the session owns.
    virtual void captureStopping() = 0;
    // After the build-up, once streaming has started again.
    virtual void captureStarted() = 0;

  protected:
    ~CaptureParticipant() = default;
};

}  // namespace tovrel::shell
