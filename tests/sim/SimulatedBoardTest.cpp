#include "sim/SimulatedBoard.h"

#include "broadcast/PacketLoop.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace std::chrono_literals;
using test::SimulatedStack;
using test::packets::Header;
using test::packets::Row;

// A source that counts what is taken from it.
class CountingSource final : public PacketSource
{
public:
    bool NextPacket(Packet& packet) override
    {
        packet = Row(1, 1, "x");
        ++taken;
        return true;
    }
    std::uint64_t taken = 0;
};

struct CountingStack : SimulatedStack
{
    CountingStack()
    {
        auto s = std::make_unique<CountingSource>();
        source = s.get();
        board.SetSource(std::move(s));
    }
    CountingSource* source = nullptr;
};

TEST(SimulatedBoard, TakesPacketsAtTheBroadcastRateAsTheBusIsUsed)
{
    const struct
    {
        int perField, fields;
        std::chrono::nanoseconds time;
        std::uint64_t packets;
    } cases[] = {
        {20, 50, 1s, 1000}, {20, 50, 999us, 0}, {20, 50, 1ms, 1}, {20, 50, 2500ms, 2500},
        {16, 50, 1s, 800},  {1, 1, 3s, 3},      {0, -5, 2s, 2}, // a rate below 1 counts as 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.perField) + "x" + std::to_string(c.fields));
        CountingStack s;
        s.board.SetBroadcastRate(c.perField, c.fields);
        s.Run(c.time);
        EXPECT_EQ(s.source->taken, 0U) << "nothing happens while the bus is quiet";
        s.Status();
        EXPECT_EQ(s.source->taken, c.packets);
        EXPECT_EQ(s.board.PacketsReceived(), c.packets);
    }
}

TEST(SimulatedBoard, CatchesUpOnlyAtStartConditionsNeverInsideATransfer)
{
    CountingStack s;
    s.Run(10ms);
    s.master.I2cStart();
    const std::uint8_t reg = 0x0B;
    s.master.I2cSendByte(0x22);
    EXPECT_EQ(s.source->taken, 10U);
    s.Run(10ms);
    s.master.I2cSendByte(reg);
    s.master.I2cStop();
    EXPECT_EQ(s.source->taken, 10U) << "a stop does not take packets";
    s.master.I2cStart();
    EXPECT_EQ(s.source->taken, 20U);
}

TEST(SimulatedBoard, NoPacketsAreReceivedWithoutTeletextAndALongGapIsSkipped)
{
    CountingStack s;
    s.board.SetReception(Reception::NoVideo);
    s.Run(1s);
    s.Status();
    s.board.SetReception(Reception::Teletext);
    s.Status();
    EXPECT_EQ(s.source->taken, 0U) << "what went by without a signal is gone";
    s.Run(SimulatedBoard::MaxCatchUp * 5);
    s.Status();
    EXPECT_EQ(s.source->taken, 60'000U);
    s.Run(1s);
    s.Status();
    EXPECT_EQ(s.source->taken, 61'000U);
}

TEST(SimulatedBoard, AnEmptySourceNeverHangsTheBus)
{
    SimulatedStack s;
    s.Play({});
    s.Run(10s);
    EXPECT_EQ(s.Status(), 2);
    EXPECT_EQ(s.board.PacketsReceived(), 0U);
}

TEST(SimulatedBoard, ResetForgetsTheRequestAndKeepsTheBroadcast)
{
    SimulatedStack s;
    // Four packets: a second of broadcast always ends after the filler that completes 100.
    s.Play({Header("100", 0, ""), Row(1, 1, "x"), Header("1FF", 0, ""), Row(1, 2, "y")});
    s.decoder.RequestPage("100", 0);
    s.Run(1s);
    ASSERT_TRUE(s.decoder.ReadStatusRow(0));
    s.board.Reset();
    s.Run(1s);
    EXPECT_FALSE(s.decoder.ReadStatusRow(0));
    EXPECT_EQ(s.Status(), 2);
    s.decoder.RequestPage("100", 0);
    s.Run(1s);
    EXPECT_TRUE(s.decoder.ReadStatusRow(0));
}

// The three steps the serial port object takes to claim a port.
bool Claim(const std::string& path, int& fd)
{
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        fd = -1;
        return false;
    }
    return true;
}

void Release(int fd)
{
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

TEST(SimulatedBoard, OffersItsComPortsAsTerminalsThatCanBeClaimed)
{
    SimulatedBoard board;
    const std::string com1 = board.ComPortPath();
    ASSERT_FALSE(com1.empty());
    EXPECT_EQ(board.ComPortPath(1), com1);
    EXPECT_NE(board.ComPortPath(2), com1);
    EXPECT_EQ(board.ComPortPath(5), "");
    EXPECT_EQ(com1.rfind("/dev/ttyS", 0), std::string::npos) << "never a real serial port";

    int fd = -1;
    ASSERT_TRUE(Claim(com1, fd));
    EXPECT_TRUE(::isatty(fd));
    // what the program writes there goes nowhere and never blocks
    const char bytes[] = "ATZ\r";
    EXPECT_EQ(::write(fd, bytes, 4), 4);
    board.ComPorts().Drain();
    int second = -1;
    EXPECT_FALSE(Claim(com1, second)) << "claimed once, it is taken";
    EXPECT_FALSE(board.SetComPortBusy(1, true)) << "the board cannot hold a port someone has claimed";
    Release(fd);
    ASSERT_TRUE(Claim(com1, fd)) << "and free again after it was let go";
    Release(fd);

    board.SetPlacement({adapter::DeviceKind::CtCard, 0});
    EXPECT_EQ(board.ComPortPath(), "") << "a board on a card has no COM port of its own";
}

TEST(SimulatedBoard, OpeningAComPortRaisesDtrAndRtsAndTheLastCloseDropsThem)
{
    SimulatedStack s;
    constexpr std::uint16_t Com1Mcr = 0x3FC;
    constexpr std::uint16_t Com2Mcr = 0x2FC;
    constexpr std::uint8_t Lines = adapter::McrDtr | adapter::McrRts;
    const auto lines = [&s](std::uint16_t mcr) { return s.board.ReadPort(mcr) & Lines; };
    const std::string com1 = s.board.ComPortPath(1);
    const std::string com2 = s.board.ComPortPath(2);
    ASSERT_NE(s.Status(), Decoder::NoHardware) << "a board whose port nobody opened answers";

    int fd = -1;
    ASSERT_TRUE(Claim(com1, fd));
    EXPECT_EQ(lines(Com1Mcr), Lines);
    EXPECT_FALSE(s.board.Bus().Scl()) << "a raised RTS holds SCL low";
    // What the program does after a claim: SDA released first, then SCL.
    s.lines.UpdatePorts();
    s.lines.SdaHigh();
    s.lines.SclHigh();
    EXPECT_NE(s.Status(), Decoder::NoHardware);

    Release(fd);
    EXPECT_EQ(lines(Com1Mcr), 0) << "the last close drops both lines";
    // Closed and opened again before the board looks: the open is what counts, and
    // without the program's help the first query finds no start condition.
    ASSERT_TRUE(Claim(com1, fd));
    Release(fd);
    ASSERT_TRUE(Claim(com1, fd));
    EXPECT_EQ(lines(Com1Mcr), Lines);
    EXPECT_EQ(s.Status(), Decoder::NoHardware);

    int other = -1;
    ASSERT_TRUE(Claim(com2, other));
    s.board.ReadPort(Com1Mcr); // the board looks while its bus is between transfers
    EXPECT_EQ(lines(Com2Mcr), Lines) << "every COM port of the board behaves so";
    Release(other);
    Release(fd);
}

TEST(SimulatedBoard, ABusyPortCannotBeClaimedUntilItIsFreed)
{
    SimulatedBoard board;
    const std::string com2 = board.ComPortPath(2);
    ASSERT_TRUE(board.SetComPortBusy(2, true));
    EXPECT_TRUE(board.ComPorts().Busy(2));
    EXPECT_TRUE(board.SetComPortBusy(2, true)) << "marking it twice is harmless";
    int fd = -1;
    EXPECT_FALSE(Claim(com2, fd));
    ASSERT_TRUE(Claim(board.ComPortPath(1), fd)) << "the other ports stay free";
    Release(fd);
    ASSERT_TRUE(board.SetComPortBusy(2, false));
    EXPECT_FALSE(board.ComPorts().Busy(2));
    ASSERT_TRUE(Claim(com2, fd));
    Release(fd);
}

} // namespace
} // namespace quav
