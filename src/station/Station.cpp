#include "station/Station.h"

#include "bus/AdapterPorts.h"
#include "demo/BroadcastSource.h"
#include "ports/DirectPortIo.h"
#include "ports/PortPermissions.h"
#include "serial/ECommsError.h"
#include "serial/TComm32.h"
#include "sim/SimulatedBoard.h"
#include "station/HardwarePortIo.h"

namespace quav {

namespace {

/// The broadcaster's date and time, run by the board's clock: the start of the run plus
/// the board's time since then. A board whose clock is fast-forwarded or driven by hand
/// sees its headers and subpage rotation keep pace.
class BoardBroadcastClock final : public BroadcastClock
{
public:
    explicit BoardBroadcastClock(BoardClock& board)
        : m_board(board), m_boardStart(board.Now()), m_start(std::chrono::system_clock::now())
    {
    }
    std::chrono::system_clock::time_point Now() override
    {
        return m_start +
               std::chrono::duration_cast<std::chrono::system_clock::duration>(m_board.Now() - m_boardStart);
    }

private:
    BoardClock& m_board;
    std::chrono::nanoseconds m_boardStart;
    std::chrono::system_clock::time_point m_start;
};

// No card answers: what an empty ISA bus reads.
class NoCards final : public PortIo
{
public:
    std::uint8_t ReadPort(std::uint16_t) override { return 0xFF; }
    void WritePort(std::uint16_t, std::uint8_t) override {}
};

} // namespace

Station::Station(const Settings& settings, const StationParts& parts)
    : m_settings(settings), m_comm(std::make_unique<TComm32>())
{
    if (parts.clock != nullptr) {
        m_clock = parts.clock;
    } else {
        m_ownClock = std::make_unique<SteadyBoardClock>();
        m_clock = m_ownClock.get();
    }
}

Station::~Station()
{
    // The port's threads post to the port object; they end before anything else goes.
    m_comm->ClosePort();
}

std::unique_ptr<Station> Station::Create(const StationOptions& options, const Settings& settings,
                                         const StationParts& parts, QString* error)
{
    std::unique_ptr<Station> station(new Station(settings, parts));
    if (!station->Build(options, parts, error)) {
        return nullptr;
    }
    return station;
}

bool Station::Build(const StationOptions& options, const StationParts& parts, QString* error)
{
    if (options.hardware) {
        static NoCards noCards;
        PortIo& cards = parts.cardPorts != nullptr ? *parts.cardPorts : noCards;
        ModemLineCalls& lines = parts.modemLines != nullptr ? *parts.modemLines : ModemLineCalls::System();
        m_hardware = std::make_unique<HardwarePortIo>(
            cards, [comm = m_comm.get()] { return comm->PortHandle(); }, m_settings, lines);
        return true;
    }
    m_broadcastClock = std::make_unique<BoardBroadcastClock>(*m_clock);
    std::unique_ptr<PacketSource> source;
    std::string message;
    if (parts.input != nullptr) {
        BroadcastError failure;
        source = MakeBroadcast(*parts.input, *m_broadcastClock, failure);
        message = failure.message;
    } else {
        source = OpenBroadcast(options.source, *m_broadcastClock, message, options.pid);
    }
    if (!source) {
        if (error != nullptr) {
            *error = QString::fromStdString(message);
        }
        return false;
    }
    m_board = std::make_unique<SimulatedBoard>(*m_clock);
    m_board->SetSource(std::move(source));
    // While the board is simulated, COM1 to COM4 are its own ports, so that the serial
    // module's port is claimed exactly as a real one.
    for (int port = 1; port <= 4; ++port) {
        const std::string path = m_board->ComPortPath(port);
        if (!path.empty()) {
            m_comm->PortMap().Map(QStringLiteral("COM%1").arg(port), QString::fromStdString(path));
        }
    }
    return true;
}

PortIo& Station::Ports()
{
    if (m_board) {
        return *m_board;
    }
    return *m_hardware;
}

std::unique_ptr<PacketSource> Station::OpenSource(const std::string& source, int pid, QString* error)
{
    if (!m_board || !m_broadcastClock) {
        if (error != nullptr) {
            *error = QStringLiteral("Das Programm arbeitet mit der Hardware.");
        }
        return nullptr;
    }
    std::string message;
    std::unique_ptr<PacketSource> opened = OpenBroadcast(source, *m_broadcastClock, message, pid);
    if (!opened && error != nullptr) {
        *error = QString::fromStdString(message);
    }
    return opened;
}

bool Station::ClaimSerialPort(QString* error)
{
    const QString name = QStringLiteral("COM%1").arg(m_settings.Port);
    m_comm->ClosePort();
    m_comm->SetCommPort(name);
    try {
        m_comm->OpenPort();
    } catch (const ECommsError& e) {
        if (error != nullptr) {
            *error = name + QStringLiteral(" kann nicht verwendet werden (") + QString::fromUtf8(e.what()) +
                     QStringLiteral(").");
        }
        return false;
    }
    if (!m_comm->IsOpen()) {
        if (error != nullptr) {
            *error = name + QStringLiteral(" kann nicht verwendet werden.");
        }
        return false;
    }
    BusIdle();
    return true;
}

void Station::BusIdle()
{
    const auto base = adapter::ComBaseOf(m_settings.Port);
    if (!base || m_settings.Device != static_cast<std::uint8_t>(adapter::DeviceKind::SerialModule)) {
        return;
    }
    if (m_hardware) {
        // The port may have been opened again under the same descriptor: what the lines
        // were before is no longer true.
        m_hardware->ForgetLines();
    }
    // As the line adapters do it: read the register, change one bit, write it back.
    PortIo& io = Ports();
    const auto mcr = static_cast<std::uint16_t>(*base + adapter::ModemControlOffset);
    io.WritePort(mcr, static_cast<std::uint8_t>(io.ReadPort(mcr) | adapter::McrDtr));
    io.WritePort(mcr, static_cast<std::uint8_t>(io.ReadPort(mcr) & ~adapter::McrRts));
}

std::string Station::TakeFault()
{
    if (!m_hardware) {
        return {};
    }
    std::string fault = m_hardware->TakeFault();
    if (!fault.empty()) {
        BusIdle();
    }
    return fault;
}

bool Station::OpenCardPorts(std::unique_ptr<DirectPortIo>& ports, QString* portMessage, QString* error)
{
    ports = std::make_unique<DirectPortIo>(HardwarePortIo::CardPorts());
    const PortAccessResult access = OpenPortsAndDropPrivileges(*ports);
    if (!access.dropError.empty()) {
        if (error != nullptr) {
            *error = QString::fromStdString(access.dropError);
        }
        ports.reset();
        return false;
    }
    if (!access.portError.empty()) {
        if (portMessage != nullptr) {
            *portMessage = QString::fromStdString(access.portError);
        }
    }
    return true;
}

} // namespace quav
