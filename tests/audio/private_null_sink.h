#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tovrel::audio {

// A null sink of the test's own on the running sound server, made the default for new streams
// of this process (PULSE_SINK, which ALSA's "default" follows through the server), so that tests
// running side by side never hear each other. Removed again on destruction. Test thread.
class PrivateNullSink {
  public:
    explicit PrivateNullSink(const std::string& name) : name_(name) {
        module_ = run("pactl load-module module-null-sink sink_name=" + name +
                      " rate=48000 channels=2 format=s16le norewinds=1 2>/dev/null");
        if (!module_.empty()) ::setenv("PULSE_SINK", name.c_str(), 1);
    }
    ~PrivateNullSink() {
        if (module_.empty()) return;
        ::unsetenv("PULSE_SINK");
        run("pactl unload-module " + module_);
    }
    PrivateNullSink(const PrivateNullSink&) = delete;
    PrivateNullSink& operator=(const PrivateNullSink&) = delete;

    bool ok() const { return !module_.empty(); }
    std::string monitorSource() const { return name_ + ".monitor"; }

    static std::string run(const std::string& command) {
        std::string out;
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buf[256];
            while (std::fgets(buf, sizeof buf, p)) out += buf;
            ::pclose(p);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }

  private:
    std::string name_;
    std::string module_;
};

}  // namespace tovrel::audio
