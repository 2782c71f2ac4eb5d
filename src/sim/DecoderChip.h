#pragma once

#include "broadcast/PageAssembler.h"
#include "decoder/DecoderRegisters.h"
#include "sim/I2cSlave.h"

#include <array>
#include <cstdint>

namespace quav {

/// What the antenna gives the chip.
enum class Reception : std::uint8_t
{
    NoVideo = decoder::SignalNoVideo,       ///< no video signal at all
    NoTeletext = decoder::SignalNoTeletext, ///< a channel without teletext
    Teletext = decoder::SignalTeletext,     ///< teletext is being received
};

/// Model of the teletext decoder chip at bus addresses 0x22 and 0x23.
///
/// Registers, as the driver uses them: a write transfer sets the register pointer with its
/// first byte, and each further byte goes to the register the pointer names, after which
/// the pointer advances. Register 0 bit 0 selects what a read returns: set, the status byte
/// (signal state in bits 0 and 1); clear, page memory from the read position that
/// registers 8, 9 and 10 hold (store, row, column), going on into the next row after
/// column 39. Register 2 takes the page request address (store in bits 4 and 5); the
/// pointer then stays at the request data, which takes seven bytes in turn: magazine (bits
/// 0 to 2, 0 meaning 8), page tens, page units, and the subcode digits S4, S3, S2, S1. A
/// digit byte with bit 4 clear means "any", so a request with subcode bytes 0 takes every
/// subpage. The request takes effect at the stop condition.
///
/// Four page stores of 32 rows of 40 bytes; rows 0 to 23 are the page, row 25 the status
/// row (see DecoderRegisters.h for the bytes the driver reads; bytes 0, 1 and 6 hold the
/// page units, tens and C7 to C10, byte 8 bits 0 to 2 the magazine).
///
/// Acquisition per store, as decoder chips of this kind do it: after a request the chip
/// searches. Every header of the requested magazine rolls through row 0, with a green
/// alphanumeric code in column 7 so that the searching header shows green. A header that
/// matches the request finds the page: row 0 keeps that header (column 7 white again) and
/// from then on only its last eight characters, the clock, follow the later headers of the
/// magazine. The page counts as received at the next header of its magazine, whatever page
/// that header carries, the same page included (or of any magazine for a page in serial
/// mode), so a page alone in its magazine is received too.
///
/// The same request again, while its page is found, starts no new search: row 0 keeps the
/// page's header and the store its page, and the not-received bits stay set until the
/// next whole transmission has come in and replaced it.
///
/// The first transmission after a request comes straight into page memory: the matching
/// header clears rows 1 to 23 and writes the status row with the not-received bits set,
/// the rows follow, and the end of the page clears the bits. Once the store holds a
/// received page, each later transmission of it (the same subpage again or the next one)
/// is gathered aside and replaces the store's page whole when it ends, so a reader always
/// finds a complete page whose status row belongs to it. Text bytes arrive without their
/// parity bit; one with a parity error is stored as a space.
class DecoderChip final : public I2cTarget, private PageAssemblyListener
{
public:
    static constexpr int Stores = 4;
    static constexpr int MemoryRows = 32;
    static constexpr int Columns = decoder::RowLength;
    static constexpr int RequestBytes = 7;
    using Row = std::array<std::uint8_t, Columns>;

    DecoderChip();

    /// Power-on state: registers 0, no requests, page memory all spaces with the status
    /// rows saying "not received". Reception is kept: it is the world outside.
    void Reset();

    void SetReception(Reception reception) { m_reception = reception; }
    Reception GetReception() const { return m_reception; }

    /// Takes one packet off the air.
    void Receive(const Packet& packet) { m_assembler.Feed(packet); }

    // I2cTarget
    void OnStart() override;
    void OnStop() override;
    bool OnAddress(std::uint8_t address) override;
    bool OnWrite(std::uint8_t byte) override;
    std::uint8_t OnRead() override;

    // Side door for tests and tools.
    const Row& Memory(int store, int row) const { return m_memory[store & 3][row & 31]; }
    std::uint8_t RegisterValue(decoder::Register r) const { return m_registers[+r & 15]; }
    const std::array<std::uint8_t, RequestBytes>& Request(int store) const
    {
        return m_stores[store & 3].request;
    }
    /// True once the store's page has been received completely since its last request.
    bool Received(int store) const;
    const PageAssembler& Assembler() const { return m_assembler; }

private:
    struct Store
    {
        std::array<std::uint8_t, RequestBytes> request{};
        std::array<std::uint8_t, RequestBytes> active{}; ///< the request in force, to tell a repeat
        bool requested = false;  ///< a request has been made; its magazine's headers go to row 0
        bool found = false;      ///< the requested page's header has come since the request
        bool collecting = false; ///< a transmission of the requested page is coming in
        bool holding = false;    ///< the store holds the page received since the request
    };

    void PageCompleted(const AssembledPage& page) override;
    void PageStarted(const AssembledPage& page) override;
    void RowReceived(const AssembledPage& page, int row) override;

    void ApplyRequest(int store);
    void WriteOwnColumns(int store, std::uint8_t magazine, std::uint8_t tens, std::uint8_t units,
                         std::uint8_t column7);
    void WriteStatusRow(int store, const PageHeader& header, bool received);
    static int RequestedMagazine(const std::array<std::uint8_t, RequestBytes>& request);
    static bool Matches(const std::array<std::uint8_t, RequestBytes>& request, const PageHeader& header);

    PageAssembler m_assembler;
    Reception m_reception = Reception::Teletext;
    std::array<std::array<Row, MemoryRows>, Stores> m_memory{};
    std::array<Store, Stores> m_stores{};
    std::array<std::uint8_t, 16> m_registers{};
    std::uint8_t m_pointer = 0;
    bool m_expectRegister = false; ///< the next written byte is the register number
    int m_requestStore = 0;
    int m_requestColumn = 0;
    bool m_requestWritten = false;
    int m_readStore = 0;
    int m_readRow = 0;
    int m_readColumn = 0;
};

} // namespace quav
