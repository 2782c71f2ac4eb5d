#include "sim/AdapterPortDecoder.h"

namespace quav {

using namespace adapter;

namespace {

constexpr std::uint8_t EmptyBus = 0xFF;

} // namespace

void AdapterPortDecoder::SetPlacement(BoardPlacement placement)
{
    m_placement = placement;
    m_mcr = m_msr = m_vd = m_ct = 0;
    m_modemControl.fill(0);
    m_vdLatch = 0;
    m_bus.Reset();
    switch (placement.device) {
    case DeviceKind::SerialModule:
        if (const auto base = ComBaseOf(placement.index)) {
            m_mcr = static_cast<std::uint16_t>(*base + ModemControlOffset);
            m_msr = static_cast<std::uint16_t>(*base + ModemStatusOffset);
            m_comIndex = placement.index - 1U;
            m_modemControl[m_comIndex] = McrDtr;
        }
        break;
    case DeviceKind::Vd3000s:
        if (const auto base = Vd3000sBaseOf(placement.index)) {
            m_vd = static_cast<std::uint16_t>(*base + Vd3000sRegisterOffset);
        }
        break;
    case DeviceKind::CtCard:
        m_ct = CtBaseOf(placement.index).value_or(0);
        break;
    }
}

void AdapterPortDecoder::SetComLines(int port, bool raised)
{
    if (port < 1 || port > static_cast<int>(m_modemControl.size())) {
        return;
    }
    const auto index = static_cast<std::size_t>(port - 1);
    std::uint8_t& mcr = m_modemControl[index];
    constexpr std::uint8_t Lines = McrDtr | McrRts;
    mcr = raised ? static_cast<std::uint8_t>(mcr | Lines) : static_cast<std::uint8_t>(mcr & ~Lines);
    if (m_mcr != 0 && index == m_comIndex) {
        // The module sees DTR change before RTS: after a close, the open ends with a stop
        // condition and SCL held low, as on the real module.
        m_bus.Step(m_bus.Scl(), (mcr & McrDtr) != 0);
        m_bus.Step((mcr & McrRts) == 0, (mcr & McrDtr) != 0);
    }
}

std::uint8_t AdapterPortDecoder::ReadCards(std::uint16_t port)
{
    if (m_ct != 0 && static_cast<std::uint16_t>(port - m_ct) < 4) {
        const unsigned strobe = static_cast<unsigned>(port - m_ct);
        switch (strobe) {
        case CtSclHigh:
            m_bus.Step(true, m_bus.MasterSda());
            break;
        case CtSclLow:
            m_bus.Step(false, m_bus.MasterSda());
            break;
        case CtSdaHigh:
            m_bus.Step(m_bus.Scl(), true);
            return m_bus.Sda() ? EmptyBus : static_cast<std::uint8_t>(EmptyBus & ~CtSdaIn);
        default:
            m_bus.Step(m_bus.Scl(), false);
            break;
        }
        return EmptyBus;
    }
    if (port == m_vd && m_vd != 0) {
        return static_cast<std::uint8_t>((m_vdLatch & (VdSda | VdScl)) | (m_bus.Sda() ? VdSdaIn : 0));
    }
    return ReadElsewhere(port);
}

void AdapterPortDecoder::WriteCards(std::uint16_t port, std::uint8_t value)
{
    if (port == m_vd && m_vd != 0) {
        m_vdLatch = value;
        m_bus.Step((value & VdScl) == 0, (value & VdSda) == 0);
        return;
    }
    WriteElsewhere(port, value);
}

std::uint8_t AdapterPortDecoder::ReadElsewhere(std::uint16_t port) const
{
    for (std::size_t i = 0; i < ComBase.size(); ++i) {
        if (port == ComBase[i] + ModemControlOffset) {
            return m_modemControl[i];
        }
        if (port == ComBase[i] + ModemStatusOffset) {
            return 0x00; // nothing attached: no carrier, so SDA would read high
        }
    }
    return EmptyBus;
}

void AdapterPortDecoder::WriteElsewhere(std::uint16_t port, std::uint8_t value)
{
    for (std::size_t i = 0; i < ComBase.size(); ++i) {
        if (port == ComBase[i] + ModemControlOffset) {
            m_modemControl[i] = static_cast<std::uint8_t>(value & UartMcrBits);
            return;
        }
    }
}

} // namespace quav
