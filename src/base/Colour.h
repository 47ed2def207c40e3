#pragma once
// Colours as 0x00BBGGRR (red in the low byte), the way GDI's COLORREF holds them.

#include <cstdint>

namespace snapora {

using Colour = std::uint32_t;

constexpr Colour MakeColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return Colour(red) | (Colour(green) << 8) | (Colour(blue) << 16);
}
constexpr std::uint8_t RedOf(Colour c) { return std::uint8_t(c); }
constexpr std::uint8_t GreenOf(Colour c) { return std::uint8_t(c >> 8); }
constexpr std::uint8_t BlueOf(Colour c) { return std::uint8_t(c >> 16); }

constexpr Colour clBlack = 0x000000;
constexpr Colour clMaroon = 0x000080;
constexpr Colour clGreen = 0x008000;
constexpr Colour clOlive = 0x008080;
constexpr Colour clNavy = 0x800000;
constexpr Colour clPurple = 0x800080;
constexpr Colour clTeal = 0x808000;
constexpr Colour clGray = 0x808080;
constexpr Colour clSilver = 0xC0C0C0;
constexpr Colour clRed = 0x0000FF;
constexpr Colour clLime = 0x00FF00;
constexpr Colour clYellow = 0x00FFFF;
constexpr Colour clBlue = 0xFF0000;
constexpr Colour clFuchsia = 0xFF00FF;
constexpr Colour clAqua = 0xFFFF00;
constexpr Colour clWhite = 0xFFFFFF;

// System colours: 0x80000000 plus the system colour index; the backend resolves them.
constexpr Colour SystemColour(int index) { return 0x80000000u | Colour(index); }
constexpr bool IsSystemColour(Colour c) { return (c & 0xFF000000u) == 0x80000000u; }
constexpr Colour clWindow = SystemColour(5);
constexpr Colour clWindowText = SystemColour(8);
constexpr Colour clBtnFace = SystemColour(15);
constexpr Colour clGrayText = SystemColour(17);
constexpr Colour clNone = 0x1FFFFFFF;
constexpr Colour clDefault = 0x20000000;

}  // namespace snapora
