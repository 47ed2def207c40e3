#include "ui/headless/HeadlessBackend.h"

#include <condition_variable>

#include "ui/Application.h"

namespace snapora {

namespace {
// A stand-in native window: only a handle number, so platform fakes can tell windows apart.
class HeadlessFormPeer final : public FormPeer {
public:
    explicit HeadlessFormPeer(NativeWindow handle) : handle_(handle) {}
    void Update(Change) override {}
    NativeWindow Handle() const override { return handle_; }
    void BringToFront() override {}

private:
    NativeWindow handle_;
};
}  // namespace

HeadlessBackend::HeadlessBackend() : uiThread_(std::this_thread::get_id()) {}
HeadlessBackend::~HeadlessBackend() = default;

void HeadlessBackend::FormCreated(Form& form) {
    if (OnFormCreated) OnFormCreated(form);
    auto peer = std::make_unique<HeadlessFormPeer>(nextHandle_);
    nextHandle_ += 0x10;
    form.AttachPeer(peer.get());
    peers_[&form] = std::move(peer);
}

void HeadlessBackend::FormDestroyed(Form& form) {
    form.AttachPeer(nullptr);
    peers_.erase(&form);
}

int HeadlessBackend::RunModal(Form& form) {
    form.SetVisible(true);
    if (OnModal) OnModal(form);
    if (form.GetModalResult() == mrNone) form.SetModalResult(mrCancel);
    return form.GetModalResult();
}

void HeadlessBackend::ProcessMessages() {
    ++processMessagesCount;
    // The calls waiting now; one a worker queues meanwhile waits for the next
    // round, as a message posted during a message loop's pass would.
    std::size_t waiting = 0;
    {
        std::lock_guard lock(queueMutex_);
        waiting = queue_.size();
    }
    for (; waiting > 0; --waiting) {
        std::function<void()> job;
        {
            std::lock_guard lock(queueMutex_);
            if (queue_.empty()) return;  // a nested pass (ShowStatus lets messages run) took them
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job();
    }
}

void HeadlessBackend::Run() {
    while (!terminated_) {
        ProcessMessages();
        std::this_thread::yield();
    }
}

int HeadlessBackend::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    Messages.push_back({text, caption, flags});
    if (MessageBoxAnswers.empty()) return IDOK_;
    int answer = MessageBoxAnswers.front();
    MessageBoxAnswers.pop_front();
    return answer;
}

NativeWindow HeadlessBackend::LastActivePopup() {
    // The first form created is the main window; modal forms would be popups.
    for (auto& [form, peer] : peers_)
        if (form->Modal()) return peer->Handle();
    return 0x1000;
}

void HeadlessBackend::Synchronize(const std::function<void()>& fn) {
    if (std::this_thread::get_id() == uiThread_) {
        fn();
        return;
    }
    // Queue the call and wait until the "UI thread" runs it in ProcessMessages.
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    std::exception_ptr error;
    std::function<void()> job = [&] {
        try {
            fn();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_one();
    };
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back([&job] { job(); });
    }
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
    if (error) std::rethrow_exception(error);
}

void HeadlessBackend::Post(std::function<void()> fn) {
    if (std::this_thread::get_id() == uiThread_) {
        fn();
        return;
    }
    std::lock_guard lock(queueMutex_);
    queue_.push_back(std::move(fn));
}

void HeadlessBackend::PopupMenu(TPopupMenu& menu, Point at) {
    if (OnPopupMenu) OnPopupMenu(menu, at);
}

}  // namespace snapora
