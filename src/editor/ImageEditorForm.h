#pragma once

#include "app/ProgramContext.h"
#include "ui/Form.h"

namespace snapora {

// The modal editor for a screenshot; its tools come with the editor.
class TImageEditorForm : public Form {
public:
    TImageEditorForm(Application& app, ProgramContext& context);

private:
    ProgramContext& context_;
};

}  // namespace snapora
