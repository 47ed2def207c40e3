#pragma once
// Runs the test thread's message loop for a while, or until a condition holds.

#include <windows.h>

namespace snapora::testing {

inline void PumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

// Whether `done` came to hold within the time.
template <typename Condition>
bool PumpUntil(Condition done, DWORD milliseconds = 5000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= milliseconds) return false;
        PumpFor(10);
    }
    return true;
}

}  // namespace snapora::testing
