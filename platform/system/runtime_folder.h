#pragma once

#include <string>

namespace tovrel::platform {

// The user's private folder for the program's sockets and lock files: `$XDG_RUNTIME_DIR`, or,
// where there is none, "tovrel-UID" in the temporary folder, made with mode 0700. Either must be
// a folder of this user that no one else may enter; a name in a shared folder can be taken by
// anyone first, so a folder that belongs to someone else, is open to others or is a symbolic
// link is refused, and the refusal is written to the standard error once per folder and reason.
// Any thread.
class RuntimeFolder {
  public:
    // Looks again each time: tests change the environment between cases.
    static RuntimeFolder locate();

    bool usable() const { return !path_.empty(); }
    // Empty when no private folder can be had.
    const std::string& path() const { return path_; }
    // Why the folder was refused; empty when it is usable.
    const std::string& refusal() const { return refusal_; }
    // `name` inside the folder; empty when the folder is not usable.
    std::string file(const std::string& name) const;

    // What is wrong with `path` as a private folder of this user; empty when nothing is.
    // A symbolic link counts as wrong unless `followLinks`.
    static std::string problemWith(const std::string& path, bool followLinks);

  private:
    std::string path_;
    std::string refusal_;
};

}  // namespace tovrel::platform
