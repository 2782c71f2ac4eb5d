#pragma once

#include <chrono>

namespace quav {

/// The time base of the simulated board: how far the broadcast has run. Tests use a clock
/// they set by hand; the program uses the steady clock.
class BoardClock
{
public:
    virtual ~BoardClock() = default;
    /// Time since some fixed start; never goes backwards.
    virtual std::chrono::nanoseconds Now() = 0;
};

class SteadyBoardClock final : public BoardClock
{
public:
    std::chrono::nanoseconds Now() override
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

} // namespace quav
