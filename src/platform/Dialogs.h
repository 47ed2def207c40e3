#pragma once

#include <optional>
#include <string>

#include "base/Colour.h"
#include "base/Geometry.h"

namespace snapora {

// The common save dialog's settings, as the save dialog component holds them.
struct SaveDialogOptions {
    std::string initialDir;
    std::string defaultExt;
    std::string filter;  // "description|pattern" pairs, separated by "|"
    unsigned flags = 0;  // OFN_* values
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The chosen file's full path, or nothing when the user cancelled.
    virtual std::optional<std::string> SaveFile(NativeWindow owner, const SaveDialogOptions& options) = 0;
    // The colour dialog (any colour may be picked), opened with `initial`; nothing when cancelled.
    virtual std::optional<Colour> ChooseColour(NativeWindow owner, Colour initial) = 0;
};

}  // namespace snapora
