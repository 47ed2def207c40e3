#include "ui/Control.h"

#include <algorithm>

#include "ui/Form.h"

namespace snapora {

Control::Control(Container* parent, std::string name) : parent_(parent), name_(std::move(name)) {
    if (parent_) parent_->children_.push_back(this);
}

Control::~Control() {
    if (parent_) std::erase(parent_->children_, this);
}

Form* Control::OwnerForm() {
    Control* c = this;
    while (c->parent_) c = c->parent_;
    return c->GetKind() == Kind::Form ? static_cast<Form*>(c) : nullptr;
}

void Control::SetBounds(int left, int top, int width, int height) {
    Rect r = Rect::FromSize(left, top, width, height);
    if (r == bounds_) return;
    bounds_ = r;
    Changed(Change::Bounds);
}

void Control::SetText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    Changed(Change::Text);
}

void Control::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Changed(Change::Visible);
}

bool Control::Showing() const {
    for (const Control* c = this; c; c = c->parent_)
        if (!c->visible_) return false;
    return true;
}

void Control::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Changed(Change::Enabled);
}

void Control::SetFont(Font font) {
    font_ = std::move(font);
    Changed(Change::Font);
}

void Control::SetColor(Colour colour) {
    if (colour == colour_) return;
    colour_ = colour;
    Changed(Change::Colour);
}

void Control::SetFocus() {
    if (Form* form = OwnerForm()) form->SetActiveControl(this);
    Changed(Change::Focus);
}

bool Control::Focused() const {
    Form* form = const_cast<Control*>(this)->OwnerForm();
    return form && form->ActiveControl() == this;
}

}  // namespace snapora
