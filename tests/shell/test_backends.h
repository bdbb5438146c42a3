#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <unistd.h>

#include "platform/backends/backends.h"
#include "platform/desktop/recording_execution_state.h"
#include "platform/desktop/recording_message_boxes.h"
#include "platform/system/ini_file_store.h"
#include "platform/system/manual_clock.h"

namespace tovrel::testing {

// A window-class marker that lives in this process only.
class InProcessMarker final : public platform::WindowClassMarker {
  public:
    bool findAndRaise(const std::string& className) override {
        if (!claimed_ || className != className_) return false;
        if (raise_) raise_();
        return true;
    }
    bool claim(const std::string& className, std::function<void()> raise) override {
        className_ = className;
        raise_ = std::move(raise);
        claimed_ = true;
        return true;
    }
    void release() override { claimed_ = false; }

  private:
    std::string className_;
    std::function<void()> raise_;
    bool claimed_ = false;
};

// Backends for shell tests: real settings files, recorded message boxes and keep-awake requests,
// a manual clock so the shutdown waits take no time.
struct TestBackends {
    TestBackends() {
        backends.name = "test";
        backends.clock = &clock;
        backends.profiles = std::make_unique<platform::IniFileStore>();
        auto boxes = std::make_unique<platform::RecordingMessageBoxes>();
        messageBoxes = boxes.get();
        backends.messageBoxes = std::move(boxes);
        auto state = std::make_unique<platform::RecordingExecutionState>();
        executionState = state.get();
        backends.executionState = std::move(state);
        backends.windowClassMarker = std::make_unique<InProcessMarker>();
    }
    platform::ManualClock clock;
    platform::Backends backends;
    platform::RecordingMessageBoxes* messageBoxes;
    platform::RecordingExecutionState* executionState;
};

// Runs a test in a fresh working directory of its own and returns to the old one afterwards.
class ScopedWorkingDirectory {
  public:
    explicit ScopedWorkingDirectory(const std::string& tag) {
        old_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("tovrel-" + tag + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    // A private runtime folder inside it (mode 0700), for XDG_RUNTIME_DIR: the program's
    // sockets and locks then stay out of every other test's way.
    std::string runtime() const {
        const std::filesystem::path folder = dir_ / "runtime";
        std::filesystem::create_directory(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        return folder.string();
    }
    ~ScopedWorkingDirectory() {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    const std::filesystem::path& path() const { return dir_; }

  private:
    std::filesystem::path old_;
    std::filesystem::path dir_;
};

}  // namespace tovrel::testing
