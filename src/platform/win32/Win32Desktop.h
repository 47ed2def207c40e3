#pragma once

#include "platform/Desktop.h"

namespace snapora {

class Win32Desktop final : public Desktop {
public:
    std::vector<Rect> Monitors() override;
    Size PrimaryScreenSize() override;
    Size VirtualScreenSize() override;
    void Grab(const Rect& area, Bitmap& into) override;
    std::string ForegroundWindowTitle() override;
    Rect ForegroundWindowRect() override;
    bool ForceForegroundWindow(NativeWindow window) override;
};

}  // namespace snapora
