#pragma once

#include <chrono>

namespace quav {

/// Date and time as a broadcaster's playout sees them: what the header clock shows and what
/// carousel cycle times are counted in. The program uses the system clock; tests and the
/// fast-forwarded capture command use their own.
class BroadcastClock
{
public:
    virtual ~BroadcastClock() = default;
    virtual std::chrono::system_clock::time_point Now() = 0;
};

class SystemBroadcastClock final : public BroadcastClock
{
public:
    std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::now(); }
};

} // namespace quav
