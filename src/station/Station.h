#pragma once

#include "broadcast/BroadcastClock.h"
#include "config/Settings.h"
#include "ports/PortIo.h"
#include "sim/BoardClock.h"
#include "station/StationOptions.h"

#include <memory>
#include <string>

#include <QString>

namespace quav {

struct BroadcastInput;
class PacketSource;
class DirectPortIo;
class HardwarePortIo;
class ModemLineCalls;
class SimulatedBoard;
class TComm32;

/// What a station is built from besides the options. Everything may stay null.
struct StationParts
{
    /// The clock of the simulated board and of its broadcast; the steady clock when null.
    BoardClock* clock = nullptr;
    /// A broadcast the program has already read; when null, the station reads the source
    /// of the options.
    const BroadcastInput* input = nullptr;
    /// With hardware: the card ports, opened (or refused) by OpenCardPorts before the
    /// program gave up its privileges. Null: no card answers.
    PortIo* cardPorts = nullptr;
    /// With hardware: the calls on the claimed tty's modem lines; the system's when null.
    ModemLineCalls* modemLines = nullptr;
};

/// Everything that sits behind the bus, built once for the viewer and for the capture
/// command: the simulated board playing a broadcast, or the real adapters.
///
/// - Simulated: the board on one clock with its broadcast, and COM1 to COM4 mapped to the
///   board's own serial ports, so that the serial module's port is claimed as a real one.
/// - Hardware: the card ports through direct port access and the serial module's modem
///   registers on the tty of the claimed port (HardwarePortIo).
///
/// The station owns the serial port object and the serial claim. After every claim, and
/// after a fault of the serial lines, it brings the bus to idle: opening a serial port
/// raises DTR and RTS, and on the serial module a raised RTS holds SCL low, so the next
/// start condition would never reach the decoder.
///
/// Failures are reported as `bool` plus a German text. Not thread-safe: the bus, the
/// claim and the fault channel belong to the thread that runs the bus work.
class Station
{
public:
    /// Builds the station for `options`; `settings` is the run's settings record and must
    /// outlive it. Null with a German message in `error` when the broadcast cannot be used.
    static std::unique_ptr<Station> Create(const StationOptions& options, const Settings& settings,
                                           const StationParts& parts, QString* error);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    /// The ports behind the bus, for the line adapters.
    PortIo& Ports();
    /// The serial port object that claims the serial module's COM port.
    TComm32& Comm() { return *m_comm; }
    /// The simulated board; null with real hardware.
    SimulatedBoard* Board() { return m_board.get(); }
    /// The clock of the board and its broadcast.
    BoardClock& Clock() { return *m_clock; }
    bool Hardware() const { return m_hardware != nullptr; }
    /// Another broadcast for the simulated board (a transport stream's teletext `pid`, or -1),
    /// on the board's clock, for the caller to
    /// put on air between two ticks. Null with a German message in `error` when the source
    /// cannot be used or there is no board.
    std::unique_ptr<PacketSource> OpenSource(const std::string& source, int pid, QString* error);

    /// Claims COM `Port` of the settings for the serial module: closes what was open,
    /// opens that port and brings the bus to idle. False with "COMn kann nicht verwendet
    /// werden (...)" in `error`.
    bool ClaimSerialPort(QString* error);
    /// Brings the serial module's bus to idle after someone opened its port: SDA released
    /// first, then SCL, so that no start or stop condition is made on the way.
    void BusIdle();
    /// The fault channel of the serial lines: a German message once per fault, empty when
    /// there was none. A fault leaves the lines anywhere, so the bus is brought to idle.
    std::string TakeFault();

    /// The card adapters' ports, opened while the program still runs alone, with every
    /// privilege given up right after. Null when the ports cannot be had; `portMessage`
    /// then says why (the serial module still works). False when the privileges could not
    /// be given up; the program must end then with `error`.
    static bool OpenCardPorts(std::unique_ptr<DirectPortIo>& ports, QString* portMessage, QString* error);

private:
    Station(const Settings& settings, const StationParts& parts);
    bool Build(const StationOptions& options, const StationParts& parts, QString* error);

    const Settings& m_settings;
    std::unique_ptr<BoardClock> m_ownClock;
    BoardClock* m_clock = nullptr;
    std::unique_ptr<BroadcastClock> m_broadcastClock;
    std::unique_ptr<SimulatedBoard> m_board;
    std::unique_ptr<TComm32> m_comm;
    std::unique_ptr<HardwarePortIo> m_hardware;
};

} // namespace quav
