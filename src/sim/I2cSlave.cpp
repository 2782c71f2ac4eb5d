#include "sim/I2cSlave.h"

namespace quav {

void I2cSlave::Reset()
{
    m_state = State::Idle;
    m_scl = true;
    m_masterSda = true;
    m_slaveSda = true;
    m_ackPending = false;
    m_readAfterAck = false;
    m_masterAck = false;
    m_clock = 0;
    m_shift = 0;
}

void I2cSlave::ChangeSda(bool masterSda)
{
    const bool before = Sda();
    m_masterSda = masterSda;
    const bool after = Sda();
    if (!m_scl || before == after) {
        return; // data changes while the clock is low, or the slave holds the line
    }
    m_slaveSda = true;
    m_clock = 0;
    m_shift = 0;
    m_ackPending = false;
    if (!after) {
        m_state = State::Address;
        m_target.OnStart();
    } else {
        const bool wasIdle = m_state == State::Idle;
        m_state = State::Idle;
        if (!wasIdle) {
            m_target.OnStop();
        }
    }
}

void I2cSlave::ChangeScl(bool scl)
{
    m_scl = scl;
    if (scl) {
        RisingEdge();
    } else {
        FallingEdge();
    }
}

void I2cSlave::RisingEdge()
{
    switch (m_state) {
    case State::Address:
    case State::Writing:
        if (m_clock < 8) {
            m_shift = static_cast<std::uint8_t>((m_shift << 1) | (Sda() ? 1 : 0));
        }
        ++m_clock;
        break;
    case State::Reading:
        if (m_clock == 8) {
            m_masterAck = !Sda(); // the master pulls SDA low to ask for another byte
        }
        ++m_clock;
        break;
    case State::Idle:
    case State::Released:
        break;
    }
}

void I2cSlave::FallingEdge()
{
    switch (m_state) {
    case State::Address:
    case State::Writing:
        if (m_clock == 8) {
            // A whole byte is in: answer in the ninth clock.
            if (m_state == State::Address) {
                m_ackPending = m_target.OnAddress(m_shift);
                m_readAfterAck = (m_shift & 1) != 0;
            } else {
                m_ackPending = m_target.OnWrite(m_shift);
            }
            m_slaveSda = !m_ackPending;
        } else if (m_clock >= 9) {
            m_slaveSda = true;
            m_clock = 0;
            m_shift = 0;
            if (!m_ackPending) {
                m_state = State::Released;
            } else if (m_state == State::Address) {
                m_state = m_readAfterAck ? State::Reading : State::Writing;
                if (m_state == State::Reading) {
                    LoadReadByte();
                }
            }
            m_ackPending = false;
        }
        break;
    case State::Reading:
        if (m_clock >= 1 && m_clock <= 7) {
            m_slaveSda = ((m_shift >> (7 - m_clock)) & 1) != 0;
        } else if (m_clock == 8) {
            m_slaveSda = true; // the ninth clock belongs to the master's acknowledge
        } else if (m_clock >= 9) {
            if (m_masterAck) {
                LoadReadByte();
            } else {
                m_slaveSda = true;
                m_state = State::Released;
            }
        }
        break;
    case State::Idle:
    case State::Released:
        break;
    }
}

void I2cSlave::LoadReadByte()
{
    m_shift = m_target.OnRead();
    m_clock = 0;
    m_slaveSda = (m_shift & 0x80) != 0;
}

} // namespace quav
