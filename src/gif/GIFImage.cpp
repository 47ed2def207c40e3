#include "gif/GIFImage.h"

#include "gif/GifDecoder.h"

namespace snapora {

bool TGIFImage::LoadFromData(std::string_view bytes) {
    auto data = std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    GifLoadResult result = LoadGif(data);
    lastError_ = int(result.error);
    if (!result.ok || result.picture.frames.empty()) {
        Clear();
        lastError_ = result.ok ? 0 : int(result.error);
        return result.ok;
    }
    Mask.clear();
    Frame = ComposeFirstFrame(result.picture, result.picture.anyTransparent ? &Mask : nullptr);
    Changed(Change::State);
    return true;
}

void TGIFImage::Clear() {
    Frame = Bitmap();
    Mask.clear();
    Changed(Change::State);
}

}  // namespace snapora
