// The text tool: a borderless box over the picture that grows with its line;
// Enter draws the line and opens the next one below.

#include "editor/ImageEditorForm.h"

namespace snapora {

namespace {
constexpr int TextRaise = 11;  // the line is drawn this far above the clicked point
}  // namespace

void TImageEditorForm::PlaceTextBox(int x, int y) {
    textAnchor_ = {x, y};
    TextEdit.SetText("");
    TextEdit.SetBounds(Image1.Left() + x, Image1.Top() + y - TextEdit.Height() / 2, TextEdit.Width(),
                       TextEdit.Height());
    TextEditChange();
    TextEdit.SetColor(Picture().Pixel(x, y));
    Font font = TextEdit.GetFont();
    font.name = "Tahoma";
    TextEdit.SetFont(font);
    TextEdit.Show();
    TextEdit.SetFocus();
}

void TImageEditorForm::TextEditChange() {
    Font font = TextEdit.GetFont();
    font.colour = ColorPanel.Color();
    TextEdit.SetFont(font);
    Canvas& canvas = Picture().Canvas();
    canvas.font = font;
    TextEdit.SetBounds(TextEdit.Left(), TextEdit.Top(), canvas.TextWidth(TextEdit.Text()) + 20, TextEdit.Height());
}

void TImageEditorForm::TextEditKeyPress(char& key) {
    if (key != 13) return;
    FinishTextInput();
    key = 0;
    textAnchor_.y += TextEdit.Height();
    TextEdit.SetTop(Image1.Top() + textAnchor_.y - TextEdit.Height() / 2);
    TextEdit.SetText("");
    TextEditChange();
    // The box's place in the view, read as a place in the picture.
    TextEdit.SetColor(Picture().Pixel(TextEdit.Left(), TextEdit.Top()));
    TextEdit.Show();
    TextEdit.SetFocus();
}

void TImageEditorForm::FinishTextInput() {
    // A line in sight is a line the user wants in the picture, wherever the
    // focus went meanwhile (a button takes it before its click arrives).
    if (!TextBoxOpen()) return;
    TextEdit.Hide();
    if (TextEdit.Focused()) ScrollBox1.SetFocus();  // a hidden box keeps no focus
    const std::string& text = TextEdit.Text();
    if (text.empty()) return;
    Canvas& canvas = Picture().Canvas();
    canvas.brush.style = BrushStyle::Clear;
    canvas.font = TextEdit.GetFont();
    int x = textAnchor_.x, y = textAnchor_.y - TextRaise;
    int width = canvas.TextWidth(text), height = canvas.TextHeight(text);
    // Letters may reach a little beyond their cell (overhangs, smoothing).
    Rect touched = Rect::FromSize(x, y, width, height).Inflate(height / 2 + 2);
    Touch(touched);
    canvas.TextOutAt(x, y, text);
    Repaint(touched);
    FillClipBorders();
    PushUndoState();
}

}  // namespace snapora
