#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "imaging/Bitmap.h"

namespace snapora {

// A baseline colour JPEG of the picture with libjpeg's standard tables at the
// given quality (1..100): the file's bytes.
std::string EncodeJpeg(const Bitmap& picture, int quality);

// The same file, unless `giveUp` is set while it is made (looked at every few
// rows): then nothing.
std::optional<std::string> EncodeJpegUnless(const Bitmap& picture, int quality, const std::atomic<bool>& giveUp);

// The same file, unless `keepGoing`, asked every 16 rows with how many rows
// are coded and how many bytes they took, says no: then nothing.
using EncodeWatch = std::function<bool(int codedRows, std::size_t bytes)>;
std::optional<std::string> EncodeJpegWatched(const Bitmap& picture, int quality, const EncodeWatch& keepGoing);

}  // namespace snapora
