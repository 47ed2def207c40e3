#pragma once

#include <cstdint>
#include <string>

#include "app/ProgramContext.h"
#include "settings/Shortcut.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace snapora {

// The settings dialog. Its controls are the program's live settings, read
// directly by the worker, the history and the rename; there is no cancel.
class TSettingsDialogForm : public Form {
public:
    TSettingsDialogForm(Application& app, ProgramContext& context);

    TPageControl PageControl1{this, "PageControl1"};
    TTabSheet TabSheet1{&PageControl1, "TabSheet1"};
    TCheckBox TrayIconCheckBox{&TabSheet1, "TrayIconCheckBox"};
    TCheckBox CopyURLCheckBox{&TabSheet1, "CopyURLCheckBox"};
    TCheckBox HideDonateButtonCheckBox{&TabSheet1, "HideDonateButtonCheckBox"};
    TLabel ShortcutCaption{&TabSheet1, "ShortcutCaption"};
    TEdit ShortcutEdit{&TabSheet1, "ShortcutEdit"};
    TLabel ListCountCaption{&TabSheet1, "ListCountCaption"};
    TSpinEdit ScreenshotListCount{&TabSheet1, "ScreenshotListCount"};
    TGroupBox LocalSaveGroup{&TabSheet1, "LocalSaveGroup"};
    TCheckBox AlwaysAskForDirectoryCheckBox{&LocalSaveGroup, "AlwaysAskForDirectoryCheckBox"};
    TLabel StandardDirLabel{&LocalSaveGroup, "StandardDirLabel"};
    TEdit StandardDirEdit{&LocalSaveGroup, "StandardDirEdit"};
    TButton SelectStandardDirButton{&LocalSaveGroup, "SelectStandardDirButton"};
    TTabSheet TabSheet2{&PageControl1, "TabSheet2"};
    TLabel AccountInfoLabel{&TabSheet2, "AccountInfoLabel"};
    TLabel UsernameLabel{&TabSheet2, "UsernameLabel"};
    TEdit UsernameEdit{&TabSheet2, "UsernameEdit"};
    TLabel PasswordLabel{&TabSheet2, "PasswordLabel"};
    TEdit PasswordEdit{&TabSheet2, "PasswordEdit"};
    TLabel Label5{&TabSheet2, "Label5"};
    TLabel Label7{&TabSheet2, "Label7"};
    TButton Button1{&TabSheet2, "Button1"};
    TButton Button2{&TabSheet2, "Button2"};
    TButton Button3{&TabSheet2, "Button3"};
    TLabel RegistryInfoLabel{this, "RegistryInfoLabel"};
    TButton CloseButton{this, "CloseButton"};

    // The last combination the shortcut field accepted.
    ShortcutCapture Shortcut;

    void FormShow();
    void AlwaysAskForDirectoryCheckBoxClick();
    void SelectStandardDirButtonClick();
    void ShortcutEditKeyDown(std::uint16_t& key, unsigned shift);
    void ShortcutEditKeyPress(char& key);
    void ShortcutEditKeyUp(std::uint16_t& key, unsigned shift);
    void TrayIconCheckBoxClick();
    void HideDonateButtonCheckBoxClick();
    void Label5Click();
    void Label7Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void CloseButtonClick();

    std::string FormatShortcut(unsigned key, unsigned modifiers);
    // Creates or deletes the start-up shortcut; whether one existed before.
    bool SetAutostartLink(int folder, bool wanted, const std::string& arguments);
    std::string GetAutostartLinkPath(int folder);

private:
    void LayOut();
    void BindHandlers();
    void OpenServicePage(const std::string& path);

    ProgramContext& context_;
};

inline constexpr int StartupFolder = 7;  // CSIDL_STARTUP

}  // namespace snapora
