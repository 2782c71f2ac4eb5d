#include "station/HardwarePortIo.h"

#include "bus/AdapterPorts.h"

namespace quav {

using namespace adapter;

HardwarePortIo::HardwarePortIo(PortIo& cards, std::function<int()> serialHandle, const Settings& settings,
                               ModemLineCalls& lines)
    : m_cards(cards), m_serialHandle(std::move(serialHandle)), m_settings(settings), m_lines(lines)
{
}

bool HardwarePortIo::IsComRegister(std::uint16_t port)
{
    for (std::uint16_t base : ComBase) {
        if (port == base + ModemControlOffset || port == base + ModemStatusOffset) {
            return true;
        }
    }
    return false;
}

std::vector<std::uint16_t> HardwarePortIo::CardPorts()
{
    std::vector<std::uint16_t> ports;
    for (std::uint16_t port : AllAdapterPorts()) {
        if (!IsComRegister(port)) {
            ports.push_back(port);
        }
    }
    return ports;
}

SerialLineIo* HardwarePortIo::SerialFor(std::uint16_t port)
{
    const auto base = ComBaseOf(m_settings.Port);
    if (!base || (port != *base + ModemControlOffset && port != *base + ModemStatusOffset)) {
        return nullptr;
    }
    const int fd = m_serialHandle ? m_serialHandle() : 0;
    if (fd <= 0) {
        m_serial.reset();
        m_serialFd = -1;
        return nullptr;
    }
    if (!m_serial || fd != m_serialFd || *base != m_serialBase) {
        m_serial = std::make_unique<SerialLineIo>(fd, *base, m_lines);
        m_serialFd = fd;
        m_serialBase = *base;
    }
    return m_serial.get();
}

std::uint8_t HardwarePortIo::ReadPort(std::uint16_t port)
{
    if (!IsComRegister(port)) {
        return m_cards.ReadPort(port);
    }
    if (SerialLineIo* serial = SerialFor(port)) {
        const std::uint8_t value = serial->ReadPort(port);
        NoteFault(*serial);
        return value;
    }
    // A COM port that is not claimed: a UART with nothing attached, carrier clear, so SDA
    // reads released and nobody acknowledges.
    return 0x00;
}

void HardwarePortIo::WritePort(std::uint16_t port, std::uint8_t value)
{
    if (!IsComRegister(port)) {
        m_cards.WritePort(port, value);
        return;
    }
    if (SerialLineIo* serial = SerialFor(port)) {
        serial->WritePort(port, value);
        NoteFault(*serial);
    }
}

void HardwarePortIo::NoteFault(SerialLineIo& serial)
{
    // A fault is reported once; only after the lines have worked again is a new one news.
    if (serial.Failed()) {
        if (!m_faultActive) {
            m_fault = serial.FaultText();
            m_faultActive = true;
        }
        serial.ClearFault();
    } else {
        m_faultActive = false;
    }
}

void HardwarePortIo::ForgetLines()
{
    m_serial.reset();
    m_serialFd = -1;
}

std::string HardwarePortIo::TakeFault()
{
    std::string fault;
    fault.swap(m_fault);
    return fault;
}

} // namespace quav
