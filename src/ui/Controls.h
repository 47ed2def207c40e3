#pragma once
// The standard controls of the program's windows.

#include <memory>

#include "imaging/Bitmap.h"
#include "ui/Control.h"

namespace snapora {

class TLabel : public Control {
public:
    using Control::Control;
    Kind GetKind() const override { return Kind::Label; }
    const std::string& Caption() const { return Text(); }
    void SetCaption(std::string caption) { SetText(std::move(caption)); }
    Alignment TextAlign = Alignment::Left;
    bool WordWrap = false;
    std::function<void()> OnClick;
    void Click() {
        if (OnClick) OnClick();
    }
    void NativeClick() override { Click(); }
};

class TButton : public Control {
public:
    TButton(Container* parent, std::string name) : Control(parent, std::move(name)) { TabStop = true; }
    Kind GetKind() const override { return Kind::Button; }
    const std::string& Caption() const { return Text(); }
    void SetCaption(std::string caption) { SetText(std::move(caption)); }
    bool Default() const { return default_; }
    void SetDefault(bool value);  // Enter presses the window's default button
    bool Cancel = false;          // Escape presses the cancel button
    int ModalResult = 0;          // closes a modal window with this result when clicked
    std::function<void()> OnClick;
    void Click();
    void NativeClick() override { Click(); }

private:
    bool default_ = false;
};

class TCheckBox : public Control {
public:
    TCheckBox(Container* parent, std::string name) : Control(parent, std::move(name)) { TabStop = true; }
    Kind GetKind() const override { return Kind::CheckBox; }
    const std::string& Caption() const { return Text(); }
    void SetCaption(std::string caption) { SetText(std::move(caption)); }
    bool Checked() const { return checked_; }
    void SetChecked(bool value);  // fires OnClick when the state changes
    void Click() { SetChecked(!checked_); }
    std::function<void()> OnClick;

private:
    bool checked_ = false;
};

class TEdit : public Control {
public:
    TEdit(Container* parent, std::string name) : Control(parent, std::move(name)) { TabStop = true; }
    Kind GetKind() const override { return Kind::Edit; }
    bool ReadOnly = false;
    bool Border = true;  // the sunken frame; set before the window is made
    bool WantsReturn = false;  // Enter reaches OnKeyPress instead of pressing a dialog button
    char PasswordChar = 0;
    void SelectAll();
    // The native control reports typing; the model then fires OnChange.
    void TextChangedByUser(std::string text);
    std::function<void()> OnChange;
    std::function<void()> OnClick;  // a mouse click into the field
    void Click() {
        if (OnClick) OnClick();
    }
    void NativeClick() override { Click(); }
};

class TProgressBar : public Control {
public:
    using Control::Control;
    Kind GetKind() const override { return Kind::ProgressBar; }
    int Min = 0;
    int Max = 100;
    int Position() const { return position_; }
    void SetPosition(int position);

private:
    int position_ = 0;
};

enum class BevelKind { None, Lowered, Raised };

class TPanel : public Container {
public:
    using Container::Container;
    Kind GetKind() const override { return Kind::Panel; }
    BevelKind Bevel = BevelKind::Raised;
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    void Click() {
        if (OnClick) OnClick();
    }
    void NativeClick() override { Click(); }
    void NativeDoubleClick() override {
        if (OnDblClick) OnDblClick();
    }
};

class TBevel : public Control {
public:
    using Control::Control;
    Kind GetKind() const override { return Kind::Bevel; }
    bool TopLineOnly = false;
};

class TPage : public Container {
public:
    using Container::Container;
    Kind GetKind() const override { return Kind::Page; }
};

// Pages on top of each other, one shown at a time (no tabs).
class TNotebook : public Container {
public:
    using Container::Container;
    Kind GetKind() const override { return Kind::Notebook; }
    int PageIndex() const { return pageIndex_; }
    void SetPageIndex(int index);
    // Called by the owner after its pages exist, to show page 0 only.
    void PagesCreated() { SetPageIndex(pageIndex_); }

private:
    int pageIndex_ = 0;
};

// A framed group of controls with a caption.
class TGroupBox : public Container {
public:
    using Container::Container;
    Kind GetKind() const override { return Kind::GroupBox; }
};

// One page of a tab control; its text is the tab's caption.
class TTabSheet : public Container {
public:
    using Container::Container;
    Kind GetKind() const override { return Kind::TabSheet; }
};

// Tab pages; the pages are its TTabSheet children, one shown at a time.
class TPageControl : public Container {
public:
    TPageControl(Container* parent, std::string name) : Container(parent, std::move(name)) { TabStop = true; }
    Kind GetKind() const override { return Kind::PageControl; }
    int ActivePageIndex() const { return activePage_; }
    void SetActivePageIndex(int index);
    // Called by the owner after its pages exist, to show the first one.
    void PagesCreated() { SetActivePageIndex(activePage_); }
    // The user picked a tab.
    void TabSelectedByUser(int index) { SetActivePageIndex(index); }

private:
    int activePage_ = 0;
};

// A number field with up and down buttons. Typing accepts digits, "+", "-"
// and the decimal separator; leaving the field brings the value into range.
class TSpinEdit : public Control {
public:
    TSpinEdit(Container* parent, std::string name);
    Kind GetKind() const override { return Kind::SpinEdit; }
    int MinValue = 0;
    int MaxValue = 100;
    int Increment = 1;
    // The whole number in the text, or MinValue when the text holds none.
    int Value() const;
    void SetValue(int value);  // brought into MinValue..MaxValue
    void Step(int direction);  // the up (+1) or down (-1) button
    void TextChangedByUser(std::string text);
    std::function<void()> OnChange;
};

// A drop-down list of texts to pick one from (no free text).
class TComboBox : public Control {
public:
    TComboBox(Container* parent, std::string name) : Control(parent, std::move(name)) { TabStop = true; }
    Kind GetKind() const override { return Kind::ComboBox; }
    const std::vector<std::string>& Items() const { return items_; }
    void AddItem(std::string text);
    void Clear();
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);  // -1 or out of range: none
    // The user picked an entry: it becomes the selection and OnChange runs.
    void SelectedByUser(int index);
    std::function<void()> OnChange;

private:
    std::vector<std::string> items_;
    int itemIndex_ = -1;
};

// A list of texts with one selected entry (-1: none).
class TListBox : public Control {
public:
    TListBox(Container* parent, std::string name) : Control(parent, std::move(name)) { TabStop = true; }
    Kind GetKind() const override { return Kind::ListBox; }
    const std::vector<std::string>& Items() const { return items_; }
    void InsertItem(int index, std::string text);
    void DeleteItem(int index);
    void SetItem(int index, std::string text);
    void Clear();
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    // The user picked an entry: it becomes the selection and OnClick runs.
    void SelectedByUser(int index);
    std::function<void()> OnClick;

private:
    std::vector<std::string> items_;
    int itemIndex_ = -1;
};

// A picture that paints a bitmap at its top-left corner, or the program icon.
class TImage : public Control {
public:
    using Control::Control;
    Kind GetKind() const override { return Kind::Image; }
    bool ShowsProgramIcon = false;
    bool AutoSize = false;          // takes the size of its picture
    bool MouseTransparent = false;  // clicks go to the control behind it
    Bitmap Picture;
    // Repaints all of it, or only `area` of the picture, after the picture changed.
    void PictureChanged();
    void PictureChanged(const Rect& area);
    // What needs repainting since the peer last asked; empty when nothing does.
    Rect TakeInvalidArea();
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    void Click() {
        if (OnClick) OnClick();
    }
    void NativeClick() override { Click(); }
    void NativeDoubleClick() override {
        if (OnDblClick) OnDblClick();
    }

private:
    Rect invalid_;
};

}  // namespace snapora
