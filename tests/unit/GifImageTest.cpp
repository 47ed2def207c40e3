// The GIF picture control: properties, composition, animation on the test
// clock, layout, painting and the stored picture.

#include <new>

#include "GifTimerFixture.h"

namespace snapora {

using namespace giftest;

namespace {

// Counts the control's repaint requests.
class RecordingPeer final : public ControlPeer {
public:
    int repaints = 0;
    void Update(Change what) override { repaints += what == Change::State; }
    NativeWindow Handle() const override { return 0; }
};

// Paints in place onto a "screen" bitmap and records how.
class RecordingHost final : public GifHost {
public:
    explicit RecordingHost(Bitmap& screen) : screen_(screen) {}
    struct Call {
        Rect clip;
        bool offScreen;
    };
    std::vector<Call> calls;
    std::vector<bool> paletteMessages;  // the "only when focused" flag of each
    void PaintInPlace(const Rect& clip, bool offScreen, const std::function<void(GifSurface&)>& paint) override {
        calls.push_back({clip, offScreen});
        BitmapSurface surface(screen_, {0, 0}, clSilver, clip);
        paint(surface);
    }
    void PostQueryNewPalette(bool onlyWhenFocused) override { paletteMessages.push_back(onlyWhenFocused); }

private:
    Bitmap& screen_;
};

const std::vector<Colour> kPalette = {MakeColour(200, 0, 0), MakeColour(0, 200, 0), MakeColour(0, 0, 200),
                                      MakeColour(90, 90, 90)};

// Frames of `size` pixels at (0, 0), frame i all index i % 4.
Bytes Animation(std::vector<int> delays, int loops = -1, int size = 2) {
    GifBuilder g;
    g.Header().Screen(size, size, 2, kPalette);
    if (loops >= 0) g.Netscape(loops);
    for (std::size_t i = 0; i < delays.size(); ++i) {
        FramePlan f;
        f.width = f.height = size;
        f.minCodeSize = 2;
        f.pixels.assign(std::size_t(size * size), std::uint8_t(i % 4));
        g.Control(1, delays[i]).Frame(f);
    }
    return g.Trailer().b;
}

class GifImage : public TimedTest {
protected:
    void SetUp() override {
        gif.SetTimerServices(Services());
        gif.SetHost(&host);
        gif.AttachPeer(&peer);
    }
    void Load(const Bytes& bytes) { ASSERT_TRUE(gif.LoadFromData(AsString(bytes))); }
    // What the window system's paint of the control leaves on a silver parent.
    Bitmap Painted() {
        Bitmap shown(gif.Width(), gif.Height());
        BitmapSurface surface(shown, {0, 0}, clSilver);
        gif.NativePaint(surface);
        return shown;
    }
    Colour Shown() const { return gif.Composition().Pixel(0, 0); }
    std::uint32_t TimerInterval() const { return gif.AnimationTimer() ? gif.AnimationTimer()->Interval() : 0; }

    Bitmap screen{105, 105};
    RecordingHost host{screen};
    RecordingPeer peer;
    TGIFImage gif{nullptr, "Gif"};
};

}  // namespace

TEST_F(GifImage, StartsEmptyWithItsInitialProperties) {
    EXPECT_EQ(gif.Bounds(), Rect::FromSize(0, 0, 105, 105));
    EXPECT_TRUE(gif.Empty());
    EXPECT_FALSE(gif.Animate() || gif.AutoSize() || gif.Center() || gif.FirstImageOnly || gif.Loop() ||
                 gif.Opaque() || gif.Stretch() || gif.StretchRatio() || gif.StretchBigOnly() || gif.Tile() ||
                 gif.Threaded());
    EXPECT_TRUE(gif.DoubleBuffered);
    EXPECT_TRUE(gif.Visible());
    EXPECT_EQ(gif.CurrentFrame(), 1);
    EXPECT_EQ(gif.Speed(), 100);
    EXPECT_EQ(gif.ThreadPriority(), tpNormal);
    EXPECT_EQ(gif.Version(), gvGIF87a);
    EXPECT_EQ(gif.WriteData(), "");
    EXPECT_EQ(gif.AnimationTimer(), nullptr);
}

TEST_F(GifImage, StepTimesFollowDelayAndSpeed) {
    Load(Animation({0, 20, 40}));
    struct Case {
        int speed;
        std::uint32_t times[3];
    } cases[] = {{100, {50, 200, 400}}, {200, {25, 100, 200}}, {0, {5000, 20000, 40000}}};
    for (const Case& c : cases) {
        gif.SetSpeed(c.speed);
        for (int k = 1; k <= 3; ++k) EXPECT_EQ(gif.StepTime(k), c.times[k - 1]) << c.speed << " " << k;
    }
    EXPECT_EQ(gif.Speed(), 1);  // 0 is stored as 1
    EXPECT_EQ(gif.StepTime(4), 1u);
}

TEST_F(GifImage, PlaysOnceWithoutLoopingExtensionThenStops) {
    Load(Animation({10, 10, 10}));
    int wraps = 0, changes = 0;
    gif.OnWrapAnimation = [&](TGIFImage& sender) {
        EXPECT_EQ(&sender, &gif);
        ++wraps;
    };
    gif.OnChange = [&](TGIFImage&) { ++changes; };
    gif.SetAnimate(true);
    Painted();
    EXPECT_EQ(TimerInterval(), 100u);
    // Frame 1 stays for two steps: the first one only ends the load's hold.
    std::vector<Colour> seen{Shown()};
    for (int step = 0; step < 6; ++step) {
        fake.AdvanceTime(100);
        seen.push_back(Shown());
    }
    EXPECT_EQ(seen, (std::vector<Colour>{kPalette[0], kPalette[0], kPalette[1], kPalette[2], kPalette[2],
                                         kPalette[2], kPalette[2]}));
    EXPECT_EQ(wraps, 1);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(gif.AnimationTimer(), nullptr);
    EXPECT_EQ(gif.CurrentFrame(), 4);
    Painted();  // a later paint does not start it again
    EXPECT_EQ(gif.AnimationTimer(), nullptr);
}

TEST_F(GifImage, LoopCountAndLoopDecideHowOftenItPlays) {
    struct Case {
        int loops;  // -1: no looping extension
        bool loop;
        int wrapsAfterTwentySteps;
        bool running;
    } cases[] = {{-1, false, 1, false}, {2, false, 2, false}, {0, false, 6, true}, {-1, true, 6, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loops);
        gif.SetAnimate(false);
        Load(Animation({10, 10, 10}, c.loops));
        gif.SetLoop(c.loop);
        int wraps = 0;
        gif.OnWrapAnimation = [&](TGIFImage&) { ++wraps; };
        gif.SetAnimate(true);
        for (int step = 0; step < 20; ++step) fake.AdvanceTime(100);
        EXPECT_EQ(wraps, c.wrapsAfterTwentySteps);
        EXPECT_EQ(gif.AnimationTimer() != nullptr, c.running);
        EXPECT_EQ(gif.LoopCount(), c.loops < 0 ? 1 : c.loops);
    }
}

TEST_F(GifImage, AnimateOffShowsFrameOneAndLoopOnRestarts) {
    Load(Animation({10, 10, 10}, 0));
    gif.SetAnimate(true);
    fake.AdvanceTime(200);  // frame 2 shown, frame 3 next
    EXPECT_EQ(Shown(), kPalette[1]);
    gif.SetAnimate(false);
    EXPECT_EQ(Shown(), kPalette[0]);
    EXPECT_EQ(gif.CurrentFrame(), 1);
    EXPECT_EQ(gif.AnimationTimer(), nullptr);

    // Right after a looping animation drew its last frame the last frame stays.
    gif.SetAnimate(true);
    fake.AdvanceTime(300);
    EXPECT_EQ(Shown(), kPalette[2]);
    EXPECT_EQ(gif.CurrentFrame(), 1);
    gif.SetAnimate(false);
    EXPECT_EQ(Shown(), kPalette[2]);

    // Played out, then Loop switched on: it starts again at frame 1.
    Load(Animation({10, 10, 10}));
    gif.SetAnimate(true);
    fake.AdvanceTime(300);
    EXPECT_EQ(gif.AnimationTimer(), nullptr);
    gif.SetLoop(true);
    EXPECT_EQ(gif.CurrentFrame(), 1);
    EXPECT_EQ(TimerInterval(), 100u);
    fake.AdvanceTime(100);
    EXPECT_EQ(Shown(), kPalette[0]);
    EXPECT_EQ(gif.CurrentFrame(), 2);
}

TEST_F(GifImage, StepTimeLosesWhatTheStepTook) {
    Load(Animation({10, 30}, 0));
    gif.SetAnimate(true);
    gif.OnChanging = [&](TGIFImage&) { fake.clock.Spend(30); };
    fake.AdvanceTime(100);  // frame 1's step: 100 - 30
    EXPECT_EQ(TimerInterval(), 70u);
    fake.AdvanceTime(70);  // frame 2's: 300 - 30
    EXPECT_EQ(TimerInterval(), 270u);
    gif.OnChanging = [&](TGIFImage&) { fake.clock.Spend(500); };
    fake.AdvanceTime(270);
    EXPECT_EQ(TimerInterval(), 1u);
    gif.OnChanging = nullptr;
    gif.SetSpeed(50);  // the next step at once
    EXPECT_EQ(TimerInterval(), 1u);
}

TEST_F(GifImage, ComposesDisposalMethodsAndMasks) {
    // A 3x1 screen. Frame 1: opaque red on all three points. Frame 2 (at x=1,
    // transparent index 3) then frame 3 (at x=2, transparent); each with its
    // own disposal, which acts before the next frame is drawn.
    struct Case {
        int disposal;
        std::vector<Colour> afterFrame3;
        std::vector<std::uint8_t> mask;
    } cases[] = {
        {0, {kPalette[0], kPalette[1], kPalette[2]}, {0, 0, 0}},
        {1, {kPalette[0], kPalette[1], kPalette[2]}, {0, 0, 0}},
        {2, {kPalette[0], clBlack, kPalette[2]}, {0, 1, 0}},
        {3, {kPalette[0], kPalette[0], kPalette[2]}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.disposal);
        GifBuilder g;
        g.Header().Screen(3, 1, 2, kPalette);
        FramePlan f1;
        f1.width = 3;
        f1.minCodeSize = 2;
        f1.pixels = {0, 0, 0};
        FramePlan f2 = f1;
        f2.left = 1;
        f2.width = 2;
        f2.pixels = {1, 3};  // its second point is transparent
        FramePlan f3 = f1;
        f3.left = 2;
        f3.width = 1;
        f3.pixels = {2};
        g.Control(1, 10).Frame(f1).Control(c.disposal, 10, true, 3).Frame(f2).Control(0, 10, true, 3).Frame(f3);
        gif.SetAnimate(false);
        Load(g.Trailer().b);
        gif.SetAnimate(true);
        fake.AdvanceTime(100);
        fake.AdvanceTime(100);
        EXPECT_EQ(gif.Composition().Pixel(2, 0), kPalette[0]);  // frame 2 left it
        EXPECT_EQ(gif.Composition().Pixel(1, 0), kPalette[1]);
        fake.AdvanceTime(100);
        for (int x = 0; x < 3; ++x) EXPECT_EQ(gif.Composition().Pixel(x, 0), c.afterFrame3[x]) << x;
        EXPECT_EQ(MaskBits(gif.MaskBitmap()), c.mask);
    }
}

TEST_F(GifImage, TransparencyPaintsThroughOnlyWhenTheFirstFrameIsTransparent) {
    // One transparent frame on a 3x1 screen: the undelivered and transparent
    // points show the parent; an opaque first frame makes the picture opaque,
    // and the points no opaque pixel covered are black.
    for (bool transparentFirst : {true, false}) {
        SCOPED_TRACE(transparentFirst);
        GifBuilder g;
        g.Header().Screen(3, 1, 2, kPalette);
        FramePlan f;
        f.width = 2;
        f.minCodeSize = 2;
        f.pixels = {1, 3};
        if (!transparentFirst) g.Control(1, 10).Pixel(2, 2, 0);
        g.Control(1, 10, true, 3).Frame(f);
        Load(g.Trailer().b);
        gif.SetBounds(0, 0, 3, 1);
        gif.UpdateLayout();
        if (!transparentFirst) gif.SetCurrentFrame(2);
        const Bitmap shown = Painted();
        EXPECT_EQ(shown.Pixel(0, 0), kPalette[1]);
        EXPECT_EQ(shown.Pixel(1, 0), transparentFirst ? clSilver : clBlack);
        EXPECT_EQ(shown.Pixel(2, 0), transparentFirst ? clSilver : kPalette[2]);
    }
}

TEST_F(GifImage, LayoutPlacesThePicture) {
    // A 100 x 50 picture in controls of several sizes.
    struct Case {
        int w, h;
        bool stretch, ratio, bigOnly, tile, center;
        Rect dest;
        bool stretched;
    } cases[] = {
        {200, 200, true, false, true, false, false, {0, 0, 100, 50}, false},
        {80, 200, true, false, true, false, false, {0, 0, 80, 200}, true},
        {200, 200, false, true, false, false, false, {0, 50, 200, 150}, true},
        {300, 100, false, true, false, false, false, {50, 0, 250, 100}, true},
        {100, 50, true, false, false, false, false, {0, 0, 100, 50}, false},
        {130, 70, false, false, false, true, false, {0, 0, 130, 70}, false},
        {131, 71, false, false, false, false, true, {15, 10, 115, 60}, false},
        {50, 20, false, false, false, false, true, {-25, -15, 75, 35}, false},
    };
    GifBuilder g;
    g.Header().Screen(100, 50, 2, kPalette).Pixel(0).Trailer();
    Load(g.b);
    for (const Case& c : cases) {
        gif.SetBounds(0, 0, c.w, c.h);
        gif.SetStretch(c.stretch);
        gif.SetStretchRatio(c.ratio);
        gif.SetStretchBigOnly(c.bigOnly);
        gif.SetTile(c.tile);
        gif.SetCenter(c.center);
        gif.UpdateLayout();
        EXPECT_EQ(gif.DestRect(), c.dest) << c.w << "x" << c.h;
        EXPECT_EQ(gif.Stretched(), c.stretched) << c.w << "x" << c.h;
    }
}

TEST_F(GifImage, TilesAndCoversAndTheOpacityDeclaration) {
    GifBuilder g;
    g.Header().Screen(30, 30, 2, kPalette).Control(1, 0).Descriptor(0, 0, 30, 30, 0).Raw({2, 1, 4, 0}).Trailer();
    Load(g.b);
    gif.SetBounds(0, 0, 100, 70);
    gif.SetTile(true);
    Bitmap shown(100, 70);
    BitmapSurface surface(shown, {0, 0}, clSilver);
    gif.ParentPaint(surface);  // the declaration changes: a repaint is asked for instead
    EXPECT_TRUE(gif.Covers());
    EXPECT_EQ(surface.pictures, 0);
    const int repaints = peer.repaints;
    gif.NativePaint(surface);
    EXPECT_EQ(peer.repaints, repaints);
    EXPECT_EQ(surface.parentPaints, 0);  // declared opaque: nothing beneath
    EXPECT_EQ(surface.pictures, 4 * 3);  // the last column and row cut off
    EXPECT_EQ(shown.Pixel(99, 69), kPalette[0]);

    gif.SetTile(false);
    gif.SetOpaque(true);
    gif.SetColor(clYellow);
    shown = Painted();  // declaration changes back
    shown = Painted();
    EXPECT_FALSE(gif.Covers());
    EXPECT_EQ(shown.Pixel(29, 29), kPalette[0]);
    EXPECT_EQ(shown.Pixel(30, 30), clYellow);
}

TEST_F(GifImage, InvisibleDrawsNothingButTakesClicks) {
    Load(Animation({10}));
    int clicks = 0;
    gif.OnClick = [&] { ++clicks; };
    const int repaints = peer.repaints;
    gif.SetVisible(false);
    EXPECT_EQ(peer.repaints, repaints + 1);
    EXPECT_EQ(host.paletteMessages, (std::vector<bool>{false, true}));  // after the load, then on the change
    gif.SetVisible(false);
    EXPECT_EQ(peer.repaints, repaints + 1);
    EXPECT_TRUE(gif.Palette().empty());
    const Bitmap shown = Painted();
    EXPECT_EQ(shown.Pixel(0, 0), clSilver);
    gif.NativeClick();
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(gif.Control::Visible());
}

TEST_F(GifImage, RepaintsInPlaceOffScreenUnlessItCovers) {
    Load(Animation({10, 10}, 0));
    gif.SetAnimate(true);
    fake.AdvanceTime(200);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_TRUE(host.calls[0].offScreen);  // 105 x 105 is not covered by 2 x 2
    EXPECT_EQ(host.calls[0].clip, Rect::FromSize(0, 0, 2, 2));
    EXPECT_EQ(screen.Pixel(1, 1), kPalette[1]);
    EXPECT_EQ(screen.Pixel(2, 2), clBlack);  // outside the clip

    gif.SetStretch(true);
    Painted();
    Painted();
    fake.AdvanceTime(100);
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_FALSE(host.calls[1].offScreen);
    EXPECT_EQ(host.calls[1].clip, Rect::FromSize(0, 0, 105, 105));
    EXPECT_EQ(screen.Pixel(104, 104), kPalette[0]);
    gif.DoubleBuffered = false;
    gif.SetStretch(false);
    Painted();
    Painted();
    fake.AdvanceTime(100);
    EXPECT_FALSE(host.calls.back().offScreen);
}

TEST_F(GifImage, CurrentFrameDrawsOneFrame) {
    Load(Animation({10, 10, 10}));
    int changing = 0, change = 0;
    gif.OnChanging = [&](TGIFImage&) { ++changing; };
    gif.OnChange = [&](TGIFImage&) { ++change; };
    gif.SetCurrentFrame(3);
    EXPECT_EQ(Shown(), kPalette[2]);
    EXPECT_EQ(changing + change, 2);
    EXPECT_EQ(gif.Palette().size(), 4u);
    for (int bad : {0, 4, -1}) {
        gif.SetCurrentFrame(bad);
        EXPECT_EQ(gif.LastError(), 5);
        EXPECT_EQ(gif.CurrentFrame(), 3);
    }
    EXPECT_EQ(changing, 1);
}

TEST_F(GifImage, LoadsFailsAndKeepsItsData) {
    const Bytes picture = Animation({10, 20});
    gif.SetAutoSize(true);
    std::vector<int> percents;
    gif.OnProgress = [&](TGIFImage&, int processed, int total, int percent, bool&) {
        EXPECT_EQ(total, int(picture.size()));
        EXPECT_LE(processed, total);
        percents.push_back(percent);
    };
    Load(picture);
    EXPECT_EQ(gif.Bounds(), Rect::FromSize(0, 0, 2, 2));
    EXPECT_EQ(gif.Version(), gvGIF89a);
    EXPECT_EQ(gif.FrameCount(), 2);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(gif.LastError(), 0);

    // The stored picture: count, then the bytes; read back when loading ends.
    const std::string record = gif.WriteData();
    ASSERT_EQ(record.size(), picture.size() + 4);
    EXPECT_EQ(record.substr(0, 4), std::string({char(picture.size()), 0, 0, 0}));
    EXPECT_EQ(record.substr(4), AsString(picture));
    TGIFImage copy(nullptr, "Copy");
    EXPECT_FALSE(copy.ReadData(record.substr(0, 10)));
    ASSERT_TRUE(copy.ReadData(record));
    EXPECT_TRUE(copy.Empty());
    copy.Loaded();
    EXPECT_EQ(copy.FrameCount(), 2);
    copy.FirstImageOnly = true;
    copy.Loaded();
    EXPECT_EQ(copy.FrameCount(), 1);

    struct Case {
        std::string bytes;
        int error;
        TGIFVersion version;  // the signature read last
    } cases[] = {{"", 2, gvGIF89a},
                 {"GIF87a\x01", 3, gvGIF87a},
                 {AsString(picture), 1, gvGIF89a},
                 {"gif87a\x01\x00\x01\x00\x00\x00\x00", 3, gvGIF89a}};
    for (const Case& c : cases) {
        gif.OnProgress = nullptr;
        Load(picture);
        ASSERT_FALSE(gif.Empty());
        if (c.error == 1) gif.OnProgress = [](TGIFImage&, int, int, int, bool& keepOn) { keepOn = false; };
        EXPECT_FALSE(gif.LoadFromData(c.bytes));
        EXPECT_EQ(gif.LastError(), c.error);
        EXPECT_EQ(gif.Version(), c.version);
        EXPECT_TRUE(gif.Empty());
        EXPECT_EQ(gif.FrameCount(), 0);
        EXPECT_TRUE(gif.Composition().IsEmpty());
        EXPECT_EQ(gif.WriteData(), "");
    }
}

TEST_F(GifImage, AllocationFailureLeavesTheControlCleared) {
    class NoPixels final : public PixelMemorySource {
    public:
        std::unique_ptr<PixelMemory> Allocate(int, int, int) override { throw std::bad_alloc(); }
    } none;
    Load(Animation({10}));
    SetPixelMemorySource(&none);
    const bool loaded = gif.LoadFromData(AsString(Animation({10})));
    SetPixelMemorySource(nullptr);
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(gif.Empty());
    EXPECT_TRUE(gif.Composition().IsEmpty());
}

TEST_F(GifImage, ThreadedAnimationStepsOnTheMainThread) {
    gif.SetThreaded(true);
    gif.SetThreadPriority(tpLower);
    Load(Animation({10, 10}, 0));
    std::thread::id steppedOn;
    gif.OnChange = [&](TGIFImage&) { steppedOn = std::this_thread::get_id(); };
    gif.SetAnimate(true);
    ASSERT_NE(gif.AnimationTimer(), nullptr);
    EXPECT_TRUE(gif.AnimationTimer()->Threaded());
    EXPECT_EQ(gif.AnimationTimer()->ThreadPriority(), tpLower);
    for (Colour expected : {kPalette[0], kPalette[1], kPalette[0]}) {
        const int before = gif.CurrentFrame();
        ASSERT_TRUE(fake.clock.WaitForSleepers(1));
        fake.AdvanceTime(100);
        ASSERT_TRUE(PumpUntil([&] { return gif.CurrentFrame() != before; }));
        EXPECT_EQ(Shown(), expected);
    }
    EXPECT_EQ(steppedOn, std::this_thread::get_id());
    gif.SetAnimate(false);  // discards the timer; its worker ends
    EXPECT_TRUE(PumpUntil([&] { return fake.clock.Sleepers() == 0; }));
}

}  // namespace snapora
