#include "platform/desktop/debug_category.h"

#include <QLoggingCategory>
#include <QString>

#include "platform/system/debug_output.h"

Q_LOGGING_CATEGORY(lcTovrelDebug, "tovrel.debugoutput", QtWarningMsg)

namespace tovrel::platform {

void routeDebugOutputToLoggingCategory() {
    setDebugOutputSink([](std::string_view text) {
        qCDebug(lcTovrelDebug).noquote()
            << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    });
}

}  // namespace tovrel::platform
