#include "ui/ToolBar.h"

#include <algorithm>
#include <string>

#include "ui/Controls.h"

namespace snapora {

void TToolBar::Realign() {
    int x = 0;
    for (Control* child : Children()) {
        if (!child->Visible()) continue;
        int width = child->Width(), height = child->Height();
        if (child->GetKind() == Kind::ToolButton) {
            bool separator = static_cast<TToolButton*>(child)->Style == ToolButtonStyle::Separator;
            width = separator ? SeparatorWidth : ButtonWidth;
            height = ButtonHeight;
        }
        child->SetBounds(x, std::max(0, (Height() - height) / 2), width, height);
        x += width;
    }
}

void TToolButton::SetDown(bool down) {
    if (down == down_) return;
    down_ = down;
    if (down && Grouped && Parent()) {
        // The run of grouped buttons around this one, up to a separator or another control.
        const auto& siblings = Parent()->Children();
        auto self = std::find(siblings.begin(), siblings.end(), this);
        auto grouped = [](Control* c) {
            auto* b = c->GetKind() == Kind::ToolButton ? static_cast<TToolButton*>(c) : nullptr;
            return b && b->Grouped && b->Style == ToolButtonStyle::Button ? b : nullptr;
        };
        for (auto it = self; it != siblings.begin() && grouped(*(it - 1)); --it) grouped(*(it - 1))->SetDown(false);
        for (auto it = self + 1; it != siblings.end() && grouped(*it); ++it) grouped(*it)->SetDown(false);
    }
    Changed(Change::State);
}

void TToolButton::Click() {
    if (!Enabled() || Style == ToolButtonStyle::Separator) return;
    if (Grouped) SetDown(true);
    if (OnClick) OnClick();
}

void TUpDown::SetPosition(int position) {
    position = std::clamp(position, Min, Max);
    if (position == position_ && (!Associate || Associate->Text() == std::to_string(position))) return;
    position_ = position;
    Changed(Change::State);
    if (Associate) {
        Associate->SetText(std::to_string(position_));
        if (Associate->OnChange) Associate->OnChange();
    }
}

}  // namespace snapora
