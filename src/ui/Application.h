#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Backend.h"
#include "ui/Form.h"

// <windows.h> makes MessageBox a macro; the model's MessageBox keeps its name
// whatever a file included before.
#undef MessageBox

namespace snapora {

// The program's application object: its title, its windows and its loop.
class Application {
public:
    explicit Application(Backend& backend) : backend_(backend) {}
    ~Application();

    std::string Title;
    Form* MainForm() const { return mainForm_; }
    Backend& GetBackend() const { return backend_; }

    // Builds a window, gives it its native peers, then runs its OnCreate.
    // The first window created becomes the main window.
    template <class F, class... Args>
    F& CreateForm(Args&&... args) {
        auto form = std::make_unique<F>(*this, std::forward<Args>(args)...);
        F& ref = *form;
        Adopt(std::move(form));
        return ref;
    }

    void Run() { backend_.Run(); }
    void Terminate() { backend_.Terminate(); }
    bool Terminated() const { return backend_.Terminated(); }
    void ProcessMessages() { backend_.ProcessMessages(); }

    // Restores the main window from the task bar (nothing when not minimized).
    void Restore();
    void BringToFront() { backend_.BringApplicationToFront(); }
    NativeWindow LastActivePopup() { return backend_.LastActivePopup(); }

    int MessageBox(const std::string& text, const std::string& caption = {}, unsigned flags = 0);
    // The general error handler: shows the error's text and lets the program go on.
    void ShowException(const std::exception& error);

    void Synchronize(const std::function<void()>& fn) { backend_.Synchronize(fn); }
    void Post(std::function<void()> fn) { backend_.Post(std::move(fn)); }

    // Raised when the main window is minimised.
    std::function<void()> OnMinimize;
    // Sees every message the program takes from its queue, whichever window it
    // is for, before it is dispatched; setting `handled` drops it.
    std::function<void(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, bool& handled)> OnMessage;

    // Gives a cursor shape its picture from the program's resources.
    void RegisterCursor(Cursor cursor, const std::string& resourceName) { backend_.RegisterCursor(cursor, resourceName); }

private:
    void Adopt(std::unique_ptr<Form> form);

    Backend& backend_;
    Form* mainForm_ = nullptr;
    std::vector<std::unique_ptr<Form>> forms_;
};

}  // namespace snapora
