#include "sim/AdapterPortDecoder.h"

#include <gtest/gtest.h>

namespace quav {
namespace {

using adapter::DeviceKind;

// A device that acknowledges everything, to make the slave pull SDA low on demand.
class AlwaysAcknowledges final : public I2cTarget
{
public:
    void OnStart() override {}
    void OnStop() override {}
    bool OnAddress(std::uint8_t) override { return true; }
    bool OnWrite(std::uint8_t) override { return true; }
    std::uint8_t OnRead() override { return 0; }
};

struct Ports
{
    explicit Ports(BoardPlacement p) { decoder.SetPlacement(p); }

    // Clocks an address byte in through the slave directly, so that it holds SDA low for
    // its acknowledge (SCL low, ninth clock ahead).
    void MakeSlavePullSdaLow()
    {
        slave.Step(true, false);
        for (int bit = 0; bit < 8; ++bit) {
            slave.Step(false, false);
            slave.Step(true, false);
        }
        slave.Step(false, true);
        ASSERT_FALSE(slave.Sda());
    }

    AlwaysAcknowledges target;
    I2cSlave slave{target};
    AdapterPortDecoder decoder{slave};
};

TEST(AdapterPortDecoder, SerialModuleLinesFollowDtrAndInvertedRts)
{
    Ports p({DeviceKind::SerialModule, 2}); // COM2: registers at 0x2FC and 0x2FE
    EXPECT_EQ(p.decoder.Read(0x2FC), adapter::McrDtr) << "the module starts with the bus idle";
    const struct
    {
        std::uint8_t mcr;
        bool scl, sda;
    } cases[] = {{0x00, true, false}, {0x01, true, true}, {0x02, false, false},
                 {0x03, false, true}, {0x0D, true, true}, {0xFE, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.mcr));
        p.decoder.Write(0x2FC, c.mcr);
        EXPECT_EQ(p.slave.Scl(), c.scl);
        EXPECT_EQ(p.slave.MasterSda(), c.sda);
        EXPECT_EQ(p.decoder.Read(0x2FC), c.mcr & 0x1F) << "reads back like a 16550";
        EXPECT_EQ(p.decoder.Read(0x2FE), c.sda ? 0x00 : 0x80) << "DCD set means SDA low";
    }
}

TEST(AdapterPortDecoder, DcdShowsTheSlavePullingSdaLow)
{
    Ports p({DeviceKind::SerialModule, 1});
    p.MakeSlavePullSdaLow();
    EXPECT_TRUE(p.slave.MasterSda());
    EXPECT_EQ(p.decoder.Read(0x3FE), 0x80);
}

TEST(AdapterPortDecoder, Vd3000sBitsPullTheirLinesLowAndBitThreeReadsSda)
{
    Ports p({DeviceKind::Vd3000s, 3}); // register at 0x3E1
    const struct
    {
        std::uint8_t value;
        bool scl, sda;
    } cases[] = {{0x00, true, true}, {0x02, true, false}, {0x03, false, false}, {0x01, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.value));
        p.decoder.Write(0x3E1, c.value);
        EXPECT_EQ(p.slave.Scl(), c.scl);
        EXPECT_EQ(p.slave.MasterSda(), c.sda);
        EXPECT_EQ((p.decoder.Read(0x3E1) & adapter::VdSdaIn) != 0, c.sda);
    }
    p.decoder.Write(0x3E1, 0x00);
    p.MakeSlavePullSdaLow();
    EXPECT_EQ(p.decoder.Read(0x3E1) & adapter::VdSdaIn, 0);
}

TEST(AdapterPortDecoder, CtCardReadsAreStrobesAndBasePlusTwoSamplesSda)
{
    Ports p({DeviceKind::CtCard, 3}); // base 0x220
    const struct
    {
        std::uint16_t port;
        bool scl, sda;
    } steps[] = {{0x223, true, false}, {0x221, false, false}, {0x222, false, true},
                 {0x220, true, true},  {0x221, false, true},  {0x223, false, false}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.port);
        const std::uint8_t value = p.decoder.Read(s.port);
        EXPECT_EQ(p.slave.Scl(), s.scl);
        EXPECT_EQ(p.slave.MasterSda(), s.sda);
        if (s.port == 0x222) {
            EXPECT_EQ(value & adapter::CtSdaIn, 1) << "sampled after the strobe released SDA";
        }
    }
    // Writes never move a line on this card.
    for (std::uint16_t port = 0x220; port < 0x224; ++port) {
        p.decoder.Write(port, 0x00);
        p.decoder.Write(port, 0xFF);
    }
    EXPECT_FALSE(p.slave.Scl());
    EXPECT_FALSE(p.slave.MasterSda());
}

TEST(AdapterPortDecoder, EverywhereElseAnswersLikeAPcWithoutTheBoard)
{
    Ports p({DeviceKind::SerialModule, 1});
    // The other UARTs: modem control keeps what is written, modem status has DCD clear.
    for (std::uint16_t base : {std::uint16_t{0x2F8}, std::uint16_t{0x3E8}, std::uint16_t{0x2E8}}) {
        SCOPED_TRACE(base);
        EXPECT_EQ(p.decoder.Read(static_cast<std::uint16_t>(base + 6)), 0x00);
        p.decoder.Write(static_cast<std::uint16_t>(base + 4), 0x03);
        EXPECT_EQ(p.decoder.Read(static_cast<std::uint16_t>(base + 4)), 0x03);
    }
    // Card addresses with no card: an empty bus.
    for (int port : {0x251, 0x301, 0x100, 0x102, 0x3E0, 0x3E2, 0x0000, 0xFFFF}) {
        SCOPED_TRACE(port);
        p.decoder.Write(static_cast<std::uint16_t>(port), 0x00);
        EXPECT_EQ(p.decoder.Read(static_cast<std::uint16_t>(port)), 0xFF);
    }
    // None of it reached the board's lines.
    EXPECT_TRUE(p.slave.Scl());
    EXPECT_TRUE(p.slave.MasterSda());
}

TEST(AdapterPortDecoder, MovingTheBoardLeavesItsOldPortsEmpty)
{
    Ports p({DeviceKind::SerialModule, 1});
    p.decoder.SetPlacement({DeviceKind::Vd3000s, 0});
    p.decoder.Write(0x3FC, 0x02);
    EXPECT_TRUE(p.slave.Scl()) << "COM1 is now a UART with nothing attached";
    EXPECT_EQ(p.decoder.Read(0x3FE), 0x00);
    p.decoder.Write(0x251, 0x01);
    EXPECT_FALSE(p.slave.Scl());
}

} // namespace
} // namespace quav
