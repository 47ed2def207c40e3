#include "settings/SettingsDialogForm.h"

namespace snapora {

TSettingsDialogForm::TSettingsDialogForm(Application& app, ProgramContext& context)
    : Form(app, "SettingsDialogForm"), context_(context) {
    SetCaption("Einstellungen");
    Border = BorderStyle::Dialog;
    MinimizeBox = MaximizeBox = false;
    SetClientSize(425, 345);
    CentreOnScreen = true;

    CopyURLCheckBox.SetBounds(16, 16, 393, 17);
    CopyURLCheckBox.SetCaption("Screenshot-URL nach Upload in Zwischenablage kopieren");
    AlwaysAskForDirectoryCheckBox.SetBounds(16, 48, 393, 17);
    AlwaysAskForDirectoryCheckBox.SetCaption("Jedes Mal nach Ordner fragen");
    AlwaysAskForDirectoryCheckBox.SetChecked(true);
    StandardDirLabel.SetBounds(16, 76, 90, 13);
    StandardDirLabel.SetCaption("Standard-Ordner:");
    StandardDirEdit.SetBounds(112, 72, 297, 21);
    UsernameLabel.SetBounds(16, 116, 90, 13);
    UsernameLabel.SetCaption("Username:");
    UsernameEdit.SetBounds(112, 112, 177, 21);
    PasswordLabel.SetBounds(16, 148, 90, 13);
    PasswordLabel.SetCaption("Passwort:");
    PasswordEdit.SetBounds(112, 144, 177, 21);
    PasswordEdit.PasswordChar = '*';
    CloseButton.SetBounds(328, 304, 81, 25);
    CloseButton.SetCaption("OK");
    CloseButton.SetDefault(true);
    CloseButton.Cancel = true;
    CloseButton.ModalResult = mrOk;

    AlwaysAskForDirectoryCheckBox.OnClick = [this] { AlwaysAskForDirectoryCheckBoxClick(); };
    AlwaysAskForDirectoryCheckBoxClick();
}

void TSettingsDialogForm::AlwaysAskForDirectoryCheckBoxClick() {
    StandardDirEdit.SetEnabled(!AlwaysAskForDirectoryCheckBox.Checked());
}

}  // namespace snapora
