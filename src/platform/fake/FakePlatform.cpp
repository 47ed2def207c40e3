#include "platform/fake/FakePlatform.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "imaging/Bitmap.h"

namespace snapora {

Colour FakeDesktop::ScreenColour(int x, int y) {
    // Screen x from -4096: 13 bits over red and the low half of blue; y in green and blue's top.
    unsigned ux = unsigned(x + 4096), uy = unsigned(y);
    return MakeColour(std::uint8_t(ux), std::uint8_t(uy), std::uint8_t(((ux >> 8) & 0x1F) | ((uy >> 8) << 5)));
}

Size FakeDesktop::PrimaryScreenSize() {
    for (const Rect& m : monitors)
        if (m.left == 0 && m.top == 0) return {m.Width(), m.Height()};
    return {monitors.empty() ? 0 : monitors[0].Width(), monitors.empty() ? 0 : monitors[0].Height()};
}

Size FakeDesktop::VirtualScreenSize() {
    Rect all;
    for (const Rect& m : monitors) all = all.Union(m);
    return {all.Width(), all.Height()};
}

void FakeDesktop::Grab(const Rect& area, Bitmap& into) {
    grabs.push_back(area);
    if (grabFails) throw std::runtime_error("Der Bildschirm konnte nicht gelesen werden.");
    into.SetSize(area.Width(), area.Height());
    for (int y = 0; y < into.Height(); ++y) {
        std::uint8_t* p = into.Row(y);
        for (int x = 0; x < into.Width(); ++x, p += 3) {
            Colour c = ScreenColour(area.left + x, area.top + y);
            p[0] = BlueOf(c);
            p[1] = GreenOf(c);
            p[2] = RedOf(c);
        }
    }
}

bool FakeDesktop::ForceForegroundWindow(NativeWindow window) {
    forcedWindows.push_back(window);
    foreground = window;
    return true;
}

bool FakeFiles::DirectoryExists(const std::string& path) {
    std::string p = path;
    if (!p.empty() && p.back() == '\\') p.pop_back();
    return directories.count(p) != 0;
}

bool FakeFiles::Move(const std::string& from, const std::string& to) {
    auto it = files.find(from);
    if (moveFails || it == files.end() || files.count(to)) return false;
    files[to] = std::move(it->second);
    files.erase(from);
    return true;
}

std::uint64_t FakeFiles::Size(const std::string& path) {
    auto it = files.find(path);
    return it == files.end() ? 0 : it->second.size();
}

bool FakeFiles::WriteFile(const std::string& path, const std::string& bytes) {
    if (beforeWrite) beforeWrite(path);
    if (unwritable.count(path)) return false;
    files[path] = bytes;
    return true;
}


std::unique_ptr<ReadStream> FakeFiles::OpenForReading(const std::string& path) {
    auto it = files.find(path);
    if (it == files.end()) throw std::runtime_error("cannot open " + path);
    return std::make_unique<MemoryReadStream>(it->second);
}

std::string FakeShell::SpecialFolderPath(int folder) {
    auto it = specialFolders.find(folder);
    return it == specialFolders.end() ? "" : it->second;
}

void FakeShell::CreateShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                                const std::string& workingDirectory, int showCommand, const std::string& iconFile,
                                int iconIndex) {
    if (linkObjectFails) throw std::runtime_error("Die Verknüpfung konnte nicht angelegt werden.");
    links.push_back({linkPath, target, arguments, workingDirectory, showCommand, iconFile, iconIndex});
    files_.files[linkPath] = "shell link to " + target;
}

std::optional<std::string> FakeRegistry::ReadString(const std::string& key, const std::string& name) {
    auto k = keys.find(key);
    if (k == keys.end()) return std::nullopt;
    auto v = k->second.find(name);
    if (v == k->second.end() || !v->second.isString) return std::nullopt;
    return v->second.text;
}

class FakeHiddenWindow final : public HiddenWindow {
public:
    FakeHiddenWindow(FakeMessageWindows& owner, NativeWindow handle) : owner_(owner), handle_(handle) {}
    ~FakeHiddenWindow() override {
        owner_.windows.erase(handle_);
        owner_.timers.erase(handle_);
        std::erase_if(owner_.due_, [&](const auto& entry) { return entry.first.first == handle_; });
    }
    NativeWindow Handle() const override { return handle_; }
    bool StartTimer(unsigned id, unsigned milliseconds) override {
        if (owner_.outOfTimers) return false;
        owner_.timers[handle_][id] = milliseconds;
        // Windows gives a period of 0 the shortest one it has.
        if (owner_.clock_) owner_.due_[{handle_, id}] = owner_.clock_->TickCount() + std::max(milliseconds, 1u);
        return true;
    }
    void StopTimer(unsigned id) override {
        owner_.timers[handle_].erase(id);
        owner_.due_.erase({handle_, id});
    }

private:
    FakeMessageWindows& owner_;
    NativeWindow handle_;
};

class FakeWorkerSleep final : public WorkerSleep {
public:
    explicit FakeWorkerSleep(FakeClock& clock) : clock_(clock) {}
    bool Sleep(std::uint32_t milliseconds) override {
        std::unique_lock lock(clock_.mutex_);
        const std::uint64_t until = clock_.ticks_ + milliseconds;
        ++clock_.sleepers_;
        clock_.changed_.notify_all();
        clock_.changed_.wait(lock, [&] { return woken_ || clock_.ticks_ >= until; });
        --clock_.sleepers_;
        clock_.changed_.notify_all();
        return !woken_;
    }
    void Wake() override {
        std::lock_guard lock(clock_.mutex_);
        woken_ = true;
        clock_.changed_.notify_all();
    }

private:
    FakeClock& clock_;
    bool woken_ = false;  // guarded by the clock's mutex
};

std::uint32_t FakeClock::TickCount() {
    std::lock_guard lock(mutex_);
    return std::uint32_t(ticks_);
}

std::unique_ptr<WorkerSleep> FakeClock::CreateWorkerSleep() { return std::make_unique<FakeWorkerSleep>(*this); }

void FakeClock::Spend(std::uint32_t milliseconds) {
    std::lock_guard lock(mutex_);
    ticks_ += milliseconds;
    changed_.notify_all();
}

bool FakeClock::WaitForSleepers(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return sleepers_ >= count; });
}

int FakeClock::Sleepers() {
    std::lock_guard lock(mutex_);
    return sleepers_;
}

void FakeProcess::SetCurrentThreadPriority(int priority) {
    std::lock_guard lock(prioritiesMutex_);
    priorities_.push_back({std::this_thread::get_id(), priority});
}

std::vector<std::pair<std::thread::id, int>> FakeProcess::Priorities() {
    std::lock_guard lock(prioritiesMutex_);
    return priorities_;
}

std::optional<std::uint64_t> FakeMessageWindows::NextDue() const {
    std::optional<std::uint64_t> next;
    for (const auto& [timer, at] : due_)
        if (!next || at < *next) next = at;
    return next;
}

void FakeMessageWindows::FireDue(std::uint64_t now) {
    std::vector<std::pair<NativeWindow, unsigned>> firing;
    for (const auto& [timer, at] : due_)
        if (at <= now) firing.push_back(timer);
    for (const auto& [window, id] : firing) {
        auto it = due_.find({window, id});
        if (it == due_.end() || it->second > now) continue;  // stopped or restarted meanwhile
        it->second = now + std::max(timers[window][id], 1u);
        Send(window, WM_TIMER_, id);
    }
}

void FakePlatform::AdvanceTime(std::uint32_t milliseconds) {
    const std::uint64_t target = std::uint64_t(clock.TickCount()) + milliseconds;
    while (auto next = messageWindows.NextDue()) {
        if (*next > target) break;
        const std::uint64_t now = clock.TickCount();
        if (*next > now) clock.Spend(std::uint32_t(*next - now));
        messageWindows.FireDue(std::max<std::uint64_t>(*next, clock.TickCount()));
    }
    const std::uint64_t now = clock.TickCount();
    if (target > now) clock.Spend(std::uint32_t(target - now));
}

std::unique_ptr<HiddenWindow> FakeMessageWindows::Create(MessageHandler handler) {
    if (windowsLeft == 0) throw std::runtime_error("Nachrichtenfenster konnte nicht erzeugt werden.");
    if (windowsLeft > 0) --windowsLeft;
    NativeWindow handle = nextHandle;
    nextHandle += 0x10;
    windows[handle] = std::move(handler);
    return std::make_unique<FakeHiddenWindow>(*this, handle);
}

bool FakeMessageWindows::Send(NativeWindow window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    auto it = windows.find(window);
    if (it == windows.end()) return false;
    std::intptr_t result = 0;
    MessageHandler handler = it->second;  // the handler may destroy its window
    return Deliver(handler, message, wParam, lParam, result);
}

bool FakeHotKeys::Register(NativeWindow window, int id, unsigned modifiers, unsigned virtualKey) {
    if (heldByOthers.count({modifiers, virtualKey})) return false;
    for (const Key& k : registered)
        if (k.modifiers == modifiers && k.virtualKey == virtualKey) return false;
    registered.push_back({window, id, modifiers, virtualKey});
    return true;
}

void FakeHotKeys::Unregister(NativeWindow window, int id) {
    unregistered.push_back({window, id});
    std::erase_if(registered, [&](const Key& k) { return k.window == window && k.id == id; });
}

bool FakeSingleInstance::Acquire(const std::string& name) {
    acquired.push_back(name);
    if (held.count(name)) return false;
    held.insert(name);
    return true;
}

}  // namespace snapora
