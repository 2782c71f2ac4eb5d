#pragma once

#include "bus/LineAdapters.h"
#include "ports/PortIo.h"

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <vector>

namespace quav::test {

/// One thing that happened at the ports, in order: a read, a write or a bus delay.
struct PortEvent
{
    enum class Kind
    {
        Read,
        Write,
        Delay
    };
    Kind kind;
    std::uint16_t port = 0; // not used for Delay
    std::int32_t value = 0; // byte written or read; the count for Delay

    friend bool operator==(const PortEvent&, const PortEvent&) = default;
};

struct PortWrite
{
    std::uint16_t port;
    std::uint8_t value;
    friend bool operator==(const PortWrite&, const PortWrite&) = default;
};

std::ostream& operator<<(std::ostream& os, const PortEvent& e);
std::ostream& operator<<(std::ostream& os, const PortWrite& w);

/// A PortIo that records every access and every bus delay (as the line adapters' delay
/// probe). Reads answer through `OnRead` when it is set; otherwise a port reads back the
/// last value written to it, like a latch, and 0 before that.
class RecordingPortIo : public PortIo, public DelayProbe
{
public:
    std::uint8_t ReadPort(std::uint16_t port) override;
    void WritePort(std::uint16_t port, std::uint8_t value) override;
    void OnDelay(std::int32_t count) override;

    /// Sets what a port reads until it is written.
    void Preset(std::uint16_t port, std::uint8_t value) { m_latch[port] = value; }

    std::vector<PortWrite> Writes() const;
    std::vector<std::uint16_t> Reads() const;
    std::size_t DelayCount() const;
    void Clear() { events.clear(); }

    std::vector<PortEvent> events;
    std::function<std::uint8_t(std::uint16_t)> OnRead;

private:
    std::map<std::uint16_t, std::uint8_t> m_latch;
};

} // namespace quav::test
