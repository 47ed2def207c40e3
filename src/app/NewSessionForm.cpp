#include "app/NewSessionForm.h"

namespace snapora {

TNewSessionForm::TNewSessionForm(Application& app, ProgramContext& context)
    : Form(app, "NewSessionForm"), context_(context) {
    SetCaption("Session-Modus starten");
    Border = BorderStyle::Dialog;
    MinimizeBox = MaximizeBox = false;
    SetClientSize(366, 175);
    CentreOnScreen = true;
}

}  // namespace snapora
