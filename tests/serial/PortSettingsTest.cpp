#include "serial/PortSettings.h"

#include "serial/ComPortMap.h"

#include <gtest/gtest.h>

namespace quav {
namespace {

TEST(SpeedForBaudRate, KnowsTheStandardRatesAndNothingElse)
{
    struct Row
    {
        std::int32_t rate;
        std::optional<speed_t> speed;
    };
    const Row rows[] = {
        {9600, B9600},
        {115200, B115200},
        {50, B50},
        {4000000, B4000000},
        // 0 must never become B0: that hangs up the line and drops DTR, which is SDA.
        {0, std::nullopt},
        {-9600, std::nullopt},
        {9601, std::nullopt},
        {14400, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rate);
        EXPECT_EQ(SpeedForBaudRate(row.rate), row.speed);
    }
}

termios PreparedTermios()
{
    // A port as a previous program may have left it: cooked, echoing, hanging up on close,
    // with hardware handshake, odd parity, two stop bits, 4800 baud.
    termios t{};
    t.c_iflag = ICRNL | IXON | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag = CS7 | HUPCL | CRTSCTS | PARENB | PARODD | CSTOPB;
    cfsetispeed(&t, B4800);
    cfsetospeed(&t, B4800);
    return t;
}

TEST(ConfigureTermios, MakesARawEightBitLineThatLeavesTheModemLinesAlone)
{
    termios t = PreparedTermios();
    ConfigureTermios(t, 9600, TParity::pNone, TStopBits::sb1_0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | BRKINT), 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (HUPCL | CRTSCTS), 0u) << "closing or handshake would move DTR/RTS";
    EXPECT_NE(t.c_cflag & CLOCAL, 0u) << "DCD is a bus line, not a carrier";
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B9600));
}

TEST(ConfigureTermios, SetsWhatTheSystemSupportsAndLeavesTheRestAsItWas)
{
    const tcflag_t parityBits = PARENB | PARODD | CMSPAR;
    struct Row
    {
        const char* what;
        std::int32_t baud;
        TParity parity;
        TStopBits stopBits;
        speed_t speed;
        tcflag_t parityCflag;
        bool twoStopBits;
    };
    const Row rows[] = {
        {"baud 0 keeps the speed", 0, TParity::pOdd, TStopBits::sb2_0, B4800, PARENB | PARODD, true},
        {"unknown baud keeps it", 12345, TParity::pOdd, TStopBits::sb2_0, B4800, PARENB | PARODD, true},
        {"no parity, one stop bit", 19200, TParity::pNone, TStopBits::sb1_0, B19200, 0, false},
        {"even", 9600, TParity::pEven, TStopBits::sb1_0, B9600, PARENB, false},
        {"odd", 9600, TParity::pOdd, TStopBits::sb1_0, B9600, PARENB | PARODD, false},
        {"mark", 9600, TParity::pMark, TStopBits::sb2_0, B9600, PARENB | PARODD | CMSPAR, true},
        {"space", 9600, TParity::pSpace, TStopBits::sb2_0, B9600, PARENB | CMSPAR, true},
        {"1.5 stop bits are refused", 9600, TParity::pNone, TStopBits::sb1_5, B9600, 0, true},
        {"an unknown parity is refused", 9600, TParity(7), TStopBits::sb1_0, B9600, PARENB | PARODD, false},
        {"unknown stop bits are refused", 9600, TParity::pEven, TStopBits(9), B9600, PARENB, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        termios t = PreparedTermios();
        ConfigureTermios(t, row.baud, row.parity, row.stopBits);
        EXPECT_EQ(cfgetospeed(&t), row.speed);
        EXPECT_EQ(cfgetispeed(&t), row.speed);
        EXPECT_EQ(t.c_cflag & parityBits, row.parityCflag);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, row.twoStopBits);
    }
}

TEST(LineErrors, EachMovedCounterSetsItsFlag)
{
    const LineCounters before{5, 5, 5, 5, 5};
    struct Row
    {
        LineCounters after;
        std::uint32_t flags;
    };
    const Row rows[] = {
        {{5, 5, 5, 5, 5}, 0},
        {{6, 5, 5, 5, 5}, CE_FRAME},
        {{5, 7, 5, 5, 5}, CE_OVERRUN},
        {{5, 5, 6, 5, 5}, CE_RXPARITY},
        {{5, 5, 5, 6, 5}, CE_BREAK},
        {{5, 5, 5, 5, 6}, CE_RXOVER},
        {{6, 6, 5, 5, 5}, CE_FRAME | CE_OVERRUN},
        {{4, 5, 5, 5, 5}, CE_FRAME}, // a counter that wrapped around
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        EXPECT_EQ(LineErrorFlags(before, row.after), row.flags);
    }
}

TEST(LineErrors, DescribesTheFlagsInTheirFixedOrder)
{
    struct Row
    {
        std::uint32_t flags;
        const char* text;
    };
    const Row rows[] = {
        {0, "Comm Event: NULL Error, EvtMask = 0"},
        {CE_RXOVER, "Comm Event: EV_ERR Unknown EvtMask, EvtMask = 1"},
        {CE_FRAME | CE_OVERRUN, "Comm Event: CE_FRAME and CE_OVERRUN, EvtMask = 10"},
        {CE_RXPARITY | CE_FRAME, "Comm Event: CE_FRAME and CE_RXPARITY, EvtMask = 12"},
        {CE_BREAK | CE_OVERRUN, "Comm Event: CE_OVERRUN and EV_ERR Unknown EvtMask, EvtMask = 18"},
        {0x1F, "Comm Event: CE_FRAME and CE_OVERRUN and CE_RXPARITY and EV_ERR Unknown EvtMask, "
               "EvtMask = 31"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        EXPECT_EQ(DescribeLineErrors(row.flags), row.text);
    }
}

TEST(ComPortMap, NamesTheFirstFourSerialPortsUnlessMappedOtherwise)
{
    ComPortMap map;
    struct Row
    {
        const char* name;
        const char* path;
    };
    const Row defaults[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM4", "/dev/ttyS3"},
        {"com2", "/dev/ttyS1"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        // Out of range or relative: never a file in the working folder.
        {"COM5", ""},
        {"COM0", ""},
        {"COM10", ""},
        {"COM255", ""},
        {"ttyS0", ""},
    };
    for (const Row& row : defaults) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(map.DevicePath(QString::fromLatin1(row.name)), QString::fromLatin1(row.path));
    }

    map.Map(QStringLiteral("COM1"), QStringLiteral("/dev/pts/7"));
    map.Map(QStringLiteral("Com3"), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(map.DevicePath(QStringLiteral("com1")), QStringLiteral("/dev/pts/7"));
    EXPECT_EQ(map.DevicePath(QStringLiteral("COM3")), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(map.DevicePath(QStringLiteral("COM2")), QStringLiteral("/dev/ttyS1"));

    map.Unmap(QStringLiteral("COM1"));
    EXPECT_EQ(map.DevicePath(QStringLiteral("COM1")), QStringLiteral("/dev/ttyS0"));
}

} // namespace
} // namespace quav
