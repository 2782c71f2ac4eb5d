#pragma once

#include "bus/I2cMaster.h"
#include "decoder/DecoderRegisters.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace quav {

/// The register-level operations on the teletext decoder chip and the buffers they fill.
///
/// Only `DecoderStatus` reports bus failures (as code 4). The reads and the page request
/// ignore their transfer results, so a buffer keeps its previous contents when the chip
/// does not answer. Nothing here throws. Not thread-safe: one thread at a time runs the
/// operations, and the buffers are read only while no operation runs (in the viewer the
/// worker polls and the window reads the buffers between ticks).
class Decoder
{
public:
    static constexpr int HeaderSize = decoder::RowLength;
    static constexpr int PageSize = decoder::RowLength * decoder::PageRowCount;
    static constexpr int StatusSize = decoder::StatusRowLength;

    /// Status codes of DecoderStatus.
    static constexpr std::uint8_t NoVideo = 0;
    static constexpr std::uint8_t NoTeletext = 1;
    static constexpr std::uint8_t NoHardware = 4;
    /// RequestPage: no subcode digit is cared about, every subpage comes in turn.
    static constexpr std::int32_t AnySubpage = -1;

    /// Character-set names by national option index. Option 3 is the Czech and Slovak
    /// subset; option 7 has no subset of its own (its pages are drawn as English).
    static constexpr std::array<std::string_view, 8> LanguageNames{"Englisch",    "Französisch", "Schwedisch",
                                                                   "Tschechisch", "Deutsch",     "Spanisch",
                                                                   "Italienisch", "Reserviert"};

    explicit Decoder(I2cMaster& bus);

    /// Register 1 := 4. Used by DecoderStatus.
    bool DecoderSetMode();
    /// Status query. `code`: 0 no video, 1 no teletext, 2 or 3 teletext, 4 no answer.
    /// Returns whether the closing write succeeded.
    bool DecoderStatus(std::uint8_t& code);
    /// Asks the chip to acquire a page into a store. The first three characters of `page`
    /// are hexadecimal digits (magazine, tens, units). Returns false, before any bus
    /// activity, when there are fewer than three or one is not a hexadecimal digit.
    /// `subcode` -1 takes every subpage as it comes; 0 to 3979 asks for that subpage alone:
    /// its four decimal digits go out with their care bits (thousands kept to two bits,
    /// tens to three, as the subcode field holds them).
    bool RequestPage(std::string_view page, std::uint8_t store, std::int32_t subcode = AnySubpage);
    /// Fills the header row buffer from row 0; columns 0 to 6 become spaces.
    void ReadHeaderRow(std::uint8_t store);
    /// Fills the page buffer from rows 0 to 23; columns 0 to 6 of row 0 become spaces.
    void ReadPageRows(std::uint8_t store);
    /// Fills the status row from row 25, sets Subcode, returns whether the page is received.
    bool ReadStatusRow(std::uint8_t store);

    const std::array<std::uint8_t, 9>& CommandBuffer() const { return m_commandBuffer; }
    const std::array<std::uint8_t, StatusSize>& StatusRow() const { return m_statusRow; }
    const std::array<std::uint8_t, HeaderSize>& HeaderRow() const { return m_headerRow; }
    const std::array<std::uint8_t, PageSize>& PageRows() const { return m_pageRows; }
    std::int32_t Subcode() const { return m_subcode; }

    /// Name of the character set that the status row signals.
    std::string_view LanguageName() const;
    /// The national option index (0 to 7) that the status row signals.
    std::uint8_t NationalOption() const { return NationalOptionOf(m_statusRow); }
    /// The national option of the page in the page buffer: the status row's, as it stood
    /// when the page rows were read (zero, English, before any page has been read).
    std::uint8_t PageNationalOption() const { return m_pageNationalOption; }

    /// The bus the operations run on (to abort a transfer under way).
    I2cMaster& Bus() { return m_bus; }

    /// The subcode that status row bytes 2 to 5 encode; each field is weighted as a decimal
    /// digit without carry, so a field of 10 to 15 adds that many units of its weight.
    static std::int32_t SubcodeOf(const std::array<std::uint8_t, StatusSize>& statusRow);
    /// The national option index of a status row: bits 1 to 3 of byte 7.
    static std::uint8_t NationalOptionOf(const std::array<std::uint8_t, StatusSize>& statusRow);
    /// Whether a status row reports the page received.
    static bool ReceivedOf(const std::array<std::uint8_t, StatusSize>& statusRow);

private:
    bool Write(std::initializer_list<std::uint8_t> bytes);
    void ReadRows(std::uint8_t store, std::uint8_t row, std::uint8_t* target, int count);

    I2cMaster& m_bus;
    std::array<std::uint8_t, 9> m_commandBuffer{};
    std::array<std::uint8_t, StatusSize> m_statusRow{};
    std::array<std::uint8_t, HeaderSize> m_headerRow{};
    std::array<std::uint8_t, PageSize> m_pageRows{};
    std::int32_t m_subcode = 0;
    std::uint8_t m_pageNationalOption = 0;
};

} // namespace quav
