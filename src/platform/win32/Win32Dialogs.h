#pragma once
// The common save and colour dialogs.

#include <optional>
#include <string>
#include <string_view>

#include "platform/Dialogs.h"

namespace snapora {

class Win32Dialogs final : public Dialogs {
public:
    std::optional<std::string> SaveFile(NativeWindow owner, const SaveDialogOptions& options) override;
    std::optional<Colour> ChooseColour(NativeWindow owner, Colour initial) override;
};

// "description|pattern|..." as the common dialogs want it: parts ended by
// zeros, the whole by one more.
std::wstring DialogFilter(std::string_view filter);

}  // namespace snapora
