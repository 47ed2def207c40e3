#include "app/ScreenshotName.h"

#include <algorithm>

#include "base/Strings.h"

namespace snapora {

std::string MakeScreenshotName(std::string_view title) {
    std::string t = LowerCase1252(title);

    // Window titles read "document - program": the program's name is the useful part.
    if (auto dash = t.rfind('-'); dash != std::string::npos) t.erase(0, dash + 1);
    if (t.size() > 255) t.resize(255);
    t = TrimControls(t);

    std::replace(t.begin(), t.end(), ' ', '_');
    std::replace(t.begin(), t.end(), '.', '_');
    std::erase_if(t, [](char c) { return std::string_view("#()[]?/\\%:").find(c) != std::string_view::npos; });

    // Long names shrink to their first two words, if that makes them short enough.
    if (t.size() > 20) {
        std::string a = TextBefore(t, "_");
        std::string rest = TextAfter(t, "_");
        std::string b = TextBefore(rest, "_");
        std::string c = a + "_" + b;
        if (c.size() < 25) t = c;
    }
    return t;
}

}  // namespace snapora
