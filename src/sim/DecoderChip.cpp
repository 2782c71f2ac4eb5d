#include "sim/DecoderChip.h"

namespace quav {

using namespace decoder;

namespace {

constexpr std::uint8_t CareBit = 0x10;    // request digit byte: this digit must match
constexpr std::uint8_t AlphaWhite = 0x07; // column 7 once found: the header text starts white
constexpr std::uint8_t AlphaGreen = 0x02; // column 7 while searching: the rolling header shows green
constexpr std::size_t ClockColumn = 32;   // columns 32 to 39 of a header: the clock
constexpr std::uint8_t Space = 0x20;

char HexDigit(unsigned value)
{
    return "0123456789ABCDEF"[value & 15];
}

} // namespace

DecoderChip::DecoderChip() : m_assembler(*this)
{
    Reset();
}

void DecoderChip::Reset()
{
    m_assembler.Reset();
    for (auto& store : m_memory) {
        for (auto& row : store) {
            row.fill(Space);
        }
    }
    for (int s = 0; s < Stores; ++s) {
        m_stores[s] = {};
        Row& status = m_memory[s][StatusRow];
        status.fill(0);
        status[StatusMissingA] = StatusMissingABit;
        status[StatusMissingB] = StatusMissingBBit;
    }
    m_registers.fill(0);
    m_pointer = 0;
    m_expectRegister = false;
    m_requestStore = 0;
    m_requestColumn = 0;
    m_requestWritten = false;
    m_readStore = 0;
    m_readRow = 0;
    m_readColumn = 0;
}

bool DecoderChip::Received(int store) const
{
    const Row& status = m_memory[store & 3][StatusRow];
    return (status[StatusMissingA] & StatusMissingABit) == 0 &&
           (status[StatusMissingB] & StatusMissingBBit) == 0;
}

void DecoderChip::OnStart()
{
    m_expectRegister = false;
}

void DecoderChip::OnStop()
{
    if (m_requestWritten) {
        m_requestWritten = false;
        ApplyRequest(m_requestStore);
    }
}

bool DecoderChip::OnAddress(std::uint8_t address)
{
    if (address == WriteAddress) {
        m_expectRegister = true;
        return true;
    }
    return address == ReadAddress;
}

bool DecoderChip::OnWrite(std::uint8_t byte)
{
    if (m_expectRegister) {
        m_expectRegister = false;
        m_pointer = static_cast<std::uint8_t>(byte & 15);
        return true;
    }
    const auto reg = static_cast<Register>(m_pointer);
    if (m_pointer == +Register::PageRequest + 1) {
        // Request data: the pointer stays here while the request column moves on.
        if (m_requestColumn < RequestBytes) {
            m_stores[m_requestStore].request[m_requestColumn] = byte;
            m_requestWritten = true;
        }
        ++m_requestColumn;
        return true;
    }
    m_registers[m_pointer] = byte;
    switch (reg) {
    case Register::PageRequest:
        m_requestStore = (byte >> 4) & 3;
        m_requestColumn = byte & 15;
        break;
    case Register::ReadStore:
        m_readStore = byte & 3;
        break;
    case Register::ReadRow:
        m_readRow = byte & 31;
        break;
    case Register::ReadColumn:
        m_readColumn = byte % Columns;
        break;
    default:
        break;
    }
    m_pointer = static_cast<std::uint8_t>((m_pointer + 1) & 15);
    return true;
}

std::uint8_t DecoderChip::OnRead()
{
    if ((m_registers[+Register::Control] & 1) != 0) {
        return static_cast<std::uint8_t>(m_reception);
    }
    const std::uint8_t value = m_memory[m_readStore][m_readRow][m_readColumn];
    if (++m_readColumn == Columns) {
        m_readColumn = 0;
        m_readRow = (m_readRow + 1) & 31;
    }
    return value;
}

int DecoderChip::RequestedMagazine(const std::array<std::uint8_t, RequestBytes>& request)
{
    const int magazine = request[0] & 7;
    return magazine == 0 ? 8 : magazine;
}

bool DecoderChip::Matches(const std::array<std::uint8_t, RequestBytes>& request, const PageHeader& h)
{
    if (h.magazine != RequestedMagazine(request)) {
        return false;
    }
    const auto digit = [](std::uint8_t byte, unsigned value, unsigned mask) {
        return (byte & CareBit) == 0 || (byte & mask) == (value & mask);
    };
    return digit(request[1], h.tens, 15) && digit(request[2], h.units, 15) &&
           digit(request[3], h.subcode[3], 3) && digit(request[4], h.subcode[2], 15) &&
           digit(request[5], h.subcode[1], 7) && digit(request[6], h.subcode[0], 15);
}

void DecoderChip::WriteOwnColumns(int store, std::uint8_t magazine, std::uint8_t tens, std::uint8_t units,
                                  std::uint8_t column7)
{
    // The chip's own columns 0 to 7 of row 0: the page number it is after, and the
    // alphanumeric colour that the broadcast header text starts in.
    Row& row = m_memory[store][0];
    row[0] = 'P';
    row[1] = static_cast<std::uint8_t>(HexDigit(magazine));
    row[2] = static_cast<std::uint8_t>(HexDigit(tens));
    row[3] = static_cast<std::uint8_t>(HexDigit(units));
    row[4] = Space;
    row[5] = Space;
    row[6] = Space;
    row[7] = column7;
}

void DecoderChip::WriteStatusRow(int store, const PageHeader& h, bool received)
{
    Row& status = m_memory[store][StatusRow];
    status.fill(0);
    const unsigned c = h.control;
    status[0] = h.units;
    status[1] = h.tens;
    status[StatusSubcodeUnits] = h.subcode[0];
    status[StatusSubcodeTens] = static_cast<std::uint8_t>(h.subcode[1] | ((c >> 4) & 1U) << 3);
    status[StatusSubcodeHundreds] = h.subcode[2];
    status[StatusSubcodeThousands] = static_cast<std::uint8_t>(h.subcode[3] | ((c >> 5) & 3U) << 2);
    status[6] = static_cast<std::uint8_t>((c >> 7) & 15U);
    status[StatusLanguage] = static_cast<std::uint8_t>((c >> 11) & 15U); // C11 in bit 0, C12-C14 in bits 1-3
    status[StatusMissingA] = static_cast<std::uint8_t>(h.magazine & 7);
    if (!received) {
        status[StatusMissingA] |= StatusMissingABit;
        status[StatusMissingB] = StatusMissingBBit;
    }
}

void DecoderChip::ApplyRequest(int store)
{
    Store& s = m_stores[store];
    // Until the page has come in completely again, the store holds no received page.
    Row& status = m_memory[store][StatusRow];
    status[StatusMissingA] |= StatusMissingABit;
    status[StatusMissingB] |= StatusMissingBBit;
    s.collecting = false; // a transmission counts only from a header after the request
    if (s.requested && s.found && s.request == s.active) {
        return; // the page is found already: wait for a fresh copy of it
    }
    s.active = s.request;
    s.requested = true;
    s.found = false;
    s.holding = false;
    WriteOwnColumns(store, static_cast<std::uint8_t>(RequestedMagazine(s.request)),
                    static_cast<std::uint8_t>(s.request[1] & 15),
                    static_cast<std::uint8_t>(s.request[2] & 15), AlphaGreen);
}

void DecoderChip::PageCompleted(const AssembledPage& page)
{
    for (int i = 0; i < Stores; ++i) {
        Store& s = m_stores[i];
        if (!s.collecting || RequestedMagazine(s.request) != page.header.magazine) {
            continue;
        }
        s.collecting = false;
        s.holding = true;
        auto& memory = m_memory[i];
        for (int r = 1; r < PageRowCount; ++r) {
            memory[r] = page.rows[r];
        }
        WriteStatusRow(i, page.header, true);
    }
}

void DecoderChip::PageStarted(const AssembledPage& page)
{
    const PageHeader& h = page.header;
    for (int i = 0; i < Stores; ++i) {
        Store& s = m_stores[i];
        if (!s.requested || RequestedMagazine(s.request) != h.magazine) {
            continue;
        }
        auto& memory = m_memory[i];
        const bool matches = Matches(s.request, h);
        // While searching, every header of the magazine passes through row 0; the header
        // of the page found stays, and only the clock follows the later ones.
        const std::size_t from = s.found ? ClockColumn : HeaderTextColumn;
        for (std::size_t c = from; c < Columns; ++c) {
            memory[0][c] = page.rows[0][c];
        }
        if (!matches) {
            continue;
        }
        if (!s.found) {
            s.found = true;
            WriteOwnColumns(i, h.magazine, h.tens, h.units, AlphaWhite);
        }
        s.collecting = true;
        if (!s.holding) {
            for (int r = 1; r < PageRowCount; ++r) {
                memory[r].fill(Space);
            }
            WriteStatusRow(i, h, false);
        }
    }
}

void DecoderChip::RowReceived(const AssembledPage& page, int row)
{
    if (row >= PageRowCount) {
        return;
    }
    for (int i = 0; i < Stores; ++i) {
        const Store& s = m_stores[i];
        // A store that holds a received page keeps it until the next one is complete.
        if (s.collecting && !s.holding && RequestedMagazine(s.request) == page.header.magazine) {
            m_memory[i][row] = page.rows[row];
        }
    }
}

} // namespace quav
