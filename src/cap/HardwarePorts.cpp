#include "cap/HardwarePorts.h"

#include "bus/AdapterPorts.h"
#include "ports/DirectPortIo.h"

#include <vector>

namespace quav {

namespace {

std::unique_ptr<PortIo> OpenCardPorts(const std::vector<std::uint16_t>& ports, std::string& error)
{
    if (!DirectPortIo::Supported()) {
        error = "Die Videotext-Karten lassen sich auf diesem Rechner nicht ansprechen "
                "(keine I/O-Ports).";
        return nullptr;
    }
    auto io = std::make_unique<DirectPortIo>(ports);
    std::string message = io->Open();
    if (!message.empty()) {
        error = std::move(message);
        return nullptr;
    }
    return io;
}

// The serial module needs the tty's modem lines (SerialLineIo); until that backend is
// wired in here, the command says so instead of touching the port.
std::unique_ptr<PortIo> OpenSerialModule(const Settings& /*settings*/, std::string& error)
{
    error = "Das serielle Videotextmodul wird vom Aufnahmebefehl noch nicht unterstützt. "
            "Bitte die Seite im Programm quav-videotext holen oder eine Videotext-Karte einstellen.";
    return nullptr;
}

} // namespace

std::unique_ptr<PortIo> OpenHardwarePorts(const Settings& settings, std::string& error)
{
    switch (static_cast<adapter::DeviceKind>(settings.Device)) {
    case adapter::DeviceKind::SerialModule:
        return OpenSerialModule(settings, error);
    case adapter::DeviceKind::Vd3000s: {
        const auto base = adapter::Vd3000sBaseOf(settings.VDPort);
        if (!base) {
            break;
        }
        return OpenCardPorts({static_cast<std::uint16_t>(*base + adapter::Vd3000sRegisterOffset)}, error);
    }
    case adapter::DeviceKind::CtCard: {
        const auto base = adapter::CtBaseOf(settings.ctsPort);
        if (!base) {
            break;
        }
        std::vector<std::uint16_t> ports;
        for (std::uint16_t strobe = 0; strobe < 4; ++strobe) {
            ports.push_back(static_cast<std::uint16_t>(*base + strobe));
        }
        return OpenCardPorts(ports, error);
    }
    }
    error = "Die gespeicherten Einstellungen wählen keine gültige Videotext-Hardware; "
            "bitte im Programm quav-videotext unter Einstellungen wählen.";
    return nullptr;
}

} // namespace quav
