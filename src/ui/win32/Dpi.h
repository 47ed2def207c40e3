#pragma once
// Dots per inch of windows and monitors. The model's layout is in units of
// 1/96 inch; the native windows are in physical pixels, so the backend scales
// every position, size and font by the DPI of the monitor a form is on.
// The newer calls are looked up at run time: the program starts on Windows 7.

#include <windows.h>

namespace snapora::dpi {

inline constexpr int Standard = 96;  // the DPI of the model's units

// Model units to pixels and back, rounded to the nearest.
inline int ToNative(int value, int dpi) { return dpi == Standard ? value : MulDiv(value, dpi, Standard); }
inline int ToModel(int value, int dpi) { return dpi == Standard ? value : MulDiv(value, Standard, dpi); }

// The primary monitor's DPI, as GDI reports it.
int System();
// A window's DPI: its monitor's under per-monitor awareness, otherwise the system's.
int OfWindow(HWND window);
// The DPI of the monitor holding a point of the screen.
int OfPoint(POINT point);
// AdjustWindowRectEx with the frame measured at that DPI.
void AdjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, int dpi);
// Per-monitor (V2) awareness when the manifest's request did not take effect
// (older Windows, or a loader that ignores it); the system's DPI otherwise.
void MakeProcessAware();

}  // namespace snapora::dpi
