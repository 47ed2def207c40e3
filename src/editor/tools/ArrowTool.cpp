// The arrow: a shaft from the tail and a filled head at the tip.

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "base/Rounding.h"
#include "editor/tools/Tools.h"

namespace snapora {

namespace {

double Radians(double degrees) { return degrees * 2 * std::numbers::pi / 360; }

// The direction from the tail to the tip in degrees, counter-clockwise with
// straight up on the screen (y grows downwards) as 90.
double Direction(int dx, int dy) {
    double b = dx == 0 ? 0 : std::atan(double(dy) / double(dx)) * 360 / (2 * std::numbers::pi);
    if (dx > 0 && dy == 0) return 0;
    if (dx > 0 && dy < 0) return -b;
    if (dx == 0 && dy < 0) return 90;
    if (dx < 0 && dy < 0) return 180 - b;
    if (dx < 0 && dy == 0) return 180;
    if (dx < 0 && dy > 0) return 180 - b;
    if (dx == 0 && dy > 0) return 270;
    return 360 - b;  // dx > 0 and dy > 0
}

}  // namespace

ArrowHead ArrowHeadFor(int length, int angle, Point tail, Point tip) {
    double theta = Direction(tip.x - tail.x, tip.y - tail.y);
    int half = angle / 2;
    auto corner = [&](double degrees) {
        return Point{int(RoundHalfEven(tip.x - length * std::cos(Radians(degrees)))),
                     int(RoundHalfEven(tip.y + length * std::sin(Radians(degrees))))};
    };
    ArrowHead head{corner(theta - half), corner(theta + half), {}};
    head.middle = {(head.c1.x + head.c2.x) / 2, (head.c1.y + head.c2.y) / 2};
    return head;
}

void DrawArrow(Canvas& canvas, int length, int angle, Point tail, Point tip) {
    if (tail == tip) return;
    ArrowHead head = ArrowHeadFor(length, angle, tail, tip);
    canvas.MoveTo(tail.x, tail.y);
    canvas.LineTo(head.middle.x, head.middle.y);
    const Point triangle[] = {tip, head.c1, head.c2};
    canvas.Polygon(triangle);
}

void ArrowTool::Draw(Canvas& canvas, Point start, Point end, Colour) const {
    canvas.pen.style = PenStyle::Solid;
    canvas.SetBrushColour(canvas.pen.colour);
    DrawArrow(canvas, 5 * canvas.pen.width, 50, end, start);
}

Rect ArrowTool::Touches(const Canvas& canvas, Point start, Point end) const {
    // The head reaches at most its length from the tip.
    int width = canvas.pen.width;
    return FigureBounds(start, end, width).Union(FigureBounds(start, start, width).Inflate(5 * std::abs(width)));
}

}  // namespace snapora
