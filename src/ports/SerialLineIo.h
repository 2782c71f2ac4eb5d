#pragma once

#include "ports/PortIo.h"

#include <cstdint>
#include <string>

namespace quav {

/// The three calls on a tty's modem lines, each returning 0 or an error number. The
/// system's are the ioctls; tests put a fake tty behind them.
class ModemLineCalls
{
public:
    virtual ~ModemLineCalls() = default;
    /// TIOCMGET: the TIOCM_* bits of the lines.
    virtual int Get(int fd, int& bits);
    /// TIOCMBIS: raises the lines in `bits`.
    virtual int Raise(int fd, int bits);
    /// TIOCMBIC: lowers the lines in `bits`.
    virtual int Lower(int fd, int bits);

    /// The real ioctls.
    static ModemLineCalls& System();
};

/// The modem lines of a tty as the two modem registers of a COM port, for the serial
/// decoder module on a PC without direct port access (a USB serial adapter, or any UART
/// that the kernel's driver owns). Needs no privileges beyond the open tty.
///
/// Serves the modem control register (COM base + 4) and the modem status register (COM
/// base + 6) of one COM port on an open tty descriptor (the one the serial port object
/// claimed; this object neither opens nor closes it):
/// - modem control register: DTR is bit 0 and RTS bit 1, set with TIOCMBIS and cleared
///   with TIOCMBIC when they change; the other bits are kept here, as the register of a
///   UART keeps them, and never reach the device. A read answers from that copy.
/// - modem status register: read with TIOCMGET. CTS is bit 4, DSR bit 5, RI bit 6 and DCD
///   bit 7; bits 0 to 3 show which of them changed since the last read, as a UART shows it.
///
/// Every other port answers as a PC without hardware there: a read gives 0xFF and a write
/// is dropped. The modem status register of another COM port reads 0 (an empty UART shows
/// no carrier), so a wrong port setting never looks like an acknowledging decoder.
///
/// Never throws. When an ioctl fails (the device was unplugged, or the tty has no modem
/// lines at all, like a pseudo-terminal), the access goes on as if nothing were attached:
/// the status register reads 0, so SDA reads released and the bus code reports the
/// missing decoder. The failure is kept for the application to show (Failed, FaultText).
///
/// Single-threaded, like the bus code that uses it.
class SerialLineIo final : public PortIo
{
public:
    /// Serves the COM port at `comBase` on the open tty `fd`. Reads the current DTR and RTS
    /// once, so the first write changes only what it must.
    SerialLineIo(int fd, std::uint16_t comBase, ModemLineCalls& calls = ModemLineCalls::System());

    std::uint8_t ReadPort(std::uint16_t port) override;
    void WritePort(std::uint16_t port, std::uint8_t value) override;

    std::uint16_t ModemControlPort() const { return m_modemControl; }
    std::uint16_t ModemStatusPort() const { return m_modemStatus; }

    /// True once an ioctl has failed, until ClearFault.
    bool Failed() const { return m_firstError != 0; }
    /// The error number of the first failure since the last ClearFault; 0 when none.
    int FirstError() const { return m_firstError; }
    /// A German text for the user about the first failure; empty when there was none.
    std::string FaultText() const;
    void ClearFault() { m_firstError = 0; }

    /// The ioctls issued so far, failed ones included (the bus cost of this backend).
    std::uint64_t IoctlCount() const { return m_ioctls; }
    /// The failed ones among them.
    std::uint64_t FailedIoctls() const { return m_failedIoctls; }

    /// The German text for a failure with this error number.
    static std::string FaultTextFor(int error);

private:
    bool Check(int error);
    void SetLines(std::uint8_t value);
    std::uint8_t ReadModemStatus();
    static bool IsOtherModemStatus(std::uint16_t port);

    ModemLineCalls& m_calls;
    int m_fd;
    std::uint16_t m_modemControl;
    std::uint16_t m_modemStatus;
    std::uint8_t m_mcr = 0;        ///< the register as last written; DTR and RTS as set
    std::uint8_t m_lastStatus = 0; ///< CTS, DSR, RI, DCD at the last status read
    int m_firstError = 0;
    std::uint64_t m_ioctls = 0;
    std::uint64_t m_failedIoctls = 0;
};

} // namespace quav
