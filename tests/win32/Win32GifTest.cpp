// The timer on a real window timer and a real thread, and the GIF control
// painting its frames into a real window, read back from the screen.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <set>

#include "../unit/GifTestSupport.h"
#include "MessagePump.h"
#include "gif/GIFImage.h"
#include "gif/TimerEx.h"
#include "platform/win32/Win32Platform.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/win32/Win32Backend.h"

namespace snapora {

using namespace giftest;

namespace {

const Colour kPanel = MakeColour(0, 128, 128);

class GifTestForm : public Form {
public:
    explicit GifTestForm(Application& app) : Form(app, "GifTestForm") {
        SetCaption("GIF");
        Border = BorderStyle::Single;
        SetClientSize(220, 120);
        Panel.SetBounds(0, 0, 220, 120);
        Panel.Bevel = BevelKind::None;
        Panel.SetColor(kPanel);
        Gif.SetBounds(10, 10, 40, 40);
        Still.SetBounds(100, 10, 80, 80);
    }
    TPanel Panel{this, "Panel"};
    TGIFImage Gif{&Panel, "Gif"};
    TGIFImage Still{&Panel, "Still"};
};

class Win32Gif : public ::testing::Test {
protected:
    // Bitmaps are DIB sections already (UseGdiPixels).
    void SetUp() override { backend.SetApplication(&app); }
    TimerServices Services() { return {&system.View(), &app}; }
    bool Pump(const std::function<bool()>& done, DWORD milliseconds = 5000) {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start >= milliseconds) return false;
            backend.ProcessMessages();
            Sleep(2);
        }
        return true;
    }
    static Colour ScreenPixel(const Control& control, int x, int y) {
        HWND window = reinterpret_cast<HWND>(control.Handle());
        HDC dc = GetDC(window);
        const COLORREF pixel = GetPixel(dc, x, y);
        ReleaseDC(window, dc);
        return Colour(pixel);
    }

    Win32Platform system;
    Win32Backend backend{GetModuleHandleW(nullptr)};
    Application app{backend};
};

const std::vector<Colour> kColours = {MakeColour(255, 0, 0), MakeColour(0, 0, 255), MakeColour(255, 255, 0),
                                      MakeColour(255, 255, 255)};

// 8 x 8 in colour 1 with a transparent 4 x 4 hole in its middle.
std::string HoledPicture() {
    GifBuilder holed;
    FramePlan f;
    f.width = f.height = 8;
    f.minCodeSize = 2;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) f.pixels.push_back(x >= 2 && x < 6 && y >= 2 && y < 6 ? 3 : 1);
    holed.Header().Screen(8, 8, 2, kColours).Control(0, 0, true, 3).Frame(f);
    return AsString(holed.Trailer().b);
}

}  // namespace

TEST_F(Win32Gif, WindowTimerTicksRestartsAndSurvivesItsOwnDiscarding) {
    std::vector<DWORD> at;
    auto timer = std::make_unique<TTimerEx>(nullptr, Services());
    timer->SetInterval(30);
    timer->SetOnTimer([&](TTimerEx&) { at.push_back(GetTickCount()); });
    ASSERT_TRUE(Pump([&] { return at.size() >= 3; }));
    timer->SetInterval(400);
    const DWORD changed = GetTickCount();
    const std::size_t before = at.size();
    ASSERT_TRUE(Pump([&] { return at.size() > before; }));
    EXPECT_GE(at.back() - changed, 300u);

    timer->SetOnTimer([&](TTimerEx&) {
        at.push_back(GetTickCount());
        timer.reset();
    });
    timer->SetInterval(20);
    const std::size_t last = at.size();
    ASSERT_TRUE(Pump([&] { return timer == nullptr; }));
    Pump([] { return false; }, 150);
    EXPECT_EQ(at.size(), last + 1);
}

TEST_F(Win32Gif, WorkerThreadHandsTicksOverOrRunsThemItself) {
    std::atomic<int> ticks = 0;
    std::atomic<DWORD> thread = 0;
    std::atomic<int> priority = 99;
    auto timer = std::make_unique<TTimerEx>(nullptr, Services());
    timer->SetThreaded(true);
    timer->SetThreadPriority(tpHigher);
    timer->SetInterval(20);
    timer->SetOnTimer([&](TTimerEx&) {
        thread = GetCurrentThreadId();
        priority = GetThreadPriority(GetCurrentThread());
        ++ticks;
    });
    ASSERT_TRUE(Pump([&] { return ticks >= 2; }));
    EXPECT_EQ(thread, GetCurrentThreadId());  // handed to the main thread

    timer->SetThreadSafe(true);
    const int before = ticks;
    ASSERT_TRUE(Pump([&] { return ticks >= before + 2; }));
    EXPECT_NE(thread, GetCurrentThreadId());
    EXPECT_EQ(priority, THREAD_PRIORITY_ABOVE_NORMAL);

    // Discarded from its own tick on the main thread.
    timer->SetThreadSafe(false);
    timer->SetOnTimer([&](TTimerEx&) {
        ++ticks;
        timer.reset();
    });
    ASSERT_TRUE(Pump([&] { return timer == nullptr; }));
    const int after = ticks;
    Pump([] { return false; }, 150);
    EXPECT_EQ(ticks, after);
}

TEST_F(Win32Gif, AnimatedPicturePaintsItsFramesInAWindow) {
    auto& form = app.CreateForm<GifTestForm>();
    form.Gif.SetTimerServices(Services());
    // Three solid frames of 20 x 20, 60 ms each, endless; a transparent
    // picture with a hole in its middle; both stretched and plain.
    GifBuilder animation;
    animation.Header().Screen(20, 20, 2, kColours).Netscape(0);
    for (int i = 0; i < 3; ++i) {
        FramePlan f;
        f.width = f.height = 20;
        f.minCodeSize = 2;
        f.pixels.assign(400, std::uint8_t(i));
        animation.Control(1, 6).Frame(f);
    }
    ASSERT_TRUE(form.Gif.LoadFromData(AsString(animation.Trailer().b)));
    form.Gif.SetStretch(true);  // 20 x 20 into 40 x 40
    ASSERT_TRUE(form.Still.LoadFromData(HoledPicture()));
    // A load posts the palette message to the parent window.
    MSG message;
    HWND panel = reinterpret_cast<HWND>(form.Panel.Handle());
    EXPECT_TRUE(PeekMessageW(&message, panel, WM_QUERYNEWPALETTE, WM_QUERYNEWPALETTE, PM_REMOVE));
    // The parent realises the palettes its pictures report, only while they are visible.
    EXPECT_TRUE(SendMessageW(panel, WM_QUERYNEWPALETTE, 0, 0));
    form.Gif.SetVisible(false);
    form.Still.SetVisible(false);
    EXPECT_FALSE(SendMessageW(panel, WM_QUERYNEWPALETTE, 0, 0));
    form.Gif.SetVisible(true);
    form.Still.SetVisible(true);
    form.Show();
    form.Gif.SetAnimate(true);

    std::set<Colour> seen;
    ASSERT_TRUE(Pump([&] {
        seen.insert(ScreenPixel(form.Gif, 30, 30));
        return seen.count(kColours[0]) && seen.count(kColours[1]) && seen.count(kColours[2]);
    }));
    EXPECT_NE(form.Gif.AnimationTimer(), nullptr);
    // The transparent middle shows the panel beneath; the rest is the picture.
    EXPECT_EQ(ScreenPixel(form.Still, 1, 1), kColours[1]);
    EXPECT_EQ(ScreenPixel(form.Still, 4, 4), kPanel);
    EXPECT_EQ(ScreenPixel(form.Still, 20, 20), kPanel);  // outside the picture

    form.Gif.SetAnimate(false);
    EXPECT_EQ(form.Gif.AnimationTimer(), nullptr);
    Pump([] { return false; }, 100);
    // Frame 1 again, or the last frame when the animation had just wrapped.
    EXPECT_EQ(ScreenPixel(form.Gif, 30, 30), form.Gif.Composition().Pixel(15, 15));
}

// At 150 % (144 DPI) the control's window is half as large again, and so is
// its picture: an 8 x 8 picture at natural size covers 12 x 12 pixels, and one
// stretched to its control fills the whole window.
TEST_F(Win32Gif, PictureGrowsWithTheDpiLikeItsWindow) {
    auto& form = app.CreateForm<GifTestForm>();
    ASSERT_TRUE(form.Still.LoadFromData(HoledPicture()));
    ASSERT_TRUE(form.Gif.LoadFromData(HoledPicture()));
    form.Gif.SetStretch(true);  // 8 x 8 into 40 x 40
    form.Show();
    HWND window = backend.WindowOf(form);
    RECT suggested{20, 20, 420, 260};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump([] { return false; }, 100);

    RECT still{};
    GetClientRect(reinterpret_cast<HWND>(form.Still.Handle()), &still);
    ASSERT_EQ(still.right, 120);  // 80 layout units
    struct Case {
        const TGIFImage& control;
        int x, y;
        Colour colour;
    } cases[] = {
        {form.Still, 1, 1, kColours[1]},   {form.Still, 10, 10, kColours[1]},  // the ring, up to pixel 11
        {form.Still, 5, 5, kPanel},        {form.Still, 13, 13, kPanel},       // the hole; beyond the picture
        {form.Gif, 55, 2, kColours[1]},    {form.Gif, 30, 30, kPanel},         // stretched over all 60 x 60
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScreenPixel(c.control, c.x, c.y), c.colour) << c.control.Name() << " " << c.x << "," << c.y;
}

}  // namespace snapora
