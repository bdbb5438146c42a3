#include "shell/output_files.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdio>

#include "platform/system/debug_output.h"

namespace tovrel::shell {

std::string OutputFiles::fileName(const std::string& folder, const std::tm& t,
                                  const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "MF%02d%02d%02d%02d%02d%02d", (t.tm_year + 1900) % 100,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + name + extension;
}

std::optional<std::string> OutputFiles::folder(Folder which) {
    const QString wanted = QStandardPaths::writableLocation(which == Folder::kVideos
                                                                ? QStandardPaths::MoviesLocation
                                                                : QStandardPaths::PicturesLocation);
    if (!wanted.isEmpty() && QDir().mkpath(wanted)) return wanted.toStdString();
    platform::outputDebugString(
        "output folder unknown or not creatable, using the working "
        "directory: " +
        wanted.toStdString());
    const QString here = QDir::currentPath();
    if (here.isEmpty()) return std::nullopt;
    return here.toStdString();
}

std::optional<std::string> OutputFiles::forNow(Folder which, const char* extension) {
    std::optional<std::string> dir = folder(which);
    if (!dir) return std::nullopt;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return fileName(*dir, local, extension);
}

}  // namespace tovrel::shell
