#include "ui/ScrollBox.h"

#include <algorithm>

namespace snapora {

Size TScrollBox::Range() const {
    Size range;
    for (const Control* child : Children()) {
        if (!child->Visible()) continue;
        range.width = std::max(range.width, child->Bounds().right + position_.x);
        range.height = std::max(range.height, child->Bounds().bottom + position_.y);
    }
    return range;
}

// Each bar takes room from the other direction, so one may bring the other.
bool TScrollBox::HasHorzScrollBar() const {
    Size range = Range();
    if (range.width > Width()) return true;
    return range.height > Height() && range.width > Width() - ScrollBarThickness;
}

bool TScrollBox::HasVertScrollBar() const {
    Size range = Range();
    if (range.height > Height()) return true;
    return range.width > Width() && range.height > Height() - ScrollBarThickness;
}

int TScrollBox::ClientWidth() const { return std::max(0, Width() - (HasVertScrollBar() ? ScrollBarThickness : 0)); }
int TScrollBox::ClientHeight() const { return std::max(0, Height() - (HasHorzScrollBar() ? ScrollBarThickness : 0)); }

void TScrollBox::ScrollTo(int x, int y) {
    Size range = Range();
    x = std::clamp(x, 0, std::max(0, range.width - ClientWidth()));
    y = std::clamp(y, 0, std::max(0, range.height - ClientHeight()));
    int dx = x - position_.x, dy = y - position_.y;
    if (dx == 0 && dy == 0) return;
    position_ = {x, y};
    for (Control* child : Children()) child->SetBounds(child->Left() - dx, child->Top() - dy, child->Width(), child->Height());
    Changed(Change::State);
}

void TScrollBox::RangeChanged() {
    ScrollTo(position_.x, position_.y);  // a smaller range may pull the position back
    Changed(Change::State);              // the bars follow the range
}

}  // namespace snapora
