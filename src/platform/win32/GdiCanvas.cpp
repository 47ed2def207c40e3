#include "platform/win32/GdiCanvas.h"

#include <stdexcept>

namespace snapora {

namespace {

class MemoryDc {
public:
    MemoryDc() : dc_(CreateCompatibleDC(nullptr)) {}
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// Selects a bitmap for the lifetime of the object. A bitmap can be selected
// into one DC at a time, so this fails while the source has its own canvas.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc) {
        if (dc_ && object) previous_ = SelectObject(dc_, object);
        if (previous_ == HGDI_ERROR) previous_ = nullptr;
    }
    ~Selection() {
        if (previous_) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool Succeeded() const { return previous_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

BITMAPINFO TopDown24(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace

GdiCanvas::GdiCanvas(Bitmap& owner, HBITMAP bitmap) : owner_(owner) {
    dc_ = CreateCompatibleDC(nullptr);
    if (!dc_) throw std::runtime_error("Für das Bild fehlen Grafikressourcen.");
    previousBitmap_ = SelectObject(dc_, bitmap);
    if (!previousBitmap_ || previousBitmap_ == HGDI_ERROR) {
        DeleteDC(dc_);
        throw std::runtime_error("Das Bild kann nicht bemalt werden.");
    }
}

GdiCanvas::~GdiCanvas() {
    SelectObject(dc_, previousBitmap_);
    DeleteDC(dc_);
}

COLORREF GdiCanvas::ToColorRef(Colour colour) {
    if (IsSystemColour(colour)) return GetSysColor(int(colour & 0xFF));
    return COLORREF(colour & 0x00FFFFFF);
}

void GdiCanvas::FillRect(const Rect& area, Colour colour) {
    if (area.IsEmpty()) return;
    HBRUSH brush = CreateSolidBrush(ToColorRef(colour));
    if (!brush) throw std::runtime_error("Ein Pinsel konnte nicht angelegt werden.");
    RECT r{area.left, area.top, area.right, area.bottom};
    ::FillRect(dc_, &r, brush);
    DeleteObject(brush);
}

void GdiCanvas::CopyRect(const Rect& to, const Bitmap& source, const Rect& from) {
    if (to.IsEmpty()) return;
    // Only the part of `from` inside the source has pixels; the rest stays black.
    Rect inside = Rect::FromSize(from.left, from.top, to.Width(), to.Height()).Intersect(source.Bounds());
    if (inside != Rect::FromSize(from.left, from.top, to.Width(), to.Height())) FillRect(to, clBlack);
    if (inside.IsEmpty()) return;
    int x = to.left + (inside.left - from.left);
    int y = to.top + (inside.top - from.top);
    if (&source == &owner_) {
        // Copying within the picture: work from a snapshot so overlapping areas
        // read the pixels as they were before the copy.
        Bitmap snapshot(source);
        BlitInside(x, y, snapshot, inside);
    } else {
        BlitInside(x, y, source, inside);
    }
}

void GdiCanvas::BlitInside(int x, int y, const Bitmap& source, const Rect& from) {
    const int width = from.Width(), height = from.Height();
    if (HGDIOBJ handle = source.NativeHandle()) {
        MemoryDc sourceDc;
        Selection selection(sourceDc.Get(), handle);
        if (selection.Succeeded()) {
            BitBlt(dc_, x, y, width, height, sourceDc.Get(), from.left, from.top, SRCCOPY);
            return;
        }
    }
    // Plain memory, or a DIB already selected into the source's own canvas:
    // hand GDI the rows themselves, starting at the first row wanted.
    BITMAPINFO info = TopDown24(source.Width(), height);
    const std::uint8_t* rows = source.Row(from.top);
    SetDIBitsToDevice(dc_, x, y, DWORD(width), DWORD(height), from.left, 0, 0, UINT(height), rows, &info,
                      DIB_RGB_COLORS);
}

void GdiCanvas::Draw(int x, int y, const Bitmap& source) {
    CopyRect(Rect::FromSize(x, y, source.Width(), source.Height()), source, source.Bounds());
}

// Through the bits rather than GetPixel/SetPixelV: exact, and Bitmap flushes
// the GDI batch before touching them.
Colour GdiCanvas::Pixel(int x, int y) { return owner_.Pixel(x, y); }

void GdiCanvas::SetPixel(int x, int y, Colour colour) { owner_.SetPixel(x, y, Colour(ToColorRef(colour))); }

// The figures are being built; until then they say so.
void GdiCanvas::LineTo(int, int) { throw std::logic_error("LineTo is not built yet"); }
void GdiCanvas::Rectangle(const Rect&) { throw std::logic_error("Rectangle is not built yet"); }
void GdiCanvas::Ellipse(const Rect&) { throw std::logic_error("Ellipse is not built yet"); }
void GdiCanvas::Polygon(std::span<const Point>) { throw std::logic_error("Polygon is not built yet"); }
void GdiCanvas::TextOutAt(int, int, const std::string&) { throw std::logic_error("TextOutAt is not built yet"); }
int GdiCanvas::TextWidth(const std::string&) { throw std::logic_error("TextWidth is not built yet"); }
int GdiCanvas::TextHeight(const std::string&) { throw std::logic_error("TextHeight is not built yet"); }

}  // namespace snapora
