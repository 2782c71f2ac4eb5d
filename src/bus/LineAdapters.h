#pragma once

#include "config/Settings.h"
#include "ports/PortIo.h"

#include <atomic>
#include <cstdint>

namespace quav {

/// Observes the bus delays, for tests that check where a delay follows a line change.
class DelayProbe
{
public:
    virtual ~DelayProbe() = default;
    /// Called after a line change, before the delay loop of `count` iterations runs.
    virtual void OnDelay(std::int32_t count) = 0;
};

/// The two I2C lines, SDA and SCL, driven through the adapter that `Device` selects.
///
/// Each level operation sets one line and then busy-waits `I2cDelay` loop iterations;
/// `SdaRead` samples SDA without a delay. Port addresses are taken from the settings only
/// by `UpdatePorts`, which the I2C master calls at every start and stop condition.
///
/// An adapter whose port index lies outside its table is absent: its operations touch no
/// port and take no delay, and `SdaRead` sees a released line (1). The same holds for
/// `Device` values above 2. A wrong setting can therefore never make the program write to
/// an arbitrary port.
///
/// Not thread-safe: one thread at a time drives the lines. Only Abort may come from
/// another thread.
class LineAdapters
{
public:
    LineAdapters(PortIo& io, const Settings& settings);

    /// Recomputes the cached port addresses of all three adapters from the settings.
    void UpdatePorts();

    void SdaLow();
    void SdaHigh();
    void SclLow();
    void SclHigh();
    /// The level of SDA: 0 low, 1 high. No delay follows.
    int SdaRead();

    /// The last value written to the VD3000S register.
    std::uint8_t VdShadow() const { return m_vdShadow; }

    // The cached addresses; 0 means the adapter is absent (or UpdatePorts has not run).
    std::uint16_t ModemControlAddress() const { return m_modemControl; }
    std::uint16_t ModemStatusAddress() const { return m_modemStatus; }
    std::uint16_t Vd3000sAddress() const { return m_vdRegister; }
    std::uint16_t CtBaseAddress() const { return m_ctBase; }

    /// Cuts the bus delays short (the one under way within a fraction of a millisecond)
    /// until ClearAbort; the I2C master also ends its transfer at the next byte. May be
    /// called from any thread.
    void Abort() { m_abort.store(true, std::memory_order_relaxed); }
    /// Lets the delays and transfers run in full again. Call it only while the bus is idle.
    void ClearAbort() { m_abort.store(false, std::memory_order_relaxed); }
    bool AbortRequested() const { return m_abort.load(std::memory_order_relaxed); }

    /// Tests observe the delays through this; nullptr (the default) observes nothing.
    void SetDelayProbe(DelayProbe* probe) { m_probe = probe; }

private:
    enum class Line
    {
        Sda,
        Scl
    };
    void Drive(Line line, bool high);
    void SetModemControlBit(std::uint8_t bit, bool set);
    void SetVdShadowBit(std::uint8_t bit, bool set);
    void Strobe(std::uint16_t offset);
    void Delay();

    PortIo& m_io;
    const Settings& m_settings;
    DelayProbe* m_probe = nullptr;
    std::atomic<bool> m_abort{false};
    std::uint16_t m_modemControl = 0;
    std::uint16_t m_modemStatus = 0;
    std::uint16_t m_vdRegister = 0;
    std::uint16_t m_ctBase = 0;
    std::uint8_t m_vdShadow = 0;
};

} // namespace quav
