#include "platform/win32/Win32Clock.h"

#include <windows.h>

namespace snapora {

LocalTime Win32Clock::Now() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace snapora
