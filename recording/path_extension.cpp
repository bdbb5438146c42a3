#include "recording/path_extension.h"

namespace tovrel::recording {

std::string_view pathExtension(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

}  // namespace tovrel::recording
