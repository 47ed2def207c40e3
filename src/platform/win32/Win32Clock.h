#pragma once
// The local time, the tick count and worker sleeps.

#include "platform/Clock.h"

namespace snapora {

class Win32Clock final : public Clock {
public:
    LocalTime Now() override;
    std::uint32_t TickCount() override;
    std::unique_ptr<WorkerSleep> CreateWorkerSleep() override;
};

}  // namespace snapora
