#include "ports/SerialLineIo.h"

#include "bus/AdapterPorts.h"
#include "bus/I2cMaster.h"
#include "bus/LineAdapters.h"
#include "support/FakeModemLines.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::FakeModemLines;

constexpr std::uint16_t Com1 = 0x3F8;
constexpr std::uint16_t Mcr = Com1 + 4;
constexpr std::uint16_t Msr = Com1 + 6;

std::string Bits(int b)
{
    return std::to_string(b);
}

TEST(SerialLineIo, LineOperationsOfTheSerialModuleDriveDtrAndRtsAndSampleDcd)
{
    FakeModemLines tty;
    SerialLineIo io(7, Com1, tty);
    Settings settings; // serial module on COM1
    settings.I2cDelay = 0;
    LineAdapters lines(io, settings);
    lines.UpdatePorts();

    lines.SdaHigh(); // DTR set = SDA high
    EXPECT_EQ(tty.lines & TIOCM_DTR, TIOCM_DTR);
    lines.SclLow(); // RTS set = SCL low
    EXPECT_EQ(tty.lines & TIOCM_RTS, TIOCM_RTS);
    lines.SclHigh();
    EXPECT_EQ(tty.lines & TIOCM_RTS, 0);
    lines.SdaLow();
    EXPECT_EQ(tty.lines & TIOCM_DTR, 0);

    tty.lines |= TIOCM_CD; // the module pulls SDA low: DCD set
    EXPECT_EQ(lines.SdaRead(), 0);
    tty.lines &= ~TIOCM_CD;
    EXPECT_EQ(lines.SdaRead(), 1);
    EXPECT_FALSE(io.Failed());
}

TEST(SerialLineIo, KeepsTheOtherControlBitsToItselfAndSpendsIoctlsOnlyOnChanges)
{
    FakeModemLines tty;
    SerialLineIo io(7, Com1, tty);
    tty.log.clear();

    io.WritePort(Mcr, 0xFC); // OUT1, OUT2, loop and the rest: never to the device
    EXPECT_TRUE(tty.log.empty());
    EXPECT_EQ(io.ReadPort(Mcr), 0xFC);

    io.WritePort(Mcr, 0xFD); // DTR up
    io.WritePort(Mcr, 0xFD); // nothing changes: no ioctl
    io.WritePort(Mcr, 0xFE); // DTR down and RTS up in one write
    EXPECT_EQ(tty.log, (std::vector<std::string>{"raise " + Bits(TIOCM_DTR), "raise " + Bits(TIOCM_RTS),
                                                 "lower " + Bits(TIOCM_DTR)}));
    EXPECT_EQ(io.ReadPort(Mcr), 0xFE);
    EXPECT_EQ(tty.lines, TIOCM_RTS);
}

TEST(SerialLineIo, StartsFromTheLinesTheTtyHas)
{
    FakeModemLines tty;
    tty.lines = TIOCM_DTR | TIOCM_RTS;
    SerialLineIo io(7, Com1, tty);
    EXPECT_EQ(io.ReadPort(Mcr), adapter::McrDtr | adapter::McrRts);
    tty.log.clear();
    io.WritePort(Mcr, adapter::McrDtr | adapter::McrRts); // as they are: nothing to do
    EXPECT_TRUE(tty.log.empty());
}

TEST(SerialLineIo, ModemStatusShowsTheLinesAndTheirChangesAsAUartDoes)
{
    struct Row
    {
        int before;
        int now;
        std::uint8_t expected;
    };
    const std::vector<Row> rows{
        {0, TIOCM_CD, 0x80 | 0x08},
        {TIOCM_CD, TIOCM_CD, 0x80},
        {0, TIOCM_CTS | TIOCM_DSR, 0x10 | 0x20 | 0x01 | 0x02},
        {0, TIOCM_RI, 0x40}, // a ring starting is no trailing edge
        {TIOCM_RI, 0, 0x04}, // its end is
        {TIOCM_CD | TIOCM_RI, TIOCM_CD | TIOCM_RI, 0xC0},
        {TIOCM_CTS, 0, 0x01},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.before) + " -> " + std::to_string(row.now));
        FakeModemLines tty;
        tty.lines = row.before;
        SerialLineIo io(7, Com1, tty);
        tty.lines = row.now;
        EXPECT_EQ(io.ReadPort(Msr), row.expected);
        EXPECT_EQ(io.ReadPort(Msr), row.expected & 0xF0) << "the changes are shown once";
    }
}

TEST(SerialLineIo, AnswersEverywhereElseAsAPcWithoutHardware)
{
    FakeModemLines tty;
    tty.lines = TIOCM_CD;
    SerialLineIo io(7, Com1, tty);
    tty.log.clear();
    struct Row
    {
        std::uint16_t port;
        std::uint8_t expected;
    };
    // Another COM port's status register reads no carrier: 0xFF there would read as an
    // acknowledging decoder.
    const std::vector<Row> rows{{0x2FE, 0x00}, {0x3EE, 0x00}, {0x2EE, 0x00}, {0x2FC, 0xFF},  {0x3F8, 0xFF},
                                {0x3FD, 0xFF}, {0x251, 0xFF}, {0x102, 0xFF}, {0x0000, 0xFF}, {0xFFFF, 0xFF}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.port);
        io.WritePort(row.port, 0x03);
        EXPECT_EQ(io.ReadPort(row.port), row.expected);
    }
    EXPECT_TRUE(tty.log.empty()) << "no other port reaches the tty";
    EXPECT_EQ(io.ReadPort(Mcr), 0x00);
}

TEST(SerialLineIo, ADeviceThatDisappearsReadsAsReleasedAndIsReportedNotThrown)
{
    FakeModemLines tty;
    SerialLineIo io(7, Com1, tty);
    Settings settings;
    settings.I2cDelay = 0;
    LineAdapters lines(io, settings);
    I2cMaster master(lines);

    tty.lines = TIOCM_CD;         // a decoder holding SDA low, until ...
    tty.failFrom = tty.calls + 1; // ... the adapter is pulled out
    tty.error = ENODEV;
    EXPECT_EQ(io.ReadPort(Msr), 0x00);
    const std::uint8_t data[2] = {0x01, 0x04};
    EXPECT_FALSE(master.I2cWrite(0x22, 2, data)) << "nobody acknowledges any more";
    EXPECT_TRUE(io.Failed());
    EXPECT_EQ(io.FirstError(), ENODEV);
    EXPECT_NE(io.FaultText().find("antwortet nicht mehr"), std::string::npos) << io.FaultText();
    EXPECT_GT(io.FailedIoctls(), 0u);

    // A line whose change failed is tried again once the device is back.
    tty.failFrom = 0;
    io.ClearFault();
    tty.log.clear();
    io.WritePort(Mcr, adapter::McrDtr);
    EXPECT_EQ(tty.lines & TIOCM_DTR, TIOCM_DTR);
    EXPECT_FALSE(io.Failed());
}

TEST(SerialLineIo, APseudoTerminalHasNoModemLinesAndSaysSo)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    {
        SerialLineIo io(slave, Com1);
        io.WritePort(Mcr, adapter::McrDtr);
        EXPECT_EQ(io.ReadPort(Msr) & adapter::MsrDcd, 0);
        if (io.Failed()) { // Linux: the pty driver knows no TIOCMGET
            EXPECT_EQ(io.FirstError(), ENOTTY);
            EXPECT_NE(io.FaultText().find("keine steuerbaren Modemleitungen"), std::string::npos);
        }
    }
    close(slave);
    close(master);

    SerialLineIo closed(-1, Com1);
    EXPECT_EQ(closed.ReadPort(Msr), 0x00);
    EXPECT_TRUE(closed.Failed());
    EXPECT_EQ(closed.FirstError(), EBADF);
}

} // namespace
} // namespace quav
