#pragma once

#include "device/box_operations.h"
#include "device/ui/settings_host.h"

class QDialog;
class QWidget;

namespace tovrel::device::ui {

// The [F8]-Settings command's entry: unless `openSettings` already holds a Settings window,
// builds one over the program's register access and the main window's capture, records it in
// `openSettings`, runs it modally, deletes it and clears the record. Answers the dialog's
// result, or -1 when one was open already.
// GUI thread only.
int runSettingsDialog(QWidget* parent, BoxOperations& box, SettingsHost host,
                      QDialog*& openSettings);

}  // namespace tovrel::device::ui
