#pragma once
// What the widget model needs from a windowing system. The Win32 backend
// drives real windows; the headless one keeps only state, for tests.

#include <functional>
#include <string>

#include "base/Geometry.h"
#include "ui/Control.h"

// <windows.h> makes MessageBox a macro; the model's MessageBox keeps its name
// whatever a file included before.
#undef MessageBox

namespace snapora {

class Application;
class Form;
class TPopupMenu;

// Message box flags and answers, by their Windows values.
enum MessageBoxFlags : unsigned {
    MB_OK_ = 0x0,
    MB_YESNOCANCEL_ = 0x3,
    MB_ICONINFORMATION_ = 0x40,
};
enum MessageBoxAnswer : int { IDOK_ = 1, IDCANCEL_ = 2, IDYES_ = 6, IDNO_ = 7 };

class Backend {
public:
    virtual ~Backend() = default;

    // Creates the native window and controls of a fully built form.
    virtual void FormCreated(Form& form) = 0;
    virtual void FormDestroyed(Form& form) = 0;
    // Shows a form modally and returns when its modal result is set.
    virtual int RunModal(Form& form) = 0;
    // Lets pending window messages run (repaints, input) and returns.
    virtual void ProcessMessages() = 0;
    virtual void Run() = 0;
    virtual void Terminate() = 0;
    virtual bool Terminated() const = 0;
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    virtual void BringApplicationToFront() = 0;
    virtual NativeWindow LastActivePopup() = 0;
    // Runs fn on the UI thread and waits for it; from the UI thread it runs at once.
    virtual void Synchronize(const std::function<void()>& fn) = 0;
    // Runs fn on the UI thread without waiting for it: after the calls posted
    // or synchronized before it; from the UI thread at once. Dropped when the
    // program ends first.
    virtual void Post(std::function<void()> fn) = 0;
    virtual void PopupMenu(TPopupMenu& menu, Point at) = 0;
    // A cursor shape whose picture is the program's cursor resource of that name.
    virtual void RegisterCursor(Cursor cursor, const std::string& resourceName) = 0;
};

}  // namespace snapora
