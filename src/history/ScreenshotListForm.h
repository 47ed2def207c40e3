#pragma once

#include "app/ProgramContext.h"
#include "ui/Form.h"

namespace snapora {

// The recent screenshots of this run; its list comes with the history.
class TScreenshotListForm : public Form {
public:
    TScreenshotListForm(Application& app, ProgramContext& context);

private:
    ProgramContext& context_;
};

}  // namespace snapora
