#include "cap/HardwarePorts.h"

#include "bus/AdapterPorts.h"
#include "ports/DirectPortIo.h"
#include "ports/PortPermissions.h"
#include "ports/SerialLineIo.h"
#include "serial/ECommsError.h"
#include "serial/TComm32.h"

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
    // The ports are asked for while the command is still single-threaded, and every
    // privilege is given up right after.
    const PortAccessResult access = OpenPortsAndDropPrivileges(*io);
    if (!access.dropError.empty()) {
        error = access.dropError;
        return nullptr;
    }
    if (!access.portError.empty()) {
        error = access.portError;
        return nullptr;
    }
    return io;
}

// The serial module: its COM port claimed exactly as the viewer claims it, and its two
// modem registers served on that tty.
class SerialModulePorts final : public PortIo
{
public:
    std::uint8_t ReadPort(std::uint16_t port) override { return lines->ReadPort(port); }
    void WritePort(std::uint16_t port, std::uint8_t value) override { lines->WritePort(port, value); }

    TComm32 comm;
    std::unique_ptr<SerialLineIo> lines;
};

std::unique_ptr<PortIo> OpenSerialModule(const Settings& settings, std::string& error)
{
    const auto base = adapter::ComBaseOf(settings.Port);
    if (!base) {
        error = "Die gespeicherten Einstellungen wählen keine gültige serielle Schnittstelle; "
                "bitte im Programm quav-videotext unter Einstellungen wählen.";
        return nullptr;
    }
    auto ports = std::make_unique<SerialModulePorts>();
    const QString name = QStringLiteral("COM%1").arg(settings.Port);
    ports->comm.SetCommPort(name);
    try {
        ports->comm.OpenPort();
    } catch (const ECommsError& e) {
        error = name.toStdString() + " kann nicht verwendet werden (" + e.what() + ").";
        return nullptr;
    }
    ports->lines = std::make_unique<SerialLineIo>(ports->comm.PortHandle(), *base);
    return ports;
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
