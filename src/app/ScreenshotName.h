#pragma once

#include <string>
#include <string_view>

namespace snapora {

// The name proposed for an uploaded screenshot, made from the title of the
// window that was in front: "Unbenannt - Editor" gives "editor".
std::string MakeScreenshotName(std::string_view title);

}  // namespace snapora
