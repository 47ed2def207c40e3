// Special folders, shortcut files and the executable's path through the real shell.

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "UniqueName.h"
#include "platform/win32/ComRef.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Shell.h"

namespace snapora {
namespace {

// The program's main enters a single-threaded apartment; so do these tests.
class Apartment {
public:
    Apartment() : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~Apartment() {
        if (entered_) CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

private:
    bool entered_;
};

constexpr int kStartupFolder = 7;  // CSIDL_STARTUP

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

TEST(Win32Shell, StartupFolderIsAnExistingDirectoryEndingInABackslash) {
    Apartment apartment;
    Win32Shell shell;
    const std::string startup = shell.SpecialFolderPath(kStartupFolder);
    std::printf("[ info     ] startup folder: %s\n", startup.c_str());
    ASSERT_FALSE(startup.empty());
    EXPECT_EQ(startup.back(), '\\');
    EXPECT_TRUE(IsDirectory(startup));
}

TEST(Win32Shell, UnknownSpecialFolderIsEmpty) {
    Apartment apartment;
    Win32Shell shell;
    EXPECT_EQ(shell.SpecialFolderPath(0x7F), "");
}

struct LinkContents {
    std::wstring path, arguments, workingDirectory, iconFile;
    int iconIndex = -1;
    int showCommand = -1;        // from the file's header
    std::int32_t headerIconIndex = -1;
};

// The fixed header of a shortcut file: icon index at byte 56, show command at 60.
bool ReadHeader(const std::string& linkPath, LinkContents& contents) {
    HANDLE file = CreateFileW(Widen(linkPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    unsigned char header[0x4C] = {};
    DWORD read = 0;
    const bool complete = ReadFile(file, header, sizeof header, &read, nullptr) && read == sizeof header;
    CloseHandle(file);
    if (!complete) return false;
    std::memcpy(&contents.headerIconIndex, header + 56, 4);
    std::memcpy(&contents.showCommand, header + 60, 4);
    return true;
}

LinkContents ReadLink(const std::string& linkPath) {
    ComRef<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive())))
        throw std::runtime_error("no shell link object");
    ComRef<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Receive())) ||
        FAILED(file->Load(Widen(linkPath).c_str(), STGM_READ)))
        throw std::runtime_error("the link file does not load");
    LinkContents contents;
    wchar_t text[MAX_PATH] = {};
    if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) contents.path = text;
    text[0] = 0;
    if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) contents.arguments = text;
    text[0] = 0;
    if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) contents.workingDirectory = text;
    text[0] = 0;
    if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &contents.iconIndex))) contents.iconFile = text;
    // Wine's loader doesn't restore the show command (GetShowCmd answers 1
    // after Load), though the file holds it; the header is the truth.
    if (!ReadHeader(linkPath, contents)) throw std::runtime_error("the link file's header does not read");
    return contents;
}

TEST(Win32Shell, ShellLinkInTheStartupFolderCarriesEveryField) {
    Apartment apartment;
    Win32Shell shell;
    Win32Process process;
    const std::string startup = shell.SpecialFolderPath(kStartupFolder);
    ASSERT_FALSE(startup.empty());
    const std::string linkPath = startup + snapora::testing::UniqueName("snapora-test-") + ".lnk";
    const std::string target = process.ExecutablePath();
    const std::string folder = FolderOf(target);

    shell.CreateShellLink(linkPath, target, "/autostart \"Größe\"", folder, SW_SHOWMINNOACTIVE, target, 2);
    ASSERT_TRUE(IsFile(linkPath));
    LinkContents contents;
    try {
        contents = ReadLink(linkPath);
    } catch (const std::exception& error) {
        DeleteFileW(Widen(linkPath).c_str());
        FAIL() << error.what();
    }
    EXPECT_TRUE(DeleteFileW(Widen(linkPath).c_str()));
    EXPECT_FALSE(IsFile(linkPath));

    EXPECT_EQ(Narrow(contents.path), target);
    EXPECT_EQ(Narrow(contents.arguments), "/autostart \"Größe\"");
    EXPECT_EQ(Narrow(contents.workingDirectory), folder);
    EXPECT_EQ(Narrow(contents.iconFile), target);
    EXPECT_EQ(contents.iconIndex, 2);
    EXPECT_EQ(contents.headerIconIndex, 2);
    EXPECT_EQ(contents.showCommand, SW_SHOWMINNOACTIVE);
}

TEST(Win32Shell, ShellLinkThrowsWithoutTheShellsLinkObject) {
    // A thread that never entered an apartment can't create COM objects.
    Win32Shell shell;
    std::string message;
    std::thread([&] {
        try {
            shell.CreateShellLink("C:\\nirgends.lnk", "C:\\x.exe", "", "C:\\", SW_SHOWNORMAL, "C:\\x.exe", 0);
        } catch (const std::runtime_error& error) {
            message = error.what();
        }
    }).join();
    EXPECT_EQ(message, "Die Verknüpfung konnte nicht angelegt werden.");
}

TEST(Win32Process, ExecutablePathIsTheRunningExe) {
    Win32Process process;
    const std::string path = process.ExecutablePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), ".exe");
    EXPECT_TRUE(path.find("snapora_win32_tests") != std::string::npos) << path;
    EXPECT_TRUE(IsFile(path));
    EXPECT_EQ(process.Parameters().at(0), path);
}

}  // namespace
}  // namespace snapora
