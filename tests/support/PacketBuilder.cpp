#include "support/PacketBuilder.h"

#include "broadcast/PacketCoding.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace quav::test::packets {

using namespace packet_coding;

namespace {

std::uint8_t HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    throw std::invalid_argument("page number digit");
}

PageHeader HeaderFor(std::string_view page, std::uint16_t subcode, std::uint16_t control)
{
    if (page.size() != 3) {
        throw std::invalid_argument("page number");
    }
    PageHeader h;
    const std::uint8_t magazine = HexValue(page[0]);
    h.magazine = magazine == 0 ? 8 : magazine;
    h.tens = HexValue(page[1]);
    h.units = HexValue(page[2]);
    h.subcode = {static_cast<std::uint8_t>(subcode & 15), static_cast<std::uint8_t>((subcode >> 4) & 7),
                 static_cast<std::uint8_t>((subcode >> 8) & 15),
                 static_cast<std::uint8_t>((subcode >> 12) & 3)};
    h.control = control;
    return h;
}

} // namespace

std::vector<std::uint8_t> Text(std::string_view text, std::size_t length)
{
    std::vector<std::uint8_t> out(length, WithOddParity(0x20));
    for (std::size_t i = 0; i < length && i < text.size(); ++i) {
        out[i] = WithOddParity(static_cast<std::uint8_t>(text[i]));
    }
    return out;
}

Packet Header(const PageHeader& header, std::string_view text)
{
    Packet p{};
    EncodeHeader(p, header);
    const auto bytes = Text(text, 32);
    std::copy(bytes.begin(), bytes.end(), p.begin() + HeaderTextOffset);
    return p;
}

Packet Header(std::string_view page, std::uint16_t subcode, std::string_view text, std::uint16_t control)
{
    return Header(HeaderFor(page, subcode, control), text);
}

Packet Row(int magazine, int row, std::string_view text)
{
    Packet p{};
    EncodeAddress(p, {static_cast<std::uint8_t>(magazine), static_cast<std::uint8_t>(row)});
    const auto bytes = Text(text, 40);
    std::copy(bytes.begin(), bytes.end(), p.begin() + PayloadOffset);
    return p;
}

PageHeader TestPage::Header() const
{
    return HeaderFor(number, subcode, control);
}

std::vector<Packet> TestPage::Packets() const
{
    const PageHeader h = Header();
    std::vector<Packet> out{packets::Header(h, headerText)};
    for (int r = 1; r < 24 && r < static_cast<int>(rows.size()); ++r) {
        if (!rows[r].empty()) {
            out.push_back(Row(h.magazine, r, rows[r]));
        }
    }
    return out;
}

std::vector<std::uint8_t> TestPage::StoredRow(int r) const
{
    std::vector<std::uint8_t> out(40, 0x20);
    const std::string& text = r < static_cast<int>(rows.size()) ? rows[r] : std::string();
    for (std::size_t i = 0; i < 40 && i < text.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(text[i] & 0x7F);
    }
    return out;
}

std::string ClockText(std::string_view label, int second)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%-24.24s%02d:%02d:%02d", std::string(label).c_str(), (second / 3600) % 24,
                  (second / 60) % 60, second % 60);
    return buf;
}

void WriteT42(const std::string& path, const std::vector<Packet>& packets, std::size_t tail)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const Packet& p : packets) {
        out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
    }
    for (std::size_t i = 0; i < tail; ++i) {
        out.put(static_cast<char>(0x15));
    }
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

} // namespace quav::test::packets
