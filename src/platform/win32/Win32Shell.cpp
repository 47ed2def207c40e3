#include "platform/win32/Win32Shell.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/Text.h"

namespace snapora {

void Win32Shell::Open(NativeWindow owner, const std::string& address) {
    // Show command 0 as the program always passed; browsers and viewers show
    // their own windows regardless.
    ShellExecuteW(reinterpret_cast<HWND>(owner), L"open", Widen(address).c_str(), L"", L"", 0);
}

}  // namespace snapora
