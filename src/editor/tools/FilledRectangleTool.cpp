#include "editor/tools/Tools.h"

namespace snapora {

void FilledRectangleTool::Draw(Canvas& canvas, Point start, Point end, Colour brushColour) const {
    canvas.pen.style = PenStyle::Clear;
    canvas.SetBrushColour(brushColour);
    canvas.Rectangle({start.x, start.y, end.x, end.y});
}

Rect FilledRectangleTool::Touches(const Canvas&, Point start, Point end) const { return FigureBounds(start, end, 1); }

}  // namespace snapora
