#include "platform/media/guid.h"

#include <cstdio>

namespace tovrel::platform {

std::string Guid::toString() const {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(data1), data2, data3, data4[0], data4[1], data4[2],
                  data4[3], data4[4], data4[5], data4[6], data4[7]);
    return text;
}

}  // namespace tovrel::platform
