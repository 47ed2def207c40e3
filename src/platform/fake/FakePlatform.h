#pragma once
// Scriptable stand-ins for the operating system: they record what the program
// asks and answer what a test scripted.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <memory>
#include <optional>
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
    bool grabFails = false;  // the screen can't be read (out of memory, no display)

    // The colour of screen point (x, y): x and y folded into the three channels.
    static Colour ScreenColour(int x, int y);

    std::vector<Rect> Monitors() override { return monitors; }
    Size PrimaryScreenSize() override;
    Size VirtualScreenSize() override;
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
    std::function<void(const std::string& path)> beforeWrite;  // runs on the writing thread
};

class FakeFiles;

class FakeShell final : public Shell {
public:
    explicit FakeShell(FakeFiles& files) : files_(files) {}
    struct Opened {
        NativeWindow owner;
        std::string address;
    };
    struct Link {
        std::string path, target, arguments, workingDirectory;
        int showCommand;
        std::string iconFile;
        int iconIndex;
    };
    std::vector<Opened> opened;
    std::map<int, std::string> specialFolders{{7, "C:\\Users\\test\\Startmenü\\Programme\\Autostart\\"}};
    std::vector<Link> links;       // every shortcut written
    bool linkObjectFails = false;  // the shell's link object can't be created
    std::optional<std::string> browseAnswer;
    std::vector<std::string> browsePrompts;

    void Open(NativeWindow owner, const std::string& address) override { opened.push_back({owner, address}); }
    std::string SpecialFolderPath(int folder) override;
    void CreateShellLink(const std::string& linkPath, const std::string& target, const std::string& arguments,
                         const std::string& workingDirectory, int showCommand, const std::string& iconFile,
                         int iconIndex) override;
    std::optional<std::string> BrowseForFolder(NativeWindow, const std::string& prompt) override {
        browsePrompts.push_back(prompt);
        return browseAnswer;
    }

private:
    FakeFiles& files_;
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

    std::map<unsigned, std::string> keyNames{{0xBA, "Ü"}, {0x91, "Rollen"}};  // what the keyboard calls keys

    bool Register(NativeWindow window, int id, unsigned modifiers, unsigned virtualKey) override;
    void Unregister(NativeWindow window, int id) override;
    std::string KeyNameText(unsigned virtualKey) override {
        auto it = keyNames.find(virtualKey);
        return it == keyNames.end() ? "" : it->second;
    }
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
    std::string ExecutablePath() override { return "C:\\Programme\\Snapora\\snapora.exe"; }
    std::map<std::string, std::string> resources;
    std::string ProgramResource(const std::string& name) override {
        auto it = resources.find(name);
        return it == resources.end() ? std::string() : it->second;
    }
    void ExitNow(int code) override { exits.push_back(code); }
    void SetCurrentThreadPriority(int priority) override;
    // Every priority a thread gave itself, with the thread.
    std::vector<std::pair<std::thread::id, int>> Priorities();

private:
    std::mutex prioritiesMutex_;
    std::vector<std::pair<std::thread::id, int>> priorities_;
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
    std::vector<Colour> colourDialogs;  // the colour each colour dialog opened with
    std::optional<Colour> colourAnswer;  // what the user picks; nothing = cancel
    std::optional<Colour> ChooseColour(NativeWindow, Colour initial) override {
        colourDialogs.push_back(initial);
        return colourAnswer;
    }
};

// Time stands still until a test moves it; worker threads sleep on this time.
class FakeClock final : public Clock {
public:
    LocalTime now{2026, 12, 8, 14, 5, 9, 7};
    LocalTime Now() override { return now; }

    std::uint32_t TickCount() override;
    std::unique_ptr<WorkerSleep> CreateWorkerSleep() override;
    // Moves the tick count on; sleeps that end by then wake up. Nothing else
    // happens: FakePlatform::AdvanceTime also fires window timers.
    void Spend(std::uint32_t milliseconds);
    // Waits (in real time, at most a few seconds) until `count` threads sleep
    // on this clock; false when they don't.
    bool WaitForSleepers(int count);
    int Sleepers();

private:
    friend class FakeWorkerSleep;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t ticks_ = 1000;
    int sleepers_ = 0;
};

class FakeRegistry final : public Registry {
public:
    struct Value {
        bool isString = true;
        std::string text;
    };
    std::map<std::string, std::map<std::string, Value>> keys;  // key path -> values

    bool KeyExists(const std::string& key) override { return keys.count(key) != 0; }
    std::optional<std::string> ReadString(const std::string& key, const std::string& name) override;
    bool WriteString(const std::string& key, const std::string& name, const std::string& text) override {
        keys[key][name] = {true, text};
        return true;
    }
    void DeleteKey(const std::string& key) override { keys.erase(key); }
    void DeleteValue(const std::string& key, const std::string& name) override { keys[key].erase(name); }
};

class FakeMessageWindows final : public MessageWindows {
public:
    // Timers fall due on this clock's time, when it is given.
    explicit FakeMessageWindows(FakeClock* clock = nullptr) : clock_(clock) {}
    std::unique_ptr<HiddenWindow> Create(MessageHandler handler) override;
    // Delivers a message to a hidden window as its window procedure would get it.
    bool Send(NativeWindow window, unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    std::map<NativeWindow, MessageHandler> windows;  // the live ones
    std::map<NativeWindow, std::map<unsigned, unsigned>> timers;  // window -> id -> period
    NativeWindow nextHandle = 0x9000;
    bool outOfTimers = false;  // the system refuses new timers
    // How many more windows the system makes before it refuses (an exhausted
    // desktop heap); negative for no limit.
    int windowsLeft = -1;

    // The earliest time a running timer falls due, if any.
    std::optional<std::uint64_t> NextDue() const;
    // Sends WM_TIMER for every timer due at `now` and schedules its next time.
    void FireDue(std::uint64_t now);

private:
    friend class FakeHiddenWindow;
    FakeClock* clock_;
    std::map<std::pair<NativeWindow, unsigned>, std::uint64_t> due_;
};

class FakeNotificationArea final : public NotificationArea {
public:
    struct Call {
        NotifyIconMessage message;
        NotifyIconRecord record;
    };
    std::vector<Call> calls;
    int shellVersion = 6;
    Point cursor{1200, 1000};
    std::vector<NativeWindow> foregrounds;
    std::vector<int> taskbarCommands;
    std::vector<IconHandle> destroyedIcons;
    IconHandle nextIcon = 0x500;

    bool NotifyIcon(NotifyIconMessage message, const NotifyIconRecord& record) override {
        calls.push_back({message, record});
        return true;
    }
    int ShellMajorVersion() override { return shellVersion; }
    std::uint32_t RecordSize(bool version5) override { return version5 ? 488 : 88; }
    IconHandle ApplicationIcon() override { return ++nextIcon; }
    IconHandle StockIcon(int id) override { return IconHandle(id); }
    IconHandle CopyIcon(IconHandle icon) override {
        copiedIcons.push_back(icon);
        return ++nextIcon;
    }
    void DestroyIcon(IconHandle icon) override { destroyedIcons.push_back(icon); }
    std::vector<IconHandle> copiedIcons;
    Point CursorPosition() override { return cursor; }
    void SetForegroundWindow(NativeWindow window) override { foregrounds.push_back(window); }
    void ShowTaskbarWindow(int command) override { taskbarCommands.push_back(command); }
};

struct FakePlatform {
    FakeDesktop desktop;
    FakeFiles files;
    FakeShell shell{files};
    FakeHotKeys hotKeys;
    FakeSingleInstance instance;
    FakeProcess process;
    FakeClipboard clipboard;
    FakeDialogs dialogs;
    FakeClock clock;
    FakeRegistry registry;
    FakeMessageWindows messageWindows{&clock};
    FakeNotificationArea notificationArea;
    Platform platform{desktop,   files, shell,    hotKeys,        instance,        process,
                      clipboard, dialogs, clock, registry, messageWindows, notificationArea};

    // Lets `milliseconds` pass: window timers fire in the order they fall due,
    // and sleeping workers wake when their time has come.
    void AdvanceTime(std::uint32_t milliseconds);
};

}  // namespace snapora
