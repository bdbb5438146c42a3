#include "platform/desktop/message_boxes.h"

#include <QMessageBox>
#include <QString>

namespace tovrel::platform {

void QtMessageBoxes::show(QWidget* owner, const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace tovrel::platform
