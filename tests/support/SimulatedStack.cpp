#include "support/SimulatedStack.h"

#include "broadcast/PacketLoop.h"

#include <stdexcept>
#include <stdlib.h>

namespace quav::test {

SimulatedStack::SimulatedStack(BoardPlacement placement) : settings(SettingsFor(placement))
{
    board.SetPlacement(placement);
}

Settings SimulatedStack::SettingsFor(BoardPlacement placement)
{
    Settings s;
    s.I2cDelay = 0;
    s.Device = static_cast<std::uint8_t>(placement.device);
    switch (placement.device) {
    case adapter::DeviceKind::SerialModule:
        s.Port = placement.index;
        break;
    case adapter::DeviceKind::Vd3000s:
        s.VDPort = placement.index;
        break;
    case adapter::DeviceKind::CtCard:
        s.ctsPort = placement.index;
        break;
    }
    return s;
}

void SimulatedStack::Play(std::vector<Packet> packets)
{
    board.SetSource(std::make_unique<PacketLoop>(std::move(packets)));
}

std::uint8_t SimulatedStack::Status()
{
    std::uint8_t code = 0xEE;
    decoder.DecoderStatus(code);
    return code;
}

ScratchDirectory::ScratchDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quav-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch directory");
    }
    m_path = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace quav::test
