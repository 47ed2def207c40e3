// The editor window: its controls, its start at program start, every showing,
// its keys, the mouse wheel and its three endings.

#include "editor/ImageEditorForm.h"

#include "imaging/BmpFile.h"
#include "imaging/Resample.h"

namespace snapora {

namespace {
constexpr unsigned WM_SIZE_ = 0x0005;
constexpr unsigned WM_MOUSEWHEEL_ = 0x020A;
constexpr std::uint16_t VK_F10_ = 0x79;
constexpr std::uint16_t VK_ESCAPE_ = 0x1B;
constexpr int MenuPanelHeight = 37;
constexpr int StatusBarHeight = 17;
constexpr int WheelStep = 40;
}  // namespace

TImageEditorForm::TImageEditorForm(Application& app, ProgramContext& context)
    : Form(app, "ImageEditorForm"), context_(context), state_(context.state) {
    SetCaption("Screenshot bearbeiten");
    SetColor(WindowColour);
    KeyPreview = true;
    Border = BorderStyle::Sizeable;
    SetClientSize(1066, 703);

    MenuPanel.Bevel = BevelKind::Lowered;
    MonitorSelectBox.SetBounds(8, 8, 113, 21);
    DesktopPanel.Bevel = BevelKind::None;
    DesktopPanel.SetColor(DesktopPanelColour);
    DesktopImage.MouseTransparent = true;  // the panel takes the clicks
    ToolbarPanel.Bevel = BevelKind::None;
    ToolbarPanel.SetBounds(136, 8, 799, 27);
    ToolBar1.SetBounds(0, 0, 799, 27);
    ToolBar1.SetColor(clBtnFace);

    ColorPanel.SetBounds(0, 0, 33, 22);
    ColorPanel.Bevel = BevelKind::Lowered;
    ColorPanel.Hint = "Zeichenfarbe ändern";
    PenWidthEdit.SetBounds(0, 0, 30, 21);
    PenWidthEdit.ReadOnly = true;
    PenWidthEdit.Hint = "Zeichenstärke";
    PenWidth.SetBounds(0, 0, 16, 21);
    PenWidth.Min = 1;
    PenWidth.Max = 100;
    PenWidth.Associate = &PenWidthEdit;
    PenWidth.Hint = PenWidthEdit.Hint;
    struct ToolButtonText {
        TToolButton* button;
        const char* hint;
    };
    const ToolButtonText tools[] = {
        {&CmdClip, "Zuschneiden"},  {&CmdPen, "Stift"},       {&CmdLine, "Linie"},
        {&CmdArrow, "Pfeil"},       {&CmdRectangle, "Rechteck"}, {&CmdEllipse, "Ellipse"},
        {&CmdClearClip, "Rechteck füllen"}, {&CmdText, "Text"},
    };
    for (int i = 0; i < DrawingToolCount; ++i) {
        tools[i].button->ImageIndex = i;
        tools[i].button->Hint = tools[i].hint;
        tools[i].button->Grouped = true;
    }
    for (TToolButton* separator : {&ToolButton1, &ToolButton2, &ToolButton3, &ToolButton4, &ToolButton5,
                                   &ToolButton6, &ToolButton7})
        separator->Style = ToolButtonStyle::Separator;
    CaptionEdit.SetBounds(0, 0, 136, 21);
    CaptionEdit.Hint = "Titel oder Kommentar zum Screenshot";
    CmdUndo.ImageIndex = 8;
    CmdUndo.Hint = "Rückgängig";
    CmdRedo.ImageIndex = 9;
    CmdRedo.Hint = "Wiederherstellen";
    struct EndButton {
        TButton* button;
        const char* caption;
        const char* hint;
    };
    for (const EndButton& b : {EndButton{&UploadButton, "Hochladen", "Bearbeitung beenden und Screenshot hochladen"},
                               EndButton{&SaveButton, "Speichern",
                                         "Bearbeitung beenden und Screenshot in höchster Qualität auf Festplatte speichern"},
                               EndButton{&AbortButton, "Abbrechen", "Abbrechen und Screenshot verwerfen (F10)"}}) {
        b.button->SetCaption(b.caption);
        b.button->Hint = b.hint;
        b.button->SetBounds(0, 0, 80, 22);
        b.button->TabStop = false;
    }
    ToolBar1.Realign();

    ScrollBox1.SetColor(WindowColour);
    Image1.AutoSize = true;
    TextEdit.Border = false;
    TextEdit.WantsReturn = true;  // Enter draws the line
    TextEdit.SetBounds(0, 0, 20, 23);
    Font tahoma;
    tahoma.name = "Tahoma";
    tahoma.pixelHeight = 19;
    TextEdit.SetFont(tahoma);
    TextEdit.Hide();
    StatusBar1.SetPanels({150, 130, 0});
    LayOut();
    BindHandlers();
}

TImageEditorForm::~TImageEditorForm() = default;

void TImageEditorForm::LayOut() {
    int w = ClientWidth(), h = ClientHeight();
    MenuPanel.SetBounds(0, 0, w, MenuPanelHeight);
    ScrollBox1.SetBounds(0, MenuPanelHeight, w, std::max(0, h - MenuPanelHeight - StatusBarHeight));
    StatusBar1.SetBounds(0, std::max(0, h - StatusBarHeight), w, StatusBarHeight);
    ScrollBox1.RangeChanged();
}

void TImageEditorForm::BindHandlers() {
    OnCreate = [this] { FormCreate(); };
    OnShow = [this] { FormShow(); };
    OnClose = [this] { FormClose(); };
    OnDestroy = [this] { FormDestroy(); };
    OnKeyPress = [this](char& key) { FormKeyPress(key); };
    OnKeyDown = [this](std::uint16_t& key, unsigned shift) { FormKeyDown(key, shift); };
    OnMessage = [this](unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t&) {
        if (message == WM_SIZE_) LayOut();  // the view and the bars follow the window
        return false;
    };

    const std::pair<TToolButton*, std::uint8_t> tools[] = {
        {&CmdClip, dtClip},           {&CmdPen, dtPen},         {&CmdLine, dtLine},
        {&CmdArrow, dtArrow},         {&CmdRectangle, dtRectangle}, {&CmdEllipse, dtEllipse},
        {&CmdClearClip, dtClearClip}, {&CmdText, dtText},
    };
    for (auto [button, tool] : tools) button->OnClick = [this, button, tool] { ToolButtonClicked(*button, tool); };
    ColorPanel.OnClick = [this] { ColorPanelClick(); };
    PenWidthEdit.OnChange = [this] { PenWidthEditChange(); };
    CmdUndo.OnClick = [this] { UndoClick(); };
    CmdRedo.OnClick = [this] { CmdRedoClick(); };
    UploadButton.OnClick = [this] { UploadButtonClick(); };
    SaveButton.OnClick = [this] { SaveButtonClick(); };
    AbortButton.OnClick = [this] { AbortButtonClick(); };

    Image1.OnMouseDown = [this](MouseButton b, unsigned s, int x, int y) { Image1MouseDown(b, s, x, y); };
    Image1.OnMouseMove = [this](unsigned s, int x, int y) { Image1MouseMove(s, x, y); };
    Image1.OnMouseUp = [this](MouseButton b, unsigned s, int x, int y) { Image1MouseUp(b, s, x, y); };
    Image1.OnClick = [this] { Image1Click(); };
    // The view's own area beside a small picture: the same handlers, and since
    // the picture sits at the view's origin the coordinates agree.
    ScrollBox1.OnMouseDown = Image1.OnMouseDown;
    ScrollBox1.OnMouseMove = Image1.OnMouseMove;
    ScrollBox1.OnMouseUp = Image1.OnMouseUp;
    ScrollBox1.OnClick = Image1.OnClick;

    TextEdit.OnChange = [this] { TextEditChange(); };
    TextEdit.OnKeyPress = [this](char& key) { TextEditKeyPress(key); };
    MonitorSelectBox.OnChange = [this] { MonitorSelectBoxChange(); };
    DesktopPanel.OnMouseDown = [this](MouseButton b, unsigned s, int x, int y) { DesktopPanelMouseDown(b, s, x, y); };
    DesktopPanel.OnClick = [this] { DesktopPanelClick(); };
    DesktopPanel.OnDblClick = [this] { DesktopPanelDblClick(); };
}

void TImageEditorForm::ToolButtonClicked(TToolButton& button, std::uint8_t tool) {
    SetDrawingTool(tool);
    button.SetDown(true);
}

void TImageEditorForm::FormCreate() {
    BuildMonitorList();
    App().RegisterCursor(Cursor::Pen, "Pen");
    ToolBar1.Images = ReadBmp(context_.platform.process.ProgramResource("TOOLBUTTONS"));
    ToolbarPanel.SetColor(ToolBar1.Color());
    MenuPanel.SetColor(ToolBar1.Color());
    timerWindow_ = context_.platform.messageWindows.Create(
        [this](unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t&) {
            if (message != WM_TIMER_) return false;
            Timer1Timer();
            return true;
        });
    PenWidth.SetPosition(state_.PenWidth);
}

void TImageEditorForm::FormShow() {
    LayOut();  // the caller has sized the window
    // The default action's button stands out.
    Font normal = UploadButton.GetFont(), bold = normal;
    normal.bold = false;
    bold.bold = true;
    bool saves = state_.OutputMode == omSaveLocally;
    SaveButton.SetFont(saves ? bold : normal);
    UploadButton.SetFont(saves ? normal : bold);

    bool monitors = !state_.ActiveWindowOnly;
    MonitorSelectBox.SetVisible(monitors);
    DesktopPanel.SetVisible(monitors);
    ToolbarPanel.SetLeft(monitors ? DesktopPanel.Left() + DesktopPanel.Width() + 15 : 10);

    // The caller put a new picture in: nothing of the surround is known.
    Image1.PictureChanged();
    ScrollBox1.RangeChanged();
    ScrollBox1.ScrollTo(0, 0);
    unfilled_ = Picture().Bounds();
    filledFor_ = {};
    PenWidth.SetPosition(state_.PenWidth);

    state_.SelectionRect = Picture().Bounds();
    if (!monitors) {
        DisplayClipSize();
    } else {
        desktopThumbnail_.SetSize(DesktopImage.Width(), DesktopImage.Height());
        if (!desktopThumbnail_.IsEmpty() && !state_.UneditedBitmap.IsEmpty())
            ResampleBitmap(state_.UneditedBitmap, desktopThumbnail_, FilterTable[0].Function, float(DesktopImage.Width()));
        MonitorSelectBox.SetItemIndex(0);
        MonitorSelectBoxChange();
    }

    undo_.Clear();
    PushUndoState();
    UpdateUndoButtons();

    TextEdit.Hide();
    CaptionEdit.SetText("Titel...");
    ScrollBox1.SetFocus();
    CmdClip.SetDown(true);
    ToolButtonClicked(CmdClip, dtClip);
    UpdateToolColor();
    if (monitors) SetBounds(0, 0, Width(), Height());
}

void TImageEditorForm::FormClose() {
    FinishTextInput();  // an open line goes into the picture before the caller reads it
    StartTimer1(false);
    state_.UneditedBitmap.SetSize(0, 0);
    desktopThumbnail_.SetSize(0, 0);
}

void TImageEditorForm::FormDestroy() {
    undo_.Clear();
    timerWindow_.reset();
}

void TImageEditorForm::FormKeyPress(char& key) {
    if (key == 27) {
        key = 0;
        FinishTextInput();
        Close();  // the capture goes on with the default action
    }
}

void TImageEditorForm::FormKeyDown(std::uint16_t& key, unsigned shift) {
    if (UndoKey(key, shift)) {
        key = 0;
        return;
    }
    if (key == VK_F10_) {
        key = 0;
        AbortButton.Click();
    } else if (key == VK_ESCAPE_) {
        // Taken as the key goes down, before the dialog manager would turn it into
        // a Cancel command: the same as the character, which then never comes.
        char escape = 27;
        FormKeyPress(escape);
        if (escape == 0) key = 0;
    }
}

bool TImageEditorForm::UndoKey(std::uint16_t key, unsigned shift) {
    // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z. In a text field (the open text box,
    // the title) they belong to the field: undoing its typing, not the picture.
    bool undo = key == 'Z' && shift == ssCtrl;
    bool redo = (key == 'Y' && shift == ssCtrl) || (key == 'Z' && shift == (ssCtrl | ssShift));
    if (!(undo || redo) || TextBoxOpen() || CaptionEdit.Focused()) return false;
    TToolButton& button = undo ? CmdUndo : CmdRedo;
    if (button.Enabled()) button.Click();
    return true;
}

void TImageEditorForm::AppMessage(unsigned message, std::uintptr_t wParam, std::intptr_t, bool&) {
    if (message != WM_MOUSEWHEEL_ || !Visible() || !ScrollBox1.Focused()) return;
    auto delta = std::int16_t(std::uint16_t(wParam >> 16));
    Point p = ScrollBox1.Position();
    ScrollBox1.SetVertPosition(delta > 0 ? p.y - WheelStep : p.y + WheelStep);
}

// The ways out that keep the picture take an open line along first, as its own step.
void TImageEditorForm::UploadButtonClick() {
    FinishTextInput();
    state_.OutputMode = omUpload;
    SetModalResult(mrOk);
}

void TImageEditorForm::SaveButtonClick() {
    FinishTextInput();
    state_.OutputMode = omSaveLocally;
    SetModalResult(mrOk);
}

void TImageEditorForm::AbortButtonClick() {
    state_.OutputMode = omAbort;
    SetModalResult(mrOk);
}

}  // namespace snapora
