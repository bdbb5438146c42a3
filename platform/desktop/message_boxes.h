#pragma once

#include <string>

class QWidget;

namespace tovrel::platform {

enum class MessageIcon { None, Error };

// Message boxes (MessageBoxW's place). Only the OK button is ever asked for.
// GUI thread only.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // Shows a modal box; `owner` may be null for a box without owner.
    virtual void show(QWidget* owner, const std::string& text, const std::string& caption,
                      MessageIcon icon = MessageIcon::None) = 0;
};

// Real boxes on the desktop.
class QtMessageBoxes final : public MessageBoxes {
  public:
    void show(QWidget* owner, const std::string& text, const std::string& caption,
              MessageIcon icon) override;
};

}  // namespace tovrel::platform
