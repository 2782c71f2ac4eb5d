#include "support/RecordingPortIo.h"

#include <iomanip>

namespace quav::test {

std::ostream& operator<<(std::ostream& os, const PortEvent& e)
{
    switch (e.kind) {
    case PortEvent::Kind::Read:
        return os << "R(0x" << std::hex << e.port << ")=0x" << e.value << std::dec;
    case PortEvent::Kind::Write:
        return os << "W(0x" << std::hex << e.port << ",0x" << e.value << ")" << std::dec;
    case PortEvent::Kind::Delay:
        return os << "D" << e.value;
    }
    return os;
}

std::ostream& operator<<(std::ostream& os, const PortWrite& w)
{
    return os << "{0x" << std::hex << w.port << ", 0x" << int(w.value) << "}" << std::dec;
}

std::uint8_t RecordingPortIo::ReadPort(std::uint16_t port)
{
    std::uint8_t value = 0;
    if (OnRead) {
        value = OnRead(port);
    } else if (auto it = m_latch.find(port); it != m_latch.end()) {
        value = it->second;
    }
    events.push_back({PortEvent::Kind::Read, port, value});
    return value;
}

void RecordingPortIo::WritePort(std::uint16_t port, std::uint8_t value)
{
    m_latch[port] = value;
    events.push_back({PortEvent::Kind::Write, port, value});
}

void RecordingPortIo::OnDelay(std::int32_t count)
{
    events.push_back({PortEvent::Kind::Delay, 0, count});
}

std::vector<PortWrite> RecordingPortIo::Writes() const
{
    std::vector<PortWrite> out;
    for (const auto& e : events) {
        if (e.kind == PortEvent::Kind::Write) {
            out.push_back({e.port, static_cast<std::uint8_t>(e.value)});
        }
    }
    return out;
}

std::vector<std::uint16_t> RecordingPortIo::Reads() const
{
    std::vector<std::uint16_t> out;
    for (const auto& e : events) {
        if (e.kind == PortEvent::Kind::Read) {
            out.push_back(e.port);
        }
    }
    return out;
}

std::size_t RecordingPortIo::DelayCount() const
{
    std::size_t n = 0;
    for (const auto& e : events) {
        n += e.kind == PortEvent::Kind::Delay ? 1 : 0;
    }
    return n;
}

} // namespace quav::test
