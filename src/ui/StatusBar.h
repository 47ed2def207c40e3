#pragma once
// A bar of text panels along the bottom of a window.

#include <string>
#include <vector>

#include "ui/Control.h"

namespace snapora {

class TStatusBar : public Control {
public:
    using Control::Control;
    Kind GetKind() const override { return Kind::StatusBar; }
    struct Panel {
        std::string text;
        int width = 0;  // the last panel takes the rest
    };
    void SetPanels(std::vector<int> widths);
    const std::vector<Panel>& Panels() const { return panels_; }
    const std::string& PanelText(int index) const { return panels_.at(size_t(index)).text; }
    void SetPanelText(int index, std::string text);

private:
    std::vector<Panel> panels_;
};

}  // namespace snapora
