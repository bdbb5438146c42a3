#include "platform/ffmpeg/ffmpeg_sink_writer_factory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include "platform/ffmpeg/ffmpeg_sink_writer.h"
#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);
constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070u);

HRESULT resultOfErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return kAccessDenied;
        case ENOENT:
        case ENOTDIR:
            return kPathNotFound;
        case ENOSPC:
        case EDQUOT:
            return kDiskFull;
        default:
            return E_FAIL;
    }
}

// libavcodec and its encoders print to standard error by default; here their warnings and
// errors join the rest of the diagnostics, off unless enabled.
void routeAvLog(void*, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_WARNING) return;
    char line[1024];
    std::vsnprintf(line, sizeof line, format, arguments);
    std::string_view text(line);
    while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty()) outputDebugString(std::string("libav: ") + std::string(text));
}

}  // namespace

FfmpegSinkWriterFactory::FfmpegSinkWriterFactory(EncoderBackend& backend) : backend_(backend) {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(&routeAvLog); });
}

HRESULT FfmpegSinkWriterFactory::CreateSinkWriterFromURL(const std::string& path,
                                                         const Attributes* attributes,
                                                         std::unique_ptr<SinkWriter>* sinkWriter) {
    if (sinkWriter == nullptr) return E_POINTER;
    FfmpegSinkWriter::Options options;
    options.backend = &backend_;
    if (attributes != nullptr) {
        uint32_t value = 0;
        options.preferHardware =
            SUCCEEDED(attributes->GetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, &value)) &&
            value != 0;
        value = 0;
        options.throttlingDisabled =
            SUCCEEDED(attributes->GetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, &value)) &&
            value != 0;
        Guid container;
        if (SUCCEEDED(attributes->GetGUID(MF_TRANSCODE_CONTAINERTYPE, &container)) &&
            container != MFTranscodeContainerType_MPEG4) {
            return MF_E_INVALIDMEDIATYPE;
        }
    }
    bool created = true;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    }
    if (fd < 0) {
        const int error = errno;
        logErrno(path, "open", error);
        return resultOfErrno(error);
    }
    *sinkWriter = std::make_unique<FfmpegSinkWriter>(path, fd, created, options);
    return S_OK;
}

}  // namespace tovrel::platform
