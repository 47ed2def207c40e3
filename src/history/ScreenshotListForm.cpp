#include "history/ScreenshotListForm.h"

namespace snapora {

TScreenshotListForm::TScreenshotListForm(Application& app, ProgramContext& context)
    : Form(app, "ScreenshotListForm"), context_(context) {
    SetCaption("Screenshot-Chronik");
    Border = BorderStyle::Sizeable;
    SetClientSize(686, 438);
    MinimumSize = {420, 300};
}

}  // namespace snapora
