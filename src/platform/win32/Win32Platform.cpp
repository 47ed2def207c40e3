#include "platform/win32/Win32Platform.h"

#include <windows.h>

namespace snapora {

Win32Platform::~Win32Platform() {
    // Bitmaps own their sections; only the process-wide pointer to us must go.
    if (&CurrentPixelMemorySource() == &dibSource) SetPixelMemorySource(nullptr);
}

void Win32Platform::UseDibPixels() { SetPixelMemorySource(&dibSource); }

}  // namespace snapora
