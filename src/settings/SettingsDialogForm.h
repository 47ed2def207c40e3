#pragma once

#include "app/ProgramContext.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace snapora {

// The settings dialog; its controls are the program's live settings, read
// directly by the worker, the history and the rename.
class TSettingsDialogForm : public Form {
public:
    TSettingsDialogForm(Application& app, ProgramContext& context);

    TCheckBox CopyURLCheckBox{this, "CopyURLCheckBox"};
    TCheckBox AlwaysAskForDirectoryCheckBox{this, "AlwaysAskForDirectoryCheckBox"};
    TLabel StandardDirLabel{this, "StandardDirLabel"};
    TEdit StandardDirEdit{this, "StandardDirEdit"};
    TLabel UsernameLabel{this, "UsernameLabel"};
    TEdit UsernameEdit{this, "UsernameEdit"};
    TLabel PasswordLabel{this, "PasswordLabel"};
    TEdit PasswordEdit{this, "PasswordEdit"};
    TButton CloseButton{this, "CloseButton"};

    void AlwaysAskForDirectoryCheckBoxClick();

private:
    ProgramContext& context_;
};

}  // namespace snapora
