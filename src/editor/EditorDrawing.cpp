// The editor's tools: switching, colours, the figures, the mouse on the
// picture, the auto-scroll while dragging, and undo and redo.

#include "editor/ImageEditorForm.h"

namespace snapora {

namespace {

struct ToolText {
    Cursor cursor;
    const char* status;
};

// The cursor over the picture and the help text of every tool.
ToolText TextOfTool(std::uint8_t tool) {
    switch (tool) {
        case dtPen: return {Cursor::Pen, "Zeichnen Sie mit gedrückter Maustaste eine Freihandlinie."};
        case dtLine: return {Cursor::Cross, "Ziehen Sie mit gedrückter Maustaste eine Linie."};
        case dtArrow: return {Cursor::Cross, "Zeichnen Sie mit gedrückter Maustaste einen Pfeil."};
        case dtRectangle: return {Cursor::Cross, "Zeichnen Sie mit gedrückter Maustaste ein Rechteck."};
        case dtEllipse: return {Cursor::Cross, "Zeichnen Sie mit gedrückter Maustaste eine Ellipse."};
        case dtClearClip: return {Cursor::Cross, "Füllen Sie mit gedrückter Maustaste ein Rechteck."};
        case dtText: return {Cursor::IBeam, "Klicken Sie auf eine Stelle im Bild, um dort Text einzufügen."};
        default: return {Cursor::Cross, nullptr};
    }
}

constexpr unsigned AutoScrollMilliseconds = 50;

}  // namespace

void TImageEditorForm::SetDrawingTool(std::uint8_t tool) {
    FinishTextInput();
    currentTool_ = tool;
    SetCursor();
    UpdateToolColor();
}

void TImageEditorForm::SetCursor() {
    ToolText text = TextOfTool(currentTool_);
    Image1.CursorShape = text.cursor;
    if (text.status) {
        StatusText(text.status);
    } else {
        StatusText(std::string("Ziehen Sie mit der Maus einen Rahmen um den gewünschten Bildausschnitt.     "
                               "Mit ESC wird der Screenshot ") +
                   (state_.OutputMode == omUpload ? "hochgeladen." : "gespeichert."));
    }
}

void TImageEditorForm::UpdateToolColor() {
    ColorPanel.SetColor(currentTool_ == dtClearClip ? state_.BrushColor : state_.PenColor);
    Picture().Canvas().pen.colour = ColorPanel.Color();
}

void TImageEditorForm::ColorPanelClick() {
    auto chosen = context_.platform.dialogs.ChooseColour(Handle(), ColorPanel.Color());
    if (!chosen) return;
    ColorPanel.SetColor(*chosen);
    Picture().Canvas().pen.colour = *chosen;
    Font font = TextEdit.GetFont();
    font.colour = *chosen;
    TextEdit.SetFont(font);
    (currentTool_ == dtClearClip ? state_.BrushColor : state_.PenColor) = *chosen;
}

void TImageEditorForm::PenWidthEditChange() {
    state_.PenWidth = PenWidth.Position();
    Picture().Canvas().pen.width = PenWidth.Position();
}

void TImageEditorForm::DrawShape(Point start, Point end, PenMode mode) {
    Canvas& canvas = Picture().Canvas();
    canvas.pen.mode = mode;
    canvas.pen.width = PenWidth.Position();
    canvas.pen.colour = ColorPanel.Color();
    const DrawingTool& tool = ToolFor(currentTool_);
    Rect touched = tool.Touches(canvas, start, end);
    if (touched.IsEmpty()) return;
    Touch(touched);
    tool.Draw(canvas, start, end, state_.BrushColor);
    Repaint(touched);
}

// ---- the mouse on the picture

void TImageEditorForm::Image1MouseDown(MouseButton button, unsigned, int x, int y) {
    if (TextBoxOpen()) {
        FinishTextInput();  // the press only commits the text
        return;
    }
    leftButtonDown_ = button == MouseButton::Left;
    Picture().Canvas().MoveTo(x, y);
    dragStart_ = dragCurrent_ = {x, y};
    if (currentTool_ == dtText) PlaceTextBox(x, y);
}

void TImageEditorForm::Image1MouseMove(unsigned, int x, int y) {
    if (!leftButtonDown_) return;
    DrawShape(dragStart_, dragCurrent_, PenMode::NotXor);
    dragCurrent_ = {x, y};
    DrawShape(dragStart_, dragCurrent_, PenMode::NotXor);
    Point p = ScrollBox1.Position();
    bool outside = x < p.x || y < p.y || x > ScrollBox1.ClientWidth() + p.x || y > ScrollBox1.ClientHeight() + p.y;
    StartTimer1(outside);
}

void TImageEditorForm::Image1MouseUp(MouseButton, unsigned, int x, int y) {
    if (!leftButtonDown_) return;
    leftButtonDown_ = false;
    StartTimer1(false);
    if (currentTool_ != dtClip) {
        DrawShape(dragStart_, {x, y}, PenMode::Copy);
    } else if (!CommitCrop({x, y})) {
        return;  // a frame that misses the selection or leaves too little is dropped
    }
    FillClipBorders();
    if (currentTool_ != dtText) PushUndoState();
}

void TImageEditorForm::Image1Click() {
    if (!(TextEdit.Visible() && TextEdit.Focused())) ScrollBox1.SetFocus();
}

// ---- auto-scroll while the drag is outside the view

void TImageEditorForm::StartTimer1(bool enabled) {
    if (enabled == timer1Enabled_ || !timerWindow_) return;
    timer1Enabled_ = enabled;
    if (enabled)
        timerWindow_->StartTimer(1, AutoScrollMilliseconds);
    else
        timerWindow_->StopTimer(1);
}

void TImageEditorForm::Timer1Timer() {
    auto follow = [](int position, int client, int pointer) {
        if (pointer > client + position) position += (pointer - (client + position)) / 2;
        if (position > pointer) position -= (position - pointer) / 2;
        return position;
    };
    // Each axis reads the position again after the move before it.
    ScrollBox1.SetHorzPosition(follow(ScrollBox1.Position().x, ScrollBox1.ClientWidth(), dragCurrent_.x));
    ScrollBox1.SetVertPosition(follow(ScrollBox1.Position().y, ScrollBox1.ClientHeight(), dragCurrent_.y));
    StartTimer1(false);  // the next move arms it again while the pointer stays outside
}

// ---- undo and redo

void TImageEditorForm::PushUndoState() {
    undo_.Push(state_.SelectionRect);
    UpdateUndoButtons();
}

void TImageEditorForm::StepUndo() {
    if (!undo_.CanUndo()) return UpdateUndoButtons();
    ShowRestoredStep(undo_.StepUndo());
}

void TImageEditorForm::StepRedo() {
    // Nothing to redo, also when committing an open line has just dropped the undone steps.
    if (!undo_.CanRedo()) return UpdateUndoButtons();
    ShowRestoredStep(undo_.StepRedo());
}

void TImageEditorForm::ShowRestoredStep(const Rect& selection) {
    state_.SelectionRect = selection;
    // The restored step is grey all round its own selection.
    unfilled_ = {};
    filledFor_ = selection;
    Repaint(undo_.LastRestored());
    FillClipBorders();
    DisplayClipSize();
    UpdateUndoButtons();
}

void TImageEditorForm::UpdateUndoButtons() {
    CmdUndo.SetEnabled(undo_.CanUndo());
    CmdRedo.SetEnabled(undo_.CanRedo());
}

void TImageEditorForm::UndoClick() {
    FinishTextInput();
    StepUndo();
}

void TImageEditorForm::CmdRedoClick() {
    FinishTextInput();
    StepRedo();
}

}  // namespace snapora
