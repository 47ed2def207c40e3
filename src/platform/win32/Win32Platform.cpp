#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <commdlg.h>

#include <cstring>

#include "platform/win32/Text.h"

namespace snapora {

// ---- Process -------------------------------------------------------------

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (true) {
        while (i < commandLine.size() && std::uint8_t(commandLine[i]) <= ' ') ++i;
        if (i >= commandLine.size()) break;
        std::string part;
        bool quoted = false;
        for (; i < commandLine.size(); ++i) {
            char c = commandLine[i];
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && std::uint8_t(c) <= ' ')
                break;
            else
                part += c;
        }
        parts.push_back(std::move(part));
    }
    return parts;
}

namespace {

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        // A full buffer means the path may have been cut.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

std::vector<std::string> Win32Process::Parameters() {
    std::vector<std::string> parameters = SplitCommandLine(Narrow(GetCommandLineW()));
    // The command line's first word may be a bare or relative name; the module
    // path is the program's full path.
    std::string path = ExecutablePath();
    if (parameters.empty())
        parameters.push_back(std::move(path));
    else
        parameters[0] = std::move(path);
    return parameters;
}

std::string Win32Process::ExecutablePath() { return Narrow(ModulePath()); }

void Win32Process::ExitNow(int code) { ExitProcess(UINT(code)); }

// ---- Clipboard -----------------------------------------------------------

namespace {

// The clipboard wants an owner window; a message-only one is enough and,
// having no screen presence, costs nothing to create.
class ClipboardOwner {
public:
    ClipboardOwner()
        : window_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                  nullptr)) {}
    ~ClipboardOwner() {
        if (window_) DestroyWindow(window_);
    }
    ClipboardOwner(const ClipboardOwner&) = delete;
    ClipboardOwner& operator=(const ClipboardOwner&) = delete;
    HWND Get() const { return window_; }

private:
    HWND window_;
};

// Another program may hold the clipboard for a moment; try a few times.
bool OpenClipboardPatiently(HWND owner) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (OpenClipboard(owner)) return true;
        Sleep(20);
    }
    return false;
}

}  // namespace

void Win32Clipboard::SetText(const std::string& text) {
    std::wstring wide = Widen(text);
    ClipboardOwner owner;
    if (!OpenClipboardPatiently(owner.Get())) return;
    EmptyClipboard();
    const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* target = GlobalLock(memory)) {
            std::memcpy(target, wide.c_str(), bytes);
            GlobalUnlock(memory);
            // On success the clipboard owns the memory.
            if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

// ---- Dialogs -------------------------------------------------------------

std::wstring DialogFilter(std::string_view filter) {
    std::wstring result = Widen(filter);
    for (wchar_t& c : result)
        if (c == L'|') c = L'\0';
    result.push_back(L'\0');
    result.push_back(L'\0');
    return result;
}

std::optional<std::string> Win32Dialogs::SaveFile(NativeWindow owner, const SaveDialogOptions& options) {
    std::wstring filter = DialogFilter(options.filter);
    std::wstring initialDir = Widen(options.initialDir);
    std::string extension = options.defaultExt;
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);  // the dialog adds the dot
    std::wstring defaultExt = Widen(extension);
    std::wstring file(32768, L'\0');  // room for long paths

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = reinterpret_cast<HWND>(owner);
    dialog.lpstrFilter = options.filter.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = DWORD(file.size());
    dialog.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    dialog.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
    dialog.Flags = options.flags | OFN_EXPLORER;
    if (!GetSaveFileNameW(&dialog)) return std::nullopt;
    file.resize(wcslen(file.c_str()));
    return Narrow(file);
}

// ---- Clock ---------------------------------------------------------------

LocalTime Win32Clock::Now() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

// ---- Platform ------------------------------------------------------------

Win32Platform::~Win32Platform() {
    // Bitmaps own their sections; only the process-wide pointer to us must go.
    if (&CurrentPixelMemorySource() == &dibSource) SetPixelMemorySource(nullptr);
}

void Win32Platform::UseDibPixels() { SetPixelMemorySource(&dibSource); }

}  // namespace snapora
