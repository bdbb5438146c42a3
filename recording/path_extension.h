#pragma once

#include <string_view>

namespace tovrel::recording {

// The extension of a file path as PathFindExtension gives it: from the last dot of the last
// path element, dot included; empty when that element has no dot. Any thread.
std::string_view pathExtension(std::string_view path);

}  // namespace tovrel::recording
