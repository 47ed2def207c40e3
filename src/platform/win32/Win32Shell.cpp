#include "platform/win32/Win32Shell.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <stdexcept>

#include "platform/win32/ComRef.h"
#include "platform/win32/Text.h"

namespace snapora {

namespace {

// Item lists the shell hands out belong to the COM task allocator, which is
// the shell's allocator too.
struct FreeItemList {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, FreeItemList>;

std::optional<std::wstring> PathOf(const ItemList& list) {
    wchar_t path[MAX_PATH] = {};
    if (!list || !SHGetPathFromIDListW(list.get(), path)) return std::nullopt;
    return std::wstring(path);
}

}  // namespace

void Win32Shell::Open(NativeWindow owner, const std::string& address) {
    // Show command 0 as the program always passed; browsers and viewers show
    // their own windows regardless.
    ShellExecuteW(reinterpret_cast<HWND>(owner), L"open", Widen(address).c_str(), L"", L"", 0);
}

std::string Win32Shell::SpecialFolderPath(int folder) {
    ITEMIDLIST* received = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folder, &received))) return {};
    std::optional<std::wstring> path = PathOf(ItemList(received));
    if (!path || path->empty()) return {};
    // A fresh profile may lack the folder; a shortcut saved there would be lost.
    SHCreateDirectoryExW(nullptr, path->c_str(), nullptr);
    if (path->back() != L'\\') path->push_back(L'\\');
    return Narrow(*path);
}

void Win32Shell::CreateShellLink(const std::string& linkPath, const std::string& target,
                                 const std::string& arguments, const std::string& workingDirectory, int showCommand,
                                 const std::string& iconFile, int iconIndex) {
    ComRef<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive())))
        throw std::runtime_error("Die Verknüpfung konnte nicht angelegt werden.");
    link->SetPath(Widen(target).c_str());
    link->SetArguments(Widen(arguments).c_str());
    link->SetWorkingDirectory(Widen(workingDirectory).c_str());
    link->SetShowCmd(showCommand);
    link->SetIconLocation(Widen(iconFile).c_str(), iconIndex);
    ComRef<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive())))
        file->Save(Widen(linkPath).c_str(), FALSE);
}

std::optional<std::string> Win32Shell::BrowseForFolder(NativeWindow owner, const std::string& prompt) {
    const std::wstring title = Widen(prompt);
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW browse{};
    browse.hwndOwner = reinterpret_cast<HWND>(owner);
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    ItemList chosen(SHBrowseForFolderW(&browse));
    std::optional<std::wstring> path = PathOf(chosen);
    if (!path) return std::nullopt;
    return Narrow(*path);
}

}  // namespace snapora
