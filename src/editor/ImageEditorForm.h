#pragma once
// The screenshot editor: the grab at full size in a scrollable view, the crop
// frame and the monitor choice, the drawing tools, text, undo and redo, and
// the three endings (upload, save, abort) that the capture road reads back.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramContext.h"
#include "editor/DrawingTool.h"
#include "editor/UndoStack.h"
#include "platform/MessageWindows.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/ScrollBox.h"
#include "ui/StatusBar.h"
#include "ui/ToolBar.h"

namespace snapora {

class TImageEditorForm : public Form {
public:
    TImageEditorForm(Application& app, ProgramContext& context);
    ~TImageEditorForm() override;

    // Layout, top to bottom.
    TPanel MenuPanel{this, "MenuPanel"};
    TComboBox MonitorSelectBox{&MenuPanel, "MonitorSelectBox"};
    TPanel DesktopPanel{&MenuPanel, "DesktopPanel"};
    TImage DesktopImage{&DesktopPanel, "DesktopImage"};
    TPanel ToolbarPanel{&MenuPanel, "ToolbarPanel"};
    TToolBar ToolBar1{&ToolbarPanel, "ToolBar1"};
    TPanel ColorPanel{&ToolBar1, "ColorPanel"};
    TToolButton ToolButton1{&ToolBar1, "ToolButton1"};
    TEdit PenWidthEdit{&ToolBar1, "PenWidthEdit"};
    TUpDown PenWidth{&ToolBar1, "PenWidth"};
    TToolButton ToolButton2{&ToolBar1, "ToolButton2"};
    TToolButton CmdClip{&ToolBar1, "CmdClip"};
    TToolButton CmdPen{&ToolBar1, "CmdPen"};
    TToolButton CmdLine{&ToolBar1, "CmdLine"};
    TToolButton CmdArrow{&ToolBar1, "CmdArrow"};
    TToolButton CmdRectangle{&ToolBar1, "CmdRectangle"};
    TToolButton CmdEllipse{&ToolBar1, "CmdEllipse"};
    TToolButton CmdClearClip{&ToolBar1, "CmdClearClip"};
    TToolButton CmdText{&ToolBar1, "CmdText"};
    TToolButton ToolButton3{&ToolBar1, "ToolButton3"};
    TEdit CaptionEdit{&ToolBar1, "CaptionEdit"};
    TToolButton ToolButton4{&ToolBar1, "ToolButton4"};
    TToolButton CmdUndo{&ToolBar1, "CmdUndo"};
    TToolButton CmdRedo{&ToolBar1, "CmdRedo"};
    TToolButton ToolButton5{&ToolBar1, "ToolButton5"};
    TButton UploadButton{&ToolBar1, "UploadButton"};
    TToolButton ToolButton6{&ToolBar1, "ToolButton6"};
    TButton SaveButton{&ToolBar1, "SaveButton"};
    TToolButton ToolButton7{&ToolBar1, "ToolButton7"};
    TButton AbortButton{&ToolBar1, "AbortButton"};
    TScrollBox ScrollBox1{this, "ScrollBox1"};
    TImage Image1{&ScrollBox1, "Image1"};
    TEdit TextEdit{&ScrollBox1, "TextEdit"};
    TStatusBar StatusBar1{this, "StatusBar1"};

    // The picture being edited is Image1.Picture; the caller fills it and
    // UneditedBitmap (in the capture state) before showing the window.
    Bitmap& Picture() { return Image1.Picture; }

    // Lifecycle.
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void FormKeyPress(char& key);
    void FormKeyDown(std::uint16_t& key, unsigned shift);
    // Ctrl+Z undoes, Ctrl+Y and Ctrl+Shift+Z redo; true when the key was one of them.
    bool UndoKey(std::uint16_t key, unsigned shift);
    // The application-wide message hook: the mouse wheel scrolls the view.
    void AppMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, bool& handled);
    void StatusText(const std::string& text) { StatusBar1.SetPanelText(2, text); }

    // Tools and colours.
    void SetDrawingTool(std::uint8_t tool);
    void SetCursor();
    void UpdateToolColor();
    void ColorPanelClick();
    void PenWidthEditChange();
    void DrawShape(Point start, Point end, PenMode mode);

    // The picture's mouse handlers; the view sends its own mouse events here too.
    void Image1MouseDown(MouseButton button, unsigned shift, int x, int y);
    void Image1MouseMove(unsigned shift, int x, int y);
    void Image1MouseUp(MouseButton button, unsigned shift, int x, int y);
    void Image1Click();
    void Timer1Timer();
    bool AutoScrollArmed() const { return timer1Enabled_; }

    // Undo and redo.
    void PushUndoState();
    void StepUndo();
    void StepRedo();
    void UpdateUndoButtons();
    void UndoClick();
    void CmdRedoClick();
    int UndoIndex() const { return undo_.Index(); }
    int UndoCount() const { return undo_.Count(); }
    std::size_t UndoBytesHeld() const { return undo_.BytesHeld(); }

    // The selection and the monitors.
    void FillClipBorders();
    void DisplayClipSize();
    void RightRect();
    void SelectMonitor(int index);
    void DrawMonitorSelection(int start, int width);
    void MonitorSelectBoxChange();
    void DesktopPanelMouseDown(MouseButton button, unsigned shift, int x, int y);
    void DesktopPanelClick();
    void DesktopPanelDblClick();
    const std::vector<Rect>& MonitorsLeftToRight() const { return monitorsLeftToRight_; }
    int LeftmostMonitorEdge() const { return leftmostMonitorEdge_; }
    const Bitmap& DesktopThumbnail() const { return desktopThumbnail_; }

    // The text tool.
    void PlaceTextBox(int x, int y);
    void TextEditChange();
    void TextEditKeyPress(char& key);
    void FinishTextInput();
    // A line is being typed: the box shows, with or without the focus.
    bool TextBoxOpen() const { return TextEdit.Visible(); }
    Point TextAnchor() const { return textAnchor_; }

    // The three endings.
    void UploadButtonClick();
    void SaveButtonClick();
    void AbortButtonClick();

    std::uint8_t CurrentTool() const { return currentTool_; }
    bool LeftButtonDown() const { return leftButtonDown_; }
    Point DragStart() const { return dragStart_; }
    Point DragCurrent() const { return dragCurrent_; }

    // Colours of the editor.
    static constexpr Colour WindowColour = 10724259;  // grey 163, 163, 163
    static constexpr Colour DesktopPanelColour = 176;  // dark red

private:
    void LayOut();
    void BindHandlers();
    void ToolButtonClicked(TToolButton& button, std::uint8_t tool);
    bool CommitCrop(Point release);
    void BuildMonitorList();
    // Every change of the picture's pixels goes through here first, so the undo
    // history knows what it was; afterwards the view repaints the area.
    void Touch(const Rect& area) {
        undo_.Touch(area);
        unfilled_ = unfilled_.Union(area);
    }
    void Repaint(const Rect& area) { Image1.PictureChanged(area); }
    void FillBands(const Rect& within);
    void ShowRestoredStep(const Rect& selection);
    void StartTimer1(bool enabled);

    ProgramContext& context_;
    CaptureState& state_;
    UndoStack undo_{Image1.Picture};
    std::unique_ptr<HiddenWindow> timerWindow_;  // Timer1: the auto-scroll's 50 ms tick
    bool timer1Enabled_ = false;

    std::uint8_t currentTool_ = dtClip;
    bool leftButtonDown_ = false;
    Point dragStart_, dragCurrent_;
    Point textAnchor_;
    std::vector<Rect> monitorsLeftToRight_;
    int monitorCount_ = 0;
    int leftmostMonitorEdge_ = 0;
    Bitmap desktopThumbnail_;
    int desktopClickX_ = 0;
    // Where the picture may have left the grey outside the selection since the
    // surround was last known whole; the rest is grey already.
    Rect unfilled_;
    Rect filledFor_;  // the selection the surround was last filled for
};

}  // namespace snapora
