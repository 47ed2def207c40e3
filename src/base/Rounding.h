#pragma once

#include <cmath>

namespace snapora {

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
inline long long RoundHalfEven(double value) {
    return static_cast<long long>(std::nearbyint(value));  // default FP mode rounds to even
}

}  // namespace snapora
