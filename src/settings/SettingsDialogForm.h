#pragma once

#include "app/ProgramContext.h"
#include "ui/Form.h"

namespace snapora {

// The settings dialog; its controls are the program's live settings.
class TSettingsDialogForm : public Form {
public:
    TSettingsDialogForm(Application& app, ProgramContext& context);

private:
    ProgramContext& context_;
};

}  // namespace snapora
