#pragma once

#include "config/Settings.h"
#include "ports/PortIo.h"
#include "ports/SerialLineIo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quav {

/// The real adapters behind the bus: the card registers through direct port access, and
/// the serial module's modem registers through the tty that the serial port object has
/// claimed. The serial side follows the claimed port: when the port is opened again or
/// another one is chosen, the registers move with it.
///
/// Faults of the serial lines come out through one channel, TakeFault. Single-threaded,
/// like the bus code that uses it.
class HardwarePortIo final : public PortIo
{
public:
    /// `cards` answers the card ports (it refuses everything else); `serialHandle` gives
    /// the descriptor of the claimed COM port, 0 or less while none is open; `lines` makes
    /// the calls on the tty's modem lines.
    HardwarePortIo(PortIo& cards, std::function<int()> serialHandle, const Settings& settings,
                   ModemLineCalls& lines = ModemLineCalls::System());

    std::uint8_t ReadPort(std::uint16_t port) override;
    void WritePort(std::uint16_t port, std::uint8_t value) override;

    /// A German message when the serial lines failed since the last call (a device that
    /// was unplugged, for example); empty otherwise. Each fault is reported once.
    std::string TakeFault();

    /// Forgets what it knew of the serial lines: after the port was opened again (which
    /// raised DTR and RTS) or after a fault, the next access reads them from the tty.
    void ForgetLines();

    /// The card adapters' ports: every adapter port that is not a UART register.
    static std::vector<std::uint16_t> CardPorts();

private:
    /// The serial lines of the claimed port when `port` is one of its two registers.
    SerialLineIo* SerialFor(std::uint16_t port);
    static bool IsComRegister(std::uint16_t port);
    void NoteFault(SerialLineIo& serial);

    PortIo& m_cards;
    std::function<int()> m_serialHandle;
    const Settings& m_settings;
    ModemLineCalls& m_lines;
    std::unique_ptr<SerialLineIo> m_serial;
    int m_serialFd = -1;
    std::uint16_t m_serialBase = 0;
    std::string m_fault;
    bool m_faultActive = false;
};

} // namespace quav
