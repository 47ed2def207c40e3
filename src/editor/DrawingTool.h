#pragma once
// The editor's tools: each draws one kind of figure between a drag's start and
// end, and says which part of the picture the figure can touch.

#include <cstdint>

#include "base/Colour.h"
#include "base/Geometry.h"
#include "imaging/Canvas.h"

namespace snapora {

enum DrawingToolCode : std::uint8_t {
    dtClip = 0,
    dtPen = 1,
    dtLine = 2,
    dtArrow = 3,
    dtRectangle = 4,
    dtEllipse = 5,
    dtClearClip = 6,
    dtText = 7,
};
inline constexpr int DrawingToolCount = 8;

class DrawingTool {
public:
    virtual ~DrawingTool() = default;
    // Pen colour, width and mode are set; the tool sets style and brush itself.
    virtual void Draw(Canvas& canvas, Point start, Point end, Colour brushColour) const = 0;
    // Every pixel Draw may change lies inside this rectangle.
    virtual Rect Touches(const Canvas& canvas, Point start, Point end) const = 0;
};

// The tool of a code; codes outside the table draw nothing.
const DrawingTool& ToolFor(std::uint8_t code);

// The rectangle between two corners given in any order, grown by what a pen
// of `width` paints beyond its path (with a margin for the platform's rules).
Rect FigureBounds(Point a, Point b, int penWidth);

// The arrow's geometry: the head's base corners and the middle between them.
struct ArrowHead {
    Point c1, c2, middle;
};
// Head length `length`, opening angle `angle` in degrees, from the tail to the tip.
ArrowHead ArrowHeadFor(int length, int angle, Point tail, Point tip);
// Shaft from the tail to the head's base, then the head filled with the brush.
void DrawArrow(Canvas& canvas, int length, int angle, Point tail, Point tip);

}  // namespace snapora
