#pragma once

#include "app/ProgramContext.h"
#include "ui/Form.h"

namespace snapora {

// Asks for the name of a new session; its controls come with session mode.
class TNewSessionForm : public Form {
public:
    TNewSessionForm(Application& app, ProgramContext& context);

private:
    ProgramContext& context_;
};

}  // namespace snapora
