#include "imaging/SoftwareCanvas.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "imaging/Clipping.h"

namespace snapora {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct Span {
    int left;
    int right;  // outside
};

// The pixels one figure covers, row by row, limited to `area` (which lies
// inside the picture). After Merge() each pixel appears at most once.
class Coverage {
public:
    explicit Coverage(const Rect& area) : area_(area.IsEmpty() ? Rect{} : area), rows_(size_t(area_.Height())) {}

    const Rect& Area() const { return area_; }

    void Add(long long y, long long left, long long right) {
        if (y < area_.top || y >= area_.bottom) return;
        left = std::max<long long>(left, area_.left);
        right = std::min<long long>(right, area_.right);
        if (left >= right) return;
        std::vector<Span>& row = rows_[size_t(y - area_.top)];
        if (!row.empty() && row.back().right == left)
            row.back().right = int(right);  // the next pixel of a line walking right
        else
            row.push_back({int(left), int(right)});
    }
    void AddPixel(long long x, long long y) { Add(y, x, x + 1); }
    // Every pixel whose centre x satisfies lo <= x <= hi.
    void AddCentres(long long y, double lo, double hi) {
        lo = std::max(lo, area_.left - 1.0);
        hi = std::min(hi, double(area_.right));
        if (!(lo <= hi)) return;
        Add(y, (long long)std::ceil(lo), (long long)std::floor(hi) + 1);
    }

    void Merge() {
        for (std::vector<Span>& row : rows_) {
            if (row.size() < 2) continue;
            std::sort(row.begin(), row.end(), [](Span a, Span b) { return a.left < b.left; });
            size_t kept = 0;
            for (size_t i = 1; i < row.size(); ++i) {
                if (row[i].left <= row[kept].right)
                    row[kept].right = std::max(row[kept].right, row[i].right);
                else
                    row[++kept] = row[i];
            }
            row.resize(kept + 1);
        }
    }

    // Takes away the pixels of `other`; both merged, over the same area.
    void Remove(const Coverage& other) {
        for (size_t r = 0; r < rows_.size() && r < other.rows_.size(); ++r) {
            const std::vector<Span>& cut = other.rows_[r];
            if (cut.empty() || rows_[r].empty()) continue;
            std::vector<Span> kept;
            size_t c = 0;
            for (Span span : rows_[r]) {
                int from = span.left;
                while (c < cut.size() && cut[c].right <= from) ++c;
                for (size_t k = c; k < cut.size() && cut[k].left < span.right; ++k) {
                    if (cut[k].left > from) kept.push_back({from, cut[k].left});
                    from = std::max(from, cut[k].right);
                }
                if (from < span.right) kept.push_back({from, span.right});
            }
            rows_[r] = std::move(kept);
        }
    }

    template <typename F>
    void ForEach(F f) const {
        for (size_t r = 0; r < rows_.size(); ++r)
            for (Span span : rows_[r]) f(area_.top + int(r), span);
    }

private:
    Rect area_;
    std::vector<std::vector<Span>> rows_;
};

// The figure's bounding box, widened by `margin`, within the picture.
Rect AreaOf(const Rect& picture, double left, double top, double right, double bottom, double margin) {
    auto clampTo = [](double v, int low, int high) {
        if (!(v > low)) return low;  // also for NaN
        if (v > high) return high;
        return int(v);
    };
    Rect area{clampTo(std::floor(left - margin), picture.left, picture.right),
              clampTo(std::floor(top - margin), picture.top, picture.bottom),
              clampTo(std::ceil(right + margin) + 1, picture.left, picture.right),
              clampTo(std::ceil(bottom + margin) + 1, picture.top, picture.bottom)};
    return area.IsEmpty() ? Rect{} : area;
}

void Paint(Bitmap& target, const Coverage& coverage, Colour colour, PenMode mode) {
    const std::uint8_t blue = BlueOf(colour), green = GreenOf(colour), red = RedOf(colour);
    coverage.ForEach([&](int y, Span span) {
        std::uint8_t* p = target.Row(y) + size_t(span.left) * 3;
        for (int x = span.left; x < span.right; ++x, p += 3) {
            if (mode == PenMode::Copy) {
                p[0] = blue;
                p[1] = green;
                p[2] = red;
            } else {
                p[0] = std::uint8_t(~(blue ^ p[0]));
                p[1] = std::uint8_t(~(green ^ p[1]));
                p[2] = std::uint8_t(~(red ^ p[2]));
            }
        }
    });
}

// ---- Pens ----------------------------------------------------------------

// Which steps of a one-pixel line a pen style draws. Dotted: 3 on, 3 off;
// dash-dot-dot: 9 on, 3 off, 3 on, 3 off, 3 on, 3 off. The pattern runs on
// along all edges of one figure.
class Dash {
public:
    explicit Dash(PenStyle style) {
        static constexpr int dot[] = {3, 3};
        static constexpr int dashDotDot[] = {9, 3, 3, 3, 3, 3};
        std::span<const int> runs;
        if (style == PenStyle::Dot) runs = dot;
        if (style == PenStyle::DashDotDot) runs = dashDotDot;
        bool on = true;
        for (int run : runs) {
            for (int i = 0; i < run; ++i) on_[size_t(period_++)] = on;
            on = !on;
        }
    }
    bool Solid() const { return period_ == 0; }
    bool On(long long step) const { return period_ == 0 || on_[size_t(step % period_)]; }

private:
    int period_ = 0;
    bool on_[24] = {};
};

int PenWidth(const Pen& pen) { return std::max(1, pen.width); }

// Styles other than solid belong to one-pixel pens only.
Dash DashOf(const Pen& pen) { return Dash(PenWidth(pen) == 1 ? pen.style : PenStyle::Solid); }

// A one-pixel line as GDI steps it: one pixel per step along the longer axis,
// the other coordinate rounded. Exact for any int end points.
class PixelLine {
public:
    PixelLine(Point a, Point b) : x0_(a.x), y0_(a.y), dx_((long long)b.x - a.x), dy_((long long)b.y - a.y) {
        steps_ = std::max(std::llabs(dx_), std::llabs(dy_));
    }
    long long Steps() const { return steps_; }
    // The pixel of step i, 0 <= i <= Steps().
    std::pair<long long, long long> At(long long i) const {
        if (steps_ == 0) return {x0_, y0_};
        auto along = [&](long long delta) {
            // i * |delta| < 2^64 because both are below 2^32.
            const unsigned long long product = (unsigned long long)i * (unsigned long long)std::llabs(delta);
            const unsigned long long n = (unsigned long long)steps_;
            unsigned long long q = product / n;
            if (2 * (product % n) >= n) ++q;
            return delta < 0 ? -(long long)q : (long long)q;
        };
        return {x0_ + along(dx_), y0_ + along(dy_)};
    }

private:
    long long x0_, y0_, dx_, dy_, steps_ = 0;
};

// Adds the drawn steps of a one-pixel line (its end point only when asked);
// returns the dash phase for the next edge.
long long AddPixelLine(Coverage& coverage, Point a, Point b, bool withEnd, const Dash& dash, long long phase) {
    const PixelLine line(a, b);
    const long long n = line.Steps();
    double t0, t1;
    if (!coverage.Area().IsEmpty() &&
        ClipSegment({double(a.x), double(a.y)}, {double(b.x), double(b.y)}, AroundPixels(coverage.Area(), 1), t0, t1)) {
        const long long first = std::max(0LL, (long long)std::floor(t0 * double(n)) - 1);
        const long long last = std::min(n + (withEnd ? 1 : 0), (long long)std::ceil(t1 * double(n)) + 2);
        for (long long i = first; i < last; ++i) {
            if (!dash.On(phase + i)) continue;
            auto [x, y] = line.At(i);
            coverage.AddPixel(x, y);
        }
    }
    return phase + n;
}

// Narrows [lo, hi] to the u with from <= k * u <= to.
void Restrict(double& lo, double& hi, double k, double from, double to) {
    if (k == 0) {
        if (from > 0 || to < 0) lo = kInfinity, hi = -kInfinity;
        return;
    }
    double a = from / k, b = to / k;
    if (a > b) std::swap(a, b);
    lo = std::max(lo, a);
    hi = std::min(hi, b);
}

// Pixels whose centres lie within `radius` of the segment from a to b: the
// stroke of a thick pen with round ends. The shape is convex, so each row
// holds one span.
void AddCapsule(Coverage& coverage, PointF a, PointF b, double radius) {
    const Rect& area = coverage.Area();
    double t0, t1;
    if (area.IsEmpty() || !ClipSegment(a, b, AroundPixels(area, radius + 2), t0, t1)) return;
    const PointF p{a.x + (b.x - a.x) * t0, a.y + (b.y - a.y) * t0};
    const PointF q{a.x + (b.x - a.x) * t1, a.y + (b.y - a.y) * t1};
    const double dx = q.x - p.x, dy = q.y - p.y, length = std::hypot(dx, dy);
    const long long top = std::max<long long>(area.top, (long long)std::ceil(std::min(p.y, q.y) - radius));
    const long long bottom = std::min<long long>(area.bottom - 1, (long long)std::floor(std::max(p.y, q.y) + radius));
    for (long long y = top; y <= bottom; ++y) {
        double lo = kInfinity, hi = -kInfinity;
        for (const PointF& end : {p, q}) {
            const double ey = double(y) - end.y;
            if (std::abs(ey) > radius) continue;
            const double h = std::sqrt(radius * radius - ey * ey);
            lo = std::min(lo, end.x - h);
            hi = std::max(hi, end.x + h);
        }
        if (length > 0) {
            // Between the ends: 0 <= (P - p).d <= |d|^2 and |(P - p) x d| <= radius |d|.
            const double oy = double(y) - p.y;
            double sLo = -kInfinity, sHi = kInfinity;
            Restrict(sLo, sHi, dx, -oy * dy, length * length - oy * dy);
            Restrict(sLo, sHi, dy, oy * dx - radius * length, oy * dx + radius * length);
            if (sLo <= sHi) {
                lo = std::min(lo, p.x + sLo);
                hi = std::max(hi, p.x + sHi);
            }
        }
        coverage.AddCentres(y, lo, hi);
    }
}

// A thick pen's stroke is centred on the path; an even width puts its extra
// pixel row above and left of the path.
double StrokeShift(int width) { return width % 2 == 0 ? -0.5 : 0.0; }

// The outline of a path of points (closed: back to the first), as the pen draws it.
void AddPenPath(Coverage& coverage, std::span<const Point> points, bool closed, const Pen& pen) {
    const int width = PenWidth(pen);
    const size_t edges = closed ? points.size() : points.size() - 1;
    if (width == 1) {
        const Dash dash = DashOf(pen);
        long long phase = 0;
        for (size_t i = 0; i < edges; ++i)
            phase = AddPixelLine(coverage, points[i], points[(i + 1) % points.size()], false, dash, phase);
    } else {
        const double shift = StrokeShift(width);
        for (size_t i = 0; i < edges; ++i) {
            const Point a = points[i], b = points[(i + 1) % points.size()];
            AddCapsule(coverage, {a.x + shift, a.y + shift}, {b.x + shift, b.y + shift}, width / 2.0);
        }
    }
    coverage.Merge();
}

Rect Normalised(const Rect& r) {
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right), std::max(r.top, r.bottom)};
}

// ---- Ellipses ------------------------------------------------------------

struct EllipseShape {
    double cx, cy, rx, ry;
    // The centres inside the ellipse on row y, lo <= x <= hi.
    bool Row(double y, double& lo, double& hi) const {
        if (rx < 0 || ry < 0) return false;
        const double dy = y - cy;
        double half;
        if (ry == 0) {
            if (dy != 0) return false;
            half = rx;
        } else {
            const double k = 1 - (dy / ry) * (dy / ry);
            if (k < 0) return false;
            half = rx * std::sqrt(k);
        }
        lo = cx - half;
        hi = cx + half;
        return true;
    }
};

// The outline pixels of a dashed one-pixel ellipse, walked around the centre
// so that the pattern runs along the curve.
void DashAroundCentre(Coverage& outline, const EllipseShape& shape, const Dash& dash) {
    struct Step {
        double angle;
        int x, y;
    };
    std::vector<Step> steps;
    outline.ForEach([&](int y, Span span) {
        for (int x = span.left; x < span.right; ++x)
            steps.push_back({std::atan2((y - shape.cy) * std::max(shape.rx, 1.0), (x - shape.cx) * std::max(shape.ry, 1.0)),
                             x, y});
    });
    std::sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) {
        return a.angle != b.angle ? a.angle < b.angle : std::pair(a.y, a.x) < std::pair(b.y, b.x);
    });
    Coverage dashed(outline.Area());
    for (size_t i = 0; i < steps.size(); ++i)
        if (dash.On((long long)i)) dashed.AddPixel(steps[i].x, steps[i].y);
    dashed.Merge();
    outline = std::move(dashed);
}

// ---- Text ----------------------------------------------------------------

// The block font: each character is 3 blocks wide and 5 high, with one block
// of space on the right, above and below.
struct BlockFont {
    int unit;       // side of one block in pixels
    int boldExtra;  // bold strokes reach this much further right
    int advance;
    int height;
};

BlockFont BlockFontFor(const Font& font) {
    long long characterHeight = font.pixelHeight != 0 ? std::llabs((long long)font.pixelHeight)
                                                      : ((long long)font.points * 96 + 36) / 72;
    if (characterHeight <= 0) characterHeight = 11;
    characterHeight = std::min(characterHeight, 2000LL);
    BlockFont metrics;
    metrics.unit = std::max(1, int(characterHeight + 3) / 6);
    metrics.boldExtra = font.bold ? std::max(1, metrics.unit / 2) : 0;
    metrics.advance = 4 * metrics.unit + metrics.boldExtra;
    metrics.height = 7 * metrics.unit;
    return metrics;
}

// Rows top to bottom, '#' a block.
struct GlyphPicture {
    char character;
    const char* rows;
};

constexpr GlyphPicture kGlyphs[] = {
    {'0', "###|#.#|#.#|#.#|###"}, {'1', ".#.|##.|.#.|.#.|###"}, {'2', "##.|..#|.#.|#..|###"},
    {'3', "##.|..#|.#.|..#|##."}, {'4', "#.#|#.#|###|..#|..#"}, {'5', "###|#..|##.|..#|##."},
    {'6', ".##|#..|###|#.#|###"}, {'7', "###|..#|.#.|.#.|.#."}, {'8', "###|#.#|###|#.#|###"},
    {'9', "###|#.#|###|..#|##."}, {'A', ".#.|#.#|###|#.#|#.#"}, {'B', "##.|#.#|##.|#.#|##."},
    {'C', ".##|#..|#..|#..|.##"}, {'D', "##.|#.#|#.#|#.#|##."}, {'E', "###|#..|##.|#..|###"},
    {'F', "###|#..|##.|#..|#.."}, {'G', ".##|#..|#.#|#.#|.##"}, {'H', "#.#|#.#|###|#.#|#.#"},
    {'I', "###|.#.|.#.|.#.|###"}, {'J', "..#|..#|..#|#.#|.#."}, {'K', "#.#|#.#|##.|#.#|#.#"},
    {'L', "#..|#..|#..|#..|###"}, {'M', "#.#|###|###|#.#|#.#"}, {'N', "##.|#.#|#.#|#.#|#.#"},
    {'O', ".#.|#.#|#.#|#.#|.#."}, {'P', "##.|#.#|##.|#..|#.."}, {'Q', ".#.|#.#|#.#|##.|.##"},
    {'R', "##.|#.#|##.|#.#|#.#"}, {'S', ".##|#..|.#.|..#|##."}, {'T', "###|.#.|.#.|.#.|.#."},
    {'U', "#.#|#.#|#.#|#.#|###"}, {'V', "#.#|#.#|#.#|#.#|.#."}, {'W', "#.#|#.#|###|###|#.#"},
    {'X', "#.#|#.#|.#.|#.#|#.#"}, {'Y', "#.#|#.#|.#.|.#.|.#."}, {'Z', "###|..#|.#.|#..|###"},
    {'.', "...|...|...|...|.#."}, {',', "...|...|...|.#.|#.."}, {':', "...|.#.|...|.#.|..."},
    {';', "...|.#.|...|.#.|#.."}, {'!', ".#.|.#.|.#.|...|.#."}, {'?', "##.|..#|.#.|...|.#."},
    {'-', "...|...|###|...|..."}, {'+', "...|.#.|###|.#.|..."}, {'=', "...|###|...|###|..."},
    {'_', "...|...|...|...|###"}, {'/', "..#|..#|.#.|#..|#.."}, {'(', ".#.|#..|#..|#..|.#."},
    {')', ".#.|..#|..#|..#|.#."}, {'\'', ".#.|.#.|...|...|..."}, {'"', "#.#|#.#|...|...|..."},
    {'%', "#.#|..#|.#.|#..|#.#"}, {'&', ".#.|#.#|.#.|#.#|.##"}, {'*', "#.#|.#.|#.#|...|..."},
    {'#', "#.#|###|#.#|###|#.#"}, {'@', "###|#.#|###|#..|.##"}, {'<', "..#|.#.|#..|.#.|..#"},
    {'>', "#..|.#.|..#|.#.|#.."}, {'[', "##.|#..|#..|#..|##."}, {']', ".##|..#|..#|..#|.##"},
};

// 15 bits, bit 14 the top-left block, bit 0 the bottom-right one.
int GlyphBits(char c) {
    auto byte = std::uint8_t(c);
    if (byte == ' ' || byte == 0xA0 || byte < ' ') return 0;
    // Windows-1252 letters with accents look like their base letter.
    static constexpr std::pair<std::uint8_t, char> bases[] = {
        {0xC4, 'A'}, {0xD6, 'O'}, {0xDC, 'U'}, {0xE4, 'A'}, {0xF6, 'O'}, {0xFC, 'U'}, {0xDF, 'B'},
        {0xC9, 'E'}, {0xE9, 'E'}, {0xE8, 'E'}, {0xE0, 'A'}, {0xE7, 'C'}, {0xC7, 'C'}, {0xF1, 'N'},
    };
    for (auto [accented, base] : bases)
        if (byte == accented) c = base;
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    for (const GlyphPicture& glyph : kGlyphs) {
        if (glyph.character != c) continue;
        int bits = 0;
        for (const char* p = glyph.rows; *p; ++p)
            if (*p != '|') bits = (bits << 1) | (*p == '#' ? 1 : 0);
        return bits;
    }
    return 0b111'101'101'101'111;  // a box for anything else
}

}  // namespace

// ---- Plain fills and copies ----------------------------------------------

void SoftwareCanvas::FillRect(const Rect& area, Colour colour) {
    Rect r = area.Intersect(target_.Bounds());
    for (int y = r.top; y < r.bottom; ++y) {
        std::uint8_t* p = target_.Row(y) + r.left * 3;
        for (int x = r.left; x < r.right; ++x, p += 3) {
            p[0] = BlueOf(colour);
            p[1] = GreenOf(colour);
            p[2] = RedOf(colour);
        }
    }
}

void SoftwareCanvas::CopyRect(const Rect& to, const Bitmap& source, const Rect& from) {
    // Walk the destination; each pixel takes the source pixel at the same offset.
    int dx = from.left - to.left, dy = from.top - to.top;
    Rect r = to.Intersect(target_.Bounds());
    Bitmap copy;
    const Bitmap* src = &source;
    if (&source == &target_) {  // overlapping copy inside one picture
        copy = source;
        src = &copy;
    }
    Rect srcBounds = src->Bounds();
    for (int y = r.top; y < r.bottom; ++y) {
        std::uint8_t* out = target_.Row(y);
        int sy = y + dy;
        bool rowInside = sy >= srcBounds.top && sy < srcBounds.bottom;
        for (int x = r.left; x < r.right; ++x) {
            int sx = x + dx;
            std::uint8_t* p = out + x * 3;
            if (rowInside && sx >= 0 && sx < srcBounds.right) {
                std::memcpy(p, src->Row(sy) + sx * 3, 3);
            } else {
                p[0] = p[1] = p[2] = 0;
            }
        }
    }
}

void SoftwareCanvas::Draw(int x, int y, const Bitmap& source) {
    CopyRect(Rect::FromSize(x, y, source.Width(), source.Height()), source, source.Bounds());
}

// ---- Figures -------------------------------------------------------------

void SoftwareCanvas::LineTo(int x, int y) {
    const Point from = PenPos(), to{x, y};
    SetPenPos(to);
    if (pen.style == PenStyle::Clear || target_.IsEmpty()) return;
    const double margin = PenWidth(pen) / 2.0 + 1;
    Coverage stroke(AreaOf(target_.Bounds(), std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x),
                           std::max(from.y, to.y), margin));
    const Point path[] = {from, to};
    AddPenPath(stroke, path, false, pen);
    Paint(target_, stroke, pen.colour, pen.mode);
}

void SoftwareCanvas::Rectangle(const Rect& corners) {
    const Rect r = Normalised(corners);
    if (r.IsEmpty() || target_.IsEmpty()) return;
    const bool outlined = pen.style != PenStyle::Clear;
    const long long width = outlined ? PenWidth(pen) : 1;
    // The stroke covers `outer` minus `inner`; the brush fills `inner`.
    const long long outerLeft = r.left - width / 2, outerTop = r.top - width / 2;
    const long long outerRight = (long long)r.right - 1 + (width - width / 2);
    const long long outerBottom = (long long)r.bottom - 1 + (width - width / 2);
    long long innerLeft = outerLeft + width, innerTop = outerTop + width;
    long long innerRight = outerRight - width, innerBottom = outerBottom - width;
    if (!outlined) {  // no outline: the fill stops one pixel short of the right and bottom edges
        innerLeft = r.left, innerTop = r.top, innerRight = r.right - 1, innerBottom = r.bottom - 1;
    }
    const Rect area = AreaOf(target_.Bounds(), double(outerLeft), double(outerTop), double(outerRight),
                             double(outerBottom), 0);
    Coverage stroke(area), fill(area);
    const bool hasInner = innerLeft < innerRight && innerTop < innerBottom;
    if (brush.style == BrushStyle::Solid && hasInner)
        for (long long y = std::max<long long>(innerTop, area.top); y < std::min<long long>(innerBottom, area.bottom); ++y)
            fill.Add(y, innerLeft, innerRight);
    if (outlined && !DashOf(pen).Solid()) {
        const Point path[] = {{r.left, r.top}, {r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}};
        AddPenPath(stroke, path, true, pen);
        if (r.Width() == 1 && r.Height() == 1) stroke.AddPixel(r.left, r.top);
    } else if (outlined) {
        for (long long y = std::max<long long>(outerTop, area.top); y < std::min<long long>(outerBottom, area.bottom); ++y) {
            if (hasInner && y >= innerTop && y < innerBottom) {
                stroke.Add(y, outerLeft, innerLeft);
                stroke.Add(y, innerRight, outerRight);
            } else {
                stroke.Add(y, outerLeft, outerRight);
            }
        }
    }
    stroke.Merge();
    fill.Merge();
    fill.Remove(stroke);
    Paint(target_, fill, brush.colour, pen.mode);
    Paint(target_, stroke, pen.colour, pen.mode);
}

void SoftwareCanvas::Ellipse(const Rect& corners) {
    Rect r = Normalised(corners);
    if (r.IsEmpty() || target_.IsEmpty()) return;
    const bool outlined = pen.style != PenStyle::Clear;
    if (!outlined) {  // no outline: one pixel short of the right and bottom edges, like rectangles
        r.right -= 1;
        r.bottom -= 1;
        if (r.IsEmpty()) return;
    }
    // Centred on the middle of the pixels from left to right - 1; the pen
    // straddles this ellipse, the brush fills what lies inside the pen.
    const double cx = (double(r.left) + double(r.right) - 1) / 2, cy = (double(r.top) + double(r.bottom) - 1) / 2;
    const double rx = (double(r.right) - double(r.left) - 1) / 2, ry = (double(r.bottom) - double(r.top) - 1) / 2;
    const double half = outlined ? PenWidth(pen) / 2.0 : 0.5;
    const EllipseShape outer{cx, cy, rx + half, ry + half};
    const EllipseShape inner{cx, cy, rx - half, ry - half};
    const Rect area = AreaOf(target_.Bounds(), cx - outer.rx, cy - outer.ry, cx + outer.rx, cy + outer.ry, 0);
    Coverage stroke(area), fill(area);
    const bool filled = brush.style == BrushStyle::Solid;
    for (int y = area.top; y < area.bottom; ++y) {
        double outerLo, outerHi, innerLo, innerHi;
        if (!outer.Row(y, outerLo, outerHi)) continue;
        const bool hasInner = inner.Row(y, innerLo, innerHi) && std::ceil(innerLo) <= std::floor(innerHi);
        if (!outlined) {
            if (filled) fill.AddCentres(y, outerLo, outerHi);
        } else if (hasInner) {
            stroke.AddCentres(y, outerLo, std::ceil(innerLo) - 1);
            stroke.AddCentres(y, std::floor(innerHi) + 1, outerHi);
            if (filled) fill.AddCentres(y, innerLo, innerHi);
        } else {
            stroke.AddCentres(y, outerLo, outerHi);
        }
    }
    stroke.Merge();
    fill.Merge();
    if (outlined && !DashOf(pen).Solid()) DashAroundCentre(stroke, outer, DashOf(pen));
    fill.Remove(stroke);
    Paint(target_, fill, brush.colour, pen.mode);
    Paint(target_, stroke, pen.colour, pen.mode);
}

void SoftwareCanvas::Polygon(std::span<const Point> points) {
    if (points.size() < 2 || target_.IsEmpty()) return;  // as GDI: a polygon needs two points
    const bool outlined = pen.style != PenStyle::Clear;
    double left = kInfinity, top = kInfinity, right = -kInfinity, bottom = -kInfinity;
    for (Point p : points) {
        left = std::min(left, double(p.x));
        top = std::min(top, double(p.y));
        right = std::max(right, double(p.x));
        bottom = std::max(bottom, double(p.y));
    }
    const double margin = outlined ? PenWidth(pen) / 2.0 + 1 : 1;
    const Rect area = AreaOf(target_.Bounds(), left, top, right, bottom, margin);
    if (area.IsEmpty()) return;
    Coverage stroke(area), fill(area);
    if (outlined) AddPenPath(stroke, points, true, pen);

    if (brush.style == BrushStyle::Solid && points.size() >= 3) {
        // Even-odd rule at the pixel centres: a centre on a left edge is in,
        // on a right edge out; a row through a vertex counts the edge below it.
        std::vector<PointF> corners;
        corners.reserve(points.size());
        for (Point p : points) corners.push_back({double(p.x), double(p.y)});
        corners = ClipPolygon(corners, AroundPixels(area, 2));
        std::vector<std::vector<double>> crossings(size_t(area.Height()));
        for (size_t i = 0; i < corners.size(); ++i) {
            const PointF a = corners[i], b = corners[(i + 1) % corners.size()];
            if (a.y == b.y) continue;
            const double yLow = std::min(a.y, b.y), yHigh = std::max(a.y, b.y);
            const long long first = std::max<long long>(area.top, (long long)std::ceil(yLow));
            const long long last = std::min<long long>(area.bottom, (long long)std::ceil(yHigh));
            for (long long y = first; y < last; ++y)
                crossings[size_t(y - area.top)].push_back(a.x + (double(y) - a.y) * (b.x - a.x) / (b.y - a.y));
        }
        for (size_t row = 0; row < crossings.size(); ++row) {
            std::vector<double>& xs = crossings[row];
            std::sort(xs.begin(), xs.end());
            for (size_t k = 0; k + 1 < xs.size(); k += 2)
                fill.Add(area.top + (long long)row, (long long)std::ceil(xs[k]), (long long)std::ceil(xs[k + 1]));
        }
        fill.Merge();
        fill.Remove(stroke);
    }
    Paint(target_, fill, brush.colour, pen.mode);
    Paint(target_, stroke, pen.colour, pen.mode);
}

// ---- Text ----------------------------------------------------------------

int SoftwareCanvas::TextWidth(const std::string& text) {
    const long long width = (long long)text.size() * BlockFontFor(font).advance;
    return int(std::min<long long>(width, INT_MAX));
}

int SoftwareCanvas::TextHeight(const std::string&) { return BlockFontFor(font).height; }

void SoftwareCanvas::TextOutAt(int x, int y, const std::string& text) {
    const BlockFont metrics = BlockFontFor(font);
    const long long count = (long long)text.size();
    const long long cellRight = x + count * metrics.advance, cellBottom = (long long)y + metrics.height;
    const Rect area = AreaOf(target_.Bounds(), x, y, double(cellRight) - 1, double(cellBottom) - 1, 0);
    if (count == 0 || area.IsEmpty()) return;

    Coverage glyphs(area);
    const long long unit = metrics.unit;
    const long long first = std::max(0LL, (area.left - (long long)x) / metrics.advance - 1);
    const long long last = std::min(count, (area.right - (long long)x) / metrics.advance + 1);
    for (long long k = first; k < last; ++k) {
        const int bits = GlyphBits(text[size_t(k)]);
        const long long glyphLeft = x + k * metrics.advance;
        for (int block = 0; block < 15; ++block) {
            if (!(bits & (1 << (14 - block)))) continue;
            const long long left = glyphLeft + (block % 3) * unit, top = y + (1 + block / 3) * unit;
            for (long long row = top; row < top + unit; ++row) glyphs.Add(row, left, left + unit + metrics.boldExtra);
        }
    }
    glyphs.Merge();
    if (brush.style == BrushStyle::Solid) {
        Coverage cell(area);
        for (int row = area.top; row < area.bottom; ++row) cell.Add(row, area.left, area.right);
        cell.Remove(glyphs);
        Paint(target_, cell, brush.colour, pen.mode);
    }
    Paint(target_, glyphs, font.colour, pen.mode);
}

}  // namespace snapora
