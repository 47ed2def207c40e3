// The main window's controls: positions, sizes, texts, fonts and hints.

#include "app/MainForm.h"

#include "resources/MainFormDonateButton.h"
#include "upload/UploadThread.h"

namespace snapora {

namespace {
Font WithColour(Font font, Colour colour) {
    font.colour = colour;
    return font;
}
}  // namespace

TMainForm::TMainForm(Application& app, ProgramContext& context)
    : Form(app, "MainForm"),
      SaveDialog1(context.platform.dialogs, *this),
      HotKeyControl1(context.platform.messageWindows, context.platform.hotKeys),
      TrayIcon(app, *this, context.platform.notificationArea, context.platform.messageWindows,
               context.platform.hotKeys),
      context_(context),
      state_(context.state) {
    LayOut();
    BuildPopupMenu();
    BindHandlers();
}

void TMainForm::LayOut() {
    SetCaption("Screenshot");
    Border = BorderStyle::Single;
    MaximizeBox = false;
    SetClientSize(410, 280);
    CentreOnScreen = true;
    KeyPreview = true;

    Label1.SetBounds(8, 8, 393, 17);
    ProgressBar1.SetBounds(8, 32, 393, 17);
    ProgressBar1.Min = 0;
    ProgressBar1.Max = 100;
    ProgressBar1.Hide();

    Notebook1.SetBounds(8, 56, 393, 89);
    for (TPage* page : {&Page1, &Page2}) page->SetBounds(0, 0, 393, 89);
    Notebook1.PagesCreated();

    Label2.SetBounds(40, 5, 313, 49);
    Label2.SetCaption("Zum Auslösen des Screenshots Druck-Taste drücken!");
    Label2.TextAlign = Alignment::Centre;
    Label2.WordWrap = true;
    Font big;
    big.pixelHeight = 19;
    Label2.SetFont(big);

    ShortcutLabel.SetBounds(0, 65, 393, 17);
    ShortcutLabel.SetCaption("(oder Strg+Ende)");
    ShortcutLabel.TextAlign = Alignment::Centre;
    Font greyBold = WithColour(Font{}, clGray);
    greyBold.bold = true;
    ShortcutLabel.SetFont(greyBold);

    RenameLabel.SetBounds(0, 16, 95, 13);
    RenameLabel.SetCaption("Screenshot-Name:");
    RenameEdit.SetBounds(96, 8, 169, 21);
    RenameButton.SetBounds(280, 5, 113, 28);
    RenameButton.SetCaption("Umbenennen");
    DisplayURLEdit.SetBounds(0, 48, 273, 21);
    DisplayURLEdit.ReadOnly = true;
    DisplayURLEdit.SetColor(clBtnFace);
    Button1.SetBounds(280, 48, 113, 21);
    Button1.SetCaption("Ältere Screenshots");

    ActiveWindowCheckBox.SetBounds(8, 152, 177, 17);
    ActiveWindowCheckBox.SetCaption("Nur aktives Fenster speichern");
    ActiveWindowCheckBox.SetChecked(true);
    ActiveWindowCheckBox.Hint =
        "Nur das aktuelle Fenster, in dem Sie gerade arbeiten, abfotografieren (Shift + Druck)";

    SaveLocalCheckBox.SetBounds(216, 152, 177, 17);
    SaveLocalCheckBox.SetCaption("Nur auf Festplatte speichern");
    SaveLocalCheckBox.Hint =
        "Screenshot nicht auf den Server hochladen, sondern (in höchster Qualität) auf dem Computer speichern";

    EditCheckBox.SetBounds(8, 176, 153, 17);
    EditCheckBox.SetCaption("Anschließend bearbeiten");
    EditCheckBox.Hint = "Screenshot vor dem Upload bearbeiten (Ausschnitt wählen, Linien einzeichnen etc.)";

    SessionModeCheckBox.SetBounds(216, 176, 105, 17);
    SessionModeCheckBox.SetCaption("Session-Modus");
    SessionModeCheckBox.Hint =
        "Mit dem Session-Modus können verschiedenen Zuschauern mehrere Screenshots hintereinander gezeigt werden";

    SaveOptionsCheckBox.SetBounds(8, 207, 145, 17);
    SaveOptionsCheckBox.SetCaption("Einstellungen speichern");
    SaveOptionsCheckBox.Hint = "Alle Einstellungen beim Programmende in der Windows-Registry speichern";

    // The session address lies over the donate button while a session runs.
    SessionUrlPanel.SetBounds(208, 248, 97, 25);
    SessionUrlPanel.Bevel = BevelKind::Lowered;
    SessionUrlPanel.Hide();
    SessionUrlEdit.SetBounds(2, 2, 93, 21);
    SessionUrlEdit.ReadOnly = true;
    SessionUrlEdit.SetColor(clSilver);
    SessionUrlEdit.TabStop = false;

    Panel2.SetBounds(0, 232, 409, 49);
    Panel2.Bevel = BevelKind::None;
    Bevel1.SetBounds(0, 0, 409, 2);
    Bevel1.TopLineOnly = true;
    Image1.SetBounds(8, 10, 32, 32);
    Image1.ShowsProgramIcon = true;
    Label4.SetBounds(51, 12, 150, 13);
    Label4.SetCaption("Snapora 4.2 - Screenshots teilen");
    Label5.SetBounds(48, 28, 155, 13);
    Label5.SetCaption("http://" + context_.endpoints.websiteHost);
    Font link = WithColour(Font{}, clBlue);
    link.bold = true;
    Label5.SetFont(link);
    Label5.CursorShape = Cursor::HandPoint;
    DonateButton.SetBounds(208, 16, 88, 23);
    DonateButton.CursorShape = Cursor::HandPoint;
    DonateButton.SetTimerServices({&context_.platform, &App()});
    DonateButton.ReadData({reinterpret_cast<const char*>(kMainFormDonateButtonData), sizeof kMainFormDonateButtonData});
    SettingsButton.SetBounds(312, 16, 89, 25);
    SettingsButton.SetCaption("Einstellungen");

    SaveDialog1.DefaultExt = "jpg";
    SaveDialog1.Filter = "JPEG-Dateien (*.jpg)|*.jpg";
    // File-must-exist would refuse every new name in a save dialog; it is left out.
    SaveDialog1.Options = OFN_OVERWRITEPROMPT_ | OFN_HIDEREADONLY_ | OFN_PATHMUSTEXIST_ | OFN_ENABLESIZING_;

    // The stored properties are in: the donate button loads its picture.
    DonateButton.Loaded();
}

void TMainForm::BuildPopupMenu() {
    auto item = [](TMenuItem& it, const char* name, const char* caption) {
        it.Name = name;
        it.Caption = caption;
    };
    item(PopupShow, "PopupShow", "Anzeigen / Ausblenden");
    PopupShow.Default = true;
    item(Screenshotauslsen1, "Screenshotauslsen1", "Screenshot auslösen");
    item(N2, "N2", "-");
    item(ScreenshotListe1, "ScreenshotListe1", "Screenshot-Chronik");
    item(N1, "N1", "-");
    item(PopupExit, "PopupExit", "Beenden");
    PopupMenu1.Items = {&PopupShow, &Screenshotauslsen1, &N2, &ScreenshotListe1, &N1, &PopupExit};

    // The alternative shortcut waits for the settings before it registers.
    HotKeyControl1.BeginLoading();
    HotKeyControl1.SetEnabled(false);
    HotKeyControl1.SetKey(0x4023);
    HotKeyControl1.Loaded();

    // The tray icon stays away until the settings switch it on.
    TrayIcon.BeginLoading();
    TrayIcon.SetActive(false);
    TrayIcon.SetHint("Snapora");
    TrayIcon.SetShowHint(true);
    TrayIcon.SetUseAppIcon(true);
    TrayIcon.PopupMenu = &PopupMenu1;
    TrayIcon.Loaded();
}

void TMainForm::BindHandlers() {
    OnCreate = [this] { FormCreate(); };
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
    OnClose = [this] { FormClose(); };
    OnDestroy = [this] { FormDestroy(); };
    OnKeyDown = [this](std::uint16_t& key, unsigned shift) { FormKeyDown(key, shift); };
    OnMessage = [this](unsigned message, std::uintptr_t wParam, std::intptr_t, std::intptr_t& result) {
        switch (message) {
            case WM_HOTKEY_:
                WMHotKey(int(wParam));
                result = 0;
                return true;
            case WM_QUERYENDSESSION_:
                result = WMQueryEndSession();
                return true;
            default:
                return false;
        }
    };

    PopupShow.OnClick = [this] { PopupShowClick(); };
    Screenshotauslsen1.OnClick = [this] { Screenshotauslsen1Click(); };
    ScreenshotListe1.OnClick = [this] { ScreenshotListe1Click(); };
    PopupExit.OnClick = [this] { PopupExitClick(); };
    Button1.OnClick = [this] { ScreenshotListe1Click(); };
    RenameButton.OnClick = [this] { RenameButtonClick(); };
    SettingsButton.OnClick = [this] { SettingsButtonClick(); };
    DonateButton.OnClick = [this] { DonateButtonClick(); };
    Label5.OnClick = [this] { Label5Click(); };
    ActiveWindowCheckBox.OnClick = [this] { ActiveWindowCheckBoxClick(); };
    SaveOptionsCheckBox.OnClick = [this] { SaveOptionsCheckBoxClick(); };
    SessionModeCheckBox.OnClick = [this] { SessionModeCheckBoxClick(); };
    HotKeyControl1.OnHotKey = [this] { HotKeyControl1HotKey(); };
    TrayIcon.OnDblClick = [this] { PopupShowClick(); };
}

}  // namespace snapora
