#include "imaging/Bitmap.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "imaging/SoftwareCanvas.h"

namespace snapora {

namespace {

class HeapPixels final : public PixelMemory {
public:
    explicit HeapPixels(size_t bytes) : bytes_(bytes, 0) {}
    std::uint8_t* Bits() override { return bytes_.data(); }
    std::unique_ptr<Canvas> CreateCanvas(Bitmap& owner) override {
        return std::make_unique<SoftwareCanvas>(owner);
    }

private:
    std::vector<std::uint8_t> bytes_;
};

class HeapSource final : public PixelMemorySource {
public:
    std::unique_ptr<PixelMemory> Allocate(int, int height, int stride) override {
        return std::make_unique<HeapPixels>(size_t(height) * size_t(stride));
    }
};

HeapSource heapSource;
PixelMemorySource* currentSource = &heapSource;

int StrideFor(int width) { return (width * 3 + 3) & ~3; }

}  // namespace

void SetPixelMemorySource(PixelMemorySource* source) { currentSource = source ? source : &heapSource; }
PixelMemorySource& CurrentPixelMemorySource() { return *currentSource; }

Bitmap::Bitmap(int width, int height) { SetSize(width, height); }

Bitmap::Bitmap(const Bitmap& other) { *this = other; }

Bitmap& Bitmap::operator=(const Bitmap& other) {
    if (this == &other) return *this;
    // The same size keeps its memory (fresh pages cost more than the copy);
    // the canvas starts afresh as with a new size.
    if (other.width_ != width_ || other.height_ != height_ || !memory_)
        SetSize(other.width_, other.height_);
    else
        canvas_.reset();
    if (!IsEmpty()) {
        other.Synchronize();
        Synchronize();
        std::memcpy(memory_->Bits(), other.memory_->Bits(), size_t(stride_) * size_t(height_));
    }
    return *this;
}

Bitmap::Bitmap(Bitmap&& other) noexcept { *this = std::move(other); }

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (this == &other) return *this;
    canvas_.reset();
    memory_ = std::move(other.memory_);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    stride_ = std::exchange(other.stride_, 0);
    other.canvas_.reset();  // it drew on the other object, which no longer owns pixels
    return *this;
}

Bitmap::~Bitmap() {
    canvas_.reset();  // the canvas may hold native objects selected with the memory
    memory_.reset();
}

void Bitmap::SetSize(int width, int height) {
    canvas_.reset();
    memory_.reset();
    width_ = height_ = stride_ = 0;
    if (width <= 0 || height <= 0) return;
    int stride = StrideFor(width);
    auto memory = currentSource->Allocate(width, height, stride);
    if (!memory || !memory->Bits()) throw std::bad_alloc();
    memory_ = std::move(memory);
    width_ = width;
    height_ = height;
    stride_ = stride;
}

void Bitmap::Synchronize() const {
    if (memory_) memory_->Synchronize();
}

std::uint8_t* Bitmap::Row(int y) {
    Synchronize();
    return memory_->Bits() + size_t(y) * size_t(stride_);
}

const std::uint8_t* Bitmap::Row(int y) const {
    Synchronize();
    return memory_->Bits() + size_t(y) * size_t(stride_);
}

Colour Bitmap::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return clBlack;
    const std::uint8_t* p = Row(y) + x * 3;
    return MakeColour(p[2], p[1], p[0]);
}

void Bitmap::SetPixel(int x, int y, Colour colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    std::uint8_t* p = Row(y) + x * 3;
    p[0] = BlueOf(colour);
    p[1] = GreenOf(colour);
    p[2] = RedOf(colour);
}

Canvas& Bitmap::Canvas() {
    if (!canvas_) {
        if (memory_)
            canvas_ = memory_->CreateCanvas(*this);
        else
            canvas_ = std::make_unique<SoftwareCanvas>(*this);
    }
    return *canvas_;
}

void* Bitmap::NativeHandle() const { return memory_ ? memory_->NativeHandle() : nullptr; }

}  // namespace snapora
