// Checks the GIF control against giflib: every file is decoded by giflib, its
// frames are composed by the control's rules (disposal 2 clears to black and
// transparent, 3 restores, transparent points keep what was there), and every
// composed frame, mask, delay, disposal and the loop count must equal what the
// control shows when it steps through the same file.
//   snapora_giflib_check FILE...      exit status 0 when every file matches

#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gif/GIFImage.h"

using namespace snapora;

namespace {

struct Reference {
    int width = 0, height = 0;
    int loopCount = 1;
    struct Frame {
        int left, top, width, height, disposal, delay;
        bool transparent, interlaced;
        std::vector<Colour> composed;     // the whole logical screen after drawing this frame
        std::vector<std::uint8_t> mask;   // 1 transparent; empty when no frame is transparent
    };
    std::vector<Frame> frames;
};

int Disposal(int method) { return method == 0 || method == 1 || method == 3 ? method : 2; }

// giflib's view of the file, composed the control's way.
bool ReadWithGiflib(const char* path, Reference& ref, std::string& why) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path, &error);
    if (!gif) {
        why = GifErrorString(error);
        return false;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        why = GifErrorString(gif->Error);
        DGifCloseFile(gif, &error);
        return false;
    }
    ref.width = gif->SWidth;
    ref.height = gif->SHeight;
    bool anyTransparent = false;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &gcb);
        anyTransparent = anyTransparent || gcb.TransparentColor != NO_TRANSPARENT_COLOR;
        ref.width = std::max(ref.width, image.ImageDesc.Left + image.ImageDesc.Width);
        ref.height = std::max(ref.height, image.ImageDesc.Top + image.ImageDesc.Height);
        for (int b = 0; b + 1 < image.ExtensionBlockCount; ++b) {
            const ExtensionBlock& app = image.ExtensionBlocks[b];
            const ExtensionBlock& data = image.ExtensionBlocks[b + 1];
            if (app.Function == APPLICATION_EXT_FUNC_CODE && app.ByteCount >= 11 &&
                std::memcmp(app.Bytes, "NETSCAPE2.0", 11) == 0 && data.ByteCount >= 3)
                ref.loopCount = data.Bytes[1] | (data.Bytes[2] << 8);
        }
    }
    std::vector<Colour> composition(std::size_t(ref.width) * std::size_t(ref.height), clBlack);
    std::vector<std::uint8_t> mask(anyTransparent ? composition.size() : 0, 1);
    std::vector<Colour> savedComposition;
    std::vector<std::uint8_t> savedMask;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& d = image.ImageDesc;
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &gcb);
        Reference::Frame f{d.Left, d.Top, d.Width, d.Height, Disposal(gcb.DisposalMode), gcb.DelayTime * 10,
                           gcb.TransparentColor != NO_TRANSPARENT_COLOR, d.Interlace, {}, {}};
        if (f.disposal == 3) {
            savedComposition = composition;
            savedMask = mask;
        }
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (f.transparent && index == gcb.TransparentColor) continue;
                const std::size_t at = std::size_t(d.Top + y) * std::size_t(ref.width) + std::size_t(d.Left + x);
                const GifColorType c = map && index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
                composition[at] = MakeColour(c.Red, c.Green, c.Blue);
                if (!mask.empty()) mask[at] = 0;
            }
        f.composed = composition;
        f.mask = mask;
        ref.frames.push_back(f);
        // Disposal before the next frame.
        if (f.disposal == 2) {
            for (int y = d.Top; y < d.Top + d.Height; ++y)
                for (int x = d.Left; x < d.Left + d.Width; ++x) {
                    const std::size_t at = std::size_t(y) * std::size_t(ref.width) + std::size_t(x);
                    composition[at] = clBlack;
                    if (!mask.empty()) mask[at] = 1;
                }
        } else if (f.disposal == 3) {
            // Only the frame's rectangle comes back.
            for (int y = d.Top; y < d.Top + d.Height; ++y)
                for (int x = d.Left; x < d.Left + d.Width; ++x) {
                    const std::size_t at = std::size_t(y) * std::size_t(ref.width) + std::size_t(x);
                    composition[at] = savedComposition[at];
                    if (!mask.empty()) mask[at] = savedMask[at];
                }
        }
    }
    DGifCloseFile(gif, &error);
    return true;
}

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Check(const char* path) {
    Reference ref;
    std::string why;
    if (!ReadWithGiflib(path, ref, why)) {
        std::printf("%s: giflib cannot read it: %s\n", path, why.c_str());
        return 1;
    }
    TGIFImage control(nullptr, "Check");
    if (!control.LoadFromData(ReadFile(path))) {
        std::printf("%s: the control cannot load it (error %d)\n", path, control.LastError());
        return 1;
    }
    int faults = 0;
    auto fault = [&](const std::string& what) {
        if (++faults <= 5) std::printf("%s: %s\n", path, what.c_str());
    };
    if (control.LogicalWidth() != ref.width || control.LogicalHeight() != ref.height) fault("logical size differs");
    if (control.LoopCount() != ref.loopCount) fault("loop count differs");
    if (control.FrameCount() != int(ref.frames.size())) {
        fault("frame count differs");
        return 1;
    }
    int interlaced = 0, transparent = 0, local = 0;
    for (int k = 1; k <= control.FrameCount(); ++k) {
        if (k > 1) control.SetCurrentFrame(k);  // disposes of frame k - 1, draws frame k
        const Reference::Frame& want = ref.frames[std::size_t(k - 1)];
        const TGIFFrame& got = control.Frame(k);
        const std::string at = "frame " + std::to_string(k) + ": ";
        if (got.Bounds() != Rect::FromSize(want.left, want.top, want.width, want.height)) fault(at + "place differs");
        if (got.disposal != want.disposal) fault(at + "disposal differs");
        if (got.delay != want.delay) fault(at + "delay differs");
        if (got.transparent != want.transparent) fault(at + "transparency differs");
        if (got.interlaced != want.interlaced) fault(at + "interlacing differs");
        interlaced += got.interlaced;
        transparent += got.transparent;
        local += got.hasLocalTable;
        const MonoBitmap& mask = control.MaskBitmap();
        if (mask.IsEmpty() != want.mask.empty()) fault(at + "mask presence differs");
        for (int y = 0; y < ref.height; ++y)
            for (int x = 0; x < ref.width; ++x) {
                const std::size_t i = std::size_t(y) * std::size_t(ref.width) + std::size_t(x);
                if (control.Composition().Pixel(x, y) != want.composed[i])
                    fault(at + "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs");
                if (!want.mask.empty() && !mask.IsEmpty() && mask.Get(x, y) != bool(want.mask[i]))
                    fault(at + "mask " + std::to_string(x) + "," + std::to_string(y) + " differs");
            }
    }
    if (faults == 0)
        std::printf("%s: %d frame(s) of %dx%d equal giflib's (%d interlaced, %d transparent, %d with local "
                    "colours, loop count %d)\n",
                    path, control.FrameCount(), ref.width, ref.height, interlaced, transparent, local, ref.loopCount);
    return faults == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i) failed += Check(argv[i]);
    if (argc < 2) {
        std::printf("usage: %s FILE...\n", argv[0]);
        return 2;
    }
    std::printf("%d of %d file(s) differ from giflib\n", failed, argc - 1);
    return failed == 0 ? 0 : 1;
}
