#pragma once

namespace snapora {

// The program's version: in the window caption and sent with every upload.
inline constexpr const char* ProgramVersion = "4.2";

}  // namespace snapora
