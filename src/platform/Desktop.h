#pragma once
// The screen and the windows on it.

#include <string>
#include <vector>

#include "base/Geometry.h"

namespace snapora {

class Bitmap;

class Desktop {
public:
    virtual ~Desktop() = default;
    // Every monitor's rectangle in virtual-screen coordinates (EnumDisplayMonitors).
    virtual std::vector<Rect> Monitors() = 0;
    // The primary screen's size (SM_CXSCREEN, SM_CYSCREEN).
    virtual Size PrimaryScreenSize() = 0;
    // The size of the rectangle around all monitors (SM_CXVIRTUALSCREEN, SM_CYVIRTUALSCREEN).
    virtual Size VirtualScreenSize() = 0;
    // Copies the screen area `area` into `into`, which takes the area's size.
    virtual void Grab(const Rect& area, Bitmap& into) = 0;
    // The foreground window's title as Windows-1252 bytes, at most 254 of them.
    virtual std::string ForegroundWindowTitle() = 0;
    // The foreground window's outer rectangle in screen coordinates.
    virtual Rect ForegroundWindowRect() = 0;
    // Brings a window to the front despite the foreground lock; whether it is
    // the foreground window afterwards.
    virtual bool ForceForegroundWindow(NativeWindow window) = 0;
};

}  // namespace snapora
