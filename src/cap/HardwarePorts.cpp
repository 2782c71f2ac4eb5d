#include "cap/HardwarePorts.h"

#include "bus/AdapterPorts.h"
#include "ports/DirectPortIo.h"
#include "station/Station.h"

namespace quav {

namespace {

// The station's ports, handed out with the station that stands behind them (and the card
// ports it routes to, which must outlive it).
class StationPorts final : public PortIo
{
public:
    StationPorts(std::unique_ptr<Station> station, std::unique_ptr<DirectPortIo> cards)
        : m_cards(std::move(cards)), m_station(std::move(station)), m_ports(m_station->Ports())
    {
    }
    std::uint8_t ReadPort(std::uint16_t port) override { return m_ports.ReadPort(port); }
    void WritePort(std::uint16_t port, std::uint8_t value) override { m_ports.WritePort(port, value); }

private:
    std::unique_ptr<DirectPortIo> m_cards;
    std::unique_ptr<Station> m_station;
    PortIo& m_ports; ///< the station's, chosen once: every bus line change comes through here
};

} // namespace

std::unique_ptr<PortIo> ClaimHardware(std::unique_ptr<Station> station, const Settings& settings,
                                      std::string& error, std::unique_ptr<DirectPortIo> cards)
{
    if (static_cast<adapter::DeviceKind>(settings.Device) == adapter::DeviceKind::SerialModule) {
        if (!adapter::ComBaseOf(settings.Port)) {
            error = "Die gespeicherten Einstellungen wählen keine gültige serielle Schnittstelle; "
                    "bitte im Programm quav-videotext unter Einstellungen wählen.";
            return nullptr;
        }
        QString message;
        if (!station->ClaimSerialPort(&message)) {
            error = message.toStdString();
            return nullptr;
        }
    }
    return std::make_unique<StationPorts>(std::move(station), std::move(cards));
}

std::unique_ptr<PortIo> OpenHardwarePorts(const Settings& settings, std::string& error,
                                          std::unique_ptr<DirectPortIo> cards, const std::string& cardMessage)
{
    const auto device = static_cast<adapter::DeviceKind>(settings.Device);
    const bool card = device == adapter::DeviceKind::Vd3000s || device == adapter::DeviceKind::CtCard;
    if (!card && device != adapter::DeviceKind::SerialModule) {
        error = "Die gespeicherten Einstellungen wählen keine gültige Videotext-Hardware; "
                "bitte im Programm quav-videotext unter Einstellungen wählen.";
        return nullptr;
    }
    if (card) {
        if (!DirectPortIo::Supported()) {
            error = "Die Videotext-Karten lassen sich auf diesem Rechner nicht ansprechen "
                    "(keine I/O-Ports).";
            return nullptr;
        }
        if (!cardMessage.empty() || !cards || !cards->IsOpen()) {
            error = cardMessage.empty() ? std::string("Die Ports der Videotext-Karte sind nicht offen.")
                                        : cardMessage;
            return nullptr;
        }
    }
    StationOptions options;
    options.hardware = true;
    StationParts parts;
    parts.cardPorts = cards.get();
    std::unique_ptr<Station> station = Station::Create(options, settings, parts, nullptr);
    return ClaimHardware(std::move(station), settings, error, std::move(cards));
}

} // namespace quav
