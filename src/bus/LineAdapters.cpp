#include "bus/LineAdapters.h"

#include "bus/AdapterPorts.h"

namespace quav {

using namespace adapter;

LineAdapters::LineAdapters(PortIo& io, const Settings& settings) : m_io(io), m_settings(settings) {}

void LineAdapters::UpdatePorts()
{
    // All four every time, whatever the adapter, so that a change of Device alone needs
    // no recomputation. An index outside a table leaves 0, which marks the adapter absent.
    const auto com = ComBaseOf(m_settings.Port);
    m_modemControl = com ? static_cast<std::uint16_t>(*com + ModemControlOffset) : 0;
    m_modemStatus = com ? static_cast<std::uint16_t>(*com + ModemStatusOffset) : 0;
    const auto vd = Vd3000sBaseOf(m_settings.VDPort);
    m_vdRegister = vd ? static_cast<std::uint16_t>(*vd + Vd3000sRegisterOffset) : 0;
    m_ctBase = CtBaseOf(m_settings.ctsPort).value_or(0);
}

void LineAdapters::SdaLow()
{
    Drive(Line::Sda, false);
}

void LineAdapters::SdaHigh()
{
    Drive(Line::Sda, true);
}

void LineAdapters::SclLow()
{
    Drive(Line::Scl, false);
}

void LineAdapters::SclHigh()
{
    Drive(Line::Scl, true);
}

int LineAdapters::SdaRead()
{
    switch (static_cast<DeviceKind>(m_settings.Device)) {
    case DeviceKind::SerialModule:
        if (m_modemStatus != 0) {
            return (m_io.ReadPort(m_modemStatus) & MsrDcd) != 0 ? 0 : 1;
        }
        break;
    case DeviceKind::Vd3000s:
        if (m_vdRegister != 0) {
            return (m_io.ReadPort(m_vdRegister) & VdSdaIn) != 0 ? 1 : 0;
        }
        break;
    case DeviceKind::CtCard:
        if (m_ctBase != 0) {
            // Sampling SDA strobes "SDA high" as well: it is the same address.
            return (m_io.ReadPort(static_cast<std::uint16_t>(m_ctBase + CtSdaHigh)) & CtSdaIn) != 0 ? 1 : 0;
        }
        break;
    }
    return 1; // no adapter: nobody pulls the line down
}

void LineAdapters::Drive(Line line, bool high)
{
    const bool sda = line == Line::Sda;
    switch (static_cast<DeviceKind>(m_settings.Device)) {
    case DeviceKind::SerialModule:
        if (m_modemControl == 0) {
            return;
        }
        // DTR follows SDA directly; RTS carries SCL inverted.
        SetModemControlBit(sda ? McrDtr : McrRts, sda ? high : !high);
        break;
    case DeviceKind::Vd3000s:
        if (m_vdRegister == 0) {
            return;
        }
        SetVdShadowBit(sda ? VdSda : VdScl, !high);
        break;
    case DeviceKind::CtCard:
        if (m_ctBase == 0) {
            return;
        }
        Strobe(sda ? (high ? CtSdaHigh : CtSdaLow) : (high ? CtSclHigh : CtSclLow));
        break;
    default:
        return; // no adapter: no port access and no delay
    }
    // The delay follows every level operation, also one that leaves the line as it was.
    Delay();
}

void LineAdapters::SetModemControlBit(std::uint8_t bit, bool set)
{
    // Read-modify-write, so that the other modem control bits keep their values.
    const std::uint8_t mcr = m_io.ReadPort(m_modemControl);
    m_io.WritePort(m_modemControl,
                   set ? static_cast<std::uint8_t>(mcr | bit) : static_cast<std::uint8_t>(mcr & ~bit));
}

void LineAdapters::SetVdShadowBit(std::uint8_t bit, bool set)
{
    // The card has no readable latch for the output bits, so the whole shadow byte is
    // written every time.
    m_vdShadow =
        set ? static_cast<std::uint8_t>(m_vdShadow | bit) : static_cast<std::uint8_t>(m_vdShadow & ~bit);
    m_io.WritePort(m_vdRegister, m_vdShadow);
}

void LineAdapters::Strobe(std::uint16_t offset)
{
    // The c't card is never written: the read itself sets the line.
    (void)m_io.ReadPort(static_cast<std::uint16_t>(m_ctBase + offset));
}

void LineAdapters::Delay()
{
    const std::int32_t count = m_settings.I2cDelay;
    if (m_probe != nullptr) {
        m_probe->OnDelay(count);
    }
    // A counted busy loop: the count is in loop iterations, not time, as the settings have
    // always meant it. volatile keeps the optimiser from removing the loop. A count of 0
    // or below means no delay. The dialog takes any count, so a long delay runs in slices,
    // between which an abort can end it.
    constexpr std::int32_t Slice = 1 << 16;
    std::int32_t left = count;
    while (left > 0 && !AbortRequested()) {
        const std::int32_t slice = left < Slice ? left : Slice;
        left -= slice;
        volatile std::int32_t n = slice;
        while (n > 0) {
            n = n - 1;
        }
    }
}

} // namespace quav
