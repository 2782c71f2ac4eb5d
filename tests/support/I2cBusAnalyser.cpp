#include "support/I2cBusAnalyser.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace quav::test {

void I2cBusAnalyser::Token(std::string& log, const std::string& token)
{
    if (!log.empty()) {
        log += ' ';
    }
    log += token;
}

std::uint8_t I2cBusAnalyser::ReadPort(std::uint16_t port)
{
    if (port < m_base || port > m_base + 3) {
        ++foreignAccesses;
        return 0xFF;
    }
    m_pendingRead = false;
    switch (port - m_base) {
    case 0:
        Token(ops, "SclHigh");
        SetLines(m_masterSda, true);
        return 0xFF;
    case 1:
        Token(ops, "SclLow");
        SetLines(m_masterSda, false);
        return 0xFF;
    case 2: {
        // The same address samples SDA and releases it. Which of the two the caller meant
        // shows in whether a delay follows (SdaHigh) or not (SdaRead).
        Token(ops, "SdaRead");
        m_pendingRead = true;
        SetLines(true, m_scl);
        return Sda() ? 0xFF : 0xFE;
    }
    default:
        Token(ops, "SdaLow");
        SetLines(false, m_scl);
        return 0xFF;
    }
}

void I2cBusAnalyser::WritePort(std::uint16_t, std::uint8_t)
{
    ++portWrites;
}

void I2cBusAnalyser::OnDelay(std::int32_t)
{
    if (m_pendingRead) {
        ops.replace(ops.size() - 7, 7, "SdaHigh");
        m_pendingRead = false;
    }
    Token(ops, "d");
}

void I2cBusAnalyser::SetLines(bool masterSda, bool scl)
{
    const bool oldSda = Sda();
    const bool oldScl = m_scl;
    m_masterSda = masterSda;
    m_scl = scl;
    if (oldScl && scl && oldSda != Sda()) {
        if (!Sda()) {
            Token(transcript, "S");
            m_phase = Phase::Receive;
            m_clocks = 0;
            m_byteIndex = 0;
            m_shift = 0;
            m_reading = false;
        } else {
            Token(transcript, "P");
            m_phase = Phase::Idle;
        }
        m_slaveSda = true;
        return;
    }
    if (!oldScl && scl) {
        OnRisingEdge();
    } else if (oldScl && !scl) {
        OnFallingEdge();
    }
}

void I2cBusAnalyser::OnRisingEdge()
{
    if (m_phase == Phase::Idle) {
        return;
    }
    ++m_clocks;
    if (m_phase == Phase::Receive && m_clocks <= 8) {
        m_shift = static_cast<std::uint8_t>((m_shift << 1) | (Sda() ? 1 : 0));
    } else if (m_phase == Phase::Transmit && m_clocks == 9) {
        m_lastAck = !Sda();
        char buf[8];
        std::snprintf(buf, sizeof buf, "<%02X%c", m_shift, m_lastAck ? '+' : '-');
        Token(transcript, buf);
    }
}

void I2cBusAnalyser::OnFallingEdge()
{
    if (m_phase == Phase::Receive) {
        if (m_clocks == 8) {
            const bool ack = acknowledge(m_byteIndex, m_shift);
            char buf[8];
            std::snprintf(buf, sizeof buf, "%02X%c", m_shift, ack ? '+' : '-');
            Token(transcript, buf);
            m_lastAck = ack;
            if (m_byteIndex == 0) {
                m_reading = (m_shift & 1) != 0;
            }
            m_slaveSda = !ack;
        } else if (m_clocks == 9) {
            m_slaveSda = true;
            m_clocks = 0;
            m_shift = 0;
            ++m_byteIndex;
            if (!m_lastAck) {
                m_phase = Phase::Idle; // not addressed, or refused: wait for the next start
            } else if (m_reading) {
                m_phase = Phase::Transmit;
                m_shift = readByte();
                m_slaveSda = (m_shift & 0x80) != 0;
            }
        }
    } else if (m_phase == Phase::Transmit) {
        if (m_clocks >= 1 && m_clocks <= 7) {
            m_slaveSda = ((m_shift >> (7 - m_clocks)) & 1) != 0;
        } else if (m_clocks == 8) {
            m_slaveSda = true; // the master's acknowledge
        } else if (m_clocks == 9) {
            m_clocks = 0;
            if (m_lastAck) {
                m_shift = readByte();
                m_slaveSda = (m_shift & 0x80) != 0;
            } else {
                m_phase = Phase::Idle;
            }
        }
    }
}

std::string WithoutDelays(const std::string& ops)
{
    std::istringstream in(ops);
    std::vector<std::string> tokens;
    for (std::string t; in >> t;) {
        tokens.push_back(t);
    }
    std::string out;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == "d") {
            throw std::logic_error("delay without a line operation at token " + std::to_string(i));
        }
        if (tokens[i] != "SdaRead") {
            if (i + 1 >= tokens.size() || tokens[i + 1] != "d") {
                throw std::logic_error(tokens[i] + " without its delay at token " + std::to_string(i));
            }
        }
        if (!out.empty()) {
            out += ' ';
        }
        out += tokens[i];
        if (tokens[i] != "SdaRead") {
            ++i;
        }
    }
    return out;
}

} // namespace quav::test
