#include "editor/tools/Tools.h"

namespace snapora {

void EllipseTool::Draw(Canvas& canvas, Point start, Point end, Colour) const {
    canvas.pen.style = PenStyle::Solid;
    canvas.brush.style = BrushStyle::Clear;
    canvas.Ellipse({start.x, start.y, end.x, end.y});
}

Rect EllipseTool::Touches(const Canvas& canvas, Point start, Point end) const {
    return FigureBounds(start, end, canvas.pen.width);
}

}  // namespace snapora
