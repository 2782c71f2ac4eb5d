#pragma once

#include "broadcast/PacketSource.h"
#include "ports/PortIo.h"
#include "sim/AdapterPortDecoder.h"
#include "sim/BoardClock.h"
#include "sim/DecoderChip.h"
#include "sim/I2cSlave.h"
#include "sim/SimulatedComPorts.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace quav {

/// The teletext decoder board, simulated: a PortIo backend that stands where the real
/// adapter ports would be.
///
/// It is built like the hardware: the port decoding of the adapter it sits on turns port
/// accesses into SDA and SCL levels (AdapterPortDecoder), an I2C slave follows the lines
/// (I2cSlave), and the decoder chip answers at 0x22/0x23 and acquires the requested page
/// from the broadcast (DecoderChip).
///
/// The broadcast runs on the board's clock at a fixed packet rate (by default 20 packets
/// per field, 50 fields per second). There is no thread: the packets that have become due
/// are taken from the source at each start condition on the bus, so a transfer always
/// sees a steady page memory. Tests drive the clock by hand.
///
/// Its COM ports behave like real ones under Linux: opening one raises DTR and RTS, the
/// last close drops them, and the board's lines follow. The board looks for opens and
/// closes whenever the bus is between transfers and the program reads the board's modem
/// control register, which is the first thing every line change does.
///
/// Not thread-safe; like the real ports it belongs to the one thread that drives the bus.
class SimulatedBoard final : public PortIo, private I2cTarget
{
public:
    static constexpr int DefaultPacketsPerField = 20;
    static constexpr int DefaultFieldsPerSecond = 50;
    /// The most broadcast time taken in at once; a longer gap (the program was stopped,
    /// say) is skipped, as a receiver would simply have missed it.
    static constexpr std::chrono::seconds MaxCatchUp{60};

    /// A board on the steady clock.
    SimulatedBoard();
    /// A board on the given clock, which must outlive it.
    explicit SimulatedBoard(BoardClock& clock);
    ~SimulatedBoard() override;

    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    /// Power on: the chip and the bus to their initial state, the broadcast starting now.
    /// Placement, source, reception, rate and the COM ports stay.
    void Reset();

    /// Puts the board on another adapter or address (default: serial module on COM1).
    void SetPlacement(BoardPlacement placement);
    BoardPlacement Placement() const { return m_ports.Placement(); }

    /// The broadcast. Without a source the chip sees a channel without teletext.
    void SetSource(std::unique_ptr<PacketSource> source);
    PacketSource* Source() const { return m_source.get(); }

    /// Simulates no video or a channel without teletext; Teletext (the default) receives
    /// the source.
    void SetReception(Reception reception) { m_reception = reception; }
    Reception GetReception() const { return m_reception; }

    /// Packets per second = packetsPerField x fieldsPerSecond; both at least 1. The
    /// broadcast goes on from now at the new rate.
    void SetBroadcastRate(int packetsPerField, int fieldsPerSecond);

    /// Takes in every packet that is due by the board's clock. The bus does this at each
    /// start condition; tests may call it to settle the chip before looking at it.
    void CatchUp();

    /// Packets the chip has taken off the air.
    std::uint64_t PacketsReceived() const { return m_received; }
    /// Port reads and writes so far, anywhere.
    std::uint64_t PortAccesses() const { return m_accesses; }

    /// Imitates a slow adapter: every port access takes at least `delay` of real time (a
    /// serial module behind a USB adapter takes about 1 ms per line change). Zero, the
    /// default, answers at once.
    void SetPortDelay(std::chrono::nanoseconds delay) { m_portDelay = delay; }
    std::chrono::nanoseconds PortDelay() const { return m_portDelay; }

    DecoderChip& Chip() { return m_chip; }
    const I2cSlave& Bus() const { return m_bus; }
    const AdapterPortDecoder& Ports() const { return m_ports; }

    /// The device path that COM `port` stands for while the board is simulated; with no
    /// argument, the board's own port (empty when the board sits on a card).
    std::string ComPortPath(int port = 0);
    /// Marks COM `port` busy (held and locked by the board) or free again. False when it
    /// cannot be done.
    bool SetComPortBusy(int port, bool busy);
    SimulatedComPorts& ComPorts() { return m_comPorts; }

    std::uint8_t ReadPort(std::uint16_t port) override
    {
        ++m_accesses;
        if (m_portDelay.count() > 0) [[unlikely]] {
            SlowAccess();
        }
        if (port == m_ports.ModemControlPort() && !m_bus.InTransfer()) {
            FollowComPorts();
        }
        return m_ports.Read(port);
    }
    void WritePort(std::uint16_t port, std::uint8_t value) override;

private:
    // I2cTarget: the chip's side, with the broadcast caught up at each start condition.
    void OnStart() override;
    void OnStop() override { m_chip.OnStop(); }
    bool OnAddress(std::uint8_t address) override { return m_chip.OnAddress(address); }
    bool OnWrite(std::uint8_t byte) override { return m_chip.OnWrite(byte); }
    std::uint8_t OnRead() override { return m_chip.OnRead(); }

    void Rebase();
    void FollowComPorts();
    [[gnu::cold, gnu::noinline]] void SlowAccess() const;
    std::uint64_t PacketsDue(std::chrono::nanoseconds elapsed) const;

    std::unique_ptr<SteadyBoardClock> m_ownClock;
    BoardClock& m_clock;
    DecoderChip m_chip;
    I2cSlave m_bus;
    AdapterPortDecoder m_ports;
    SimulatedComPorts m_comPorts;
    std::unique_ptr<PacketSource> m_source;
    Reception m_reception = Reception::Teletext;
    std::uint64_t m_packetsPerSecond = DefaultPacketsPerField * DefaultFieldsPerSecond;
    std::chrono::nanoseconds m_epoch{0};
    std::uint64_t m_taken = 0; ///< packets due since the epoch that have been dealt with
    std::uint64_t m_received = 0;
    std::uint64_t m_accesses = 0;
    std::chrono::nanoseconds m_portDelay{0};
    std::chrono::nanoseconds m_lastDrain{0};
};

} // namespace quav
