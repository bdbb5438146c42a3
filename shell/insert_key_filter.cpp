#include "shell/insert_key_filter.h"

#include <QKeyEvent>

#include "platform/system/debug_output.h"
#include "shell/shell_texts.h"

namespace tovrel::shell {

bool InsertKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    // A key event reaches the native window first and then each widget up the focus chain;
    // watch only the native window's delivery so that one release writes one line.
    if (event->type() == QEvent::KeyRelease && watched->isWindowType()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert && !key->isAutoRepeat()) {
            platform::outputDebugString(ShellTexts::kInsertReleased);
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tovrel::shell
