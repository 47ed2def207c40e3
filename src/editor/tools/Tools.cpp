// The table of tools by code, and what every figure shares.

#include <cstdlib>

#include "editor/DrawingTool.h"
#include "editor/tools/Tools.h"

namespace snapora {

Rect FigureBounds(Point a, Point b, int penWidth) {
    int grow = std::abs(penWidth) + 2;
    return Rect{a.x, a.y, b.x, b.y}.Normalized().Inflate(grow);
}

const DrawingTool& ToolFor(std::uint8_t code) {
    static const CropTool crop;
    static const PenTool pen;
    static const LineTool line;
    static const ArrowTool arrow;
    static const RectangleTool rectangle;
    static const EllipseTool ellipse;
    static const FilledRectangleTool filledRectangle;
    static const TextTool text;
    switch (code) {
        case dtClip: return crop;
        case dtPen: return pen;
        case dtLine: return line;
        case dtArrow: return arrow;
        case dtRectangle: return rectangle;
        case dtEllipse: return ellipse;
        case dtClearClip: return filledRectangle;
        default: return text;
    }
}

}  // namespace snapora
