#include "bus/I2cMaster.h"

#include "support/I2cBusAnalyser.h"
#include "support/RecordingPortIo.h"

#include <algorithm>
#include <array>
#include <sstream>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::I2cBusAnalyser;
using test::WithoutDelays;

// The c't card at 0x100 lets the analyser see every line operation by its address.
struct Wire
{
    Wire()
    {
        settings.Device = 2;
        lines.SetDelayProbe(&bus);
    }
    int Delays() const
    {
        std::istringstream in(bus.ops);
        int n = 0;
        for (std::string t; in >> t;) {
            n += t == "d";
        }
        return n;
    }
    void Clear()
    {
        bus.ops.clear();
        bus.transcript.clear();
    }
    I2cBusAnalyser bus;
    Settings settings;
    LineAdapters lines{bus, settings};
    I2cMaster master{lines};
};

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += (i ? " " : "") + s;
    }
    return out;
}

TEST(I2cConditions, StartAndStopMakeTheirExactLineSequences)
{
    Wire w;
    w.master.I2cStart();
    EXPECT_EQ(WithoutDelays(w.bus.ops), "SdaLow SclLow");
    EXPECT_EQ(w.Delays(), 2);
    EXPECT_EQ(w.bus.transcript, "S");
    EXPECT_FALSE(w.bus.Sda());
    EXPECT_FALSE(w.bus.Scl());
    w.Clear();
    w.master.I2cStop();
    EXPECT_EQ(WithoutDelays(w.bus.ops), "SdaLow SclHigh SdaHigh");
    EXPECT_EQ(w.Delays(), 3);
    EXPECT_EQ(w.bus.transcript, "P");
    EXPECT_TRUE(w.bus.Sda());
    EXPECT_TRUE(w.bus.Scl());
}

TEST(I2cConditions, StartWhileBothLinesAreLowPutsNoStartOnTheWire)
{
    Wire w;
    w.master.I2cStart();
    w.Clear();
    w.master.I2cStart();
    EXPECT_EQ(w.bus.transcript, "");
    EXPECT_EQ(w.Delays(), 2) << "the delays elapse all the same";
}

TEST(I2cConditions, StopWhileIdleIsAStartFollowedByAStop)
{
    Wire w;
    w.master.I2cStop();
    EXPECT_EQ(w.bus.transcript, "S P");
}

TEST(I2cBytes, SendByteClocksEightBitsMsbFirstThenSamplesTheAcknowledge)
{
    Wire w;
    w.master.I2cStart();
    w.Clear();
    EXPECT_TRUE(w.master.I2cSendByte(0xA4)); // a write address, so the slave stays silent after it
    EXPECT_EQ(WithoutDelays(w.bus.ops),
              "SdaHigh SclHigh SclLow SdaLow SclHigh SclLow SdaHigh SclHigh SclLow SdaLow SclHigh SclLow "
              "SdaLow SclHigh SclLow SdaHigh SclHigh SclLow SdaLow SclHigh SclLow SdaLow SclHigh SclLow "
              "SdaHigh SclHigh SdaRead SclLow");
    EXPECT_EQ(w.Delays(), 27);
    EXPECT_EQ(w.bus.transcript, "A4+");
    EXPECT_FALSE(w.bus.Scl());
    EXPECT_TRUE(w.bus.Sda()) << "SDA is released after the byte";
}

TEST(I2cBytes, SendByteReportsAMissingAcknowledge)
{
    Wire w;
    w.bus.acknowledge = [](int, std::uint8_t) { return false; };
    w.master.I2cStart();
    EXPECT_FALSE(w.master.I2cSendByte(0x22));
    EXPECT_EQ(w.bus.transcript, "S 22-");
}

TEST(I2cBytes, ReceiveByteSequenceAcknowledgesUnlessLast)
{
    for (bool last : {false, true}) {
        SCOPED_TRACE(last);
        Wire w;
        w.bus.readByte = [] { return std::uint8_t{0x3C}; };
        w.master.I2cStart();
        ASSERT_TRUE(w.master.I2cSendByte(0x23));
        w.Clear();
        std::uint8_t value = 0xEE;
        w.master.I2cReceiveByte(value, last);
        EXPECT_EQ(value, 0x3C);
        EXPECT_EQ(WithoutDelays(w.bus.ops), "SdaHigh SclLow " + Repeat("SclHigh SdaRead SclLow", 8) +
                                                (last ? " SdaHigh" : " SdaLow") + " SclHigh SclLow SdaHigh");
        EXPECT_EQ(w.Delays(), 22);
        EXPECT_EQ(w.bus.transcript, last ? "<3C-" : "<3C+");
        if (last) {
            EXPECT_TRUE(w.bus.Sda()) << "after a refused byte nobody drives SDA";
        }
        EXPECT_FALSE(w.bus.Scl());
    }
}

TEST(I2cTransfers, WriteWithCountZeroOrLessSendsOnlyTheAddress)
{
    for (std::int32_t count : {0, -3}) {
        for (bool ack : {true, false}) {
            SCOPED_TRACE(::testing::Message() << count << " " << ack);
            Wire w;
            w.bus.acknowledge = [ack](int, std::uint8_t) { return ack; };
            EXPECT_EQ(w.master.I2cWrite(0x22, count, nullptr), ack);
            EXPECT_EQ(w.bus.transcript, ack ? "S 22+ P" : "S 22- P");
        }
    }
}

TEST(I2cTransfers, WriteStopsAtTheFirstMissingAcknowledge)
{
    Wire w;
    w.bus.acknowledge = [](int index, std::uint8_t) { return index != 3; };
    const std::array<std::uint8_t, 5> data{1, 2, 3, 4, 5};
    EXPECT_FALSE(w.master.I2cWrite(0x22, 5, data.data()));
    EXPECT_EQ(w.bus.transcript, "S 22+ 01+ 02+ 03- P");
}

TEST(I2cTransfers, WriteOfAnUnansweredAddressSendsNoData)
{
    Wire w;
    w.bus.acknowledge = [](int, std::uint8_t) { return false; };
    const std::array<std::uint8_t, 2> data{1, 2};
    EXPECT_FALSE(w.master.I2cWrite(0x22, 2, data.data()));
    EXPECT_EQ(w.bus.transcript, "S 22- P");
}

TEST(I2cTransfers, WriteOfTwoBytesCostsItsExactDelays)
{
    Wire w;
    const std::array<std::uint8_t, 2> data{0x01, 0x04};
    EXPECT_TRUE(w.master.I2cWrite(0x22, 2, data.data()));
    EXPECT_EQ(w.bus.transcript, "S 22+ 01+ 04+ P");
    EXPECT_EQ(w.Delays(), 2 + 3 * 27 + 3);
}

TEST(I2cTransfers, ReadAcknowledgesEveryByteButTheLast)
{
    for (std::int32_t count : {1, 2, 40}) {
        SCOPED_TRACE(count);
        Wire w;
        std::uint8_t next = 0;
        w.bus.readByte = [&next] { return next++; };
        std::array<std::uint8_t, 41> buffer{};
        buffer.fill(0xAA);
        EXPECT_TRUE(w.master.I2cRead(0x23, count, buffer.data()));
        std::ostringstream expected;
        expected << "S 23+";
        for (int i = 0; i < count; ++i) {
            char b[8];
            std::snprintf(b, sizeof b, " <%02X%c", i, i == count - 1 ? '-' : '+');
            expected << b;
            EXPECT_EQ(buffer[i], i);
        }
        expected << " P";
        EXPECT_EQ(w.bus.transcript, expected.str());
        EXPECT_EQ(buffer[count], 0xAA) << "nothing past the count is written";
        EXPECT_EQ(w.Delays(), 2 + 27 + 22 * count + 3);
    }
}

TEST(I2cTransfers, ReadWithCountZeroLeavesTheBufferUntouched)
{
    Wire w;
    w.bus.readByte = [] { return std::uint8_t{0xFF}; }; // a slave whose first bit leaves SDA free
    std::array<std::uint8_t, 4> buffer{9, 9, 9, 9};
    EXPECT_TRUE(w.master.I2cRead(0x23, 0, buffer.data()));
    EXPECT_EQ(w.bus.transcript, "S 23+ P");
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{9, 9, 9, 9}));
}

TEST(I2cTransfers, ReadOfAnUnansweredAddressFailsAndLeavesTheBufferUntouched)
{
    Wire w;
    w.bus.acknowledge = [](int, std::uint8_t) { return false; };
    std::array<std::uint8_t, 4> buffer{9, 9, 9, 9};
    EXPECT_FALSE(w.master.I2cRead(0x23, 4, buffer.data()));
    EXPECT_EQ(w.bus.transcript, "S 23- P");
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{9, 9, 9, 9}));
}

TEST(I2cTransfers, ReadClocksInAllBytesWhateverTheDataLineShows)
{
    // With nobody driving, SDA floats high: the bytes read 0xFF, and the read still counts.
    Wire w;
    w.bus.readByte = [] { return std::uint8_t{0xFF}; };
    std::array<std::uint8_t, 3> buffer{};
    EXPECT_TRUE(w.master.I2cRead(0x23, 3, buffer.data()));
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 3>{0xFF, 0xFF, 0xFF}));
}

TEST(I2cPorts, ANewPortTakesEffectAtTheNextStartOrStop)
{
    test::RecordingPortIo io;
    Settings s;
    s.Device = 1;
    LineAdapters lines(io, s);
    I2cMaster master(lines);
    master.I2cStart();
    s.VDPort = 1; // 0x301
    (void)master.I2cSendByte(0x80);
    for (const auto& wr : io.Writes()) {
        EXPECT_EQ(wr.port, 0x251);
    }
    io.Clear();
    master.I2cStop();
    for (const auto& wr : io.Writes()) {
        EXPECT_EQ(wr.port, 0x301);
    }
    EXPECT_EQ(io.Writes().size(), 3u);
}

} // namespace
} // namespace quav
