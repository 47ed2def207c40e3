#include "editor/ImageEditorForm.h"

namespace snapora {

TImageEditorForm::TImageEditorForm(Application& app, ProgramContext& context)
    : Form(app, "ImageEditorForm"), context_(context) {
    SetCaption("Screenshot bearbeiten");
    SetColor(10724259);  // grey 163, 163, 163 around the picture
    KeyPreview = true;
    SetClientSize(1066, 703);
}

}  // namespace snapora
