#include "bus/I2cMaster.h"

namespace quav {

I2cMaster::I2cMaster(LineAdapters& lines) : m_lines(lines) {}

void I2cMaster::I2cStart()
{
    m_lines.UpdatePorts();
    m_lines.SdaLow();
    m_lines.SclLow();
}

void I2cMaster::I2cStop()
{
    m_lines.UpdatePorts();
    m_lines.SdaLow();
    m_lines.SclHigh();
    m_lines.SdaHigh();
}

bool I2cMaster::I2cSendByte(std::uint8_t value)
{
    for (int bit = 7; bit >= 0; --bit) {
        if ((value >> bit) & 1) {
            m_lines.SdaHigh();
        } else {
            m_lines.SdaLow();
        }
        m_lines.SclHigh();
        m_lines.SclLow();
    }
    m_lines.SdaHigh(); // release SDA for the slave's acknowledge
    m_lines.SclHigh();
    const bool acknowledged = m_lines.SdaRead() == 0;
    m_lines.SclLow();
    return acknowledged;
}

void I2cMaster::I2cReceiveByte(std::uint8_t& target, bool last)
{
    m_lines.SdaHigh();
    target = 0;
    m_lines.SclLow();
    for (int bit = 0; bit < 8; ++bit) {
        m_lines.SclHigh();
        target = static_cast<std::uint8_t>((target << 1) | (m_lines.SdaRead() & 1));
        m_lines.SclLow();
    }
    if (last) {
        m_lines.SdaHigh();
    } else {
        m_lines.SdaLow();
    }
    m_lines.SclHigh();
    m_lines.SclLow();
    m_lines.SdaHigh();
}

bool I2cMaster::I2cWrite(std::uint8_t address, std::int32_t count, const std::uint8_t* data)
{
    I2cStart();
    if (!I2cSendByte(address)) {
        I2cStop();
        return false;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        if (AbortRequested() || !I2cSendByte(data[i])) {
            I2cStop();
            return false;
        }
    }
    I2cStop();
    return true;
}

bool I2cMaster::I2cRead(std::uint8_t address, std::int32_t count, std::uint8_t* buffer)
{
    I2cStart();
    if (!I2cSendByte(address)) {
        I2cStop();
        return false;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        // On an abort the byte under way is the last one: without its acknowledge the
        // slave lets SDA go, so that the stop condition can follow.
        const bool aborted = AbortRequested();
        I2cReceiveByte(buffer[i], aborted || i == count - 1);
        if (aborted) {
            I2cStop();
            return false;
        }
    }
    I2cStop();
    return true;
}

} // namespace quav
