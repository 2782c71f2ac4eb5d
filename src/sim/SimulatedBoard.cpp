#include "sim/SimulatedBoard.h"

#include <algorithm>
#include <thread>

namespace quav {

namespace {

constexpr std::chrono::milliseconds DrainInterval{200};

} // namespace

SimulatedBoard::SimulatedBoard()
    : m_ownClock(std::make_unique<SteadyBoardClock>()), m_clock(*m_ownClock), m_bus(*this), m_ports(m_bus)
{
    Rebase();
}

SimulatedBoard::SimulatedBoard(BoardClock& clock) : m_clock(clock), m_bus(*this), m_ports(m_bus)
{
    Rebase();
}

SimulatedBoard::~SimulatedBoard() = default;

void SimulatedBoard::Reset()
{
    m_chip.Reset();
    SetPlacement(m_ports.Placement());
    m_received = 0;
    Rebase();
}

void SimulatedBoard::SetPlacement(BoardPlacement placement)
{
    // Opens and closes from before the move are history; the board starts with its lines
    // released wherever it goes.
    m_comPorts.FollowOpens([](int, bool) {});
    m_ports.SetPlacement(placement);
}

void SimulatedBoard::FollowComPorts()
{
    m_comPorts.FollowOpens([this](int port, bool open) { m_ports.SetComLines(port, open); });
}

void SimulatedBoard::SetSource(std::unique_ptr<PacketSource> source)
{
    CatchUp(); // what was due belongs to the old broadcast
    m_source = std::move(source);
}

void SimulatedBoard::SetBroadcastRate(int packetsPerField, int fieldsPerSecond)
{
    CatchUp();
    m_packetsPerSecond = static_cast<std::uint64_t>(std::max(packetsPerField, 1)) *
                         static_cast<std::uint64_t>(std::max(fieldsPerSecond, 1));
    Rebase();
}

void SimulatedBoard::Rebase()
{
    m_epoch = m_clock.Now();
    m_taken = 0;
}

std::uint64_t SimulatedBoard::PacketsDue(std::chrono::nanoseconds elapsed) const
{
    if (elapsed.count() <= 0) {
        return 0;
    }
    // Whole seconds and the rest apart, so that long runs cannot overflow.
    const auto ns = static_cast<std::uint64_t>(elapsed.count());
    constexpr std::uint64_t PerSecond = 1'000'000'000;
    return ns / PerSecond * m_packetsPerSecond + ns % PerSecond * m_packetsPerSecond / PerSecond;
}

void SimulatedBoard::CatchUp()
{
    const auto now = m_clock.Now();
    const std::uint64_t due = PacketsDue(now - m_epoch);
    if (due <= m_taken) {
        return;
    }
    std::uint64_t count = due - m_taken;
    m_taken = due;
    const std::uint64_t limit = static_cast<std::uint64_t>(MaxCatchUp.count()) * m_packetsPerSecond;
    count = std::min(count, limit);
    if (m_reception == Reception::Teletext && m_source) {
        Packet packet;
        for (std::uint64_t i = 0; i < count; ++i) {
            if (!m_source->NextPacket(packet)) {
                break;
            }
            m_chip.Receive(packet);
            ++m_received;
        }
    }
    if (now - m_lastDrain >= DrainInterval) {
        m_lastDrain = now;
        m_comPorts.Drain();
    }
}

void SimulatedBoard::OnStart()
{
    CatchUp();
    // The chip reports what the antenna gives it; without a broadcast that is a channel
    // without teletext.
    m_chip.SetReception(m_reception == Reception::Teletext && !m_source ? Reception::NoTeletext
                                                                        : m_reception);
    m_chip.OnStart();
}

std::string SimulatedBoard::ComPortPath(int port)
{
    if (port == 0) {
        const BoardPlacement p = m_ports.Placement();
        if (p.device != adapter::DeviceKind::SerialModule) {
            return {};
        }
        port = p.index;
    }
    return m_comPorts.Path(port);
}

bool SimulatedBoard::SetComPortBusy(int port, bool busy)
{
    return m_comPorts.SetBusy(port, busy);
}

void SimulatedBoard::SlowAccess() const
{
    // Real time, not the board's clock: the delay is the adapter's, not the broadcast's.
    // A short delay is waited out busily, as a sleep would overshoot it many times.
    const auto until = std::chrono::steady_clock::now() + m_portDelay;
    if (m_portDelay >= std::chrono::milliseconds(2)) {
        std::this_thread::sleep_until(until);
        return;
    }
    while (std::chrono::steady_clock::now() < until) {
    }
}

void SimulatedBoard::WritePort(std::uint16_t port, std::uint8_t value)
{
    ++m_accesses;
    if (m_portDelay.count() > 0) [[unlikely]] {
        SlowAccess();
    }
    m_ports.Write(port, value);
}

} // namespace quav
