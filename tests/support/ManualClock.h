#pragma once

#include "sim/BoardClock.h"

#include <chrono>

namespace quav::test {

/// A board clock that only moves when the test says so.
class ManualClock final : public BoardClock
{
public:
    std::chrono::nanoseconds Now() override { return m_now; }
    void Advance(std::chrono::nanoseconds step) { m_now += step; }

private:
    std::chrono::nanoseconds m_now{0};
};

} // namespace quav::test
