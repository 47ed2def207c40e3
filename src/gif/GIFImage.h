#pragma once
// The animated GIF picture control: shows a GIF picture held in memory,
// composes its frames with their disposal methods and transparency, and plays
// them with a TTimerEx while it animates. The portable part decides what is
// drawn where; a GifSurface (GDI on Windows, software in tests) draws it.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gif/GifDecoder.h"
#include "gif/TimerEx.h"
#include "imaging/Bitmap.h"
#include "ui/Control.h"

namespace snapora {

enum class GifRop { Copy, And, Xor };

// A device context aligned with the control: (0, 0) is the control's top left.
class GifSurface {
public:
    virtual ~GifSurface() = default;
    virtual void FillRect(const Rect& area, Colour colour) = 0;
    // Draws `picture` into `to`, scaled when the sizes differ (colour on colour),
    // combined by `rop`; `palette` is realised first where the display needs it.
    virtual void DrawPicture(const Rect& to, const Bitmap& picture, GifRop rop, std::span<const Colour> palette) = 0;
    // Draws a mask (1 white, 0 black) into `to`; when shrinking, white wins.
    virtual void DrawMask(const Rect& to, const MonoBitmap& mask, GifRop rop) = 0;
    // What the parent shows beneath the control: its background and its other
    // contents, as if the control were not there.
    virtual void PaintParent() = 0;
};

// The native side of a picture control, beyond a plain peer.
class GifHost {
public:
    virtual ~GifHost() = default;
    // Paints into the control's area at once: `paint` gets a surface clipped to
    // `clip` (control coordinates), drawn off screen first when `offScreen`.
    virtual void PaintInPlace(const Rect& clip, bool offScreen, const std::function<void(GifSurface&)>& paint) = 0;
    // Posts WM_QUERYNEWPALETTE to the parent window, if there is one (and, when
    // asked, only while the parent has the focus).
    virtual void PostQueryNewPalette(bool onlyWhenParentFocused) = 0;
};

class TGIFImage : public Control {
public:
    TGIFImage(Container* parent, std::string name);
    ~TGIFImage() override;
    Kind GetKind() const override { return Kind::Picture; }

    std::function<void()> OnClick;
    void Click() {
        if (OnClick) OnClick();
    }
    void NativeClick() override { Click(); }

    // ---- properties
    bool Animate() const { return animate_; }
    void SetAnimate(bool value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    bool Center() const { return center_; }
    void SetCenter(bool value);
    int CurrentFrame() const { return currentFrame_; }
    void SetCurrentFrame(int value);
    bool DoubleBuffered = true;
    bool FirstImageOnly = false;
    // The most pixels a loaded picture's frames together, and its logical
    // screen, may have; beyond it frames are dropped or the load fails.
    std::size_t PixelBudget = kGifPixelBudget;
    bool Loop() const { return loop_; }
    void SetLoop(bool value);
    bool Opaque() const { return opaque_; }
    void SetOpaque(bool value);
    int Speed() const { return speed_; }
    void SetSpeed(int percent);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    bool StretchRatio() const { return stretchRatio_; }
    void SetStretchRatio(bool value);
    bool StretchBigOnly() const { return stretchBigOnly_; }
    void SetStretchBigOnly(bool value);
    bool Tile() const { return tile_; }
    void SetTile(bool value);
    bool Threaded() const { return threaded_; }
    void SetThreaded(bool value);
    TThreadPriority ThreadPriority() const { return threadPriority_; }
    void SetThreadPriority(TThreadPriority value);
    // The control's own visibility: false draws nothing but keeps the control's
    // place, cursor and mouse events (unlike Control::SetVisible).
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    TGIFVersion Version() const { return version_; }

    // ---- events (the sender is the control)
    std::function<void(TGIFImage& sender)> OnChanging;
    std::function<void(TGIFImage& sender)> OnChange;
    std::function<void(TGIFImage& sender, int processed, int total, int percent, bool& keepOn)> OnProgress;
    std::function<void(TGIFImage& sender)> OnWrapAnimation;

    // ---- loading and persistence
    // Copies and parses a whole GIF file; on failure the control is cleared.
    bool LoadFromData(std::string_view bytes);
    void Clear();
    // The stored picture (`Data`): read from and written in the persistence
    // format, a 32-bit little-endian byte count followed by the GIF file.
    // ReadData returns false for a truncated record, which it ignores.
    bool ReadData(std::string_view record);
    std::string WriteData() const;  // empty when no data is stored
    const std::string& Data() const { return data_; }
    // The end of loading the window's stored properties: loads the stored picture.
    void Loaded();
    // 0 none, 1 stopped by OnProgress, 2 empty data, 3 invalid data, 5 frame number out of range.
    int LastError() const { return lastError_; }

    // ---- the picture
    bool Empty() const { return empty_; }
    int FrameCount() const { return int(frames_.size()); }
    const TGIFFrame& Frame(int number) const { return frames_.at(std::size_t(number - 1)); }
    int LogicalWidth() const { return width_; }
    int LogicalHeight() const { return height_; }
    int LoopCount() const { return loopCount_; }
    int PassesDone() const { return passes_; }
    bool Animated() const { return frames_.size() > 1; }
    const Bitmap& Composition() const { return composition_; }
    const MonoBitmap& MaskBitmap() const { return mask_; }  // empty when no frame is transparent
    // The palette of frame CurrentFrame while a picture is held and Visible; else empty.
    std::span<const Colour> Palette() const;
    // Milliseconds frame k stays: its delay, at least 50, scaled by Speed; 1 outside the frames.
    std::uint32_t StepTime(int frame) const;

    // ---- layout (recomputed at the end of a load and before every paint)
    bool Stretched() const { return stretched_; }
    bool Covers() const { return covers_; }
    bool DeclaredOpaque() const { return declaredOpaque_; }
    Rect DestRect() const { return dest_; }
    void UpdateLayout();

    // ---- painting
    // Draws the control (nothing while Visible is false).
    void Paint(GifSurface& surface);
    // The parent's paint of the control's area: layout, drawing, then the
    // animation timer is started or stopped.
    void ParentPaint(GifSurface& surface);
    // What the window system's paint of the control does: the parent's
    // background first unless the control is declared opaque, then ParentPaint.
    void NativePaint(GifSurface& surface);
    void RepaintInPlace();

    // ---- the native side and the timer
    void SetHost(GifHost* host) { host_ = host; }
    void SetTimerServices(TimerServices services) { timerServices_ = services; }
    TTimerEx* AnimationTimer() const { return timer_.get(); }
    // The animation timer's tick.
    void AnimationStep();

private:
    void StartTimer(std::uint32_t interval);
    void StopTimer();
    void UpdateTimerAfterPaint();
    void DrawFrame(int number);
    void DisposeFrame(int number);
    void DrawComposition(GifSurface& surface, const Rect& to);
    void ClearPicture();
    void Invalidate() { Changed(Change::State); }
    bool Load(std::string bytes);

    // Properties.
    bool animate_ = false, autoSize_ = false, center_ = false, loop_ = false, opaque_ = false;
    bool stretch_ = false, stretchRatio_ = false, stretchBigOnly_ = false, tile_ = false, threaded_ = false;
    bool visible_ = true;
    int speed_ = 100;
    int currentFrame_ = 1;
    TThreadPriority threadPriority_ = tpNormal;
    TGIFVersion version_ = gvGIF87a;

    // The picture.
    std::string data_;
    std::vector<TGIFFrame> frames_;
    int width_ = 0, height_ = 0;
    Bitmap composition_;
    MonoBitmap mask_;
    int loopCount_ = 1;
    int passes_ = 1;
    int shownFrame_ = 0;  // the frame last drawn into the composition, 0 for none
    bool firstStep_ = true;
    bool empty_ = true;
    bool stretched_ = false, covers_ = false, declaredOpaque_ = false;
    Rect dest_;
    int lastError_ = 0;
    bool repainting_ = false;

    GifHost* host_ = nullptr;
    TimerServices timerServices_;
    std::unique_ptr<TTimerEx> timer_;
};

}  // namespace snapora
