#pragma once
// A view larger than its window: its children move by the scroll position,
// and scroll bars appear for whatever sticks out.

#include "ui/Control.h"

namespace snapora {

class TScrollBox : public Container {
public:
    TScrollBox(Container* parent, std::string name) : Container(parent, std::move(name)) { TabStop = true; }
    Kind GetKind() const override { return Kind::ScrollBox; }

    static constexpr int ScrollBarThickness = 17;  // at 96 dots per inch

    // What the children cover, measured from the unscrolled origin.
    Size Range() const;
    // The visible part: the window less the scroll bars that the range needs.
    int ClientWidth() const;
    int ClientHeight() const;
    bool HasHorzScrollBar() const;
    bool HasVertScrollBar() const;

    Point Position() const { return position_; }
    // Brought into 0 .. range - client size; the children move with it.
    void ScrollTo(int x, int y);
    void SetHorzPosition(int x) { ScrollTo(x, position_.y); }
    void SetVertPosition(int y) { ScrollTo(position_.x, y); }
    // Children changed size or place: the position and scroll bars follow.
    void RangeChanged();

    std::function<void()> OnClick;
    void Click() {
        if (OnClick) OnClick();
    }
    void NativeClick() override { Click(); }

private:
    Point position_;
};

}  // namespace snapora
