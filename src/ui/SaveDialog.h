#pragma once
// The save-file dialog component: its settings, shown through the platform.

#include <string>

#include "platform/Dialogs.h"
#include "ui/Control.h"

namespace snapora {

class TSaveDialog {
public:
    TSaveDialog(Dialogs& dialogs, Control& owner) : dialogs_(dialogs), owner_(owner) {}

    std::string DefaultExt;
    std::string Filter;
    std::string InitialDir;
    unsigned Options = 0;
    std::string FileName;  // the chosen file after a confirmed Execute

    // Shows the dialog modally; true when the user confirmed a file.
    bool Execute() {
        auto chosen = dialogs_.SaveFile(owner_.Handle(), {InitialDir, DefaultExt, Filter, Options});
        if (!chosen) return false;
        FileName = *chosen;
        return true;
    }

private:
    Dialogs& dialogs_;
    Control& owner_;
};

// The save dialog's option flags, by their Windows values.
enum SaveDialogFlags : unsigned {
    OFN_OVERWRITEPROMPT_ = 0x2,
    OFN_HIDEREADONLY_ = 0x4,
    OFN_PATHMUSTEXIST_ = 0x800,
    OFN_FILEMUSTEXIST_ = 0x1000,
    OFN_ENABLESIZING_ = 0x800000,
};

}  // namespace snapora
