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

}  // namespace snapora
