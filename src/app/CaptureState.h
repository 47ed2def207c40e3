#pragma once
// The process-wide state of the capture road, shared by the main window, the
// editor, the worker and the history. One object, so every test builds its own.

#include <cstdint>
#include <string>

#include "base/Colour.h"
#include "base/Geometry.h"
#include "imaging/Bitmap.h"

namespace snapora {

enum OutputModes : std::uint8_t { omUpload = 0, omSaveLocally = 1, omAbort = 2 };

struct CaptureState {
    Bitmap ScreenshotBitmap;
    // The other bitmap a grab goes to while the history still packs the last screenshot.
    Bitmap SpareBitmap;
    std::uint8_t OutputMode = omUpload;
    bool ActiveWindowOnly = true;
    bool TriggeredFromMenu = false;
    bool ReadyForCapture = false;  // opened by FormFirstShow
    bool UploadDone = false;
    std::string Description;
    std::string TempFileName;
    std::string ScreenshotURL;
    std::string PendingNewName;
    std::string SessionName;
    std::int32_t UploadTotal = 0;

    // Owned by the editor, read by the capture road.
    Bitmap UneditedBitmap;
    Rect SelectionRect;

    int PenWidth = 3;  // the editor's pen width
    Colour PenColor = clRed;
    Colour BrushColor = clBlack;
    std::uint16_t AlternativeShortcut = 0x4023;  // Ctrl+End
};

}  // namespace snapora
