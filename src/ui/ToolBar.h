#pragma once
// A row of flat picture buttons and other controls, laid out left to right,
// and the up-down buttons that step a number shown in an edit field.

#include "imaging/Bitmap.h"
#include "ui/Control.h"

namespace snapora {

class TEdit;

class TToolBar : public Container {
public:
    using Container::Container;
    Kind GetKind() const override { return Kind::ToolBar; }
    int ButtonWidth = 28;
    int ButtonHeight = 22;
    int SeparatorWidth = 8;
    // The buttons' pictures: a strip of square images side by side. Pixels of
    // TransparentColour show the button face.
    Bitmap Images;
    Colour TransparentColour = clFuchsia;
    int ImageSize() const { return Images.Height(); }
    // Places the children from left to right in their order, centred vertically.
    void Realign();
};

enum class ToolButtonStyle { Button, Separator };

class TToolButton : public Control {
public:
    TToolButton(Container* parent, std::string name) : Control(parent, std::move(name)) {}
    Kind GetKind() const override { return Kind::ToolButton; }
    ToolButtonStyle Style = ToolButtonStyle::Button;
    int ImageIndex = -1;
    // Neighbouring grouped buttons work like radio buttons: one of them is down.
    bool Grouped = false;
    bool Down() const { return down_; }
    void SetDown(bool down);
    std::function<void()> OnClick;
    void Click();
    void NativeClick() override { Click(); }

private:
    bool down_ = false;
};

// Up and down buttons beside an edit field that shows their position.
class TUpDown : public Control {
public:
    TUpDown(Container* parent, std::string name) : Control(parent, std::move(name)) {}
    Kind GetKind() const override { return Kind::UpDown; }
    int Min = 0;
    int Max = 100;
    int Increment = 1;
    TEdit* Associate = nullptr;  // shows the position; its OnChange runs when it does
    int Position() const { return position_; }
    void SetPosition(int position);  // brought into Min..Max
    void Step(int direction) { SetPosition(position_ + direction * Increment); }

private:
    int position_ = 0;
};

}  // namespace snapora
