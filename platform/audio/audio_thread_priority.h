#pragma once

namespace tovrel::platform {

// Raises the calling thread's scheduling priority while the object lives, as a playback thread
// of the platform asks for its own: a playback thread that wakes late lets the device run dry,
// which the listener hears as a gap, and on a busy machine an ordinary thread's wake-up can come
// 60 ms late. Here that is a nice value of kNice, what the sound server takes for its own
// threads, where the process is allowed it (privileges or RLIMIT_NICE); otherwise the thread
// keeps its priority, the refusal goes to the debug output and raised() says so. The previous
// value is restored on destruction.
// Constructed and destroyed on the thread it raises.
class AudioThreadPriority {
  public:
    static constexpr int kNice = -11;

    AudioThreadPriority();
    ~AudioThreadPriority();
    AudioThreadPriority(const AudioThreadPriority&) = delete;
    AudioThreadPriority& operator=(const AudioThreadPriority&) = delete;

    bool raised() const { return raised_; }

  private:
    int thread_ = 0;
    int previous_ = 0;
    bool raised_ = false;
};

}  // namespace tovrel::platform
