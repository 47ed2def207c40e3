#include "editor/tools/Tools.h"

namespace snapora {

void CropTool::Draw(Canvas& canvas, Point start, Point end, Colour) const {
    canvas.pen.style = PenStyle::DashDotDot;
    canvas.pen.colour = MakeColour(0, 0, 255);
    canvas.pen.width = 1;
    canvas.brush.style = BrushStyle::Clear;
    canvas.Rectangle({start.x, start.y, end.x, end.y});
}

Rect CropTool::Touches(const Canvas&, Point start, Point end) const { return FigureBounds(start, end, 1); }

}  // namespace snapora
