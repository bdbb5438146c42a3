#include "platform/desktop/message_boxes.h"

#include <QMessageBox>
#include <QString>

namespace tovrel::platform {

void QtMessageBoxes::show(QWidget* owner, const std::string& text, const std::string& caption,
                          MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    owner);
    box.exec();
}

}  // namespace tovrel::platform
