#include "platform/win32/Win32Clock.h"

#include <windows.h>

#include <stdexcept>

namespace snapora {

namespace {
// A manual-reset event: once woken, every sleep returns at once.
class Win32WorkerSleep final : public WorkerSleep {
public:
    Win32WorkerSleep() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (!event_) throw std::runtime_error("Das Ereignis für den Zeitgeber konnte nicht erzeugt werden.");
    }
    ~Win32WorkerSleep() override { CloseHandle(event_); }
    Win32WorkerSleep(const Win32WorkerSleep&) = delete;
    Win32WorkerSleep& operator=(const Win32WorkerSleep&) = delete;

    bool Sleep(std::uint32_t milliseconds) override {
        return WaitForSingleObjectEx(event_, milliseconds, FALSE) == WAIT_TIMEOUT;
    }
    void Wake() override { SetEvent(event_); }

private:
    HANDLE event_;
};
}  // namespace

LocalTime Win32Clock::Now() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::uint32_t Win32Clock::TickCount() { return GetTickCount(); }

std::unique_ptr<WorkerSleep> Win32Clock::CreateWorkerSleep() { return std::make_unique<Win32WorkerSleep>(); }

}  // namespace snapora
