#pragma once
// Reading BMP files: the editor's tool pictures come as one.

#include <string_view>

#include "imaging/Bitmap.h"

namespace snapora {

// The picture of an uncompressed 24-bit BMP file (bottom-up or top-down rows).
// Anything else, a file that ends early, or one larger than 16384 pixels a
// side gives an empty bitmap.
Bitmap ReadBmp(std::string_view file);

}  // namespace snapora
