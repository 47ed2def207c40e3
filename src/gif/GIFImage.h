#pragma once
// The picture control that shows the donate button: a GIF picture, drawn
// from its first frame, that answers clicks.

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "imaging/Bitmap.h"
#include "ui/Control.h"

namespace snapora {

class TGIFImage : public Control {
public:
    using Control::Control;
    Kind GetKind() const override { return Kind::Picture; }
    bool Animate = false;
    std::function<void()> OnClick;
    void Click() {
        if (OnClick) OnClick();
    }
    void NativeClick() override { Click(); }

    // Loads a GIF file's bytes; on failure the control is empty and false returned.
    bool LoadFromData(std::string_view bytes);
    void Clear();
    bool Empty() const { return Frame.IsEmpty(); }
    // 0 none, 1 stopped, 2 no data, 3 invalid data.
    int LastError() const { return lastError_; }

    // What is shown: the first frame on the picture's logical screen, and one
    // byte per pixel that is 1 where the picture is transparent (empty: opaque).
    Bitmap Frame;
    std::vector<std::uint8_t> Mask;

private:
    int lastError_ = 0;
};

}  // namespace snapora
