#include "platform/win32/Win32SingleInstance.h"

#include <windows.h>

#include "base/Strings.h"
#include "platform/win32/Text.h"

namespace snapora {

namespace {

struct Search {
    std::string prefix;
    HWND found = nullptr;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<Search*>(data);
    // The running instance may sit hidden in the tray; only a shown window is meant.
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t title[256] = {};
    int length = GetWindowTextW(window, title, 256);
    if (length <= 0) return TRUE;
    if (!StartsWith(Narrow(std::wstring_view(title, size_t(length))), search.prefix)) return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace

Win32SingleInstance::~Win32SingleInstance() { Release(); }

bool Win32SingleInstance::Acquire(const std::string& name) {
    SetLastError(ERROR_SUCCESS);  // so a stale error can't pass for "already exists"
    HANDLE mutex = CreateMutexW(nullptr, TRUE, Widen(name).c_str());
    if (!mutex) return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    Release();
    mutex_ = mutex;
    return true;
}

void Win32SingleInstance::Release() {
    if (!mutex_) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
    mutex_ = nullptr;
}

void Win32SingleInstance::ActivateRunningInstance(const std::string& titlePrefix) {
    Search search{titlePrefix};
    EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return;
    if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
    SetForegroundWindow(search.found);
}

}  // namespace snapora
