#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace snapora {

// The seed the stored user name and password are scrambled with.
inline constexpr std::uint32_t AccountScrambleSeed = 0x5C3A9F17;

// Rotates every byte of 32..122 by a pseudo-random amount within that range
// (decode turns the other way); other bytes stay as they are.
std::string ScrambleText(std::string_view text, std::uint32_t seed, bool decode);

}  // namespace snapora
