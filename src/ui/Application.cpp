#include "ui/Application.h"

#include <new>

namespace snapora {

Application::~Application() {
    // Windows go in the reverse order of their creation, the main window last.
    while (!forms_.empty()) {
        std::unique_ptr<Form> form = std::move(forms_.back());
        forms_.pop_back();
        if (form->OnDestroy) form->OnDestroy();
        backend_.FormDestroyed(*form);
        form.reset();
    }
}

void Application::Adopt(std::unique_ptr<Form> form) {
    Form& ref = *form;
    forms_.push_back(std::move(form));
    if (!mainForm_) mainForm_ = &ref;
    backend_.FormCreated(ref);
    if (ref.OnCreate) ref.OnCreate();
}

void Application::Restore() {
    if (mainForm_ && mainForm_->GetWindowState() == WindowState::Minimized)
        mainForm_->SetWindowState(WindowState::Normal);
}

int Application::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return backend_.MessageBox(text, caption.empty() ? Title : caption, flags);
}

void Application::ShowException(const std::exception& error) {
    constexpr unsigned IconError = 0x10;  // MB_ICONERROR
    // The library's own words for this one are English and say nothing to a user.
    if (dynamic_cast<const std::bad_alloc*>(&error)) {
        MessageBox("Nicht genügend Arbeitsspeicher.", Title, IconError);
        return;
    }
    MessageBox(error.what(), Title, IconError);
}

}  // namespace snapora
