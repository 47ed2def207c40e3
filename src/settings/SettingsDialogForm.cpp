#include "settings/SettingsDialogForm.h"

namespace snapora {

TSettingsDialogForm::TSettingsDialogForm(Application& app, ProgramContext& context)
    : Form(app, "SettingsDialogForm"), context_(context) {
    SetCaption("Einstellungen");
    Border = BorderStyle::Dialog;
    MinimizeBox = MaximizeBox = false;
    SetClientSize(425, 345);
    CentreOnScreen = true;
}

}  // namespace snapora
