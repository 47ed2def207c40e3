#pragma once
// A font as controls and drawing surfaces ask for it.

#include <string>

#include "base/Colour.h"

namespace snapora {

struct Font {
    std::string name = "MS Sans Serif";
    int points = 8;       // used when pixelHeight is 0
    int pixelHeight = 0;  // character height in pixels (a font height of -pixelHeight), when given
    bool bold = false;
    Colour colour = clWindowText;
    friend bool operator==(const Font&, const Font&) = default;
};

}  // namespace snapora
