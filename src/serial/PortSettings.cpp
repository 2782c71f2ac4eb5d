#include "serial/PortSettings.h"

namespace quav {

namespace {

struct SpeedEntry
{
    std::int32_t rate;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},
#ifdef B460800
    {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
#endif
};

constexpr std::size_t kMaxLineErrorText = 127;

} // namespace

std::optional<speed_t> SpeedForBaudRate(std::int32_t baudRate)
{
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.rate == baudRate) {
            return entry.speed;
        }
    }
    return std::nullopt;
}

void ConfigureTermios(termios& t, std::int32_t baudRate, TParity parity, TStopBits stopBits)
{
    // Binary bytes as they come. DCD and CTS are bus lines of the decoder module, so the driver
    // must neither hang up on DCD (CLOCAL) nor handshake with RTS; and closing must not drop
    // DTR and RTS (no HUPCL).
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | HUPCL | CRTSCTS);
    t.c_cflag |= tcflag_t(CS8 | CLOCAL | CREAD);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    if (const auto speed = SpeedForBaudRate(baudRate)) {
        cfsetispeed(&t, *speed);
        cfsetospeed(&t, *speed);
    }

#ifdef CMSPAR
    constexpr tcflag_t kMarkSpace = CMSPAR;
#else
    constexpr tcflag_t kMarkSpace = 0;
#endif
    const tcflag_t parityBits = PARENB | PARODD | kMarkSpace;
    switch (parity) {
    case TParity::pNone:
        t.c_cflag &= ~parityBits;
        break;
    case TParity::pOdd:
        t.c_cflag = (t.c_cflag & ~parityBits) | PARENB | PARODD;
        break;
    case TParity::pEven:
        t.c_cflag = (t.c_cflag & ~parityBits) | PARENB;
        break;
    case TParity::pMark:
        if (kMarkSpace != 0) {
            t.c_cflag = (t.c_cflag & ~parityBits) | PARENB | PARODD | kMarkSpace;
        }
        break;
    case TParity::pSpace:
        if (kMarkSpace != 0) {
            t.c_cflag = (t.c_cflag & ~parityBits) | PARENB | kMarkSpace;
        }
        break;
    }

    switch (stopBits) {
    case TStopBits::sb1_0:
        t.c_cflag &= ~tcflag_t(CSTOPB);
        break;
    case TStopBits::sb2_0:
        t.c_cflag |= tcflag_t(CSTOPB);
        break;
    case TStopBits::sb1_5: // no UART driver here offers it
        break;
    }
}

std::uint32_t LineErrorFlags(const LineCounters& before, const LineCounters& after)
{
    std::uint32_t flags = 0;
    if (after.BufOverrun != before.BufOverrun) {
        flags |= CE_RXOVER;
    }
    if (after.Overrun != before.Overrun) {
        flags |= CE_OVERRUN;
    }
    if (after.Parity != before.Parity) {
        flags |= CE_RXPARITY;
    }
    if (after.Frame != before.Frame) {
        flags |= CE_FRAME;
    }
    if (after.Break != before.Break) {
        flags |= CE_BREAK;
    }
    return flags;
}

std::string DescribeLineErrors(std::uint32_t flags)
{
    std::string description;
    if (flags == 0) {
        description = "NULL Error";
    }
    const auto add = [&description](const char* name) {
        if (!description.empty()) {
            description += " and ";
        }
        description += name;
    };
    if ((flags & CE_FRAME) != 0) {
        add("CE_FRAME");
    }
    if ((flags & CE_OVERRUN) != 0) {
        add("CE_OVERRUN");
    }
    if ((flags & CE_RXPARITY) != 0) {
        add("CE_RXPARITY");
    }
    if ((flags & ~(CE_FRAME | CE_OVERRUN | CE_RXPARITY)) != 0) {
        add("EV_ERR Unknown EvtMask");
    }
    if (description.size() > kMaxLineErrorText) {
        description.resize(kMaxLineErrorText);
    }
    return "Comm Event: " + description + ", EvtMask = " + std::to_string(flags);
}

} // namespace quav
