#include "ui/Controls.h"

#include <algorithm>

#include "ui/Form.h"

namespace snapora {

void TButton::SetDefault(bool value) {
    if (value == default_) return;
    if (value) {  // one default button per window
        if (Form* form = OwnerForm())
            if (TButton* old = form->DefaultButton()) old->SetDefault(false);
    }
    default_ = value;
    Changed(Change::State);
}

void TButton::Click() {
    if (!Enabled()) return;
    if (OnClick) OnClick();
    if (ModalResult != mrNone)
        if (Form* form = OwnerForm()) form->SetModalResult(ModalResult);
}

void TCheckBox::SetChecked(bool value) {
    if (value == checked_) return;
    checked_ = value;
    Changed(Change::State);
    if (OnClick) OnClick();
}

void TEdit::SelectAll() { Changed(Change::State); }

void TEdit::TextChangedByUser(std::string text) {
    if (text == Text()) return;
    SetText(std::move(text));
    if (OnChange) OnChange();
}

void TProgressBar::SetPosition(int position) {
    position = std::clamp(position, Min, Max);
    if (position == position_) return;
    position_ = position;
    Changed(Change::State);
}

void TNotebook::SetPageIndex(int index) {
    const auto& pages = Children();
    if (index < 0 || index >= int(pages.size())) return;
    pageIndex_ = index;
    for (int i = 0; i < int(pages.size()); ++i) pages[i]->SetVisible(i == index);
    Changed(Change::State);
}

void TPageControl::SetActivePageIndex(int index) {
    const auto& pages = Children();
    if (index < 0 || index >= int(pages.size())) return;
    activePage_ = index;
    for (int i = 0; i < int(pages.size()); ++i) pages[i]->SetVisible(i == index);
    Changed(Change::State);
}

TSpinEdit::TSpinEdit(Container* parent, std::string name) : Control(parent, std::move(name)) {
    TabStop = true;
    SetText("0");
    OnKeyPress = [](char& key) {
        // Control characters (Backspace, the clipboard keys) are not typing.
        bool allowed = (key >= '0' && key <= '9') || key == '+' || key == '-' || key == ',' ||
                       static_cast<unsigned char>(key) < 32;
        if (!allowed) key = 0;
    };
    OnExit = [this] { SetValue(Value()); };
}

int TSpinEdit::Value() const {
    const std::string& t = Text();
    size_t start = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    if (start == t.size() || t.find_first_not_of("0123456789", start) != std::string::npos || t.size() > 10)
        return MinValue;
    return int(std::clamp(std::stoll(t), -2147483648LL, 2147483647LL));
}

void TSpinEdit::SetValue(int value) {
    // Whatever the caller has (a stored setting, say), the field shows a value in range.
    if (MaxValue >= MinValue) value = std::clamp(value, MinValue, MaxValue);
    std::string text = std::to_string(value);
    if (text == Text()) return;
    SetText(text);
    if (OnChange) OnChange();
}

void TSpinEdit::Step(int direction) { SetValue(Value() + direction * Increment); }

void TSpinEdit::TextChangedByUser(std::string text) {
    if (text == Text()) return;
    SetText(std::move(text));
    if (OnChange) OnChange();
}

void TComboBox::AddItem(std::string text) {
    items_.push_back(std::move(text));
    Changed(Change::Items);
}

void TComboBox::Clear() {
    items_.clear();
    itemIndex_ = -1;
    Changed(Change::Items);
}

void TComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= int(items_.size())) index = -1;
    if (index == itemIndex_) return;
    itemIndex_ = index;
    Changed(Change::State);
}

void TComboBox::SelectedByUser(int index) {
    SetItemIndex(index);
    if (OnChange) OnChange();
}

void TImage::PictureChanged() { PictureChanged(Picture.Bounds()); }

void TImage::PictureChanged(const Rect& area) {
    if (AutoSize && (Width() != Picture.Width() || Height() != Picture.Height()))
        SetBounds(Left(), Top(), Picture.Width(), Picture.Height());
    Rect clipped = area.Intersect(Picture.Bounds());
    if (clipped.IsEmpty() && !Picture.IsEmpty()) return;
    invalid_ = Picture.IsEmpty() ? Rect{0, 0, Width(), Height()} : invalid_.Union(clipped);
    Changed(Change::State);
}

Rect TImage::TakeInvalidArea() {
    Rect area = invalid_;
    invalid_ = {};
    return area;
}

void TListBox::InsertItem(int index, std::string text) {
    index = std::clamp(index, 0, int(items_.size()));
    items_.insert(items_.begin() + index, std::move(text));
    if (itemIndex_ >= index) ++itemIndex_;
    Changed(Change::Items);
}

void TListBox::DeleteItem(int index) {
    if (index < 0 || index >= int(items_.size())) return;
    items_.erase(items_.begin() + index);
    if (itemIndex_ == index)
        itemIndex_ = -1;
    else if (itemIndex_ > index)
        --itemIndex_;
    Changed(Change::Items);
}

void TListBox::SetItem(int index, std::string text) {
    if (index < 0 || index >= int(items_.size())) return;
    items_[size_t(index)] = std::move(text);
    Changed(Change::Items);
}

void TListBox::Clear() {
    items_.clear();
    itemIndex_ = -1;
    Changed(Change::Items);
}

void TListBox::SetItemIndex(int index) {
    if (index < -1 || index >= int(items_.size())) index = -1;
    if (index == itemIndex_) return;
    itemIndex_ = index;
    Changed(Change::State);
}

void TListBox::SelectedByUser(int index) {
    SetItemIndex(index);
    if (OnClick) OnClick();
}

}  // namespace snapora
