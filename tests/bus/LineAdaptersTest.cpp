#include "bus/LineAdapters.h"

#include "bus/AdapterPorts.h"
#include "support/RecordingPortIo.h"

#include <random>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::PortEvent;
using test::PortWrite;
using test::RecordingPortIo;
using Kind = PortEvent::Kind;

struct Bench
{
    explicit Bench(std::uint8_t device)
    {
        settings.Device = device;
        lines.SetDelayProbe(&io);
    }
    RecordingPortIo io;
    Settings settings;
    LineAdapters lines{io, settings};
};

TEST(Vd3000sLines, WritesTheWholeShadowByteOnEveryLevelChange)
{
    Bench b(1); // card register at 0x251
    b.lines.UpdatePorts();
    b.lines.SdaLow();
    b.lines.SclLow();
    b.lines.SdaHigh();
    EXPECT_EQ(b.io.Writes(), (std::vector<PortWrite>{{0x251, 0x02}, {0x251, 0x03}, {0x251, 0x01}}));
    EXPECT_EQ(b.lines.VdShadow(), 0x01);
}

TEST(Vd3000sLines, ReadsSdaFromBitThreeOfTheRegisterAtEachBase)
{
    for (std::uint8_t index = 0; index < 4; ++index) {
        SCOPED_TRACE(int(index));
        Bench b(1);
        b.settings.VDPort = index;
        b.lines.UpdatePorts();
        const std::uint16_t reg = adapter::Vd3000sBase[index] + 1;
        EXPECT_EQ(b.lines.Vd3000sAddress(), reg);
        b.io.Preset(reg, 0x08);
        EXPECT_EQ(b.lines.SdaRead(), 1);
        b.io.Preset(reg, 0xF7);
        EXPECT_EQ(b.lines.SdaRead(), 0);
        EXPECT_EQ(b.io.Reads(), (std::vector<std::uint16_t>{reg, reg}));
    }
}

TEST(Vd3000sLines, ShadowSurvivesAChangeOfAdapter)
{
    Bench b(1);
    b.lines.UpdatePorts();
    b.lines.SdaLow(); // shadow 0x02
    b.settings.Device = 0;
    b.lines.SclLow(); // goes to the serial module, not to the card
    b.settings.Device = 1;
    b.io.Clear();
    b.lines.SclLow();
    EXPECT_EQ(b.io.Writes(), (std::vector<PortWrite>{{0x251, 0x03}}));
}

TEST(CtCardLines, EveryLevelChangeIsOneStrobeReadAndNothingIsWritten)
{
    for (std::uint8_t index = 0; index < 6; ++index) {
        SCOPED_TRACE(int(index));
        Bench b(2);
        b.settings.ctsPort = index;
        b.lines.UpdatePorts();
        const std::uint16_t base = adapter::CtBase[index];
        b.lines.SclHigh();
        b.lines.SclLow();
        b.lines.SdaHigh();
        b.lines.SdaLow();
        const int sda = b.lines.SdaRead();
        EXPECT_EQ(b.io.Writes().size(), 0u);
        const std::int32_t d = b.settings.I2cDelay;
        EXPECT_EQ(b.io.events, (std::vector<PortEvent>{{Kind::Read, base, 0},
                                                       {Kind::Delay, 0, d},
                                                       {Kind::Read, std::uint16_t(base + 1), 0},
                                                       {Kind::Delay, 0, d},
                                                       {Kind::Read, std::uint16_t(base + 2), 0},
                                                       {Kind::Delay, 0, d},
                                                       {Kind::Read, std::uint16_t(base + 3), 0},
                                                       {Kind::Delay, 0, d},
                                                       {Kind::Read, std::uint16_t(base + 2), 0}}));
        EXPECT_EQ(sda, 0); // bit 0 of base + 2 was 0
    }
}

TEST(CtCardLines, SdaIsBitZeroOfTheSdaHighStrobe)
{
    Bench b(2);
    b.lines.UpdatePorts();
    b.io.OnRead = [](std::uint16_t port) -> std::uint8_t { return port == 0x102 ? 0xFE : 0x01; };
    EXPECT_EQ(b.lines.SdaRead(), 0);
    b.io.OnRead = [](std::uint16_t port) -> std::uint8_t { return port == 0x102 ? 0x01 : 0x00; };
    EXPECT_EQ(b.lines.SdaRead(), 1);
}

TEST(SerialModuleLines, DtrIsSdaAndRtsIsInvertedScl)
{
    Bench b(0); // COM1: MCR 0x3FC, MSR 0x3FE
    b.lines.UpdatePorts();
    b.io.Preset(0x3FC, 0x00);
    b.lines.SdaHigh();
    b.lines.SclLow();
    b.lines.SdaLow();
    b.lines.SclHigh();
    EXPECT_EQ(b.io.Writes(),
              (std::vector<PortWrite>{{0x3FC, 0x01}, {0x3FC, 0x03}, {0x3FC, 0x02}, {0x3FC, 0x00}}));
    // Each write was preceded by a read of the same register.
    EXPECT_EQ(b.io.Reads(), (std::vector<std::uint16_t>{0x3FC, 0x3FC, 0x3FC, 0x3FC}));
}

TEST(SerialModuleLines, DcdSetMeansSdaLow)
{
    Bench b(0);
    b.settings.Port = 2;
    b.lines.UpdatePorts();
    b.io.Preset(0x2FE, 0x80);
    EXPECT_EQ(b.lines.SdaRead(), 0);
    b.io.Preset(0x2FE, 0x7F);
    EXPECT_EQ(b.lines.SdaRead(), 1);
}

TEST(SerialModuleLines, OtherModemControlBitsSurviveAnySequence)
{
    std::mt19937 rng(7);
    for (int start : {0x00, 0xFC, 0xA8, 0x54}) {
        SCOPED_TRACE(int(start));
        Bench b(0);
        b.settings.Port = 4;
        b.lines.UpdatePorts();
        b.io.Preset(0x2EC, std::uint8_t(start));
        for (int i = 0; i < 200; ++i) {
            switch (rng() % 5) {
            case 0:
                b.lines.SdaLow();
                break;
            case 1:
                b.lines.SdaHigh();
                break;
            case 2:
                b.lines.SclLow();
                break;
            case 3:
                b.lines.SclHigh();
                break;
            default:
                (void)b.lines.SdaRead();
                break;
            }
        }
        for (const auto& w : b.io.Writes()) {
            ASSERT_EQ(w.port, 0x2EC);
            ASSERT_EQ(w.value & 0xFC, start & 0xFC);
        }
    }
}

TEST(LineDelays, FollowEveryLevelOperationButNeverSdaRead)
{
    for (int device : {0, 1, 2}) {
        SCOPED_TRACE(int(device));
        Bench b{std::uint8_t(device)};
        b.settings.I2cDelay = 37;
        b.lines.UpdatePorts();
        b.lines.SdaHigh();
        b.lines.SdaHigh(); // the same level again still waits
        (void)b.lines.SdaRead();
        b.lines.SclLow();
        // The last event of each level operation is its delay; the read has none.
        std::vector<Kind> kinds;
        for (const auto& e : b.io.events) {
            kinds.push_back(e.kind);
        }
        const std::size_t delays = b.io.DelayCount();
        EXPECT_EQ(delays, 3u);
        EXPECT_EQ(b.io.events.back(), (PortEvent{Kind::Delay, 0, 37}));
        // Find the SdaRead: the read that is not followed by a write (serial module) or a
        // delay. It must be followed by the next operation's port access, not a delay.
        std::size_t readsFollowedByDelay = 0;
        for (std::size_t i = 0; i + 1 < b.io.events.size(); ++i) {
            readsFollowedByDelay += kinds[i] == Kind::Read && kinds[i + 1] == Kind::Delay;
        }
        // Serial module: reads are followed by writes; VD3000S: only the sample read;
        // c't: the level strobes are reads followed by delays, the sample is not.
        EXPECT_EQ(readsFollowedByDelay, device == 2 ? 3u : 0u);
    }
}

TEST(LineDelays, ZeroOrNegativeCountsReturnAtOnce)
{
    for (std::int32_t count : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
        SCOPED_TRACE(count);
        Bench b(1);
        b.settings.I2cDelay = count;
        b.lines.UpdatePorts();
        b.lines.SdaLow();
        EXPECT_EQ(b.io.events.back(), (PortEvent{Kind::Delay, 0, count}));
    }
}

TEST(LinePorts, ChangedSettingsReachTheLinesOnlyThroughUpdatePorts)
{
    Bench b(1);
    b.lines.UpdatePorts();
    b.settings.VDPort = 3;
    b.lines.SdaLow();
    b.lines.UpdatePorts();
    b.lines.SdaHigh();
    EXPECT_EQ(b.io.Writes(), (std::vector<PortWrite>{{0x251, 0x02}, {0x3E1, 0x00}}));
}

TEST(LinePorts, UpdatePortsComputesAllFourAddressesWhateverTheAdapter)
{
    Bench b(2);
    b.settings.Port = 3;
    b.settings.VDPort = 2;
    b.settings.ctsPort = 5;
    b.lines.UpdatePorts();
    EXPECT_EQ(b.lines.ModemControlAddress(), 0x3EC);
    EXPECT_EQ(b.lines.ModemStatusAddress(), 0x3EE);
    EXPECT_EQ(b.lines.Vd3000sAddress(), 0x331);
    EXPECT_EQ(b.lines.CtBaseAddress(), 0x3E0);
    EXPECT_TRUE(b.io.events.empty());
}

TEST(LinePorts, OutOfRangeSettingsNeverTouchAPort)
{
    struct Row
    {
        std::uint8_t device, port, vdPort, ctsPort;
    };
    const Row rows[] = {
        {0, 0, 0, 0}, {0, 5, 0, 0},   {0, 255, 0, 0}, {1, 1, 4, 0}, {1, 1, 255, 0},
        {2, 1, 0, 6}, {2, 1, 0, 200}, {3, 1, 0, 0},   {7, 1, 0, 0}, {255, 1, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(::testing::Message() << "Device " << int(r.device) << " Port " << int(r.port)
                                          << " VDPort " << int(r.vdPort) << " ctsPort " << int(r.ctsPort));
        Bench b(r.device);
        b.settings.Port = r.port;
        b.settings.VDPort = r.vdPort;
        b.settings.ctsPort = r.ctsPort;
        b.lines.UpdatePorts();
        b.lines.SdaLow();
        b.lines.SclLow();
        b.lines.SdaHigh();
        b.lines.SclHigh();
        EXPECT_EQ(b.lines.SdaRead(), 1) << "an absent adapter reads as a released line";
        EXPECT_TRUE(b.io.events.empty()) << "no port access and no delay";
    }
}

TEST(LinePorts, NothingIsTouchedBeforeTheFirstUpdatePorts)
{
    for (int device : {0, 1, 2}) {
        Bench b{std::uint8_t(device)};
        b.lines.SdaLow();
        EXPECT_EQ(b.lines.SdaRead(), 1);
        EXPECT_TRUE(b.io.events.empty());
    }
}

TEST(AdapterPortTable, ListsExactlyTheRegistersTheAdaptersUse)
{
    const auto ports = adapter::AllAdapterPorts();
    EXPECT_EQ(ports.size(), 8u + 4u + 24u);
    const std::vector<int> expectedSome{0x3FC, 0x3FE, 0x2EC, 0x2EE, 0x251, 0x3E1, 0x100, 0x103, 0x3E3};
    for (int p : expectedSome) {
        EXPECT_NE(std::find(ports.begin(), ports.end(), p), ports.end()) << std::hex << p;
    }
    // Neither the UART data register nor the VD3000S base itself.
    for (int p : {0x3F8, 0x3FD, 0x250, 0x104}) {
        EXPECT_EQ(std::find(ports.begin(), ports.end(), p), ports.end()) << std::hex << p;
    }
}

} // namespace
} // namespace quav
