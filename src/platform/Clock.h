#pragma once

namespace snapora {

struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime Now() = 0;  // the local date and time (GetLocalTime)
};

}  // namespace snapora
