#include "decoder/Decoder.h"

#include <algorithm>
#include <optional>

namespace quav {

using namespace decoder;

namespace {

std::optional<std::uint8_t> HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

} // namespace

Decoder::Decoder(I2cMaster& bus) : m_bus(bus) {}

bool Decoder::Write(std::initializer_list<std::uint8_t> bytes)
{
    // The register number is byte 0 of the command buffer, its values follow.
    std::copy(bytes.begin(), bytes.end(), m_commandBuffer.begin());
    const auto count = static_cast<std::int32_t>(bytes.size());
    return m_bus.I2cWrite(WriteAddress, count, m_commandBuffer.data());
}

bool Decoder::DecoderSetMode()
{
    return Write({+Register::Mode, 0x04});
}

bool Decoder::DecoderStatus(std::uint8_t& code)
{
    m_bus.I2cStart();
    code = NoHardware;
    bool result = false;
    if (Write({+Register::Control, 0x01}) && DecoderSetMode() && Write({+Register::Status}) &&
        m_bus.I2cRead(ReadAddress, 1, m_commandBuffer.data())) {
        code = static_cast<std::uint8_t>(m_commandBuffer[0] & 3);
        result = Write({+Register::Control, 0x00});
    }
    m_bus.I2cStop();
    return result;
}

bool Decoder::RequestPage(std::string_view page, std::uint8_t store, std::int32_t subcode)
{
    // Converted before any bus activity: a bad number must not leave a half request.
    if (page.size() < 3) {
        return false;
    }
    const auto magazine = HexValue(page[0]);
    const auto tens = HexValue(page[1]);
    const auto units = HexValue(page[2]);
    if (!magazine || !tens || !units) {
        return false;
    }
    // The subcode digits S4 S3 S2 S1; a digit byte counts only with its care bit (bit 4).
    std::array<std::uint8_t, 4> digits{};
    if (subcode >= 0) {
        const auto digit = [subcode](int weight, int mask) {
            return static_cast<std::uint8_t>(0x10 | ((subcode / weight) % 10 & mask));
        };
        digits = {digit(1000, 3), digit(100, 15), digit(10, 7), digit(1, 15)};
    }
    m_bus.I2cStart();
    // Magazine 8 is sent as 0, as in the broadcast's own magazine numbering.
    Write({+Register::PageRequest, static_cast<std::uint8_t>(store * 16),
           static_cast<std::uint8_t>(0x18 | (*magazine & 7)), static_cast<std::uint8_t>(0x10 | *tens),
           static_cast<std::uint8_t>(0x10 | *units), digits[0], digits[1], digits[2], digits[3]});
    m_bus.I2cStop();
    return true;
}

void Decoder::ReadRows(std::uint8_t store, std::uint8_t row, std::uint8_t* target, int count)
{
    m_bus.I2cStart();
    Write({+Register::ReadStore, store, row, 0x00});
    m_bus.I2cRead(ReadAddress, count, target);
}

void Decoder::ReadHeaderRow(std::uint8_t store)
{
    ReadRows(store, 0, m_headerRow.data(), HeaderSize);
    std::fill_n(m_headerRow.begin(), BlankedColumns, 0x20);
    m_bus.I2cStop();
}

void Decoder::ReadPageRows(std::uint8_t store)
{
    ReadRows(store, 0, m_pageRows.data(), PageSize);
    std::fill_n(m_pageRows.begin(), BlankedColumns, 0x20);
    m_bus.I2cStop();
    // The page rows are read right after the status row that reported them received, so
    // that status row names their character set; the exports need it long after.
    m_pageNationalOption = NationalOption();
}

bool Decoder::ReadStatusRow(std::uint8_t store)
{
    ReadRows(store, static_cast<std::uint8_t>(decoder::StatusRow), m_statusRow.data(), StatusSize);
    m_bus.I2cStop();
    m_subcode = SubcodeOf(m_statusRow);
    return ReceivedOf(m_statusRow);
}

std::int32_t Decoder::SubcodeOf(const std::array<std::uint8_t, StatusSize>& s)
{
    return (s[StatusSubcodeThousands] & 3) * 1000 + (s[StatusSubcodeHundreds] & 15) * 100 +
           (s[StatusSubcodeTens] & 7) * 10 + (s[StatusSubcodeUnits] & 15);
}

bool Decoder::ReceivedOf(const std::array<std::uint8_t, StatusSize>& s)
{
    return (s[StatusMissingB] & StatusMissingBBit) == 0 && (s[StatusMissingA] & StatusMissingABit) == 0;
}

std::uint8_t Decoder::NationalOptionOf(const std::array<std::uint8_t, StatusSize>& s)
{
    return static_cast<std::uint8_t>((s[StatusLanguage] >> 1) & 7);
}

std::string_view Decoder::LanguageName() const
{
    return LanguageNames[NationalOption()];
}

} // namespace quav
