#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/system/hresult.h"

namespace tovrel::platform {

// The file an image is encoded into (the imaging stream's place). It is written under a hidden
// temporary name in the destination's own folder and takes the destination's name only in
// Commit, in one rename: a snapshot that fails part way leaves an older file of that name as it
// was, and a reader never sees half a picture. Without Commit the temporary file is removed.
// One thread at a time.
//
// Results: S_OK; E_ACCESSDENIED (EACCES, EPERM, EROFS), kPathNotFound (ENOENT, ENOTDIR),
// kDiskFull (ENOSPC, EFBIG, EDQUOT), E_OUTOFMEMORY (ENOMEM), kWriteFault (EIO),
// E_INVALIDARG (an empty name, a name ending in "/", a directory of that name) and E_FAIL
// for other errno values. Every failing system call is logged with the file and errno's text.
class ImageFile {
  public:
    static constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
    static constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);
    static constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070u);
    static constexpr HRESULT kWriteFault = static_cast<HRESULT>(0x8007001Du);

    // Creates the temporary file beside `path` (open for reading and writing, as libtiff reads
    // back what it wrote; create, exclusive; mode 0666 less the umask, as the final file should
    // have).
    static HRESULT Create(const std::string& path, std::unique_ptr<ImageFile>* file);
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Writes all `bytes` at the current position (short writes and EINTR are retried).
    HRESULT Write(const void* data, size_t bytes);
    // Reads up to `bytes` at the current position; *read gets the count (0 at the end).
    HRESULT Read(void* data, size_t bytes, size_t* read);
    // lseek's semantics (SEEK_SET, SEEK_CUR, SEEK_END); *position gets the new offset.
    HRESULT Seek(int64_t offset, int whence, int64_t* position);
    HRESULT Size(int64_t* bytes);

    // Flushes the temporary file to the disk (fdatasync), closes it and renames it over the
    // destination. Once only; after a failed write the file refuses (the first failure is
    // returned) and the destination stays untouched.
    HRESULT Commit();

    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return temporaryPath_; }

    // The result for an errno value, as the header lists.
    static HRESULT resultOfErrno(int error);

  private:
    ImageFile(std::string path, std::string temporaryPath, int fd);
    HRESULT fail(const char* call, int error);

    std::string path_;
    std::string temporaryPath_;
    int fd_ = -1;
    HRESULT firstFailure_ = S_OK;
    bool committed_ = false;
};

}  // namespace tovrel::platform
