#include "platform/imaging/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

constexpr int kNameAttempts = 16;

// A suffix no other writer in this folder is likely to pick: the process, a counter and some
// randomness (O_EXCL settles the rest).
std::string temporarySuffix() {
    static std::atomic<uint32_t> counter{0};
    thread_local std::mt19937 random{std::random_device{}()};
    char text[48];
    std::snprintf(text, sizeof text, ".%d-%u-%08x.part", static_cast<int>(getpid()),
                  counter.fetch_add(1), static_cast<unsigned>(random()));
    return text;
}

}  // namespace

HRESULT ImageFile::resultOfErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return E_ACCESSDENIED;
        case ENOENT:
        case ENOTDIR:
            return kPathNotFound;
        case ENOSPC:
        case EFBIG:
        case EDQUOT:
            return kDiskFull;
        case ENOMEM:
            return E_OUTOFMEMORY;
        case EIO:
            return kWriteFault;
        case EISDIR:
            return E_INVALIDARG;
        default:
            return E_FAIL;
    }
}

HRESULT ImageFile::Create(const std::string& path, std::unique_ptr<ImageFile>* file) {
    if (file == nullptr) return E_POINTER;
    file->reset();
    const size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return E_INVALIDARG;
    // A directory of that name would only be found at the rename, after all the encoding.
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        logErrno(path, "stat", EISDIR);
        return E_INVALIDARG;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string temporary = folder + "." + name + temporarySuffix();
        const int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file->reset(new ImageFile(path, std::move(temporary), fd));
            return S_OK;
        }
        const int error = errno;
        if (error == EEXIST || error == EINTR) continue;
        logErrno(temporary, "open", error);
        return resultOfErrno(error);
    }
    logErrno(path, "open", EEXIST);
    return E_FAIL;
}

ImageFile::ImageFile(std::string path, std::string temporaryPath, int fd)
    : path_(std::move(path)), temporaryPath_(std::move(temporaryPath)), fd_(fd) {}

ImageFile::~ImageFile() {
    if (fd_ >= 0) close(fd_);
    if (!committed_ && unlink(temporaryPath_.c_str()) != 0) {
        logErrno(temporaryPath_, "unlink", errno);
    }
}

HRESULT ImageFile::fail(const char* call, int error) {
    logErrno(temporaryPath_, call, error);
    const HRESULT hr = resultOfErrno(error);
    if (SUCCEEDED(firstFailure_)) firstFailure_ = hr;
    return hr;
}

HRESULT ImageFile::Write(const void* data, size_t bytes) {
    if (FAILED(firstFailure_)) return firstFailure_;
    if (fd_ < 0) return E_UNEXPECTED;
    const auto* at = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t written = write(fd_, at, bytes);
        if (written < 0) {
            if (errno == EINTR) continue;
            return fail("write", errno);
        }
        at += written;
        bytes -= static_cast<size_t>(written);
    }
    return S_OK;
}

HRESULT ImageFile::Read(void* data, size_t bytes, size_t* read) {
    if (read != nullptr) *read = 0;
    if (fd_ < 0) return E_UNEXPECTED;
    ssize_t got;
    do {
        got = ::read(fd_, data, bytes);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return fail("read", errno);
    if (read != nullptr) *read = static_cast<size_t>(got);
    return S_OK;
}

HRESULT ImageFile::Seek(int64_t offset, int whence, int64_t* position) {
    if (fd_ < 0) return E_UNEXPECTED;
    const off_t at = lseek(fd_, static_cast<off_t>(offset), whence);
    if (at < 0) return fail("lseek", errno);
    if (position != nullptr) *position = at;
    return S_OK;
}

HRESULT ImageFile::Size(int64_t* bytes) {
    if (fd_ < 0) return E_UNEXPECTED;
    struct stat status {};
    if (fstat(fd_, &status) != 0) return fail("fstat", errno);
    if (bytes != nullptr) *bytes = status.st_size;
    return S_OK;
}

HRESULT ImageFile::Commit() {
    if (FAILED(firstFailure_)) return firstFailure_;
    if (fd_ < 0 || committed_) return E_UNEXPECTED;
    // The data reaches the disk before the name does: after a power loss the name holds either
    // the older file or the whole new one, never an empty or short file. close reports the
    // write errors some file systems keep until then (NFS, quotas).
    const int fd = fd_;
    fd_ = -1;
    if (fdatasync(fd) != 0) {
        const int error = errno;
        close(fd);
        return fail("fdatasync", error);
    }
    if (close(fd) != 0) return fail("close", errno);
    if (rename(temporaryPath_.c_str(), path_.c_str()) != 0) return fail("rename", errno);
    committed_ = true;
    return S_OK;
}

}  // namespace tovrel::platform
