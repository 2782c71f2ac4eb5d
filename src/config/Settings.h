#pragma once

#include <chrono>
#include <cstdint>

namespace quav {

/// The hardware settings of one run. Loaded and saved by the settings store, edited in
/// place by the settings dialog, read by the line adapters and the acquisition cycle.
/// The fields keep their stored names, because the stored values carry the same ones.
struct Settings
{
    /// Adapter: 0 serial module, 1 Wiegand VD3000S card, 2 c't card.
    std::uint8_t Device = 0;
    /// COM port number 1 to 4 of the serial module.
    std::uint8_t Port = 1;
    /// Index 0 to 3 of the VD3000S card's base address.
    std::uint8_t VDPort = 0;
    /// Index 0 to 5 of the c't card's base address.
    std::uint8_t ctsPort = 0;
    /// Bus delay in busy-loop iterations after every line change.
    std::int32_t I2cDelay = 200;
    /// Polling interval index: (LoopTime + 1) x 100 ms.
    std::uint8_t LoopTime = 3;

    friend bool operator==(const Settings&, const Settings&) = default;
};

/// The polling interval that LoopTime selects: 100 ms for 0 up to 1000 ms for 9.
constexpr std::chrono::milliseconds PollingInterval(const Settings& s)
{
    return std::chrono::milliseconds((s.LoopTime + 1) * 100);
}

} // namespace quav
