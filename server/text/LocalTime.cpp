#include "text/LocalTime.h"

#include <ctime>

namespace snapora::server {

std::string LocalTime(std::int64_t secondsSinceEpoch, const char* format) {
    std::time_t t = std::time_t(secondsSinceEpoch);
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    return std::strftime(text, sizeof text, format, &local) ? text : "";
}

}  // namespace snapora::server
