#pragma once
// A backend without native windows: the model's state is all there is.
// Tests script modal windows and message boxes and pump posted work.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/Backend.h"
#include "ui/Form.h"

namespace snapora {

class HeadlessBackend final : public Backend {
public:
    HeadlessBackend();
    ~HeadlessBackend() override;

    void FormCreated(Form& form) override;
    void FormDestroyed(Form& form) override;
    int RunModal(Form& form) override;
    void ProcessMessages() override;
    void Run() override;
    void Terminate() override { terminated_ = true; }
    bool Terminated() const override { return terminated_; }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void BringApplicationToFront() override { ++bringToFrontCount; }
    NativeWindow LastActivePopup() override;
    void Synchronize(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;
    void PopupMenu(TPopupMenu& menu, Point at) override;
    void RegisterCursor(Cursor cursor, const std::string& resourceName) override {
        RegisteredCursors[cursor] = resourceName;
    }

    // Scripting: what a modal window does while it is shown (sets its
    // modal result, clicks buttons...). Without a script it is cancelled.
    std::function<void(Form&)> OnModal;
    // Answers message boxes in order; IDOK when none is left.
    std::deque<int> MessageBoxAnswers;
    struct ShownMessage {
        std::string text, caption;
        unsigned flags;
    };
    std::vector<ShownMessage> Messages;
    std::function<void(TPopupMenu&, Point)> OnPopupMenu;
    // Runs as a form's native side would be made; throwing makes that fail.
    std::function<void(Form&)> OnFormCreated;
    std::map<Cursor, std::string> RegisteredCursors;
    int processMessagesCount = 0;
    int bringToFrontCount = 0;

private:
    std::map<Form*, std::unique_ptr<FormPeer>> peers_;
    NativeWindow nextHandle_ = 0x1000;
    bool terminated_ = false;
    std::thread::id uiThread_;
    std::mutex queueMutex_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace snapora
