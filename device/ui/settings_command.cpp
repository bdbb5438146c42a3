#include "device/ui/settings_command.h"

#include <memory>

#include "device/ui/io_dialog.h"

namespace tovrel::device::ui {

int runSettingsDialog(QWidget* parent, BoxOperations& box, SettingsHost host,
                      QDialog*& openSettings) {
    if (openSettings) return -1;
    auto dialog = std::make_unique<CIODialog>(box, std::move(host), parent);
    openSettings = dialog.get();
    const int result = dialog->exec();
    dialog.reset();
    openSettings = nullptr;
    return result;
}

}  // namespace tovrel::device::ui
