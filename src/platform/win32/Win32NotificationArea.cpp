#include "platform/win32/Win32NotificationArea.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/NotifyIconData.h"

namespace snapora {

namespace {

constexpr std::uint32_t kSystemDirectoryBuffer = 255;
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

bool IsTaskbarWindow(HWND window) {
    const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    if (exStyle & WS_EX_APPWINDOW) return true;
    return !(exStyle & WS_EX_TOOLWINDOW) && !GetWindow(window, GW_OWNER);
}

BOOL CALLBACK FindTaskbarWindow(HWND window, LPARAM found) {
    const auto classModule = reinterpret_cast<HMODULE>(GetClassLongPtrW(window, GCLP_HMODULE));
    if (classModule != GetModuleHandleW(nullptr) || !IsTaskbarWindow(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

NativeWindow TaskbarWindow() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindTaskbarWindow, reinterpret_cast<LPARAM>(&found));
    return reinterpret_cast<NativeWindow>(found);
}

std::uint32_t Win32NotificationArea::RecordSize(bool version5) { return NotifyIconDataSize(version5); }

bool Win32NotificationArea::NotifyIcon(NotifyIconMessage message, const NotifyIconRecord& record) {
    NOTIFYICONDATAA data = NotifyIconData(record);
    return Shell_NotifyIconA(DWORD(message), &data) != FALSE;
}

int Win32NotificationArea::ShellMajorVersion() {
    char directory[kSystemDirectoryBuffer];
    const UINT length = GetSystemDirectoryA(directory, kSystemDirectoryBuffer);
    if (length == 0 || length >= kSystemDirectoryBuffer) return 0;
    std::string path(directory, length);
    if (!path.empty() && path.back() == '\\') path.pop_back();
    path += "\\shell32.dll";
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return 0;
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data())) return 0;
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueA(info.data(), "\\", &fixed, &fixedSize) || !fixed || fixedSize < sizeof(VS_FIXEDFILEINFO))
        return 0;
    const auto* version = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    if (version->dwSignature != kFixedFileInfoSignature) return 0;
    return HIWORD(version->dwFileVersionMS);
}

IconHandle Win32NotificationArea::ApplicationIcon() {
    // The notification area shows small icons: the image drawn for that size, not a shrunk 32 pixel one.
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_SHARED));
    if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
    // Loaded icons are shared; the caller gets one of its own to destroy.
    return reinterpret_cast<IconHandle>(icon ? ::CopyIcon(icon) : nullptr);
}

IconHandle Win32NotificationArea::StockIcon(int id) {
    return reinterpret_cast<IconHandle>(LoadIconA(nullptr, MAKEINTRESOURCEA(id)));
}

IconHandle Win32NotificationArea::CopyIcon(IconHandle icon) {
    if (!icon) return 0;
    return reinterpret_cast<IconHandle>(::CopyIcon(reinterpret_cast<HICON>(icon)));
}

void Win32NotificationArea::DestroyIcon(IconHandle icon) {
    if (icon) ::DestroyIcon(reinterpret_cast<HICON>(icon));
}

Point Win32NotificationArea::CursorPosition() {
    POINT position{};
    if (!GetCursorPos(&position)) return {};
    return {int(position.x), int(position.y)};
}

void Win32NotificationArea::SetForegroundWindow(NativeWindow window) {
    ::SetForegroundWindow(reinterpret_cast<HWND>(window));
}

void Win32NotificationArea::ShowTaskbarWindow(int command) {
    if (HWND window = reinterpret_cast<HWND>(TaskbarWindow())) ShowWindow(window, command);
}

}  // namespace snapora
