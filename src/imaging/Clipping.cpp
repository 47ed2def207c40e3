#include "imaging/Clipping.h"

#include <algorithm>

namespace snapora {

BoxF AroundPixels(const Rect& area, double margin) {
    return {area.left - margin, area.top - margin, area.right - 1 + margin, area.bottom - 1 + margin};
}

bool ClipSegment(PointF a, PointF b, const BoxF& box, double& t0, double& t1) {
    // Liang-Barsky: each side of the box bounds t from one direction.
    t0 = 0;
    t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.left, box.right - a.x, a.y - box.top, box.bottom - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;  // parallel to this side and beyond it
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    return true;
}

namespace {

// Keeps the part of the polygon on the inner side of one border line.
template <typename Inside, typename Cross>
std::vector<PointF> ClipAgainst(const std::vector<PointF>& in, Inside inside, Cross cross) {
    std::vector<PointF> out;
    if (in.empty()) return out;
    out.reserve(in.size() + 4);
    PointF previous = in.back();
    bool previousInside = inside(previous);
    for (const PointF& current : in) {
        const bool currentInside = inside(current);
        if (currentInside != previousInside) out.push_back(cross(previous, current));
        if (currentInside) out.push_back(current);
        previous = current;
        previousInside = currentInside;
    }
    return out;
}

PointF AtX(PointF a, PointF b, double x) { return {x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)}; }
PointF AtY(PointF a, PointF b, double y) { return {a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y}; }

}  // namespace

std::vector<PointF> ClipPolygon(std::span<const PointF> polygon, const BoxF& box) {
    std::vector<PointF> points(polygon.begin(), polygon.end());
    points = ClipAgainst(points, [&](PointF p) { return p.x >= box.left; },
                         [&](PointF a, PointF b) { return AtX(a, b, box.left); });
    points = ClipAgainst(points, [&](PointF p) { return p.x <= box.right; },
                         [&](PointF a, PointF b) { return AtX(a, b, box.right); });
    points = ClipAgainst(points, [&](PointF p) { return p.y >= box.top; },
                         [&](PointF a, PointF b) { return AtY(a, b, box.top); });
    points = ClipAgainst(points, [&](PointF p) { return p.y <= box.bottom; },
                         [&](PointF a, PointF b) { return AtY(a, b, box.bottom); });
    return points;
}

}  // namespace snapora
