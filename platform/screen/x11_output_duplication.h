#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/screen/desktop_duplication.h"

struct xcb_connection_t;
struct xcb_get_image_reply_t;

namespace tovrel::platform {

// One output of the X desktop duplicated on a connection of its own: the root window's pixels of
// the output's rectangle by MIT-SHM GetImage into one shared segment kept for the duplication's
// life (a plain GetImage when the server cannot share memory with us, a remote display), the
// pointer's position from the server and its image from XFixes, fetched again only when the
// cursor's serial changes, and XDamage to tell that nothing was drawn. A changed screen size or
// output rectangle, and a broken connection, are the platform's lost access: the owner makes a
// new duplication, which has the new size.
// One caller at a time (OutputDuplication's contract).
class X11OutputDuplication final : public OutputDuplication {
  public:
    // How often a waiting acquisition looks at the pointer: X reports no motion of the pointer
    // to a client that does not own the window under it.
    static constexpr uint32_t kPointerPollMs = 4;

    // S_OK with the duplication; the failure otherwise (logged).
    static HRESULT create(const std::string& display, const std::string& outputName,
                          std::unique_ptr<OutputDuplication>* duplication);
    ~X11OutputDuplication() override;
    X11OutputDuplication(const X11OutputDuplication&) = delete;
    X11OutputDuplication& operator=(const X11OutputDuplication&) = delete;

    HRESULT GetDesc(OutputDesc* desc) override;
    HRESULT AcquireNextFrame(uint32_t timeoutMs, OutduplFrameInfo* info,
                             MappedDesktop* image) override;
    HRESULT GetFramePointerShape(uint32_t bufferSize, uint8_t* buffer, uint32_t* requiredSize,
                                 OutduplPointerShapeInfo* shapeInfo) override;
    HRESULT ReleaseFrame() override;

    // Whether the frames come through shared memory (the benchmark reports it).
    bool sharedMemory() const { return shmSegment_ != 0; }

  private:
    X11OutputDuplication(xcb_connection_t* connection, int screen, std::string display,
                         OutputDesc desc);
    HRESULT setUp();
    void attachSharedMemory();
    void readEvents();
    bool queryPointer();
    HRESULT fetchCursor();
    HRESULT grab(MappedDesktop* image);
    void logFailure(const char* call, const char* what) const;

    xcb_connection_t* connection_;
    const int screen_;
    const std::string display_;
    OutputDesc desc_;
    uint32_t root_ = 0;
    uint16_t rootWidth_ = 0;
    uint16_t rootHeight_ = 0;
    uint8_t damageEvent_ = 0;
    uint8_t xfixesEvent_ = 0;
    uint8_t randrEvent_ = 0;
    uint32_t damage_ = 0;

    // Shared memory: the server's segment id (0: none), our id and mapping.
    uint32_t shmSegment_ = 0;
    int shmId_ = -1;
    uint8_t* shmAddress_ = nullptr;
    xcb_get_image_reply_t* plainImage_ = nullptr;  // the held frame without shared memory

    bool lost_ = false;
    bool held_ = false;
    bool first_ = true;
    bool damaged_ = false;
    bool cursorChanged_ = true;
    int32_t pointerRootX_ = INT32_MIN;
    int32_t pointerRootY_ = INT32_MIN;
    bool pointerOnScreen_ = false;
    uint32_t cursorSerial_ = 0;
    std::vector<uint8_t> shape_;
    OutduplPointerShapeInfo shapeInfo_;
};

}  // namespace tovrel::platform
