#pragma once
// The picture control that shows the donate button. It answers clicks now;
// loading and animating its GIF picture comes with the GIF decoder.

#include <functional>

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
};

}  // namespace snapora
