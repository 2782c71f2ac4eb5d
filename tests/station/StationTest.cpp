#include "station/Station.h"

#include "bus/AdapterPorts.h"
#include "serial/TComm32.h"
#include "sim/SimulatedComPorts.h"
#include "station/SharedOptions.h"
#include "support/FakeModemLines.h"
#include "support/RecordingPortIo.h"

#include <sys/ioctl.h>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::FakeModemLines;
using test::PortWrite;
using test::RecordingPortIo;

constexpr int Dtr = TIOCM_DTR;
constexpr int Rts = TIOCM_RTS;

// A hardware station on fake cards and fake modem lines; COM1 to COM4 are terminals so
// that the serial port object can claim them.
struct HardwareBench
{
    explicit HardwareBench(Settings s) : settings(s)
    {
        StationOptions options;
        options.hardware = true;
        StationParts parts;
        parts.cardPorts = &cards;
        parts.modemLines = &lines;
        station = Station::Create(options, settings, parts, nullptr);
        for (int port = 1; port <= 4; ++port) {
            station->Comm().PortMap().Map(QStringLiteral("COM%1").arg(port),
                                          QString::fromStdString(terminals.Path(port)));
        }
    }

    Settings settings;
    RecordingPortIo cards;
    FakeModemLines lines;
    SimulatedComPorts terminals;
    std::unique_ptr<Station> station;
};

Settings On(adapter::DeviceKind device, std::uint8_t index)
{
    Settings s;
    s.Device = static_cast<std::uint8_t>(device);
    s.Port = device == adapter::DeviceKind::SerialModule ? index : 1;
    s.VDPort = device == adapter::DeviceKind::Vd3000s ? index : 0;
    s.ctsPort = device == adapter::DeviceKind::CtCard ? index : 0;
    return s;
}

TEST(StationRouting, CardPortsGoDirectlyAndOnlyTheClaimedComPortReachesTheModemLines)
{
    using adapter::DeviceKind;
    struct Case
    {
        const char* name;
        Settings settings;
        bool claim;
        std::uint16_t port;
        int write; // -1: a read
        std::vector<std::string> modemCalls;
        std::vector<PortWrite> cardWrites;
        std::size_t cardReads;
    };
    const std::vector<Case> cases{
        {"RTS on at the claimed COM2",
         On(DeviceKind::SerialModule, 2),
         true,
         0x2FC,
         0x03,
         {"raise 4"},
         {},
         0},
        {"DTR off at the claimed COM1",
         On(DeviceKind::SerialModule, 1),
         true,
         0x3FC,
         0x00,
         {"lower 2"},
         {},
         0},
        {"status of the claimed COM1", On(DeviceKind::SerialModule, 1), true, 0x3FE, -1, {"get"}, {}, 0},
        {"another COM port's register", On(DeviceKind::SerialModule, 1), true, 0x2FC, 0x00, {}, {}, 0},
        {"another COM port's status", On(DeviceKind::SerialModule, 1), true, 0x2FE, -1, {}, {}, 0},
        {"the module's port not claimed", On(DeviceKind::SerialModule, 1), false, 0x3FC, 0x00, {}, {}, 0},
        {"VD3000S register", On(DeviceKind::Vd3000s, 0), false, 0x251, 0x02, {}, {{0x251, 0x02}}, 0},
        {"c't strobe", On(DeviceKind::CtCard, 2), false, 0x202, -1, {}, {}, 1},
        {"a card port with the module selected",
         On(DeviceKind::SerialModule, 1),
         true,
         0x251,
         0x01,
         {},
         {{0x251, 0x01}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HardwareBench b(c.settings);
        b.lines.lines = Dtr | Rts; // as the driver leaves them after the open
        if (c.claim) {
            QString error;
            ASSERT_TRUE(b.station->ClaimSerialPort(&error)) << error.toStdString();
        }
        b.lines.log.clear();
        if (c.write >= 0) {
            b.station->Ports().WritePort(c.port, static_cast<std::uint8_t>(c.write));
        } else {
            b.station->Ports().ReadPort(c.port);
        }
        EXPECT_EQ(b.lines.log, c.modemCalls);
        EXPECT_EQ(b.cards.Writes(), c.cardWrites);
        EXPECT_EQ(b.cards.Reads().size(), c.cardReads);
    }
}

TEST(StationRouting, TheBusIsIdleAfterEveryClaimAndAfterALineFault)
{
    HardwareBench b(On(adapter::DeviceKind::SerialModule, 1));
    for (int claim = 0; claim < 2; ++claim) {
        SCOPED_TRACE(claim);
        b.lines.lines = Dtr | Rts; // opening the port raised both
        QString error;
        ASSERT_TRUE(b.station->ClaimSerialPort(&error)) << error.toStdString();
        EXPECT_EQ(b.lines.lines, Dtr) << "SDA and SCL released";
        EXPECT_TRUE(b.station->Comm().IsOpen());
    }

    // A fault leaves the lines anywhere: SCL low here when the calls fail.
    b.lines.lines = Rts;
    b.lines.failFrom = b.lines.calls + 1;
    b.station->Ports().ReadPort(0x3FE);
    b.lines.failFrom = 0;
    const std::string fault = b.station->TakeFault();
    EXPECT_NE(fault.find("antwortet nicht mehr"), std::string::npos) << fault;
    EXPECT_EQ(b.lines.lines, Dtr) << "brought to idle with the fault";
    EXPECT_EQ(b.station->TakeFault(), "") << "each fault is reported once";
}

TEST(StationRouting, APortInUseIsNamedInTheClaimsMessage)
{
    HardwareBench b(On(adapter::DeviceKind::SerialModule, 3));
    ASSERT_TRUE(b.terminals.SetBusy(3, true));
    QString error;
    EXPECT_FALSE(b.station->ClaimSerialPort(&error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("COM3 kann nicht verwendet werden"))) << error.toStdString();
    EXPECT_TRUE(b.lines.log.empty()) << "no line is touched without the port";
}

TEST(SharedOptions, EachMistakeHasOneGermanMessage)
{
    struct Case
    {
        QStringList args;
        bool ok;
        QString message;
    };
    const std::vector<Case> cases{
        {{}, true, {}},
        {{QStringLiteral("--source=x.t42")}, true, {}},
        {{QStringLiteral("--frobnicate")},
         false,
         QStringLiteral("Unbekannte Option \"--frobnicate\". Hilfe mit --help.")},
        {{QStringLiteral("extra")}, false, QStringLiteral("Unbekannte Option \"extra\". Hilfe mit --help.")},
        {{QStringLiteral("--source")}, false, QStringLiteral("Zur Option --source fehlt der Wert.")},
        {{QStringLiteral("--source=")}, false, QStringLiteral("Zur Option --source fehlt der Wert.")},
        {{QStringLiteral("--hardware=1")}, false, QStringLiteral("Die Option --hardware nimmt keinen Wert.")},
        {{QStringLiteral("--hardware"), QStringLiteral("--source"), QStringLiteral("demo")},
         false,
         QStringLiteral("--hardware und --source schließen einander aus.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        QCommandLineParser parser;
        shared_options::AddTo(parser);
        StationOptions options;
        QString error;
        const bool ok = shared_options::Parse(parser, QStringList{QStringLiteral("prog")} + c.args, &error) &&
                        shared_options::Read(parser, options, &error);
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(error, c.message);
    }
}

} // namespace
} // namespace quav
