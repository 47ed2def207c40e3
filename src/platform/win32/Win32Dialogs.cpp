#include "platform/win32/Win32Dialogs.h"

#include <windows.h>
#include <commdlg.h>

#include <cstring>

#include "platform/win32/Text.h"

namespace snapora {

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

std::optional<Colour> Win32Dialogs::ChooseColour(NativeWindow owner, Colour initial) {
    static COLORREF custom[16] = {};  // the dialog's custom colours, kept for the run like the system's
    CHOOSECOLORW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = reinterpret_cast<HWND>(owner);
    dialog.rgbResult = initial & 0xFFFFFF;
    dialog.lpCustColors = custom;
    dialog.Flags = CC_ANYCOLOR | CC_RGBINIT;
    if (!ChooseColorW(&dialog)) return std::nullopt;
    return Colour(dialog.rgbResult & 0xFFFFFF);
}

}  // namespace snapora
