#include "platform/system/runtime_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

std::string errnoText(int error) {
    char buffer[128];
    return ::strerror_r(error, buffer, sizeof buffer);
}

std::string octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777u);
    return text;
}

// A refusal is a sign of a misconfigured session or of someone else on the machine: the user
// must be able to see it without turning the debug output on, but once is enough.
void report(const std::string& text) {
    static std::mutex mutex;
    static std::set<std::string> reported;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!reported.insert(text).second) return;
    }
    std::fprintf(stderr, "tovrel: %s\n", text.c_str());
    outputDebugString(text);
}

const char* nonEmpty(const char* value) { return (value && *value) ? value : nullptr; }

}  // namespace

std::string RuntimeFolder::problemWith(const std::string& path, bool followLinks) {
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        return "cannot be examined: " + errnoText(errno);
    if (S_ISLNK(st.st_mode)) return "is a symbolic link";
    if (!S_ISDIR(st.st_mode)) return "is not a folder";
    if (st.st_uid != ::geteuid()) {
        return "belongs to user " + std::to_string(st.st_uid) + ", not to this user (" +
               std::to_string(::geteuid()) + ")";
    }
    if ((st.st_mode & 077) != 0) return "is open to other users (mode " + octal(st.st_mode) + ")";
    return {};
}

RuntimeFolder RuntimeFolder::locate() {
    RuntimeFolder folder;
    if (const char* runtime = nonEmpty(std::getenv("XDG_RUNTIME_DIR"))) {
        // The session made it; a link to it (some set-ups have one) is the session's own choice.
        const std::string problem = problemWith(runtime, true);
        if (problem.empty()) {
            folder.path_ = runtime;
            return folder;
        }
        report("XDG_RUNTIME_DIR " + std::string(runtime) + " " + problem +
               ": using a private folder in the temporary folder instead");
    }
    const char* temporary = nonEmpty(std::getenv("TMPDIR"));
    const std::string path =
        std::string(temporary ? temporary : "/tmp") + "/tovrel-" + std::to_string(::geteuid());
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        folder.refusal_ = "the private folder " + path + " cannot be made: " + errnoText(errno);
        report(folder.refusal_);
        return folder;
    }
    // Made by us just now or found: either way someone may have made it first.
    const std::string problem = problemWith(path, false);
    if (!problem.empty()) {
        folder.refusal_ = "refusing the private folder " + path + ": it " + problem +
                          "; no other copy of the program can be found or reached until it is "
                          "removed";
        report(folder.refusal_);
        return folder;
    }
    folder.path_ = path;
    return folder;
}

std::string RuntimeFolder::file(const std::string& name) const {
    return usable() ? path_ + "/" + name : std::string();
}

}  // namespace tovrel::platform
