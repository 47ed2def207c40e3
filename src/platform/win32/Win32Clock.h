#pragma once
// The local time.

#include "platform/Clock.h"

namespace snapora {

class Win32Clock final : public Clock {
public:
    LocalTime Now() override;
};

}  // namespace snapora
