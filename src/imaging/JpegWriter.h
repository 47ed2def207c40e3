#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "imaging/Bitmap.h"

namespace snapora {

// A baseline colour JPEG of the picture with libjpeg's standard tables at the
// given quality (1..100): the file's bytes.
std::string EncodeJpeg(const Bitmap& picture, int quality);

// The same, given up (nothing returned) as soon as `stop` is seen set.
std::optional<std::string> EncodeJpegUnlessStopped(const Bitmap& picture, int quality, const std::atomic<bool>& stop);

}  // namespace snapora
