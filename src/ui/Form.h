#pragma once
// A top-level window with its controls as public members of the derived class.

#include <cstdint>
#include <functional>

#include "platform/MessageWindows.h"
#include "ui/Control.h"

namespace snapora {

class Application;
class TButton;

enum class BorderStyle { Single, Dialog, Sizeable, None };
enum class WindowState { Normal, Minimized };
enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

// Messages the program's windows handle themselves, by their Windows numbers.
enum WindowMessage : unsigned {
    WM_QUERYENDSESSION_ = 0x0011,
};

// The native side of a window adds modal and state operations to a control peer.
class FormPeer : public ControlPeer {
public:
    virtual void BringToFront() = 0;
};

class Form : public Container {
public:
    Form(Application& app, std::string name);
    ~Form() override;
    Kind GetKind() const override { return Kind::Form; }

    Application& App() const { return app_; }
    const std::string& Caption() const { return Text(); }
    void SetCaption(std::string caption) { SetText(std::move(caption)); }
    void SetClientSize(int width, int height);
    // Places the whole window, frame included; the client area gets what is left.
    void SetWindowBounds(int left, int top, int width, int height);
    bool OuterSizeWanted() const { return outerSizeWanted_; }
    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }

    BorderStyle Border = BorderStyle::Sizeable;
    bool MinimizeBox = true;
    bool MaximizeBox = true;
    bool CentreOnScreen = false;
    bool KeyPreview = false;
    bool ToolWindow = false;
    Size MinimumClientSize;  // the smallest the user may make it, like SetClientSize

    // Events, named after their window-framework counterparts.
    std::function<void()> OnCreate;
    std::function<void()> OnShow;
    std::function<void(bool& canClose)> OnCloseQuery;
    std::function<void()> OnClose;
    std::function<void()> OnDestroy;
    std::function<void(std::uint16_t& key, unsigned shift)> OnKeyDown;
    std::function<void(char& key)> OnKeyPress;
    // Window messages the form handles itself; returns true when handled.
    std::function<bool(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t& result)> OnMessage;

    void Show();
    void Hide() { SetVisible(false); }
    // What the close box does: asks OnCloseQuery, runs OnClose, then hides
    // the window, ends a modal showing, or ends the program for the main form.
    void Close();
    int ShowModal();
    bool Modal() const { return modal_; }
    int GetModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }

    WindowState GetWindowState() const { return windowState_; }
    void SetWindowState(WindowState state);

    Control* ActiveControl() const { return activeControl_; }
    void SetActiveControl(Control* control);  // the model side of focusing
    TButton* DefaultButton() const;
    TButton* CancelButton() const;

    // Entry points for the backend and for tests: what a key or a message does.
    // KeyDown returns true when the key was consumed.
    bool KeyDown(std::uint16_t key, unsigned shift);
    bool KeyUp(std::uint16_t key, unsigned shift);
    bool KeyPress(char key);
    bool Dispatch(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t& result);

    // Set by the backend when the user minimizes or restores the window natively.
    void WindowStateChangedByUser(WindowState state) { windowState_ = state; }

private:
    Application& app_;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    bool outerSizeWanted_ = false;
    WindowState windowState_ = WindowState::Normal;
    Control* activeControl_ = nullptr;
    bool modal_ = false;
    int modalResult_ = mrNone;
};

}  // namespace snapora
