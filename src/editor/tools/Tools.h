#pragma once
// One class per tool; each lives in a file of its own.

#include "editor/DrawingTool.h"

namespace snapora {

// The crop frame: a thin blue dash-dot-dot rectangle, not filled.
class CropTool final : public DrawingTool {
public:
    void Draw(Canvas& canvas, Point start, Point end, Colour brushColour) const override;
    Rect Touches(const Canvas& canvas, Point start, Point end) const override;
};

// Freehand: from the surface's current position to the new point.
class PenTool final : public DrawingTool {
public:
    void Draw(Canvas& canvas, Point start, Point end, Colour brushColour) const override;
    Rect Touches(const Canvas& canvas, Point start, Point end) const override;
};

class LineTool final : public DrawingTool {
public:
    void Draw(Canvas& canvas, Point start, Point end, Colour brushColour) const override;
    Rect Touches(const Canvas& canvas, Point start, Point end) const override;
};

// The tip at the drag's start, the tail at its end.
class ArrowTool final : public DrawingTool {
public:
    void Draw(Canvas& canvas, Point start, Point end, Colour brushColour) const override;
    Rect Touches(const Canvas& canvas, Point start, Point end) const override;
};

class RectangleTool final : public DrawingTool {
public:
    void Draw(Canvas& canvas, Point start, Point end, Colour brushColour) const override;
    Rect Touches(const Canvas& canvas, Point start, Point end) const override;
};

class EllipseTool final : public DrawingTool {
public:
    void Draw(Canvas& canvas, Point start, Point end, Colour brushColour) const override;
    Rect Touches(const Canvas& canvas, Point start, Point end) const override;
};

// Filled with the brush colour, without an outline.
class FilledRectangleTool final : public DrawingTool {
public:
    void Draw(Canvas& canvas, Point start, Point end, Colour brushColour) const override;
    Rect Touches(const Canvas& canvas, Point start, Point end) const override;
};

// Text goes in through its own box; dragging draws nothing.
class TextTool final : public DrawingTool {
public:
    void Draw(Canvas&, Point, Point, Colour) const override {}
    Rect Touches(const Canvas&, Point, Point) const override { return {}; }
};

}  // namespace snapora
