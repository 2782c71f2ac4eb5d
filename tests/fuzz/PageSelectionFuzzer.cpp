// Page selection over arbitrary pages and arbitrary input: mouse positions, clicks, keys,
// keypad buttons and ticks of the cycle, in any order.
//
// Input: 23 bytes of the double-height table, 960 bytes of page rows as the decoder chip
// sends them, then actions of five bytes each (kind, x and y as 16-bit numbers).

#include "acquisition/AcquisitionCycle.h"
#include "acquisition/PageSelection.h"
#include "bus/I2cMaster.h"
#include "bus/LineAdapters.h"
#include "decoder/Decoder.h"
#include "sim/AdapterPortDecoder.h"
#include "sim/I2cSlave.h"
#include "support/FakeCycleHost.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace quav;

// A chip that acknowledges everything and sends the bytes it is given, over and over.
class ScriptedChip final : public I2cTarget
{
public:
    void OnStart() override {}
    void OnStop() override {}
    bool OnAddress(std::uint8_t) override { return true; }
    bool OnWrite(std::uint8_t) override { return true; }
    std::uint8_t OnRead() override
    {
        if (bytes.empty()) {
            return 0x02; // status: teletext
        }
        const std::uint8_t b = bytes[next % bytes.size()];
        ++next;
        return b;
    }
    std::vector<std::uint8_t> bytes;
    std::size_t next = 0;
};

// The serial module's ports in front of that chip.
class ScriptedBoard final : public PortIo
{
public:
    ScriptedBoard() { m_ports.SetPlacement({}); }
    std::uint8_t ReadPort(std::uint16_t port) override { return m_ports.Read(port); }
    void WritePort(std::uint16_t port, std::uint8_t value) override { m_ports.Write(port, value); }
    ScriptedChip chip;

private:
    I2cSlave m_bus{chip};
    AdapterPortDecoder m_ports{m_bus};
};

bool IsPageNumberCharacter(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

void CheckPageNumber(const std::string& number)
{
    if (number.empty() || number.size() > 3) {
        std::abort();
    }
    for (char c : number) {
        if (!IsPageNumberCharacter(c)) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t TableSize = 23;
    constexpr std::size_t PageSize = Decoder::PageSize;
    if (size < TableSize + PageSize) {
        return 0;
    }
    ScriptedBoard board;
    Settings settings;
    settings.I2cDelay = 0;
    LineAdapters lines(board, settings);
    I2cMaster master(lines);
    Decoder decoder(master);

    test::FakeCycleHost host;
    test::FakeCycleRenderer renderer;
    std::memcpy(renderer.doubleHeight.data(), data, TableSize);
    test::FakeSettingsStore store;
    AcquisitionCycle cycle(host, decoder, renderer, store, settings);
    host.cycle = &cycle;
    renderer.source = &decoder.PageRows();
    PageSelection selection(cycle, renderer);

    // Start-up, port claim and the first polls see a chip that reports teletext.
    cycle.StartCycle();
    host.RunFor(2000);

    board.chip.bytes.assign(data + TableSize, data + TableSize + PageSize);
    decoder.ReadPageRows(0);
    if (std::memcmp(decoder.PageRows().data() + 40, data + TableSize + 40, PageSize - 40) != 0) {
        std::abort(); // the page under the mouse is exactly the page that was read
    }

    for (std::size_t at = TableSize + PageSize; at + 5 <= size; at += 5) {
        const std::uint8_t kind = data[at];
        const auto x = static_cast<std::int16_t>(data[at + 1] | (data[at + 2] << 8));
        const auto y = static_cast<std::int16_t>(data[at + 3] | (data[at + 4] << 8));
        switch (kind % 8) {
        case 0: {
            selection.mposition(x, y);
            const std::string number = selection.PageNumberAt();
            if (number.size() != 3) {
                std::abort();
            }
            if (number != "999") {
                for (char c : number) {
                    if (c < '0' || c > '9') {
                        std::abort();
                    }
                }
            }
            break;
        }
        case 1:
            selection.mposition(x, y);
            selection.PageClick();
            break;
        case 2:
            selection.PageKey(static_cast<std::uint8_t>(x));
            break;
        case 3:
            selection.KeyPress(static_cast<char>(x));
            break;
        case 4:
            selection.But1Click(x);
            break;
        case 5:
            selection.ButHiddenClick((x & 1) != 0);
            break;
        case 6:
            host.Tick();
            break;
        default:
            host.RunFor(static_cast<std::uint16_t>(x) % 8000);
            break;
        }
        CheckPageNumber(cycle.PageNumber());
    }
    return 0;
}
