#include "platform/win32/GdiCanvas.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "imaging/SoftwareCanvas.h"
#include "platform/win32/Text.h"

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

// GDI gets no coordinate further than this from the picture, and no wider pen.
constexpr int kGdiReach = 16384;
constexpr int kWidestGdiPen = 4096;

int RoundToInt(double v) { return int(std::clamp<long long>(std::llround(v), INT_MIN, INT_MAX)); }

Rect Normalised(const Rect& r) {
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right), std::max(r.top, r.bottom)};
}

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

// A black picture covering `area` of the canvas, with its own DC in the
// canvas's coordinates. Not-XOR turns each pixel p into p XOR ~colour, so a
// figure drawn here in copy mode with inverted colours and XORed onto the
// canvas is the not-XOR figure, each of its pixels changed exactly once.
class Scratch {
public:
    explicit Scratch(const Rect& area) : area_(area) {
        BITMAPINFO info = TopDown24(area.Width(), area.Height());
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap_ || !dc_.Get()) throw std::runtime_error("Für die Vorschau fehlen Grafikressourcen.");
        previous_ = SelectObject(dc_.Get(), bitmap_);
        std::memset(bits, 0, size_t((area.Width() * 3 + 3) & ~3) * size_t(area.Height()));
        SetViewportOrgEx(dc_.Get(), -area.left, -area.top, nullptr);
        SetBkMode(dc_.Get(), TRANSPARENT);
    }
    ~Scratch() {
        SelectObject(dc_.Get(), previous_);
        DeleteObject(bitmap_);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    HDC Dc() const { return dc_.Get(); }
    void XorOnto(HDC target) const {
        BitBlt(target, area_.left, area_.top, area_.Width(), area_.Height(), dc_.Get(), area_.left, area_.top, SRCINVERT);
    }

private:
    Rect area_;
    MemoryDc dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// Selects a GDI object of one's own for the lifetime of the object and deletes it afterwards.
class OwnedSelection {
public:
    OwnedSelection(HDC dc, HGDIOBJ object) : dc_(dc), object_(object) {
        if (!object_) throw std::runtime_error("Für die Vorschau fehlen Grafikressourcen.");
        previous_ = SelectObject(dc_, object_);
    }
    ~OwnedSelection() {
        SelectObject(dc_, previous_);
        DeleteObject(object_);
    }
    OwnedSelection(const OwnedSelection&) = delete;
    OwnedSelection& operator=(const OwnedSelection&) = delete;

private:
    HDC dc_;
    HGDIOBJ object_;
    HGDIOBJ previous_ = nullptr;
};

COLORREF Inverted(COLORREF colour) { return ~colour & 0x00FFFFFF; }

int GdiPenStyle(PenStyle style) {
    switch (style) {
        case PenStyle::Dot: return PS_DOT;
        case PenStyle::DashDotDot: return PS_DASHDOTDOT;
        case PenStyle::Clear: return PS_NULL;
        case PenStyle::Solid: break;
    }
    return PS_SOLID;
}

// `r` widened by `by` on every side, within the picture.
Rect Widened(const Rect& r, int by, const Rect& picture) {
    auto clampTo = [](long long v, int low, int high) { return int(std::clamp<long long>(v, low, high)); };
    return Rect{clampTo((long long)r.left - by, picture.left, picture.right),
                clampTo((long long)r.top - by, picture.top, picture.bottom),
                clampTo((long long)r.right + by, picture.left, picture.right),
                clampTo((long long)r.bottom + by, picture.top, picture.bottom)};
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
    // The DC's own objects go back in before it is deleted.
    previousPen_ = GetCurrentObject(dc_, OBJ_PEN);
    previousBrush_ = GetCurrentObject(dc_, OBJ_BRUSH);
    previousFont_ = GetCurrentObject(dc_, OBJ_FONT);
    // Gaps of dotted pens stay as they are; text sets its own background.
    SetBkMode(dc_, TRANSPARENT);
}

GdiCanvas::~GdiCanvas() {
    SelectObject(dc_, previousPen_);
    SelectObject(dc_, previousBrush_);
    SelectObject(dc_, previousFont_);
    SelectObject(dc_, previousBitmap_);
    DeleteDC(dc_);
    if (pen_) DeleteObject(pen_);
    if (brush_) DeleteObject(brush_);
    if (font_) DeleteObject(font_);
}

COLORREF GdiCanvas::ToColorRef(Colour colour) {
    if (IsSystemColour(colour)) return GetSysColor(int(colour & 0xFF));
    return COLORREF(colour & 0x00FFFFFF);
}

void GdiCanvas::FillRect(const Rect& area, Colour colour) {
    const Rect r = area.Intersect(owner_.Bounds());
    if (r.IsEmpty()) return;
    // The DC's own colour brush: nothing to make or delete per fill.
    SetDCBrushColor(dc_, ToColorRef(colour));
    RECT rect{r.left, r.top, r.right, r.bottom};
    ::FillRect(dc_, &rect, HBRUSH(GetStockObject(DC_BRUSH)));
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

// ---- Pens, brushes and fonts ---------------------------------------------

int GdiCanvas::PenWidth() const { return std::max(1, pen.width); }

void GdiCanvas::UsePen() {
    Pen wanted = pen;
    wanted.mode = PenMode::Copy;  // the raster mode belongs to the DC, not to the pen
    wanted.colour = Colour(ToColorRef(pen.colour));
    wanted.width = std::min(PenWidth(), kWidestGdiPen);
    // GDI dashes one-pixel pens only; wider ones are solid.
    if (wanted.width > 1 && wanted.style != PenStyle::Clear) wanted.style = PenStyle::Solid;
    const bool same = pen_ && wanted.colour == penMade_.colour && wanted.width == penMade_.width &&
                      wanted.style == penMade_.style;
    if (!same) {
        HPEN made = CreatePen(GdiPenStyle(wanted.style), wanted.width, COLORREF(wanted.colour));
        if (!made) throw std::runtime_error("Ein Stift konnte nicht angelegt werden.");
        SelectObject(dc_, made);
        if (pen_) DeleteObject(pen_);
        pen_ = made;
        penMade_ = wanted;
    }
    SetROP2(dc_, pen.mode == PenMode::NotXor ? R2_NOTXORPEN : R2_COPYPEN);
}

void GdiCanvas::UseBrush() {
    if (brush.style == BrushStyle::Clear) {
        SelectObject(dc_, GetStockObject(NULL_BRUSH));
        return;
    }
    const COLORREF colour = ToColorRef(brush.colour);
    if (!brush_ || colour != brushMade_) {
        HBRUSH made = CreateSolidBrush(colour);
        if (!made) throw std::runtime_error("Ein Pinsel konnte nicht angelegt werden.");
        SelectObject(dc_, made);
        if (brush_) DeleteObject(brush_);
        brush_ = made;
        brushMade_ = colour;
    } else {
        SelectObject(dc_, brush_);
    }
}

void GdiCanvas::UseFont() {
    Font wanted = font;
    wanted.colour = 0;  // the text colour is the DC's
    if (wanted.name.size() >= LF_FACESIZE) wanted.name.resize(LF_FACESIZE - 1);
    wanted.pixelHeight = std::clamp(wanted.pixelHeight, -2000, 2000);
    wanted.points = std::clamp(wanted.points, -1500, 1500);
    if (font_ && wanted == fontMade_) return;
    const int height = wanted.pixelHeight != 0 ? -wanted.pixelHeight
                                               : -MulDiv(wanted.points, GetDeviceCaps(dc_, LOGPIXELSY), 72);
    HFONT made = CreateFontW(height, 0, 0, 0, wanted.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             Widen(wanted.name).c_str());
    if (!made) throw std::runtime_error("Eine Schrift konnte nicht angelegt werden.");
    SelectObject(dc_, made);
    if (font_) DeleteObject(font_);
    font_ = made;
    fontMade_ = wanted;
}

void GdiCanvas::UseFigureSettings() {
    UsePen();
    UseBrush();
}

// Whether `box`, widened by `margin`, stays within GDI's reach around the picture.
bool GdiCanvas::FitsGdi(const Rect& box, int margin) const {
    const long long reach = (long long)kGdiReach - margin;
    return box.left >= -reach && box.top >= -reach && box.right <= owner_.Width() + reach &&
           box.bottom <= owner_.Height() + reach;
}

template <typename Figure>
void GdiCanvas::DrawBySoftware(Figure draw) {
    SoftwareCanvas software(owner_);
    software.pen = pen;
    software.pen.colour = Colour(ToColorRef(pen.colour));
    software.brush = brush;
    software.brush.colour = Colour(ToColorRef(brush.colour));
    draw(software);
}

// GDI's fill reaches under part of a one-pixel outline, and not-XOR would
// change those pixels twice: outlined, filled figures in not-XOR mode go
// through a scratch picture.
bool GdiCanvas::NeedsScratch() const {
    return pen.mode == PenMode::NotXor && pen.style != PenStyle::Clear && brush.style == BrushStyle::Solid;
}

template <typename Figure>
void GdiCanvas::NotXorThroughScratch(const Rect& area, Figure figure) {
    if (area.IsEmpty()) return;
    UsePen();  // settles the pen's GDI width and style
    Scratch scratch(area);
    OwnedSelection penSelected(scratch.Dc(),
                               CreatePen(GdiPenStyle(penMade_.style), penMade_.width, Inverted(COLORREF(penMade_.colour))));
    OwnedSelection brushSelected(scratch.Dc(), CreateSolidBrush(Inverted(ToColorRef(brush.colour))));
    figure(scratch.Dc());
    scratch.XorOnto(dc_);
}

// ---- Figures -------------------------------------------------------------

void GdiCanvas::LineTo(int x, int y) {
    const Point from = PenPos(), to{x, y};
    SetPenPos(to);
    if (pen.style == PenStyle::Clear) return;
    if (PenWidth() > kWidestGdiPen) {
        DrawBySoftware([&](Canvas& software) {
            software.MoveTo(from.x, from.y);
            software.LineTo(to.x, to.y);
        });
        return;
    }
    UsePen();
    Point a = from, b = to;
    const int margin = PenWidth() / 2 + 2;
    if (!FitsGdi(Normalised({a.x, a.y, b.x, b.y}), margin)) {
        // Only the part near the picture; an end point cut off lay outside anyway.
        const PointF fa{double(a.x), double(a.y)}, fb{double(b.x), double(b.y)};
        double t0, t1;
        if (!ClipSegment(fa, fb, AroundPixels(owner_.Bounds(), margin), t0, t1)) return;
        a = {RoundToInt(fa.x + (fb.x - fa.x) * t0), RoundToInt(fa.y + (fb.y - fa.y) * t0)};
        b = {RoundToInt(fa.x + (fb.x - fa.x) * t1), RoundToInt(fa.y + (fb.y - fa.y) * t1)};
    }
    MoveToEx(dc_, a.x, a.y, nullptr);
    ::LineTo(dc_, b.x, b.y);
}

void GdiCanvas::Rectangle(const Rect& corners) {
    Rect r = Normalised(corners);
    if (r.IsEmpty()) return;
    const bool outlined = pen.style != PenStyle::Clear;
    if (outlined && PenWidth() > kWidestGdiPen) {
        DrawBySoftware([&](Canvas& software) { software.Rectangle(r); });
        return;
    }
    UseFigureSettings();
    // Edges pulled in from far away still lie outside the picture, pen and all.
    const int margin = (outlined ? PenWidth() / 2 : 0) + 2;
    r.left = std::clamp(r.left, -margin, owner_.Width() + margin);
    r.right = std::clamp(r.right, -margin, owner_.Width() + margin);
    r.top = std::clamp(r.top, -margin, owner_.Height() + margin);
    r.bottom = std::clamp(r.bottom, -margin, owner_.Height() + margin);
    ::Rectangle(dc_, r.left, r.top, r.right, r.bottom);
}

void GdiCanvas::Ellipse(const Rect& corners) {
    const Rect r = Normalised(corners);
    if (r.IsEmpty()) return;
    const bool outlined = pen.style != PenStyle::Clear;
    if ((outlined && PenWidth() > kWidestGdiPen) || !FitsGdi(r, 0)) {
        DrawBySoftware([&](Canvas& software) { software.Ellipse(r); });
        return;
    }
    if (NeedsScratch()) {
        NotXorThroughScratch(Widened(r, PenWidth() / 2 + 2, owner_.Bounds()),
                             [&](HDC dc) { ::Ellipse(dc, r.left, r.top, r.right, r.bottom); });
        return;
    }
    UseFigureSettings();
    ::Ellipse(dc_, r.left, r.top, r.right, r.bottom);
}

void GdiCanvas::Polygon(std::span<const Point> points) {
    if (points.size() < 2) return;
    const bool outlined = pen.style != PenStyle::Clear;
    if (outlined && PenWidth() > kWidestGdiPen) {
        DrawBySoftware([&](Canvas& software) { software.Polygon(points); });
        return;
    }
    Rect box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (Point p : points) {
        box.left = std::min(box.left, p.x);
        box.top = std::min(box.top, p.y);
        box.right = std::max(box.right, p.x);
        box.bottom = std::max(box.bottom, p.y);
    }
    const int margin = (outlined ? PenWidth() / 2 : 0) + 2;
    std::vector<POINT> corners;
    if (FitsGdi(box, margin) && points.size() <= size_t(INT_MAX)) {
        for (Point p : points) corners.push_back({p.x, p.y});
    } else {
        // Cut to the picture's neighbourhood: the fill inside stays the same and
        // the new edges along the cut, pen included, lie outside the picture.
        std::vector<PointF> exact;
        exact.reserve(points.size());
        for (Point p : points) exact.push_back({double(p.x), double(p.y)});
        for (PointF p : ClipPolygon(exact, AroundPixels(owner_.Bounds(), margin)))
            corners.push_back({RoundToInt(p.x), RoundToInt(p.y)});
        if (corners.size() < 2) return;
    }
    if (NeedsScratch()) {
        Rect reach{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (POINT p : corners)
            reach = {std::min(reach.left, int(p.x)), std::min(reach.top, int(p.y)), std::max(reach.right, int(p.x) + 1),
                     std::max(reach.bottom, int(p.y) + 1)};
        NotXorThroughScratch(Widened(reach, margin, owner_.Bounds()),
                             [&](HDC dc) { ::Polygon(dc, corners.data(), int(corners.size())); });
        return;
    }
    UseFigureSettings();
    ::Polygon(dc_, corners.data(), int(corners.size()));
}

// ---- Text ----------------------------------------------------------------

int GdiCanvas::TextWidth(const std::string& text) {
    const std::wstring wide = Widen(text);
    if (wide.empty()) return 0;
    UseFont();
    SIZE size{0, 0};
    if (!GetTextExtentPoint32W(dc_, wide.data(), int(std::min(wide.size(), size_t(INT_MAX))), &size)) return 0;
    return int(size.cx);
}

int GdiCanvas::TextHeight(const std::string&) {
    UseFont();
    TEXTMETRICW metrics{};
    if (!GetTextMetricsW(dc_, &metrics)) return 0;
    return int(metrics.tmHeight);
}

void GdiCanvas::TextOutAt(int x, int y, const std::string& text) {
    const std::wstring wide = Widen(text);
    if (wide.empty() || wide.size() > size_t(INT_MAX)) return;
    const int height = TextHeight(text);  // selects the font
    const Rect picture = owner_.Bounds();
    if ((long long)y + height <= 0 || y >= picture.bottom || x >= picture.right) return;

    // GDI gets only the characters near the picture, never far-away positions.
    std::vector<INT> ends(wide.size());  // each character's right edge, from x
    SIZE size{0, 0};
    if (!GetTextExtentExPointW(dc_, wide.data(), int(wide.size()), 0, nullptr, ends.data(), &size)) return;
    constexpr int kSlack = 64;  // room for glyphs reaching beyond their advance
    size_t first = 0;
    while (first < wide.size() && (long long)x + ends[first] < -kSlack) ++first;
    size_t last = first;
    while (last < wide.size() && (long long)x + (last == 0 ? 0 : ends[last - 1]) < picture.right + kSlack) ++last;
    if (first >= last) return;
    const int drawX = int((long long)x + (first == 0 ? 0 : ends[first - 1]));
    const std::wstring shown = wide.substr(first, last - first);

    // The cell (x, y, x + width, y + height), within the picture.
    const Rect cell{int(std::max<long long>(x, 0)), std::max(y, 0),
                    int(std::min<long long>((long long)x + size.cx, picture.right)),
                    int(std::min<long long>((long long)y + height, picture.bottom))};
    if (cell.IsEmpty()) return;
    const bool opaque = brush.style == BrushStyle::Solid;
    const COLORREF textColour = ToColorRef(font.colour), background = ToColorRef(brush.colour);

    if (pen.mode == PenMode::Copy) {
        RECT clip{cell.left, cell.top, cell.right, cell.bottom};
        SetTextColor(dc_, textColour);
        SetBkColor(dc_, background);
        SetBkMode(dc_, opaque ? OPAQUE : TRANSPARENT);
        ExtTextOutW(dc_, drawX, y, ETO_CLIPPED | (opaque ? ETO_OPAQUE : 0), &clip, shown.data(), UINT(shown.size()),
                    nullptr);
        SetBkMode(dc_, TRANSPARENT);
        return;
    }

    // GDI's text ignores the raster mode: not-XOR goes through a scratch picture.
    Scratch scratch(cell);
    Selection selectedFont(scratch.Dc(), font_);
    RECT clip{cell.left, cell.top, cell.right, cell.bottom};
    if (opaque) {
        SetDCBrushColor(scratch.Dc(), Inverted(background));
        ::FillRect(scratch.Dc(), &clip, HBRUSH(GetStockObject(DC_BRUSH)));
    }
    SetTextColor(scratch.Dc(), Inverted(textColour));
    ExtTextOutW(scratch.Dc(), drawX, y, ETO_CLIPPED, &clip, shown.data(), UINT(shown.size()), nullptr);
    scratch.XorOnto(dc_);
}

}  // namespace snapora
