#include "ui/Form.h"

#include "ui/Application.h"
#include "ui/Controls.h"

namespace snapora {

namespace {
template <class Pred>
TButton* FindButton(const Container& container, Pred pred) {
    for (Control* child : container.Children()) {
        if (child->GetKind() == Control::Kind::Button && pred(*static_cast<TButton*>(child)))
            return static_cast<TButton*>(child);
        if (auto* inner = dynamic_cast<Container*>(child))
            if (TButton* found = FindButton(*inner, pred)) return found;
    }
    return nullptr;
}
constexpr std::uint16_t VK_RETURN_ = 0x0D;
constexpr std::uint16_t VK_ESCAPE_ = 0x1B;
}  // namespace

Form::Form(Application& app, std::string name) : Container(nullptr, std::move(name)), app_(app) {
    SetVisible(false);
    SetColor(clBtnFace);
}

Form::~Form() = default;

void Form::SetClientSize(int width, int height) {
    clientWidth_ = width;
    clientHeight_ = height;
    outerSizeWanted_ = false;
    Changed(Change::Bounds);
}

void Form::SetWindowBounds(int left, int top, int width, int height) {
    // Without a native frame the client is the whole window; a native peer
    // measures the real client area when it has placed the window.
    clientWidth_ = width;
    clientHeight_ = height;
    outerSizeWanted_ = true;
    if (Bounds() == Rect::FromSize(left, top, width, height)) Changed(Change::Bounds);
    SetBounds(left, top, width, height);
}

void Form::Show() {
    bool wasVisible = Visible();
    SetVisible(true);
    if (!wasVisible && OnShow) OnShow();
}

void Form::Close() {
    if (modal_) {
        if (modalResult_ == mrNone) modalResult_ = mrCancel;
        return;
    }
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(canClose);
    if (!canClose) return;
    if (OnClose) OnClose();
    if (app_.MainForm() == this)
        app_.Terminate();
    else
        Hide();
}

int Form::ShowModal() {
    modal_ = true;
    modalResult_ = mrNone;
    struct Reset {
        Form& f;
        ~Reset() {
            f.modal_ = false;
            f.SetVisible(false);
        }
    } reset{*this};
    if (OnShow) OnShow();
    int result = app_.GetBackend().RunModal(*this);
    if (OnClose) OnClose();
    return result;
}

void Form::SetWindowState(WindowState state) {
    if (state == windowState_) return;
    windowState_ = state;
    Changed(Change::State);
}

void Form::SetActiveControl(Control* control) {
    if (control == activeControl_) return;
    Control* left = activeControl_;
    activeControl_ = control;
    if (left && left->OnExit) left->OnExit();
}

TButton* Form::DefaultButton() const {
    return FindButton(*this, [](const TButton& b) { return b.Default(); });
}

TButton* Form::CancelButton() const {
    return FindButton(*this, [](const TButton& b) { return b.Cancel; });
}

bool Form::KeyDown(std::uint16_t key, unsigned shift) {
    if (KeyPreview && OnKeyDown) {
        OnKeyDown(key, shift);
        if (key == 0) return true;
    }
    if (activeControl_ && activeControl_->OnKeyDown) {
        activeControl_->OnKeyDown(key, shift);
        if (key == 0) return true;
    }
    if (key == VK_RETURN_ && shift == ssNone) {
        if (TButton* b = DefaultButton(); b && b->Showing() && b->Enabled()) {
            b->Click();
            return true;
        }
    }
    if (key == VK_ESCAPE_ && shift == ssNone) {
        if (TButton* b = CancelButton(); b && b->Showing() && b->Enabled()) {
            b->Click();
            return true;
        }
    }
    return false;
}

bool Form::KeyUp(std::uint16_t key, unsigned shift) {
    if (activeControl_ && activeControl_->OnKeyUp) {
        activeControl_->OnKeyUp(key, shift);
        if (key == 0) return true;
    }
    return false;
}

bool Form::KeyPress(char key) {
    if (KeyPreview && OnKeyPress) {
        OnKeyPress(key);
        if (key == 0) return true;
    }
    if (activeControl_ && activeControl_->OnKeyPress) {
        activeControl_->OnKeyPress(key);
        if (key == 0) return true;
    }
    return false;
}

bool Form::Dispatch(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t& result) {
    return OnMessage && OnMessage(message, wParam, lParam, result);
}

}  // namespace snapora
