#include "editor/tools/Tools.h"

namespace snapora {

void PenTool::Draw(Canvas& canvas, Point, Point end, Colour) const {
    // Each piece of the freehand line goes straight into the picture.
    canvas.pen.mode = PenMode::Copy;
    canvas.pen.style = PenStyle::Solid;
    canvas.LineTo(end.x, end.y);
}

Rect PenTool::Touches(const Canvas& canvas, Point, Point end) const {
    return FigureBounds(canvas.PenPos(), end, canvas.pen.width);
}

}  // namespace snapora
