#pragma once
// Geometry that keeps figures with far-away points cheap: segments and
// polygons are cut down to a box a little larger than the picture before any
// pixel is computed, without changing what lands inside the picture.

#include <span>
#include <vector>

#include "base/Geometry.h"

namespace snapora {

struct PointF {
    double x = 0;
    double y = 0;
};

// A closed box in pixel-centre coordinates.
struct BoxF {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// The pixel centres of `area` (right and bottom outside), widened by `margin` on every side.
BoxF AroundPixels(const Rect& area, double margin);

// The part of the segment from a to b inside the box, as parameters
// 0 <= t0 <= t1 <= 1 along it; false when the segment misses the box.
bool ClipSegment(PointF a, PointF b, const BoxF& box, double& t0, double& t1);

// The polygon cut to the box (Sutherland-Hodgman). Inside the box every point
// keeps its winding number, so fills there stay the same; the new edges run
// along the box's border.
std::vector<PointF> ClipPolygon(std::span<const PointF> polygon, const BoxF& box);

}  // namespace snapora
