// Arbitrary bytes as a T42 recording, played into page assembly and the decoder chip.
//
// Input: the first nine bytes are a page request as the driver writes it to the chip (store
// and the seven request bytes; register byte first); the rest is the recording file.

#include "broadcast/PageAssembler.h"
#include "broadcast/T42Recording.h"
#include "sim/DecoderChip.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using namespace quav;

// Checks what every listener of page assembly relies on.
class CheckingListener final : public PageAssemblyListener
{
public:
    void PageCompleted(const AssembledPage& page) override { Check(page); }
    void PageStarted(const AssembledPage& page) override
    {
        Check(page);
        if (page.receivedRows != 1) {
            std::abort();
        }
    }
    void RowReceived(const AssembledPage& page, int row) override
    {
        if (row < 1 || row >= AssembledPage::Rows || (page.receivedRows & (1U << row)) == 0) {
            std::abort();
        }
        Check(page);
    }

private:
    static void Check(const AssembledPage& page)
    {
        for (const auto& row : page.rows) {
            for (std::uint8_t c : row) {
                if (c > 0x7F) {
                    std::abort(); // only seven-bit codes reach the page
                }
            }
        }
    }
};

// The recording goes into an in-memory file, so the reader works on a real descriptor.
class MemoryFile
{
public:
    MemoryFile(const std::uint8_t* data, std::size_t size)
    {
        m_fd = memfd_create("quav-fuzz-t42", MFD_CLOEXEC);
        if (m_fd >= 0 && size > 0 && write(m_fd, data, size) != static_cast<ssize_t>(size)) {
            std::abort();
        }
    }
    ~MemoryFile()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    std::string Path() const { return "/proc/self/fd/" + std::to_string(m_fd); }

private:
    int m_fd = -1;
};

void WriteRequest(DecoderChip& chip, const std::uint8_t* request)
{
    chip.OnStart();
    if (chip.OnAddress(decoder::WriteAddress)) {
        chip.OnWrite(+decoder::Register::PageRequest);
        for (int i = 0; i < 8; ++i) {
            chip.OnWrite(request[i]);
        }
    }
    chip.OnStop();
}

void ReadBack(DecoderChip& chip, std::uint8_t store, std::uint8_t row, int count)
{
    chip.OnStart();
    if (chip.OnAddress(decoder::WriteAddress)) {
        for (std::uint8_t b : {+decoder::Register::ReadStore, store, row, std::uint8_t{0}}) {
            chip.OnWrite(b);
        }
    }
    chip.OnStart();
    if (chip.OnAddress(decoder::ReadAddress)) {
        for (int i = 0; i < count; ++i) {
            (void)chip.OnRead();
        }
    }
    chip.OnStop();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t RequestSize = 9;
    if (size < RequestSize) {
        return 0;
    }
    DecoderChip chip;
    chip.SetReception(Reception::Teletext);
    WriteRequest(chip, data + 1);

    MemoryFile file(data + RequestSize, size - RequestSize);
    T42Recording recording;
    if (!recording.Open(file.Path()).empty()) {
        return 0;
    }
    CheckingListener listener;
    PageAssembler assembler(listener);
    // Two laps, so the wrap at the end of the file is played as well.
    const std::uint64_t packets = 2 * recording.PacketCount() + 1;
    Packet packet{};
    for (std::uint64_t i = 0; i < packets && recording.NextPacket(packet); ++i) {
        if (!DecodeAddress(packet)) {
            std::abort(); // the reader must never hand out an undecodable packet
        }
        assembler.Feed(packet);
        chip.Receive(packet);
    }
    // Each call reads at most one lap, so the skipped packets are bounded.
    if (recording.SkippedPackets() > packets * (recording.PacketCount() + 1)) {
        std::abort();
    }
    const std::uint8_t store = static_cast<std::uint8_t>((data[0] >> 4) & 3);
    ReadBack(chip, store, 0, 24 * decoder::RowLength);
    ReadBack(chip, store, decoder::StatusRow, decoder::StatusRowLength);
    ReadBack(chip, data[0], data[1], 50); // any position, beyond the rows as well
    return 0;
}
