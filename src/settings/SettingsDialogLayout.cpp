// The settings dialog's controls: two tab pages, positions, texts and hints.

#include "settings/SettingsDialogForm.h"

namespace snapora {

TSettingsDialogForm::TSettingsDialogForm(Application& app, ProgramContext& context)
    : Form(app, "SettingsDialogForm"), Shortcut{context.state.AlternativeShortcut}, context_(context) {
    LayOut();
    BindHandlers();
}

void TSettingsDialogForm::LayOut() {
    SetCaption("Einstellungen");
    Border = BorderStyle::Dialog;
    MinimizeBox = MaximizeBox = false;
    SetClientSize(490, 345);
    CentreOnScreen = true;

    PageControl1.SetBounds(8, 8, 474, 273);
    TabSheet1.SetText(" Allgemeines ");
    TabSheet2.SetText(" Account ");
    for (TTabSheet* sheet : {&TabSheet1, &TabSheet2}) sheet->SetBounds(4, 24, 466, 245);
    PageControl1.PagesCreated();

    TrayIconCheckBox.SetBounds(8, 8, 450, 17);
    TrayIconCheckBox.SetCaption("SysTray-Symbol verwenden (Programm wird mit Windows gestartet)");
    CopyURLCheckBox.SetBounds(8, 30, 450, 17);
    CopyURLCheckBox.SetCaption("Screenshot-URL nach Upload in Zwischenablage kopieren");
    HideDonateButtonCheckBox.SetBounds(8, 52, 450, 17);
    HideDonateButtonCheckBox.SetCaption("Spenden-Button ausblenden");

    ShortcutCaption.SetBounds(8, 82, 240, 13);
    ShortcutCaption.SetCaption("Alternativ-Shortcut für Screenshot:");
    ShortcutEdit.SetBounds(258, 78, 200, 21);

    ListCountCaption.SetBounds(8, 110, 370, 13);
    ListCountCaption.SetCaption("Anzahl der zu speichernden Screenshots in der Chronik:");
    ScreenshotListCount.SetBounds(393, 106, 65, 21);
    ScreenshotListCount.MinValue = 0;
    ScreenshotListCount.MaxValue = 50;
    ScreenshotListCount.SetValue(5);
    ScreenshotListCount.Hint =
        "Gibt an, wie viele der letzten Screenshots gespeichert werden sollen. Die letzten Screenshots können im "
        "Popup-Menü des SysTray-Symbol von Snapora angeschaut werden";

    LocalSaveGroup.SetBounds(8, 140, 450, 97);
    LocalSaveGroup.SetText(" Nur auf Festplatte speichern ");
    AlwaysAskForDirectoryCheckBox.SetBounds(12, 22, 426, 17);
    AlwaysAskForDirectoryCheckBox.SetCaption("Jedes Mal nach Ordner fragen");
    AlwaysAskForDirectoryCheckBox.SetChecked(true);
    StandardDirLabel.SetBounds(12, 54, 105, 13);
    StandardDirLabel.SetCaption("Standard-Ordner:");
    StandardDirEdit.SetBounds(120, 50, 286, 21);
    SelectStandardDirButton.SetBounds(413, 49, 25, 23);
    SelectStandardDirButton.SetCaption("...");

    AccountInfoLabel.SetBounds(8, 8, 450, 65);
    AccountInfoLabel.WordWrap = true;
    UsernameLabel.SetBounds(8, 88, 80, 13);
    UsernameLabel.SetCaption("Username:");
    UsernameEdit.SetBounds(96, 84, 161, 21);
    PasswordLabel.SetBounds(8, 116, 80, 13);
    PasswordLabel.SetCaption("Passwort:");
    PasswordEdit.SetBounds(96, 112, 161, 21);
    PasswordEdit.PasswordChar = '*';
    Font link;
    link.colour = clBlue;
    Label5.SetBounds(280, 88, 170, 13);
    Label5.SetCaption("Account anlegen");
    Label5.SetFont(link);
    Label5.CursorShape = Cursor::HandPoint;
    Label7.SetBounds(280, 116, 170, 13);
    Label7.SetCaption("Account - Anleitung");
    Label7.SetFont(link);
    Label7.CursorShape = Cursor::HandPoint;
    AccountInfoLabel.SetCaption(
        "Mit der Account-Funktion kann man Screenshots unter seinem eigenen Account hochladen. Im Login-Bereich "
        "kann man dann alle eigenen Screenshots auch im Nachhinein noch verwalten, umbenennen oder löschen. Für "
        "mehr Infos klicken Sie auf \"" +
        Label7.Caption() + "\"!");
    Button1.SetBounds(8, 152, 121, 25);
    Button1.SetCaption("Daten testen");
    Button2.SetBounds(136, 152, 121, 25);
    Button2.SetCaption("Felder leeren");
    Button3.SetBounds(8, 184, 249, 25);
    Button3.SetCaption("Auf Website einloggen");

    RegistryInfoLabel.SetBounds(8, 290, 370, 49);
    RegistryInfoLabel.WordWrap = true;
    RegistryInfoLabel.SetCaption(
        "Info: Registry-Verwendung ist deaktiviert! Optionen werden also nicht gespeichert!");
    Font bold;
    bold.bold = true;
    RegistryInfoLabel.SetFont(bold);

    CloseButton.SetBounds(401, 300, 81, 25);
    CloseButton.SetCaption("OK");
    CloseButton.SetDefault(true);
    CloseButton.Cancel = true;
}

void TSettingsDialogForm::BindHandlers() {
    OnShow = [this] { FormShow(); };
    AlwaysAskForDirectoryCheckBox.OnClick = [this] { AlwaysAskForDirectoryCheckBoxClick(); };
    SelectStandardDirButton.OnClick = [this] { SelectStandardDirButtonClick(); };
    ShortcutEdit.OnKeyDown = [this](std::uint16_t& key, unsigned shift) { ShortcutEditKeyDown(key, shift); };
    ShortcutEdit.OnKeyPress = [this](char& key) { ShortcutEditKeyPress(key); };
    ShortcutEdit.OnKeyUp = [this](std::uint16_t& key, unsigned shift) { ShortcutEditKeyUp(key, shift); };
    TrayIconCheckBox.OnClick = [this] { TrayIconCheckBoxClick(); };
    HideDonateButtonCheckBox.OnClick = [this] { HideDonateButtonCheckBoxClick(); };
    Label5.OnClick = [this] { Label5Click(); };
    Label7.OnClick = [this] { Label7Click(); };
    Button1.OnClick = [this] { Button1Click(); };
    Button2.OnClick = [this] { Button2Click(); };
    Button3.OnClick = [this] { Button3Click(); };
    CloseButton.OnClick = [this] { CloseButtonClick(); };
}

}  // namespace snapora
