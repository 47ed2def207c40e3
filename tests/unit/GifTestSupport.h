#pragma once
// Builds GIF files byte by byte for the GIF tests, and draws what the GIF
// control paints into a plain bitmap.

#include <algorithm>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "gif/GIFImage.h"
#include "gif/GifDecoder.h"

namespace snapora::giftest {

using Bytes = std::vector<std::uint8_t>;

// Packs codes LSB-first and mirrors the decoder's table growth so every code
// goes out at the width the decoder will read it with.
class LzwEncoder {
public:
    explicit LzwEncoder(int minCodeSize)
        : size_(minCodeSize), clear_(1 << minCodeSize), end_(clear_ + 1) {}

    Bytes Encode(const std::vector<std::uint8_t>& pixels) {
        Emit(clear_);
        std::map<std::pair<int, int>, int> dictionary;
        int encoderNext = clear_ + 2;
        int prefix = -1;
        for (std::uint8_t p : pixels) {
            if (prefix < 0) {
                prefix = p;
                continue;
            }
            const auto key = std::make_pair(prefix, int(p));
            if (auto it = dictionary.find(key); it != dictionary.end()) {
                prefix = it->second;
                continue;
            }
            Emit(prefix);
            if (encoderNext < 4096) {
                dictionary[key] = encoderNext++;
            } else {
                Emit(clear_);
                dictionary.clear();
                encoderNext = clear_ + 2;
            }
            prefix = p;
        }
        if (prefix >= 0) Emit(prefix);
        Emit(end_);
        if (bitCount_ > 0) out_.push_back(std::uint8_t(bits_));
        return out_;
    }

private:
    void Emit(int code) {
        bits_ |= std::uint32_t(code) << bitCount_;
        bitCount_ += width_;
        while (bitCount_ >= 8) {
            out_.push_back(std::uint8_t(bits_));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
        if (code == clear_) {
            next_ = clear_ + 2;
            width_ = size_ + 1;
            first_ = true;
            return;
        }
        if (!first_ && next_ < 4096) {
            ++next_;
            if (next_ >= (1 << width_) && width_ < 12) ++width_;
        }
        first_ = false;
    }

    int size_, clear_, end_;
    int next_ = 0;
    int width_ = size_ + 1;
    bool first_ = true;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
    Bytes out_;
};

inline void PutU16(Bytes& b, int v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}

struct FramePlan {
    int left = 0, top = 0, width = 1, height = 1;
    std::vector<std::uint8_t> pixels;  // in stream order
    int minCodeSize = 8;
    bool interlaced = false;
    int localBits = 0;
    std::vector<Colour> localColours;
};

struct GifBuilder {
    Bytes b;
    std::size_t lastDataStart = 0;  // first byte of the last frame's first sub-block data

    GifBuilder& Header(const char* signature = "GIF89a") {
        for (int i = 0; i < 6; ++i) b.push_back(std::uint8_t(signature[i]));
        return *this;
    }
    GifBuilder& Screen(int w, int h, int bits = 0, const std::vector<Colour>& colours = {}) {
        PutU16(b, w);
        PutU16(b, h);
        b.push_back(std::uint8_t(bits ? (0x80 | (bits - 1)) : 0));
        b.push_back(0);
        b.push_back(0);
        if (bits) Table(bits, colours);
        return *this;
    }
    void Table(int bits, const std::vector<Colour>& colours) {
        for (int i = 0; i < (1 << bits); ++i) {
            const Colour c = i < int(colours.size()) ? colours[i] : 0;
            b.push_back(RedOf(c));
            b.push_back(GreenOf(c));
            b.push_back(BlueOf(c));
        }
    }
    GifBuilder& Control(int disposal, int delay, bool transparent = false, int index = 0) {
        b.insert(b.end(), {0x21, 0xF9, 4, std::uint8_t((disposal << 2) | (transparent ? 1 : 0))});
        PutU16(b, delay);
        b.push_back(std::uint8_t(index));
        b.push_back(0);
        return *this;
    }
    GifBuilder& Netscape(int loops) {
        b.insert(b.end(), {0x21, 0xFF, 11});
        for (char c : std::string("NETSCAPE2.0")) b.push_back(std::uint8_t(c));
        b.insert(b.end(), {3, 1});
        PutU16(b, loops);
        b.push_back(0);
        return *this;
    }
    GifBuilder& Raw(const Bytes& bytes) {
        b.insert(b.end(), bytes.begin(), bytes.end());
        return *this;
    }
    GifBuilder& Descriptor(int left, int top, int w, int h, std::uint8_t packed) {
        b.push_back(0x2C);
        PutU16(b, left);
        PutU16(b, top);
        PutU16(b, w);
        PutU16(b, h);
        b.push_back(packed);
        return *this;
    }
    GifBuilder& Frame(const FramePlan& f) {
        std::uint8_t packed = f.interlaced ? 0x40 : 0;
        if (f.localBits) packed |= std::uint8_t(0x80 | (f.localBits - 1));
        Descriptor(f.left, f.top, f.width, f.height, packed);
        if (f.localBits) Table(f.localBits, f.localColours);
        b.push_back(std::uint8_t(f.minCodeSize));
        const Bytes data = LzwEncoder(f.minCodeSize).Encode(f.pixels);
        lastDataStart = b.size() + 1;
        for (std::size_t at = 0; at < data.size(); at += 255) {
            const std::size_t n = std::min<std::size_t>(255, data.size() - at);
            b.push_back(std::uint8_t(n));
            b.insert(b.end(), data.begin() + at, data.begin() + at + n);
        }
        b.push_back(0);
        return *this;
    }
    GifBuilder& Pixel(std::uint8_t index, int left = 0, int top = 0) {
        FramePlan f;
        f.left = left;
        f.top = top;
        f.pixels = {index};
        return Frame(f);
    }
    GifBuilder& Trailer() {
        b.push_back(0x3B);
        return *this;
    }
};


inline std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// One byte per pixel of a mask, row-major: 1 transparent.
inline std::vector<std::uint8_t> MaskBits(const MonoBitmap& mask) {
    std::vector<std::uint8_t> bits;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x) bits.push_back(mask.Get(x, y) ? 1 : 0);
    return bits;
}

// A surface on a bitmap the size of the parent: nearest-neighbour scaling,
// AND, XOR and copy as GDI does them, white winning when a mask shrinks.
class BitmapSurface final : public GifSurface {
public:
    BitmapSurface(Bitmap& target, Point origin, Colour parentColour, Rect clip = {-100000, -100000, 100000, 100000})
        : target_(target), origin_(origin), parent_(parentColour), clip_(clip) {}
    int fills = 0, pictures = 0, masks = 0, parentPaints = 0;

    void FillRect(const Rect& area, Colour colour) override {
        ++fills;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) Put(x, y, colour, GifRop::Copy);
    }
    void DrawPicture(const Rect& to, const Bitmap& picture, GifRop rop, std::span<const Colour>) override {
        ++pictures;
        Scale(to, picture.Width(), picture.Height(), [&](int sx, int sy, int, int) { return picture.Pixel(sx, sy); },
              rop);
    }
    void DrawMask(const Rect& to, const MonoBitmap& mask, GifRop rop) override {
        ++masks;
        Scale(to, mask.Width(), mask.Height(),
              [&](int sx, int sy, int sx2, int sy2) {
                  for (int y = sy; y <= sy2; ++y)
                      for (int x = sx; x <= sx2; ++x)
                          if (mask.Get(x, y)) return clWhite;
                  return clBlack;
              },
              rop);
    }
    void PaintParent() override {
        ++parentPaints;
        for (int y = 0; y < target_.Height(); ++y)
            for (int x = 0; x < target_.Width(); ++x) Put(x - origin_.x, y - origin_.y, parent_, GifRop::Copy);
    }

private:
    template <class Source>
    void Scale(const Rect& to, int w, int h, Source source, GifRop rop) {
        if (to.IsEmpty() || w <= 0 || h <= 0) return;
        for (int y = to.top; y < to.bottom; ++y)
            for (int x = to.left; x < to.right; ++x) {
                const int sx = int((long long)(x - to.left) * w / to.Width());
                const int sy = int((long long)(y - to.top) * h / to.Height());
                const int sx2 = std::max(sx, int((long long)(x - to.left + 1) * w / to.Width()) - 1);
                const int sy2 = std::max(sy, int((long long)(y - to.top + 1) * h / to.Height()) - 1);
                Put(x, y, source(sx, sy, std::min(sx2, w - 1), std::min(sy2, h - 1)), rop);
            }
    }
    void Put(int x, int y, Colour c, GifRop rop) {
        if (!clip_.Contains({x, y})) return;
        const int tx = x + origin_.x, ty = y + origin_.y;
        if (tx < 0 || ty < 0 || tx >= target_.Width() || ty >= target_.Height()) return;
        const Colour old = target_.Pixel(tx, ty);
        target_.SetPixel(tx, ty, rop == GifRop::And ? (old & c) : rop == GifRop::Xor ? (old ^ c) : c);
    }
    Bitmap& target_;
    Point origin_;
    Colour parent_;
    Rect clip_;
};

}  // namespace snapora::giftest
