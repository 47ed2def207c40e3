#pragma once
// Scriptable stand-ins for the operating system: they record what the program
// asks and answer what a test scripted.

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/Colour.h"
#include "platform/Platform.h"

namespace snapora {

// A virtual desktop whose every pixel tells where it came from, so a test can
// check which screen area ended up in a picture.
class FakeDesktop final : public Desktop {
public:
    std::vector<Rect> monitors{Rect{0, 0, 1280, 1024}};
    std::string foregroundTitle = "Unbenannt - Editor";
    Rect foregroundRect{100, 50, 500, 350};
    NativeWindow foreground = 0;
    std::vector<Rect> grabs;
    std::vector<NativeWindow> forcedWindows;

    // The colour of screen point (x, y): x and y folded into the three channels.
    static Colour ScreenColour(int x, int y);

    std::vector<Rect> Monitors() override { return monitors; }
    Size PrimaryScreenSize() override;
    void Grab(const Rect& area, Bitmap& into) override;
    std::string ForegroundWindowTitle() override { return foregroundTitle; }
    Rect ForegroundWindowRect() override { return foregroundRect; }
    bool ForceForegroundWindow(NativeWindow window) override;
};

class FakeFiles final : public Files {
public:
    std::string tempDirectory = "C:\\Users\\test\\AppData\\Local\\Temp\\";
    std::map<std::string, std::string> files;  // path -> contents
    std::set<std::string> directories;

    std::string TempDirectory() override { return tempDirectory; }
    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    bool DirectoryExists(const std::string& path) override;
    bool Move(const std::string& from, const std::string& to) override;
    bool Delete(const std::string& path) override { return files.erase(path) != 0; }
    std::uint64_t Size(const std::string& path) override;
    bool WriteFile(const std::string& path, const std::string& bytes) override;
    std::unique_ptr<ReadStream> OpenForReading(const std::string& path) override;
    std::set<std::string> unwritable;  // paths where writing fails
    bool moveFails = false;
};

class FakeShell final : public Shell {
public:
    struct Opened {
        NativeWindow owner;
        std::string address;
    };
    std::vector<Opened> opened;
    void Open(NativeWindow owner, const std::string& address) override { opened.push_back({owner, address}); }
};

class FakeHotKeys final : public HotKeys {
public:
    struct Key {
        NativeWindow window;
        int id;
        unsigned modifiers, virtualKey;
        friend bool operator==(const Key&, const Key&) = default;
    };
    std::vector<Key> registered;  // currently registered, in order
    std::vector<std::pair<NativeWindow, int>> unregistered;
    std::set<std::pair<unsigned, unsigned>> heldByOthers;  // (modifiers, key) another program owns

    bool Register(NativeWindow window, int id, unsigned modifiers, unsigned virtualKey) override;
    void Unregister(NativeWindow window, int id) override;
};

class FakeSingleInstance final : public SingleInstance {
public:
    std::set<std::string> held;  // mutex names another process holds
    std::vector<std::string> acquired;
    std::vector<std::string> activated;
    int releases = 0;

    bool Acquire(const std::string& name) override;
    void Release() override { ++releases; }
    void ActivateRunningInstance(const std::string& titlePrefix) override { activated.push_back(titlePrefix); }
};

class FakeProcess final : public Process {
public:
    std::vector<std::string> parameters{"C:\\Programme\\Snapora\\snapora.exe"};
    std::vector<int> exits;
    std::vector<std::string> Parameters() override { return parameters; }
    void ExitNow(int code) override { exits.push_back(code); }
};

class FakeClipboard final : public Clipboard {
public:
    std::vector<std::string> texts;  // every text put there, in order
    void SetText(const std::string& text) override { texts.push_back(text); }
};

class FakeDialogs final : public Dialogs {
public:
    std::vector<SaveDialogOptions> shown;
    std::optional<std::string> answer;  // what the user picks; nothing = cancel
    std::optional<std::string> SaveFile(NativeWindow, const SaveDialogOptions& options) override {
        shown.push_back(options);
        return answer;
    }
};

class FakeClock final : public Clock {
public:
    LocalTime now{2026, 12, 8, 14, 5, 9, 7};
    LocalTime Now() override { return now; }
};

struct FakePlatform {
    FakeDesktop desktop;
    FakeFiles files;
    FakeShell shell;
    FakeHotKeys hotKeys;
    FakeSingleInstance instance;
    FakeProcess process;
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeClock clock;
    Platform platform{desktop, files, shell, hotKeys, instance, process, clipboard, dialogs, clock};
};

}  // namespace snapora
