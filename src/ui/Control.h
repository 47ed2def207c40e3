#pragma once
// The widget model: every control is plain state plus std::function events.
// A backend peer (ui/win32) mirrors the state into a native control and turns
// native notifications back into the control's events; without a peer (tests)
// the state is simply held. No OS headers here.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Colour.h"
#include "base/Font.h"
#include "base/Geometry.h"

namespace snapora {

class Container;
class Form;

enum class Change { Bounds, Text, Visible, Enabled, Font, Colour, State, Items, Focus };

// The native side of one control.
class ControlPeer {
public:
    virtual ~ControlPeer() = default;
    virtual void Update(Change what) = 0;
    virtual NativeWindow Handle() const = 0;
};

enum class Cursor { Default, HandPoint, Cross, IBeam, Pen };
enum class MouseButton { Left, Right, Middle };
enum class Alignment { Left, Centre, Right };

// Shift state of a key event; the bit values of the Windows modifier keys.
enum ShiftState : unsigned { ssNone = 0, ssShift = 1, ssAlt = 2, ssCtrl = 4 };

class Control {
public:
    Control(Container* parent, std::string name);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    enum class Kind {
        Label, Button, CheckBox, Edit, ProgressBar, Panel, Bevel, Notebook, Page, Image, Picture, Form,
        GroupBox, PageControl, TabSheet, SpinEdit, ListBox, ScrollBox, ToolBar, ToolButton, UpDown, StatusBar,
        ComboBox
    };
    virtual Kind GetKind() const = 0;

    const std::string& Name() const { return name_; }
    Container* Parent() const { return parent_; }
    Form* OwnerForm();

    // Position and size in the parent's client coordinates.
    Rect Bounds() const { return bounds_; }
    int Left() const { return bounds_.left; }
    int Top() const { return bounds_.top; }
    int Width() const { return bounds_.Width(); }
    int Height() const { return bounds_.Height(); }
    void SetBounds(int left, int top, int width, int height);
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }

    const std::string& Text() const { return text_; }
    void SetText(std::string text);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible itself and every parent up to a visible form.
    bool Showing() const;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    const Font& GetFont() const { return font_; }
    void SetFont(Font font);
    Colour Color() const { return colour_; }
    void SetColor(Colour colour);

    std::string Hint;
    Cursor CursorShape = Cursor::Default;
    bool TabStop = false;

    void SetFocus();
    bool Focused() const;

    // Key events while the control has the focus; setting the key to 0 swallows it.
    std::function<void(std::uint16_t& key, unsigned shift)> OnKeyDown;
    std::function<void(std::uint16_t& key, unsigned shift)> OnKeyUp;
    std::function<void(char& key)> OnKeyPress;
    // The focus left the control.
    std::function<void()> OnExit;
    // Mouse buttons and moves over the control, in its client coordinates. While a
    // button is held the control keeps getting the moves, also outside it.
    std::function<void(MouseButton button, unsigned shift, int x, int y)> OnMouseDown;
    std::function<void(unsigned shift, int x, int y)> OnMouseMove;
    std::function<void(MouseButton button, unsigned shift, int x, int y)> OnMouseUp;
    bool WantsMouse() const { return OnMouseDown || OnMouseMove || OnMouseUp; }

    ControlPeer* Peer() const { return peer_; }
    void AttachPeer(ControlPeer* peer) { peer_ = peer; }
    NativeWindow Handle() const { return peer_ ? peer_->Handle() : 0; }

    // What a click on the native control does; clickable controls override it.
    virtual void NativeClick() {}
    virtual void NativeDoubleClick() {}

protected:
    void Changed(Change what) {
        if (peer_) peer_->Update(what);
    }

private:
    Container* parent_;
    std::string name_;
    Rect bounds_;
    std::string text_;
    bool visible_ = true;
    bool enabled_ = true;
    Font font_;
    Colour colour_ = clDefault;
    ControlPeer* peer_ = nullptr;
};

class Container : public Control {
public:
    using Control::Control;
    const std::vector<Control*>& Children() const { return children_; }

private:
    friend class Control;
    std::vector<Control*> children_;
};

}  // namespace snapora
