#include "ui/StatusBar.h"

namespace snapora {

void TStatusBar::SetPanels(std::vector<int> widths) {
    panels_.clear();
    for (int width : widths) panels_.push_back({"", width});
    Changed(Change::Items);
}

void TStatusBar::SetPanelText(int index, std::string text) {
    Panel& panel = panels_.at(size_t(index));
    if (panel.text == text) return;
    panel.text = std::move(text);
    Changed(Change::Items);
}

}  // namespace snapora
