// The Win32 platform layer against a real (Wine) window system.

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "MessagePump.h"
#include "imaging/Bitmap.h"
#include "platform/win32/DibPixels.h"
#include "platform/win32/GdiCanvas.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"

namespace snapora {
namespace {

// ---- Helpers -------------------------------------------------------------

using snapora::testing::PumpUntil;
void PumpMessages(DWORD milliseconds) { snapora::testing::PumpFor(milliseconds); }

const wchar_t* WindowClass(COLORREF colour) {
    // One class per background colour; the class brush paints the window.
    static std::map<COLORREF, std::wstring> names;
    auto found = names.find(colour);
    if (found != names.end()) return found->second.c_str();
    const std::wstring& name = names[colour] = L"SnaporaPlatformTest" + std::to_wstring(colour);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = CreateSolidBrush(colour);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = name.c_str();
    RegisterClassW(&windowClass);
    return name.c_str();
}

// A borderless, always-on-top window of one colour.
class TestWindow {
public:
    TestWindow(const Rect& area, COLORREF colour, const std::wstring& title = L"Snapora test window",
               bool visible = true) {
        handle_ = CreateWindowExW(WS_EX_TOPMOST, WindowClass(colour), title.c_str(),
                                  WS_POPUP | (visible ? WS_VISIBLE : 0), area.left, area.top, area.Width(),
                                  area.Height(), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (handle_) UpdateWindow(handle_);
        PumpMessages(50);
    }
    ~TestWindow() {
        if (handle_) DestroyWindow(handle_);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return handle_; }
    NativeWindow Native() const { return reinterpret_cast<NativeWindow>(handle_); }

    // Shown, not minimized, with this title.
    void Reset(const std::wstring& title) {
        if (IsIconic(handle_)) ShowWindow(handle_, SW_RESTORE);
        SetWindowTextW(handle_, title.c_str());
        PumpMessages(20);
    }

private:
    HWND handle_ = nullptr;
};

// The visible windows all tests share. They are never destroyed: under Wine
// without a window manager, taking a window off the screen waits about two
// seconds for a confirmation that never comes; ending the process is quick.
struct Screen {
    // Side by side, for the grab: red left of blue.
    TestWindow red{{200, 150, 360, 270}, RGB(255, 0, 0)};
    TestWindow blue{{360, 150, 520, 270}, RGB(0, 0, 255)};
    // Below them, for the foreground tests.
    TestWindow first{{100, 320, 300, 420}, RGB(0, 128, 0)};
    TestWindow second{{320, 320, 520, 420}, RGB(0, 128, 128)};
};

Screen& SharedScreen() {
    static Screen* screen = new Screen;
    return *screen;
}

// Makes `window` the foreground window the plain way, without the lock workaround.
bool MakeForeground(const TestWindow& window) {
    SetForegroundWindow(window.Handle());
    return PumpUntil([&] { return GetForegroundWindow() == window.Handle(); }, 2000);
}

std::wstring TitleOf(HWND window) {
    wchar_t title[512] = {};
    int length = GetWindowTextW(window, title, 512);
    return std::wstring(title, size_t(length > 0 ? length : 0));
}

std::string UniqueName(const char* stem) {
    return std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
}

// Restores the process-wide pixel source when a test switched it.
class PixelSourceScope {
public:
    explicit PixelSourceScope(PixelMemorySource* source) : saved_(CurrentPixelMemorySource()) {
        SetPixelMemorySource(source);
    }
    ~PixelSourceScope() { SetPixelMemorySource(&saved_); }

private:
    PixelMemorySource& saved_;
};

// ---- Text conversion -----------------------------------------------------

TEST(Win32Text, NarrowGivesWindows1252BytesAndOneQuestionMarkPerUnrepresentableCodePoint) {
    struct Case {
        const char* name;
        std::wstring utf16;
        std::string expected;
    };
    const Case cases[] = {
        {"umlauts, sharp s and euro", L"Rechnung \u00e4\u00f6\u00fc\u00df \u20ac", "Rechnung \xE4\xF6\xFC\xDF \x80"},
        {"capital umlauts", L"\u00c4\u00d6\u00dc", "\xC4\xD6\xDC"},
        {"typographic quotes and dash", L"\u201eJa\u201c \u2013 \u2026", "\x84Ja\x93 \x96 \x85"},
        {"Chinese", L"Bild \u4e2d\u6587 1", "Bild ?? 1"},
        {"emoji as a surrogate pair", L"A\U0001F600B", "A?B"},
        {"two emoji in a row", L"\U0001F600\U0001F601!", "?" "?!"},
        {"letter without a 1252 form is not replaced by a look-alike", L"\u0141\u00f3d\u017a", "?\xF3" "d?"},
        {"lone high surrogate at the end", std::wstring(L"x") + wchar_t(0xD83D), "x?"},
        {"lone low surrogate inside", std::wstring(L"a") + wchar_t(0xDE00) + L"b", "a?b"},
        {"embedded zero kept", std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
        {"empty", L"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Narrow(c.utf16), c.expected);
    }
}

TEST(Win32Text, WidenAndNarrowRoundTripEveryWindows1252Byte) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(char(b));
    std::wstring wide = Widen(all);
    EXPECT_EQ(wide.size(), all.size());
    EXPECT_EQ(Narrow(wide), all);
    EXPECT_EQ(Widen("\x80"), L"\u20ac");
    EXPECT_EQ(Widen("Gr\xFC\xDF" "e"), L"Gr\u00fc\u00dfe");
    EXPECT_EQ(Widen(""), L"");
}

// ---- Pixels and canvas ---------------------------------------------------

TEST(Win32Pixels, BitmapsUseDibSectionsWithAGdiCanvas) {
    Bitmap bitmap(5, 3);
    ASSERT_NE(bitmap.NativeHandle(), nullptr);
    DIBSECTION section{};
    ASSERT_EQ(GetObjectW(static_cast<HBITMAP>(bitmap.NativeHandle()), sizeof section, &section), int(sizeof section));
    EXPECT_EQ(section.dsBmih.biBitCount, 24);
    EXPECT_EQ(section.dsBm.bmBits, bitmap.Row(0));
    auto* canvas = dynamic_cast<GdiCanvas*>(&bitmap.Canvas());
    ASSERT_NE(canvas, nullptr);
    EXPECT_NE(canvas->Dc(), nullptr);
    EXPECT_EQ(GetCurrentObject(canvas->Dc(), OBJ_BITMAP), bitmap.NativeHandle());
    // Top-down: GDI's row 0 is the first row in memory.
    SetPixelV(canvas->Dc(), 4, 0, RGB(1, 2, 3));
    GdiFlush();
    const std::uint8_t* first = static_cast<const std::uint8_t*>(section.dsBm.bmBits) + 4 * 3;
    EXPECT_EQ(first[0], 3);
    EXPECT_EQ(first[1], 2);
    EXPECT_EQ(first[2], 1);
}

TEST(Win32Pixels, GdiDrawingOnTheCanvasDcIsVisibleInTheRowsAtOnce) {
    Bitmap bitmap(6, 4);
    auto& canvas = dynamic_cast<GdiCanvas&>(bitmap.Canvas());
    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    RECT r{1, 1, 4, 3};
    ::FillRect(canvas.Dc(), &r, brush);
    DeleteObject(brush);
    EXPECT_EQ(bitmap.Pixel(1, 1), MakeColour(10, 20, 30));
    EXPECT_EQ(bitmap.Pixel(3, 2), MakeColour(10, 20, 30));
    EXPECT_EQ(bitmap.Pixel(4, 2), clBlack);
}

TEST(Win32Pixels, FillRectResolvesSystemColours) {
    Bitmap bitmap(2, 2);
    bitmap.Canvas().FillRect({0, 0, 2, 2}, clBtnFace);
    EXPECT_EQ(bitmap.Pixel(1, 1), Colour(GetSysColor(COLOR_BTNFACE)));
}

TEST(Win32Pixels, PlatformSwitchesToDibPixelsAndBackWhenDestroyed) {
    PixelSourceScope heap(nullptr);
    {
        Win32Platform platform;
        platform.UseDibPixels();
        EXPECT_EQ(&CurrentPixelMemorySource(), &platform.dibSource);
        Bitmap bitmap(2, 2);
        EXPECT_NE(bitmap.NativeHandle(), nullptr);
    }
    Bitmap bitmap(2, 2);
    EXPECT_EQ(bitmap.NativeHandle(), nullptr);
}

// ---- Screen ----------------------------------------------------------------

TEST(Win32Desktop, MonitorsIncludeThePrimaryScreenAtTheOrigin) {
    Win32Desktop desktop;
    std::vector<Rect> monitors = desktop.Monitors();
    ASSERT_FALSE(monitors.empty());
    Size primary = desktop.PrimaryScreenSize();
    EXPECT_GT(primary.width, 0);
    EXPECT_GT(primary.height, 0);
    bool found = false;
    for (const Rect& m : monitors)
        if (m.left == 0 && m.top == 0) {
            found = true;
            EXPECT_EQ(m.Width(), primary.width);
            EXPECT_EQ(m.Height(), primary.height);
        }
    EXPECT_TRUE(found) << "no monitor at (0,0)";
}

// Waits until the screen shows the red and blue windows, as the window system may draw late.
bool RedAndBlueShown(Win32Desktop& desktop) {
    SharedScreen();
    return PumpUntil([&] {
        Bitmap probe;
        desktop.Grab({280, 210, 440, 211}, probe);
        return probe.Pixel(0, 0) == clRed && probe.Pixel(159, 0) == clBlue;
    });
}

TEST(Win32Desktop, GrabCopiesTheScreenAreaAtItsPosition) {
    Win32Desktop desktop;
    ASSERT_TRUE(RedAndBlueShown(desktop)) << "the test windows never appeared on the screen";

    struct Case {
        const char* name;
        bool dibPixels;
    };
    const Case cases[] = {{"into a DIB section", true}, {"into plain memory", false}};
    DibPixelSource dib;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PixelSourceScope source(c.dibPixels ? static_cast<PixelMemorySource*>(&dib) : nullptr);
        Bitmap picture(3, 3);
        desktop.Grab({350, 200, 371, 230}, picture);
        ASSERT_EQ(picture.Width(), 21);
        ASSERT_EQ(picture.Height(), 30);
        EXPECT_EQ(picture.NativeHandle() != nullptr, c.dibPixels);
        // Screen x 350..359 is the red window, 360..370 the blue one.
        for (int y : {0, 15, 29}) {
            EXPECT_EQ(picture.Pixel(0, y), clRed);
            EXPECT_EQ(picture.Pixel(9, y), clRed);
            EXPECT_EQ(picture.Pixel(10, y), clBlue);
            EXPECT_EQ(picture.Pixel(20, y), clBlue);
        }
    }
}

TEST(Win32Desktop, GrabOfAWholeWindowAreaIsItsColourWithTheAreasSize) {
    Win32Desktop desktop;
    ASSERT_TRUE(RedAndBlueShown(desktop));
    Bitmap picture;
    desktop.Grab({200, 150, 360, 270}, picture);
    EXPECT_EQ(picture.Width(), 160);
    EXPECT_EQ(picture.Height(), 120);
    EXPECT_EQ(picture.Pixel(80, 60), clRed);
    EXPECT_EQ(picture.Pixel(0, 0), clRed);
    EXPECT_EQ(picture.Pixel(159, 119), clRed);
}

TEST(Win32Desktop, GrabOfAnEmptyAreaGivesAnEmptyPicture) {
    Win32Desktop desktop;
    Bitmap picture(4, 4);
    desktop.Grab({10, 10, 10, 20}, picture);
    EXPECT_TRUE(picture.IsEmpty());
}

// ---- Foreground window ---------------------------------------------------

TEST(Win32Desktop, ForegroundWindowTitleIsNarrowedToWindows1252) {
    Win32Desktop desktop;
    TestWindow& window = SharedScreen().first;
    window.Reset(L"Test \u4e2d\u6587 - Editor");
    if (MakeForeground(window))
        EXPECT_EQ(desktop.ForegroundWindowTitle(), "Test ?? - Editor");
    else  // a window system that keeps the foreground elsewhere
        EXPECT_EQ(desktop.ForegroundWindowTitle(), Narrow(TitleOf(GetForegroundWindow())));
}

TEST(Win32Desktop, ForegroundWindowTitleIsCutTo254Bytes) {
    Win32Desktop desktop;
    TestWindow& window = SharedScreen().first;
    window.Reset(std::wstring(300, L'\u00e4'));
    ASSERT_TRUE(MakeForeground(window));
    EXPECT_EQ(desktop.ForegroundWindowTitle(), std::string(254, '\xE4'));
}

TEST(Win32Desktop, ForegroundWindowRectIsTheWindowsOuterRectangle) {
    Win32Desktop desktop;
    TestWindow& window = SharedScreen().first;
    window.Reset(L"Snapora rect");
    ASSERT_TRUE(MakeForeground(window));
    EXPECT_EQ(desktop.ForegroundWindowRect(), (Rect{100, 320, 300, 420}));
}

TEST(Win32Desktop, ForceForegroundWindowBringsABackgroundWindowToTheFront) {
    Win32Desktop desktop;
    TestWindow& behind = SharedScreen().first;
    TestWindow& front = SharedScreen().second;
    behind.Reset(L"Snapora behind");
    ASSERT_TRUE(MakeForeground(front));
    EXPECT_TRUE(desktop.ForceForegroundWindow(behind.Native()));
    EXPECT_EQ(GetForegroundWindow(), behind.Handle());
    // Already in front: nothing to do, still true.
    EXPECT_TRUE(desktop.ForceForegroundWindow(behind.Native()));
}

TEST(Win32Desktop, ForceForegroundWindowRestoresAMinimizedWindow) {
    Win32Desktop desktop;
    TestWindow& window = SharedScreen().first;
    window.Reset(L"Snapora minimized");
    ShowWindow(window.Handle(), SW_MINIMIZE);
    ASSERT_TRUE(MakeForeground(SharedScreen().second));
    ASSERT_TRUE(IsIconic(window.Handle()));
    EXPECT_TRUE(desktop.ForceForegroundWindow(window.Native()));
    EXPECT_FALSE(IsIconic(window.Handle()));
    EXPECT_EQ(GetForegroundWindow(), window.Handle());
}

// ---- Single instance -----------------------------------------------------

TEST(Win32SingleInstance, SecondAcquireOfTheSameNameFailsUntilTheFirstReleases) {
    const std::string name = UniqueName("SnaporaTestMutex");
    Win32SingleInstance first, second;
    EXPECT_TRUE(first.Acquire(name));
    EXPECT_FALSE(second.Acquire(name));
    first.Release();
    EXPECT_TRUE(second.Acquire(name));
    EXPECT_FALSE(first.Acquire(name));
    second.Release();
}

TEST(Win32SingleInstance, DifferentNamesDoNotBlockEachOther) {
    Win32SingleInstance first, second;
    EXPECT_TRUE(first.Acquire(UniqueName("SnaporaTestMutexA")));
    EXPECT_TRUE(second.Acquire(UniqueName("SnaporaTestMutexB")));
}

TEST(Win32SingleInstance, ActivateRunningInstanceRestoresAndFrontsTheVisibleWindowWithThePrefix) {
    Win32SingleInstance instance;
    TestWindow& running = SharedScreen().first;
    running.Reset(L"Snapora Running \u00e4 1.0");
    ShowWindow(running.Handle(), SW_MINIMIZE);
    ASSERT_TRUE(MakeForeground(SharedScreen().second));
    instance.ActivateRunningInstance("Snapora Running \xE4");
    PumpMessages(50);
    EXPECT_FALSE(IsIconic(running.Handle()));
    EXPECT_EQ(GetForegroundWindow(), running.Handle());
}

TEST(Win32SingleInstance, ActivateRunningInstanceLeavesHiddenWindowsAlone) {
    Win32SingleInstance instance;
    TestWindow hidden({100, 320, 300, 420}, RGB(0, 0, 128), L"Snapora Hidden Tray", false);
    TestWindow& other = SharedScreen().second;
    ASSERT_TRUE(MakeForeground(other));
    instance.ActivateRunningInstance("Snapora Hidden");
    PumpMessages(50);
    EXPECT_FALSE(IsWindowVisible(hidden.Handle()));
    EXPECT_EQ(GetForegroundWindow(), other.Handle());
}

// ---- Files -----------------------------------------------------------------

TEST(Win32Files, TempDirectoryEndsWithABackslashAndExists) {
    Win32Files files;
    std::string temp = files.TempDirectory();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_TRUE(files.DirectoryExists(temp));
    EXPECT_FALSE(files.FileExists(temp));
}

bool WriteFileOfSize(const std::string& path, size_t size) {
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string content(size, 'x');
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

TEST(Win32Files, MoveDeleteSizeAndExistsWorkOnWindows1252Paths) {
    Win32Files files;
    const std::string temp = files.TempDirectory();
    const std::string from = temp + UniqueName("Snapora \xC4rger \x80") + ".png";
    const std::string to = temp + UniqueName("Snapora M\xFCll") + ".png";
    ASSERT_TRUE(WriteFileOfSize(from, 12345));

    EXPECT_TRUE(files.FileExists(from));
    EXPECT_FALSE(files.DirectoryExists(from));
    EXPECT_EQ(files.Size(from), 12345u);
    // The name on disk is the real umlaut, not a mangled byte.
    EXPECT_NE(GetFileAttributesW(Widen(from).c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_TRUE(files.Move(from, to));
    EXPECT_FALSE(files.FileExists(from));
    EXPECT_TRUE(files.FileExists(to));
    EXPECT_EQ(files.Size(to), 12345u);
    EXPECT_EQ(files.Size(from), 0u);

    EXPECT_TRUE(files.Delete(to));
    EXPECT_FALSE(files.FileExists(to));
    EXPECT_EQ(files.Size(to), 0u);
    EXPECT_FALSE(files.Delete(to));
    EXPECT_FALSE(files.Move(from, to));
}

TEST(Win32Files, EmptyFileHasSizeZeroButExists) {
    Win32Files files;
    const std::string path = files.TempDirectory() + UniqueName("snapora-empty") + ".txt";
    ASSERT_TRUE(WriteFileOfSize(path, 0));
    EXPECT_TRUE(files.FileExists(path));
    EXPECT_EQ(files.Size(path), 0u);
    EXPECT_TRUE(files.Delete(path));
}

TEST(Win32Files, WriteFileThenOpenForReadingGivesTheSameBytes) {
    Win32Files files;
    const std::string path = files.TempDirectory() + UniqueName("snapora-\xFC-write") + ".bin";
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes.push_back(char(i * 7));
    ASSERT_TRUE(files.WriteFile(path, bytes));
    EXPECT_EQ(files.Size(path), bytes.size());
    {
        auto stream = files.OpenForReading(path);
        EXPECT_EQ(stream->Size(), bytes.size());
        std::string read(bytes.size() + 10, '\0');
        std::size_t first = stream->Read(read.data(), 1000);
        std::size_t rest = stream->Read(read.data() + first, read.size() - first);
        EXPECT_EQ(first, 1000u);
        EXPECT_EQ(first + rest, bytes.size());
        read.resize(first + rest);
        EXPECT_EQ(read, bytes);
        char more;
        EXPECT_EQ(stream->Read(&more, 1), 0u);  // at the end
    }
    // Writing again replaces the contents.
    ASSERT_TRUE(files.WriteFile(path, "kurz"));
    EXPECT_EQ(files.Size(path), 4u);
    EXPECT_TRUE(files.Delete(path));
}

TEST(Win32Files, FileOpenForReadingCanBeReadByOthersButNotWritten) {
    Win32Files files;
    const std::string path = files.TempDirectory() + UniqueName("snapora-locked") + ".bin";
    ASSERT_TRUE(files.WriteFile(path, "abc"));
    {
        auto stream = files.OpenForReading(path);
        HANDLE reader = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(reader, INVALID_HANDLE_VALUE);
        if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
        HANDLE writer = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
        EXPECT_FALSE(files.WriteFile(path, "xyz"));
    }
    EXPECT_TRUE(files.Delete(path));
}

TEST(Win32Files, OpenForReadingAMissingFileThrows) {
    Win32Files files;
    EXPECT_THROW(files.OpenForReading(files.TempDirectory() + UniqueName("snapora-missing")), std::runtime_error);
}

TEST(Win32Files, WriteFileIntoAMissingFolderFails) {
    Win32Files files;
    EXPECT_FALSE(files.WriteFile(files.TempDirectory() + UniqueName("no-such-folder") + "\\x.txt", "x"));
}

// ---- Clipboard, dialogs, clock -------------------------------------------

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return L"<clipboard busy>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = p;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

TEST(Win32Clipboard, SetTextPutsTheTextThereAsUnicode) {
    Win32Clipboard clipboard;
    const char* texts[] = {"https://snapora.example/i/abc123", "Gr\xFC\xDF" "e \x80 5", ""};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        clipboard.SetText(text);
        EXPECT_EQ(ClipboardText(), Widen(text));
    }
}

TEST(Win32Dialogs, DialogFilterSeparatesThePartsWithZeros) {
    using namespace std::string_literals;
    struct Case {
        const char* filter;
        std::wstring expected;
    };
    const Case cases[] = {
        {"PNG-Bild (*.png)|*.png", L"PNG-Bild (*.png)\0*.png\0\0"s},
        {"A|*.a|B|*.b;*.c", L"A\0*.a\0B\0*.b;*.c\0\0"s},
        {"Bilddatei f\xFCr \x80|*.png", L"Bilddatei f\u00fcr \u20ac\0*.png\0\0"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        EXPECT_EQ(DialogFilter(c.filter), c.expected);
    }
}

TEST(Win32Clock, NowIsTheLocalTime) {
    Win32Clock clock;
    SYSTEMTIME before{};
    GetLocalTime(&before);
    LocalTime now = clock.Now();
    EXPECT_EQ(now.year, before.wYear);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.day, 31);
    EXPECT_LT(now.hour, 24);
    EXPECT_LT(now.minute, 60);
    EXPECT_LT(now.second, 61);
    EXPECT_LT(now.millisecond, 1000);
    int secondsBefore = before.wHour * 3600 + before.wMinute * 60 + before.wSecond;
    int secondsNow = now.hour * 3600 + now.minute * 60 + now.second;
    EXPECT_LE((secondsNow - secondsBefore + 86400) % 86400, 2);
}

// ---- Hot keys --------------------------------------------------------------

TEST(Win32HotKeys, RegisterAndUnregisterOnAWindow) {
    Win32HotKeys hotKeys;
    TestWindow window({100, 100, 200, 200}, RGB(0, 128, 0), L"Snapora hot keys", false);
    EXPECT_TRUE(hotKeys.Register(window.Native(), 1, MOD_CONTROL_ | MOD_SHIFT_, VK_F11));
    EXPECT_TRUE(hotKeys.Register(window.Native(), 2, MOD_ALT_ | MOD_SHIFT_, VK_F12));
    hotKeys.Unregister(window.Native(), 1);
    hotKeys.Unregister(window.Native(), 2);
    // Unregistered keys are free again.
    EXPECT_TRUE(hotKeys.Register(window.Native(), 3, MOD_CONTROL_ | MOD_SHIFT_, VK_F11));
    hotKeys.Unregister(window.Native(), 3);
}

TEST(Win32HotKeys, SameKeyCombinationCannotBeRegisteredTwice) {
    Win32HotKeys hotKeys;
    TestWindow window({100, 100, 200, 200}, RGB(0, 128, 0), L"Snapora hot keys", false);
    ASSERT_TRUE(hotKeys.Register(window.Native(), 1, MOD_CONTROL_ | MOD_ALT_, VK_F10));
    EXPECT_FALSE(hotKeys.Register(window.Native(), 2, MOD_CONTROL_ | MOD_ALT_, VK_F10));
    hotKeys.Unregister(window.Native(), 1);
}

// ---- Process -------------------------------------------------------------

TEST(Win32Process, SplitCommandLineGroupsQuotedPartsAndKeepsBackslashes) {
    struct Case {
        const char* commandLine;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"snapora.exe", {"snapora.exe"}},
        {"\"C:\\Program Files\\Snapora\\snapora.exe\" /upload", {"C:\\Program Files\\Snapora\\snapora.exe", "/upload"}},
        {"a.exe  \"C:\\Bilder\\\"  x", {"a.exe", "C:\\Bilder\\", "x"}},
        {"a.exe \"\"", {"a.exe", ""}},
        {"a.exe B\"ild M\"\xFC ll", {"a.exe", "Bild M\xFC", "ll"}},
        {"  \t ", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_EQ(SplitCommandLine(c.commandLine), c.expected);
    }
}

TEST(Win32Process, FirstParameterIsTheProgramsFullPath) {
    Win32Process process;
    std::vector<std::string> parameters = process.Parameters();
    ASSERT_FALSE(parameters.empty());
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    EXPECT_EQ(parameters[0], Narrow(path));
}

}  // namespace
}  // namespace snapora
