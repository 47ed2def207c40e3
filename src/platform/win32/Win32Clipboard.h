#pragma once
// Text on the clipboard.

#include <string>

#include "platform/Clipboard.h"

namespace snapora {

class Win32Clipboard final : public Clipboard {
public:
    // Stores the text as Unicode; Windows derives the ANSI forms from it.
    void SetText(const std::string& text) override;
};

}  // namespace snapora
