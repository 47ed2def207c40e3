#include "editor/tools/Tools.h"

namespace snapora {

void RectangleTool::Draw(Canvas& canvas, Point start, Point end, Colour) const {
    canvas.pen.style = PenStyle::Solid;
    canvas.brush.style = BrushStyle::Clear;
    canvas.Rectangle({start.x, start.y, end.x, end.y});
}

Rect RectangleTool::Touches(const Canvas& canvas, Point start, Point end) const {
    return FigureBounds(start, end, canvas.pen.width);
}

}  // namespace snapora
