#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/box_operations.h"
#include "device/ui/settings_host.h"
#include "platform/system/named_lock.h"
#include "platform/system/thread_checker.h"

namespace tovrel::device::ui {

// The Settings window without its widgets: the picture and audio values with their labels, the
// status texts, which controls are enabled, the format buttons and the resolution list, and
// what each control sends to the box. The window shows what this gives; tests drive it directly.
// Register work never runs on the window's thread: each operation is queued on the program's
// register worker, holding the window's "Norvik" lock for its whole sequence, and its result is
// handed back through `post`. A box that stops answering therefore delays only its own results.
// Threads: every member on the window's thread (checked in debug builds); `post` may be called
// from the worker and must run the call on the window's thread.
class IODialogModel {
  public:
    using Post = std::function<void(std::function<void()>)>;

    // The scroll codes a horizontal scroll bar reports.
    enum class ScrollCode {
        LineLeft,
        LineRight,
        PageLeft,
        PageRight,
        ThumbTrack,
        ThumbPosition,
        EndScroll,
        Other,  // to the left or right end and the like: the position stays
    };

    // What changed, for the window to show again.
    enum Change : unsigned {
        kValues = 1u << 0,
        kStatus = 1u << 1,
        kRawData = 1u << 2,
        kFormats = 1u << 3,
        kEnabled = 1u << 4,
    };

    static constexpr int32_t kStatusRefreshMs = 1000;
    static constexpr int32_t kPageStep = 10;
    static constexpr int32_t kMaxValue = 255;
    // The longest the window's thread waits for the lock before a capture restart; when it is
    // taken meanwhile, the worker waits for it instead and the restart is tried again.
    static constexpr uint32_t kRestartLockWaitMs = 50;

    // `box` outlives the model; `host` is kept.
    IODialogModel(BoxOperations& box, SettingsHost host, Post post);
    ~IODialogModel();
    IODialogModel(const IODialogModel&) = delete;
    IODialogModel& operator=(const IODialogModel&) = delete;

    // The window's initialisation: the values read from the box (queued), the format buttons and
    // the resolution list, the raw controls by the "Control" setting. Once.
    void open();
    // One tick of the status timer: a status read is queued unless the last one is still on its
    // way or a capture restart waits.
    void refresh();
    // OK and Cancel: no more status reads; writes already queued still reach the box.
    void close();

    // A scroll message of the bar `barId`; answers the bar's new position.
    int32_t onScroll(int32_t barId, ScrollCode code, int32_t trackPosition = 0);
    void onMute();
    void onDefault();
    // The raw register controls, given the two edits' texts.
    void onRawSet(std::string_view command, std::string_view data);
    void onRawGet(std::string_view command);
    // "Set" with the list's selected index (-1: none).
    void onResolutionSet(int32_t index);
    // A click on a format radio button.
    void onFormat(int32_t radioId);

    // The window's view.
    int32_t value(int32_t barId) const;
    std::string valueText(int32_t barId) const;
    bool muted() const { return mute_ != 0; }
    bool enabled(int32_t id) const;
    bool visible(int32_t id) const;
    const std::string& statusText(int32_t labelId) const;
    const std::vector<std::string>& modeEntries() const { return modeEntries_; }
    int32_t selectedMode() const { return selectedMode_; }
    int32_t checkedFormat() const { return checkedFormat_; }
    // The Data edit's text after the last Get.
    const std::string& rawData() const { return rawData_; }
    // A capture restart or the initial read is on its way.
    bool restarting() const { return restarting_; }
    bool initialised() const { return initialised_; }

    // Told, on the window's thread, what changed after a result came back.
    std::function<void(unsigned)> changed;

    // Signed decimal text as the edits give it; anything that is not a number counts as 0.
    static int32_t parseNumber(std::string_view text);
    // "%.1fdB" of (volume - 219) x 0.5, always with a decimal point.
    static std::string volumeText(int32_t volume);
    // "%dx%dp@%d".
    static std::string modeText(const capture::VideoMode& mode);
    // A bar's new position for a scroll code, from its current one.
    static int32_t scrolledPosition(int32_t position, ScrollCode code, int32_t trackPosition);

  private:
    struct Shared;
    int32_t& valueOf(int32_t barId);
    void queue(std::function<void()> job, uint32_t key = 0);
    // Hands a result to the window's thread, dropped when the model is gone by then.
    std::function<void(std::function<void()>)> backToWindow();
    void fillModes(int32_t family);
    // Disables the controls, runs `restart` under the lock once the queued work is done, then
    // enables them again and, for a format change, fills the list of `refillFamily`.
    struct PendingRestart;
    void startRestart(std::function<void()> restart, int32_t refillFamily);
    void queueRestart(std::shared_ptr<const PendingRestart> pending);
    void finishRestart(const std::shared_ptr<const PendingRestart>& pending);
    void notify(unsigned what);

    BoxOperations& box_;
    SettingsHost host_;
    Post post_;
    platform::ThreadChecker thread_;
    std::shared_ptr<platform::NamedLock> lock_;
    std::shared_ptr<Shared> shared_;

    std::array<int32_t, 6> values_;
    int32_t mute_ = 0;
    std::map<int32_t, std::string> status_;
    std::vector<std::string> modeEntries_;
    int32_t selectedMode_ = -1;
    int32_t checkedFormat_ = capture::kFormatNone;
    std::array<bool, 3> formatAvailable_{};
    std::string rawData_;

    bool opened_ = false;
    bool closed_ = false;
    bool initialised_ = false;  // the initial values have arrived
    bool deviceEnabled_ = false;
    bool rawEnabled_ = false;
    bool restarting_ = false;
    bool refreshPending_ = false;
};

}  // namespace tovrel::device::ui
