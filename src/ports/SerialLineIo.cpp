#include "ports/SerialLineIo.h"

#include "bus/AdapterPorts.h"

#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <termios.h>

namespace quav {

namespace {

// The modem status register's line bits and the delta bits below them.
constexpr std::uint8_t MsrCts = 0x10;
constexpr std::uint8_t MsrDsr = 0x20;
constexpr std::uint8_t MsrRi = 0x40;
constexpr std::uint8_t MsrDcd = adapter::MsrDcd;
constexpr std::uint8_t MsrDeltaCts = 0x01;
constexpr std::uint8_t MsrDeltaDsr = 0x02;
constexpr std::uint8_t MsrTrailingRi = 0x04;
constexpr std::uint8_t MsrDeltaDcd = 0x08;

constexpr std::uint8_t McrLines = adapter::McrDtr | adapter::McrRts;

// The line bits of the modem status register for the lines TIOCMGET reports.
std::uint8_t StatusLines(int bits)
{
    return static_cast<std::uint8_t>(
        ((bits & TIOCM_CTS) != 0 ? MsrCts : 0) | ((bits & TIOCM_DSR) != 0 ? MsrDsr : 0) |
        ((bits & TIOCM_RI) != 0 ? MsrRi : 0) | ((bits & TIOCM_CD) != 0 ? MsrDcd : 0));
}

} // namespace

int ModemLineCalls::Get(int fd, int& bits)
{
    return ::ioctl(fd, TIOCMGET, &bits) == 0 ? 0 : errno;
}

int ModemLineCalls::Raise(int fd, int bits)
{
    return ::ioctl(fd, TIOCMBIS, &bits) == 0 ? 0 : errno;
}

int ModemLineCalls::Lower(int fd, int bits)
{
    return ::ioctl(fd, TIOCMBIC, &bits) == 0 ? 0 : errno;
}

ModemLineCalls& ModemLineCalls::System()
{
    static ModemLineCalls calls;
    return calls;
}

SerialLineIo::SerialLineIo(int fd, std::uint16_t comBase, ModemLineCalls& calls)
    : m_calls(calls), m_fd(fd),
      m_modemControl(static_cast<std::uint16_t>(comBase + adapter::ModemControlOffset)),
      m_modemStatus(static_cast<std::uint16_t>(comBase + adapter::ModemStatusOffset))
{
    // A failure here is kept: a tty without modem lines is known before the first access.
    int bits = 0;
    if (Check(m_fd >= 0 ? m_calls.Get(m_fd, bits) : EBADF)) {
        m_mcr = static_cast<std::uint8_t>(((bits & TIOCM_DTR) != 0 ? adapter::McrDtr : 0) |
                                          ((bits & TIOCM_RTS) != 0 ? adapter::McrRts : 0));
        m_lastStatus = StatusLines(bits);
    }
}

bool SerialLineIo::Check(int error)
{
    ++m_ioctls;
    if (error == 0) {
        return true;
    }
    ++m_failedIoctls;
    if (m_firstError == 0) {
        m_firstError = error;
    }
    return false;
}

bool SerialLineIo::IsOtherModemStatus(std::uint16_t port)
{
    for (std::uint16_t base : adapter::ComBase) {
        if (port == base + adapter::ModemStatusOffset) {
            return true;
        }
    }
    return false;
}

std::uint8_t SerialLineIo::ReadPort(std::uint16_t port)
{
    if (port == m_modemControl) {
        return m_mcr;
    }
    if (port == m_modemStatus) {
        return ReadModemStatus();
    }
    // An empty UART shows no carrier; 0xFF there would read as SDA pulled low, which is an
    // acknowledge from a decoder that is not there.
    return IsOtherModemStatus(port) ? 0x00 : 0xFF;
}

void SerialLineIo::WritePort(std::uint16_t port, std::uint8_t value)
{
    if (port == m_modemControl) {
        SetLines(value);
    }
}

void SerialLineIo::SetLines(std::uint8_t value)
{
    // Only the lines that change cost an ioctl; a bit stays as it was when its ioctl
    // fails, so the next write tries again.
    const std::uint8_t rise = static_cast<std::uint8_t>(value & ~m_mcr & McrLines);
    const std::uint8_t fall = static_cast<std::uint8_t>(~value & m_mcr & McrLines);
    std::uint8_t lines = static_cast<std::uint8_t>(m_mcr & McrLines);
    const auto toBits = [](std::uint8_t mcr) {
        return ((mcr & adapter::McrDtr) != 0 ? TIOCM_DTR : 0) |
               ((mcr & adapter::McrRts) != 0 ? TIOCM_RTS : 0);
    };
    if (rise != 0) {
        if (Check(m_fd >= 0 ? m_calls.Raise(m_fd, toBits(rise)) : EBADF)) {
            lines = static_cast<std::uint8_t>(lines | rise);
        }
    }
    if (fall != 0) {
        if (Check(m_fd >= 0 ? m_calls.Lower(m_fd, toBits(fall)) : EBADF)) {
            lines = static_cast<std::uint8_t>(lines & ~fall);
        }
    }
    m_mcr = static_cast<std::uint8_t>((value & ~McrLines) | lines);
}

std::uint8_t SerialLineIo::ReadModemStatus()
{
    int bits = 0;
    if (!Check(m_fd >= 0 ? m_calls.Get(m_fd, bits) : EBADF)) {
        return 0x00; // nothing attached: no carrier, so SDA reads released
    }
    const std::uint8_t lines = StatusLines(bits);
    const std::uint8_t changed = static_cast<std::uint8_t>(lines ^ m_lastStatus);
    std::uint8_t deltas = 0;
    if ((changed & MsrCts) != 0) {
        deltas |= MsrDeltaCts;
    }
    if ((changed & MsrDsr) != 0) {
        deltas |= MsrDeltaDsr;
    }
    if ((changed & MsrRi) != 0 && (lines & MsrRi) == 0) {
        deltas |= MsrTrailingRi; // only the end of a ring counts
    }
    if ((changed & MsrDcd) != 0) {
        deltas |= MsrDeltaDcd;
    }
    m_lastStatus = lines;
    return static_cast<std::uint8_t>(lines | deltas);
}

std::string SerialLineIo::FaultText() const
{
    return m_firstError == 0 ? std::string() : FaultTextFor(m_firstError);
}

std::string SerialLineIo::FaultTextFor(int error)
{
    std::string text;
    switch (error) {
    case ENOTTY:
    case EINVAL:
        text = "Die serielle Schnittstelle hat keine steuerbaren Modemleitungen (DTR, RTS, DCD); "
               "das Videotextmodul kann daran nicht betrieben werden.";
        break;
    case EIO:
    case ENODEV:
    case ENXIO:
    case EBADF:
        text = "Die serielle Schnittstelle antwortet nicht mehr. Wurde der USB-Adapter "
               "abgezogen? Bitte wieder anschließen und unter Einstellungen den Port neu wählen.";
        break;
    default:
        text = "Die Modemleitungen der seriellen Schnittstelle lassen sich nicht ansprechen.";
        break;
    }
    text += " (";
    text += std::strerror(error);
    text += ")";
    return text;
}

} // namespace quav
