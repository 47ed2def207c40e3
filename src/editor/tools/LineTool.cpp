#include "editor/tools/Tools.h"

namespace snapora {

void LineTool::Draw(Canvas& canvas, Point start, Point end, Colour) const {
    canvas.pen.style = PenStyle::Solid;
    canvas.MoveTo(start.x, start.y);
    canvas.LineTo(end.x, end.y);
}

Rect LineTool::Touches(const Canvas& canvas, Point start, Point end) const {
    return FigureBounds(start, end, canvas.pen.width);
}

}  // namespace snapora
