#pragma once
// Time as the program sees it. The scheduler, the reader and the log take the
// time from here so tests can run a day of schedule in milliseconds.

#include "util/Date.h"

namespace pelkor {

class Clock {
public:
    virtual ~Clock() = default;
    // Local civil time as a day count since 30 December 1899.
    virtual Date Now() = 0;
    virtual void Sleep(int milliseconds) = 0;
};

// The machine's clock (local time from the C library).
class SystemClock final : public Clock {
public:
    Date Now() override;
    void Sleep(int milliseconds) override;
};

// A clock that moves only when told: Sleep advances it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Date start = 0) : now_(start) {}
    Date Now() override { return now_; }
    void Sleep(int milliseconds) override { now_ += milliseconds / 86400000.0; }
    void Set(Date d) { now_ = d; }
    void AdvanceSeconds(double s) { now_ += s / 86400.0; }

private:
    Date now_;
};

} // namespace pelkor
