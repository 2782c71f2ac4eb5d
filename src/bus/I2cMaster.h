#pragma once

#include "bus/LineAdapters.h"

#include <cstdint>

namespace quav {

/// A single-master I2C bus in software on top of the line adapters.
///
/// The line sequences are fixed: every step is one level operation (with its bus delay)
/// or one sample of SDA, and nothing else happens on the wire. SCL is never read back, so
/// there is no clock stretching, arbitration or timeout; the speed is set only by the bus
/// delay. Bytes go most significant bit first in both directions.
///
/// Not thread-safe: one thread at a time drives the bus (the acquisition's worker in the
/// viewer). Only Abort may come from another thread.
class I2cMaster
{
public:
    explicit I2cMaster(LineAdapters& lines);

    /// Start condition: SDA falls, then SCL. Takes the port addresses from the settings.
    void I2cStart();
    /// Stop condition: SDA low, SCL high, SDA rises. Takes the port addresses from the
    /// settings. Leaves the bus idle (both lines high).
    void I2cStop();
    /// Sends one byte; true when the slave acknowledged it.
    bool I2cSendByte(std::uint8_t value);
    /// Receives one byte; acknowledges it unless `last`.
    void I2cReceiveByte(std::uint8_t& target, bool last);

    /// Start, address, `count` data bytes, stop. True when the address and every data
    /// byte were acknowledged; a missing acknowledge or an abort ends the transfer with a
    /// stop.
    bool I2cWrite(std::uint8_t address, std::int32_t count, const std::uint8_t* data);
    /// Start, address, `count` bytes into buffer[0..count-1], stop. True when the address
    /// was acknowledged; the buffer is untouched otherwise. Only the last byte goes
    /// unacknowledged. An abort ends the read early: the byte under way goes
    /// unacknowledged and is the last one stored, the rest of the buffer keeps its old
    /// contents, and the result is false.
    bool I2cRead(std::uint8_t address, std::int32_t count, std::uint8_t* buffer);

    /// Asks the transfer under way to end at its next byte, without bus delays; every
    /// transfer after it ends at its first byte until ClearAbort. May be called from any
    /// thread.
    void Abort() { m_lines.Abort(); }
    /// Lets transfers run to their end again. Call it only while no transfer runs.
    void ClearAbort() { m_lines.ClearAbort(); }
    bool AbortRequested() const { return m_lines.AbortRequested(); }

    LineAdapters& Lines() { return m_lines; }

private:
    LineAdapters& m_lines;
};

} // namespace quav
