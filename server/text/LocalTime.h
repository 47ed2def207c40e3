#pragma once
// A moment in the server's local time, formatted as strftime does.

#include <cstdint>
#include <string>

namespace snapora::server {

std::string LocalTime(std::int64_t secondsSinceEpoch, const char* format);

}  // namespace snapora::server
