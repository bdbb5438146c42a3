#pragma once

#include <string>
#include <vector>

#include "platform/desktop/message_boxes.h"

namespace tovrel::platform {

// Records the boxes instead of showing them, for tests and for runs without a user to press OK.
// GUI thread only.
class RecordingMessageBoxes final : public MessageBoxes {
  public:
    struct Box {
        std::string text;
        std::string caption;
        bool owned;
        MessageIcon icon;
    };
    void show(QWidget* owner, const std::string& text, const std::string& caption,
              MessageIcon icon) override {
        boxes.push_back({text, caption, owner != nullptr, icon});
    }
    std::vector<Box> boxes;
};

}  // namespace tovrel::platform
