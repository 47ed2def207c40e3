// What the settings dialog's controls do.

#include "settings/SettingsDialogForm.h"

#include "app/MainForm.h"
#include "upload/HttpClient.h"
#include "upload/Replies.h"
#include "upload/ServiceRequests.h"

namespace snapora {

void TSettingsDialogForm::FormShow() {
    AlwaysAskForDirectoryCheckBoxClick();
    RegistryInfoLabel.SetVisible(!context_.windows.main->SaveOptionsCheckBox.Checked());
    PageControl1.SetFocus();
}

void TSettingsDialogForm::AlwaysAskForDirectoryCheckBoxClick() {
    bool own = !AlwaysAskForDirectoryCheckBox.Checked();
    StandardDirEdit.SetEnabled(own);
    SelectStandardDirButton.SetEnabled(own);
}

void TSettingsDialogForm::SelectStandardDirButtonClick() {
    auto folder = context_.platform.shell.BrowseForFolder(
        Handle(), "Wählen Sie einen Ordner, wo Screenshots standardmäßig gespeichert werden sollen:");
    if (folder) StandardDirEdit.SetText(*folder);
}

std::string TSettingsDialogForm::FormatShortcut(unsigned key, unsigned modifiers) {
    return snapora::FormatShortcut(key, modifiers, Shortcut,
                                   [this](unsigned k) { return context_.platform.hotKeys.KeyNameText(k); });
}

void TSettingsDialogForm::ShortcutEditKeyDown(std::uint16_t& key, unsigned shift) {
    unsigned modifiers = shift & (smShift | smAlt | smCtrl);
    if (IsDialogKey(key, modifiers)) return;  // OK, closing and moving on work as in any dialog
    ShortcutEdit.SetText(FormatShortcut(key, modifiers));
    key = 0;  // the field shows combinations, it is not edited
}

void TSettingsDialogForm::ShortcutEditKeyPress(char& key) { key = 0; }

void TSettingsDialogForm::ShortcutEditKeyUp(std::uint16_t& key, unsigned shift) {
    unsigned modifiers = shift & (smShift | smAlt | smCtrl);
    if (IsModifierKey(key) || IsDialogKey(key, modifiers)) return;  // releasing a modifier changes nothing
    ShortcutEdit.SetText(FormatShortcut(key, modifiers));
}

void TSettingsDialogForm::CloseButtonClick() {
    if (ShortcutEdit.Text() != "(Kein)" && !IsModifierKey(Shortcut.shortcutKey) &&
        IsUsableShortcut(context_.state.AlternativeShortcut)) {
        TMainForm& main = *context_.windows.main;
        main.ShortcutLabel.SetCaption("(oder " + ShortcutEdit.Text() + ")");
        main.HotKeyControl1.SetKey(context_.state.AlternativeShortcut);
    }
    SetModalResult(mrOk);
}

std::string TSettingsDialogForm::GetAutostartLinkPath(int folder) {
    std::string exe = context_.platform.process.ExecutablePath();
    std::string name = exe.substr(exe.find_last_of("\\/") + 1);
    if (auto dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
    return context_.platform.shell.SpecialFolderPath(folder) + name + ".lnk";
}

bool TSettingsDialogForm::SetAutostartLink(int folder, bool wanted, const std::string& arguments) {
    // Without a Startup folder there is nowhere sensible to put the link.
    if (context_.platform.shell.SpecialFolderPath(folder).empty()) return false;
    Files& files = context_.platform.files;
    std::string link = GetAutostartLinkPath(folder);
    bool existed = files.FileExists(link);
    if (!wanted) {
        files.Delete(link);
    } else if (!existed) {
        std::string exe = context_.platform.process.ExecutablePath();
        std::string directory = exe.substr(0, exe.find_last_of("\\/") + 1);
        context_.platform.shell.CreateShellLink(link, exe, arguments, directory, 1, exe, 0);
    }
    return existed;
}

void TSettingsDialogForm::TrayIconCheckBoxClick() {
    context_.windows.main->TrayIcon.SetActive(TrayIconCheckBox.Checked());
    SetAutostartLink(StartupFolder, TrayIconCheckBox.Checked(), "minimized");
}

void TSettingsDialogForm::HideDonateButtonCheckBoxClick() {
    TMainForm& main = *context_.windows.main;
    if (HideDonateButtonCheckBox.Checked() && main.Visible()) {
        int answer = App().MessageBox(
            "Sie dürfen den Spenden-Button erst ausblenden, wenn Sie auch wirklich etwas gespendet haben, ansonsten "
            "werden Sie sich Ihr Leben lang Vorwürfe machen! Aber das macht ja auch nichts, denn auf der Website kann "
            "man ganz einfach beliebig kleine Beträge via PayPal spenden oder mir einfach etwas von meinem "
            "Amazon-Wunschzettel kaufen. \r\n\r\nHaben Sie das getan und möchten den Spenden-Button ausblenden?",
            "Information", MB_ICONINFORMATION_ | MB_YESNOCANCEL_);
        if (answer != IDYES_) HideDonateButtonCheckBox.SetChecked(false);  // runs this handler again
    }
    main.DonateButton.SetVisible(!HideDonateButtonCheckBox.Checked());
}

void TSettingsDialogForm::Button1Click() {
    // Runs on this thread while the dialog waits; a failed request reaches the
    // general error handler and leaves the status as it is.
    auto form = BuildAccountTestForm(context_.platform.clock.Now(), {UsernameEdit.Text(), PasswordEdit.Text()});
    std::string reply = context_.http.Post(AccountTestPath, *form);
    TMainForm& main = *context_.windows.main;
    main.ShowStatus("");
    main.ProgressBar1.SetPosition(0);
    switch (ClassifyAccountTestReply(reply)) {
        case AccountTestReply::Right: App().MessageBox("Die Zugangsdaten sind richtig!"); break;
        case AccountTestReply::Wrong: App().MessageBox("Die Zugangsdaten sind falsch!"); break;
        case AccountTestReply::Other: App().MessageBox(ReadableReply(reply)); break;
    }
}

void TSettingsDialogForm::Button2Click() {
    UsernameEdit.SetText("");
    PasswordEdit.SetText("");
}

void TSettingsDialogForm::OpenServicePage(const std::string& path) {
    context_.platform.shell.Open(Handle(), context_.endpoints.ServiceAddress() + path);
}

void TSettingsDialogForm::Label5Click() { OpenServicePage("/account.htm?action=register"); }
void TSettingsDialogForm::Label7Click() { OpenServicePage("/faq.htm#account"); }
void TSettingsDialogForm::Button3Click() {
    OpenServicePage("/account.htm?action=login&username=" + UsernameEdit.Text());
}

}  // namespace snapora
