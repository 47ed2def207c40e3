// Fuzz target: the GIF loader, then every frame composed by the picture
// control and painted, as the program does with a picture it is given.
// fuzz-sources: src/gif/GifDecoder.cpp src/gif/GifBitmaps.cpp src/gif/GIFImage.cpp src/gif/TimerEx.cpp
// fuzz-sources: src/imaging/Bitmap.cpp src/imaging/SoftwareCanvas.cpp src/imaging/Clipping.cpp src/base/Strings.cpp
// fuzz-sources: src/ui/Control.cpp src/ui/Controls.cpp src/ui/Form.cpp src/ui/Application.cpp

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "gif/GIFImage.h"

namespace {

// Touches every pixel a paint would read.
class ReadingSurface final : public snapora::GifSurface {
public:
    void FillRect(const snapora::Rect&, snapora::Colour) override {}
    void DrawPicture(const snapora::Rect&, const snapora::Bitmap& picture, snapora::GifRop,
                     std::span<const snapora::Colour> palette) override {
        for (int y = 0; y < picture.Height(); ++y) sum += picture.Row(y)[0];
        for (snapora::Colour c : palette) sum += c;
    }
    void DrawMask(const snapora::Rect&, const snapora::MonoBitmap& mask, snapora::GifRop) override {
        for (int y = 0; y < mask.Height(); ++y) sum += mask.Get(mask.Width() - 1, y);
    }
    void PaintParent() override { ++sum; }
    unsigned sum = 0;
};

}  // namespace

// The budget's paths at a smaller scale: huge frames cost time, not coverage.
constexpr std::size_t kBudget = std::size_t(1) << 12;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    snapora::GifLoadOptions options;
    options.progress = [](const snapora::GifProgress& p, bool& keepOn) { keepOn = p.percent <= 100; };
    options.pixelBudget = kBudget;
    const auto result = snapora::LoadGif(std::span(data, size), options);
    if (!result.ok) return 0;

    snapora::TGIFImage image(nullptr, "Fuzz");
    image.PixelBudget = kBudget;
    // The last byte picks the control's size and layout.
    const std::uint8_t knobs = data[size - 1];
    image.SetBounds(0, 0, 1 + (knobs & 3) * 37, 1 + ((knobs >> 2) & 3) * 23);
    image.SetCenter(knobs & 0x01);
    image.SetOpaque(knobs & 0x04);
    image.SetStretch(knobs & 0x10);
    image.SetStretchRatio(knobs & 0x20);
    image.SetStretchBigOnly(knobs & 0x40);
    image.SetTile(knobs & 0x80);
    image.SetAutoSize(knobs & 0x08);
    if (!image.LoadFromData(std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
    ReadingSurface surface;
    // Every frame in turn, then back to the first: each disposes of the one shown.
    for (int frame = 2; frame <= image.FrameCount() + 1; ++frame) {
        image.SetCurrentFrame(frame <= image.FrameCount() ? frame : 1);
        image.NativePaint(surface);
    }
    image.SetVisible(false);
    image.NativePaint(surface);
    return int(surface.sum & 0);
}
