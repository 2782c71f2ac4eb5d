#include "sim/I2cSlave.h"

#include "bus/I2cMaster.h"
#include "sim/AdapterPortDecoder.h"

#include <deque>
#include <string>

#include <gtest/gtest.h>

namespace quav {
namespace {

// A device that writes down what the slave tells it and answers from a script.
class ScriptedTarget final : public I2cTarget
{
public:
    void OnStart() override { Log("S"); }
    void OnStop() override { Log("P"); }
    bool OnAddress(std::uint8_t address) override
    {
        Log("A" + Hex(address));
        return address == 0x22 || address == 0x23;
    }
    bool OnWrite(std::uint8_t byte) override
    {
        Log("W" + Hex(byte));
        return ++written != refuseWrite;
    }
    std::uint8_t OnRead() override
    {
        Log("R");
        const std::uint8_t b = reads.empty() ? 0x00 : reads.front();
        if (!reads.empty()) {
            reads.pop_front();
        }
        return b;
    }

    static std::string Hex(std::uint8_t b)
    {
        const char* digits = "0123456789ABCDEF";
        return {digits[b >> 4], digits[b & 15]};
    }
    void Log(const std::string& token) { log += log.empty() ? token : " " + token; }

    std::string log;
    std::deque<std::uint8_t> reads;
    int written = 0;
    int refuseWrite = -1; ///< 1-based number of the data byte not to acknowledge
};

// The real I2C master on the c't card's strobes, with the slave behind the card.
struct Bench : PortIo
{
    Bench()
    {
        settings.Device = 2;
        settings.I2cDelay = 0;
        ports.SetPlacement({adapter::DeviceKind::CtCard, 0});
    }
    std::uint8_t ReadPort(std::uint16_t port) override { return ports.Read(port); }
    void WritePort(std::uint16_t port, std::uint8_t value) override { ports.Write(port, value); }

    ScriptedTarget target;
    I2cSlave slave{target};
    AdapterPortDecoder ports{slave};
    Settings settings;
    LineAdapters lines{*this, settings};
    I2cMaster master{lines};
};

TEST(I2cSlave, ReceivesAWriteTransferByteByByte)
{
    Bench b;
    const std::uint8_t data[] = {0x08, 0x00, 0x19, 0xA5};
    EXPECT_TRUE(b.master.I2cWrite(0x22, 4, data));
    EXPECT_EQ(b.target.log, "S A22 W08 W00 W19 WA5 P");
    EXPECT_TRUE(b.slave.Sda());
    EXPECT_TRUE(b.slave.Scl());
}

TEST(I2cSlave, MissingAcknowledgesEndTheTransfer)
{
    const struct
    {
        std::uint8_t address;
        int refuse;
        bool result;
        const char* log;
    } cases[] = {
        {0x40, -1, false, "S A40 P"},        // nobody at that address: no data byte reaches the device
        {0x22, 2, false, "S A22 W01 W02 P"}, // second data byte refused: the third is never sent
        {0x22, -1, true, "S A22 W01 W02 W03 P"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        Bench b;
        b.target.refuseWrite = c.refuse;
        const std::uint8_t data[] = {0x01, 0x02, 0x03};
        EXPECT_EQ(b.master.I2cWrite(c.address, 3, data), c.result);
        EXPECT_EQ(b.target.log, c.log);
        // The slave lets go of the bus after the refusal, so the next transfer works.
        b.target.log.clear();
        b.target.refuseWrite = -1;
        EXPECT_TRUE(b.master.I2cWrite(0x22, 1, data));
        EXPECT_EQ(b.target.log, "S A22 W01 P");
    }
}

TEST(I2cSlave, SendsReadDataMostSignificantBitFirstAndFetchesOnlyWhatIsClockedIn)
{
    for (int count : {1, 2, 5}) {
        SCOPED_TRACE(count);
        Bench b;
        b.target.reads = {0x80, 0x01, 0x5A, 0xFF, 0x00, 0x77, 0x66};
        std::uint8_t buffer[8] = {};
        EXPECT_TRUE(b.master.I2cRead(0x23, count, buffer));
        const std::uint8_t expected[] = {0x80, 0x01, 0x5A, 0xFF, 0x00};
        EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + count),
                  std::vector<std::uint8_t>(expected, expected + count));
        std::string log = "S A23";
        for (int i = 0; i < count; ++i) {
            log += " R";
        }
        EXPECT_EQ(b.target.log, log + " P")
            << "the byte after the unacknowledged last one is never asked for";
    }
}

TEST(I2cSlave, FollowsTheDriversBracketedTransfers)
{
    // The decoder operations wrap their transfers in one more start and stop: an extra
    // start before the first transfer, and a start followed at once by a stop at the end.
    Bench b;
    b.target.reads = {0x02};
    const std::uint8_t reg = 0x0B;
    std::uint8_t status = 0;
    b.master.I2cStart();
    EXPECT_TRUE(b.master.I2cWrite(0x22, 1, &reg));
    EXPECT_TRUE(b.master.I2cRead(0x23, 1, &status));
    b.master.I2cStop();
    EXPECT_EQ(status, 0x02);
    EXPECT_EQ(b.target.log, "S A22 W0B P S A23 R P S P");
}

TEST(I2cSlave, RepeatedStartInTheMiddleOfAByteStartsOver)
{
    ScriptedTarget target;
    I2cSlave slave(target);
    slave.Step(true, false); // start
    slave.Step(false, false);
    slave.Step(false, true); // three bits of something
    slave.Step(true, true);
    slave.Step(false, true);
    slave.Step(true, true);
    slave.Step(true, false); // SDA falls while SCL is high: repeated start
    for (int bit = 7; bit >= 0; --bit) {
        const bool level = ((0x22 >> bit) & 1) != 0;
        slave.Step(false, level);
        slave.Step(true, level);
    }
    slave.Step(false, true); // master releases SDA for the acknowledge
    EXPECT_FALSE(slave.Sda()) << "the slave acknowledges its address";
    EXPECT_EQ(target.log, "S S A22");
}

TEST(I2cSlave, ChangesItsOwnDataLineOnlyWhileTheClockIsLow)
{
    // Watch the wire through a whole read of varied bytes: whenever SCL is high and the
    // master leaves SDA alone, the level must not move, or a start or stop would be faked.
    Bench b;
    b.target.reads = {0x00, 0xFF, 0x55, 0xAA, 0x01, 0x80};
    std::uint8_t buffer[6] = {};
    ASSERT_TRUE(b.master.I2cRead(0x23, 6, buffer));
    EXPECT_EQ(b.target.log, "S A23 R R R R R R P") << "a faked condition would show here";
    EXPECT_EQ(buffer[5], 0x80);
}

} // namespace
} // namespace quav
