#pragma once

#include <string>

#include "imaging/Bitmap.h"

namespace snapora {

// A baseline colour JPEG of the picture with libjpeg's standard tables at the
// given quality (1..100): the file's bytes.
std::string EncodeJpeg(const Bitmap& picture, int quality);

}  // namespace snapora
