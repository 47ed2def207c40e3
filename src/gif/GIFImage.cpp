#include "gif/GIFImage.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace snapora {

namespace {

void SetRgb(std::uint8_t* p, Colour c) {
    p[0] = BlueOf(c);
    p[1] = GreenOf(c);
    p[2] = RedOf(c);
}

// Copies `from` of `source` to `to` of `target`, both 24-bit and the same size.
void CopyPixels(Bitmap& target, Point to, const Bitmap& source, const Rect& from) {
    for (int y = 0; y < from.Height(); ++y) {
        const std::uint8_t* s = source.Row(from.top + y) + std::size_t(from.left) * 3;
        std::uint8_t* d = target.Row(to.y + y) + std::size_t(to.x) * 3;
        std::copy(s, s + std::size_t(from.Width()) * 3, d);
    }
}

std::uint32_t LittleEndian32(std::string_view bytes) {
    return std::uint32_t(std::uint8_t(bytes[0])) | std::uint32_t(std::uint8_t(bytes[1])) << 8 |
           std::uint32_t(std::uint8_t(bytes[2])) << 16 | std::uint32_t(std::uint8_t(bytes[3])) << 24;
}

}  // namespace

TGIFImage::TGIFImage(Container* parent, std::string name) : Control(parent, std::move(name)) {
    SetBounds(0, 0, 105, 105);
}

TGIFImage::~TGIFImage() { StopTimer(); }

// ---- loading

bool TGIFImage::LoadFromData(std::string_view bytes) { return Load(std::string(bytes)); }

bool TGIFImage::Load(std::string bytes) {
    ClearPicture();
    data_ = std::move(bytes);
    lastError_ = 3;

    GifLoadOptions options;
    options.firstImageOnly = FirstImageOnly;
    options.pixelBudget = PixelBudget;
    if (OnProgress)
        options.progress = [this](const GifProgress& p, bool& keepOn) {
            OnProgress(*this, int(p.position), int(p.size), p.percent, keepOn);
        };
    try {
        const auto data = std::span(reinterpret_cast<const std::uint8_t*>(data_.data()), data_.size());
        GifLoadResult result = LoadGif(data, options);
        if (result.version) version_ = *result.version;
        if (!result.ok) {
            lastError_ = int(result.error);
            Clear();
            return false;
        }
        GifPicture& picture = result.picture;
        frames_ = std::move(picture.frames);
        loopCount_ = picture.loopCount;
        width_ = picture.width;
        height_ = picture.height;
        composition_ = Bitmap();  // the old one goes before the new one is made
        mask_ = MonoBitmap();
        composition_ = Bitmap(width_, height_);  // black
        if (picture.anyTransparent) mask_ = MonoBitmap(width_, height_, true);
    } catch (const std::bad_alloc&) {
        Clear();
        return false;
    }
    if (autoSize_) SetBounds(Left(), Top(), width_, height_);
    empty_ = false;
    UpdateLayout();

    if (OnChanging) OnChanging(*this);
    DrawFrame(currentFrame_);
    if (OnChange) OnChange(*this);
    lastError_ = 0;
    if (host_) host_->PostQueryNewPalette(false);
    Invalidate();
    return true;
}

void TGIFImage::ClearPicture() {
    StopTimer();
    frames_.clear();
    currentFrame_ = 1;
    loopCount_ = 1;
    passes_ = 1;
    shownFrame_ = 0;
    firstStep_ = true;
    empty_ = true;
}

void TGIFImage::Clear() {
    ClearPicture();
    data_.clear();
    composition_ = Bitmap();
    mask_ = MonoBitmap();
    width_ = height_ = 0;
    UpdateLayout();
    Invalidate();
}

bool TGIFImage::ReadData(std::string_view record) {
    if (record.size() < 4) return false;
    const std::uint32_t count = LittleEndian32(record);
    if (record.size() - 4 < count) return false;
    data_.assign(record.substr(4, count));
    return true;
}

std::string TGIFImage::WriteData() const {
    if (data_.empty()) return {};
    std::string record(4, '\0');
    const std::uint32_t count = std::uint32_t(data_.size());
    for (int i = 0; i < 4; ++i) record[std::size_t(i)] = char(std::uint8_t(count >> (8 * i)));
    return record + data_;
}

void TGIFImage::Loaded() {
    if (!data_.empty()) Load(data_);
}

// ---- composition

void TGIFImage::DrawFrame(int number) {
    if (frames_.empty() || number < 1 || number > FrameCount()) {
        lastError_ = 5;
        return;
    }
    TGIFFrame& frame = frames_[std::size_t(number - 1)];
    const Rect r = frame.Bounds();
    if (frame.disposal == 3) {
        CopyPixels(frame.savedBackground, {0, 0}, composition_, r);
        if (!mask_.IsEmpty()) frame.savedMask.CopyRect({0, 0}, mask_, r);
    }
    for (int y = 0; y < frame.height; ++y) {
        std::uint8_t* row = composition_.Row(r.top + y) + std::size_t(r.left) * 3;
        for (int x = 0; x < frame.width; ++x, row += 3) {
            // A transparent point of the frame keeps what the composition had:
            // ((composition XOR image) AND frame mask) XOR image.
            if (frame.transparent) {
                if (frame.mask.Get(x, y)) continue;
                mask_.Set(r.left + x, r.top + y, false);  // the mask AND the frame's mask
            }
            SetRgb(row, frame.image.ColourAt(x, y));
        }
    }
    if (!frame.transparent && !mask_.IsEmpty()) mask_.Fill(r, false);
    shownFrame_ = number;
}

void TGIFImage::DisposeFrame(int number) {
    if (number < 1 || number > FrameCount()) return;
    TGIFFrame& frame = frames_[std::size_t(number - 1)];
    const Rect r = frame.Bounds();
    if (frame.disposal == 2) {
        if (!mask_.IsEmpty()) mask_.Fill(r, true);
        for (int y = r.top; y < r.bottom; ++y) {
            std::uint8_t* row = composition_.Row(y) + std::size_t(r.left) * 3;
            std::fill(row, row + std::size_t(r.Width()) * 3, std::uint8_t(0));
        }
    } else if (frame.disposal == 3) {
        CopyPixels(composition_, {r.left, r.top}, frame.savedBackground, {0, 0, r.Width(), r.Height()});
        if (!mask_.IsEmpty()) mask_.CopyRect({r.left, r.top}, frame.savedMask, {0, 0, r.Width(), r.Height()});
    }
}

std::span<const Colour> TGIFImage::Palette() const {
    if (empty_ || !visible_ || currentFrame_ < 1 || currentFrame_ > FrameCount()) return {};
    return frames_[std::size_t(currentFrame_ - 1)].image.palette;
}

// ---- animation

std::uint32_t TGIFImage::StepTime(int frame) const {
    if (frame < 1 || frame > FrameCount()) return 1;
    const long long delay = std::max(frames_[std::size_t(frame - 1)].delay, 50);
    return std::uint32_t(std::max(delay * 100 / speed_, 1LL));
}

void TGIFImage::StartTimer(std::uint32_t interval) {
    if (!timer_) {
        if (!timerServices_.Complete()) return;  // nothing to tick with
        timer_ = std::make_unique<TTimerEx>(this, timerServices_);
        timer_->SetThreaded(threaded_);
        timer_->SetThreadPriority(threadPriority_);
        // The interval before the handler: a worker's first sleep is this one.
        timer_->SetInterval(interval);
        timer_->SetOnTimer([this](TTimerEx&) { AnimationStep(); });
    }
    timer_->SetInterval(interval);
}

void TGIFImage::StopTimer() { timer_.reset(); }

void TGIFImage::UpdateTimerAfterPaint() {
    if (Animated() && animate_ && !empty_ && (loop_ || loopCount_ == 0 || passes_ <= loopCount_))
        StartTimer(StepTime(currentFrame_));
    else
        StopTimer();
}

void TGIFImage::AnimationStep() {
    if (empty_ || !animate_ || !timer_ || frames_.empty()) return;
    const std::uint32_t started = timerServices_.platform->clock.TickCount();
    if (currentFrame_ < 1 || currentFrame_ > FrameCount()) currentFrame_ = 1;
    if (OnChanging) OnChanging(*this);
    if (firstStep_) {
        firstStep_ = false;  // frame 1 is in the composition since the load
    } else {
        DisposeFrame(shownFrame_);
        DrawFrame(currentFrame_);
        RepaintInPlace();
    }
    if (timer_) {
        const std::uint32_t elapsed = timerServices_.platform->clock.TickCount() - started;
        const std::uint32_t step = StepTime(currentFrame_);
        timer_->SetInterval(step > elapsed ? std::max<std::uint32_t>(step - elapsed, 1) : 1);
    }
    ++currentFrame_;
    const bool wrapped = currentFrame_ > FrameCount();
    if (!loop_ && loopCount_ > 0 && wrapped) {
        ++passes_;
        if (passes_ > loopCount_) StopTimer();  // the last frame stays shown
        else currentFrame_ = 1;
    } else if (wrapped) {
        currentFrame_ = 1;
    }
    if (OnChange) OnChange(*this);
    if (wrapped && OnWrapAnimation) OnWrapAnimation(*this);
}

// ---- setters

void TGIFImage::SetAnimate(bool value) {
    if (value == animate_) return;
    animate_ = value;
    passes_ = 1;
    if (animate_ && !empty_ && Animated())
        StartTimer(StepTime(currentFrame_));
    else
        StopTimer();
    if (!animate_ && currentFrame_ >= 2) {
        DisposeFrame(shownFrame_);
        currentFrame_ = 1;
        DrawFrame(1);
        Invalidate();
    }
}

void TGIFImage::SetAutoSize(bool value) {
    if (value == autoSize_) return;
    autoSize_ = value;
    if (autoSize_ && !empty_) {
        SetBounds(Left(), Top(), width_, height_);
        Invalidate();
    }
}

void TGIFImage::SetCurrentFrame(int value) {
    if (value == currentFrame_) return;
    if (frames_.empty() || value < 1 || value > FrameCount()) {
        lastError_ = 5;
        return;
    }
    if (OnChanging) OnChanging(*this);
    DisposeFrame(shownFrame_);
    currentFrame_ = value;
    DrawFrame(value);
    RepaintInPlace();
    if (OnChange) OnChange(*this);
}

void TGIFImage::SetLoop(bool value) {
    if (value == loop_) return;
    loop_ = value;
    if (loop_ && !empty_ && loopCount_ > 0 && passes_ > loopCount_) {
        currentFrame_ = 1;
        passes_ = 1;
        if (animate_ && Animated())
            StartTimer(StepTime(1));
        else
            StopTimer();
    }
}

void TGIFImage::SetSpeed(int percent) {
    percent = std::max(percent, 1);
    if (percent == speed_) return;
    speed_ = percent;
    if (Animated() && animate_ && timer_) timer_->SetInterval(1);  // the next step comes at once
}

#define SNAPORA_REPAINTING_SETTER(Name, member) \
    void TGIFImage::Set##Name(bool value) {     \
        if (value == member) return;            \
        member = value;                         \
        Invalidate();                           \
    }
SNAPORA_REPAINTING_SETTER(Center, center_)
SNAPORA_REPAINTING_SETTER(Opaque, opaque_)
SNAPORA_REPAINTING_SETTER(Stretch, stretch_)
SNAPORA_REPAINTING_SETTER(StretchRatio, stretchRatio_)
SNAPORA_REPAINTING_SETTER(StretchBigOnly, stretchBigOnly_)
SNAPORA_REPAINTING_SETTER(Tile, tile_)
#undef SNAPORA_REPAINTING_SETTER

void TGIFImage::SetThreaded(bool value) {
    threaded_ = value;
    if (timer_) timer_->SetThreaded(value);
}

void TGIFImage::SetThreadPriority(TThreadPriority value) {
    threadPriority_ = value;
    if (timer_) timer_->SetThreadPriority(value);
}

void TGIFImage::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    Invalidate();
    if (host_) host_->PostQueryNewPalette(true);
}

// ---- layout and painting

void TGIFImage::UpdateLayout() {
    const int w = Width(), h = Height(), W = width_, H = height_;
    stretched_ = (stretch_ || stretchRatio_) && !(w == W && h == H) && !(stretchBigOnly_ && w >= W && h >= H);
    if (W == 0 || H == 0) {
        dest_ = {};
    } else if (stretched_ && stretchRatio_ && !stretch_) {
        const float sx = float(w) / float(W), sy = float(h) / float(H);
        // Nearest integer, halves to even (the default rounding mode).
        if (sx > sy) {
            const float margin = (float(w) - float(W) * sy) / 2.0f;
            dest_ = {int(std::lrint(margin)), 0, int(std::lrint(float(w) - margin)), h};
        } else {
            const float margin = (float(h) - float(H) * sx) / 2.0f;
            dest_ = {0, int(std::lrint(margin)), w, int(std::lrint(float(h) - margin))};
        }
    } else if (stretched_ || tile_) {
        dest_ = {0, 0, w, h};
    } else if (center_) {
        dest_ = Rect::FromSize((w - W) / 2, (h - H) / 2, W, H);
    } else {
        dest_ = {0, 0, W, H};
    }
    covers_ = visible_ && !empty_ && !frames_.empty() && !frames_[0].transparent && dest_.left <= 0 &&
              dest_.top <= 0 && dest_.right >= w && dest_.bottom >= h;
    declaredOpaque_ = covers_;
}

void TGIFImage::DrawComposition(GifSurface& surface, const Rect& to) {
    if (to.IsEmpty()) return;
    if (frames_[0].transparent) {
        // Transparent points: the mask keeps what lies beneath, the black composition adds nothing.
        surface.DrawMask(to, mask_, GifRop::And);
        surface.DrawPicture(to, composition_, GifRop::Xor, Palette());
    } else {
        surface.DrawPicture(to, composition_, GifRop::Copy, Palette());
    }
}

void TGIFImage::Paint(GifSurface& surface) {
    if (!visible_) return;
    const int w = Width(), h = Height();
    if (opaque_ && !covers_) surface.FillRect({0, 0, w, h}, Color());
    if (empty_ || frames_.empty()) return;
    if (!stretched_ && tile_) {
        const int W = width_, H = height_;
        for (int row = 0; row <= h / H; ++row)
            for (int column = 0; column <= w / W; ++column)
                DrawComposition(surface, Rect::FromSize(W * column, H * row, W, H));
        return;
    }
    DrawComposition(surface, dest_);
}

void TGIFImage::ParentPaint(GifSurface& surface) {
    const bool wasOpaque = declaredOpaque_;
    UpdateLayout();
    if (declaredOpaque_ != wasOpaque)
        Invalidate();  // the parent must paint the background first, or stop doing so
    else if (!empty_ || opaque_)
        Paint(surface);
    UpdateTimerAfterPaint();
}

void TGIFImage::NativePaint(GifSurface& surface) {
    if (!declaredOpaque_) surface.PaintParent();
    ParentPaint(surface);
}

void TGIFImage::RepaintInPlace() {
    if (!host_ || !visible_ || repainting_) return;
    repainting_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{repainting_};
    const bool offScreen = DoubleBuffered && !covers_;
    host_->PaintInPlace(dest_, offScreen, [this](GifSurface& surface) {
        if (declaredOpaque_) {
            Paint(surface);
        } else {
            surface.PaintParent();
            ParentPaint(surface);
        }
    });
}

}  // namespace snapora
