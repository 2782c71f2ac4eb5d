#pragma once

// The character sets of zvbi (libzvbi), an independent teletext decoder, as the reference
// for ours. zvbi exports these two from its library without declaring them in its public
// header; their shapes are those of its lang.h.

#include <cstdint>
#include <string_view>

extern "C" {
struct vbi_font_descr
{
    int G0;     // vbi_character_set
    int G2;     // vbi_character_set
    int subset; // vbi_national_subset
    const char* label;
};
extern const vbi_font_descr vbi_font_descriptors[88];
unsigned int vbi_teletext_unicode(int characterSet, int subset, unsigned int code);
}

namespace quav::test {

/// zvbi's font descriptor for a national option (C12 + 2 x C13 + 4 x C14). zvbi numbers
/// its Latin fonts with C12 as the highest bit.
inline const vbi_font_descr& ZvbiFont(int nationalOption)
{
    const int index = ((nationalOption & 1) << 2) | (nationalOption & 2) | ((nationalOption & 4) >> 2);
    return vbi_font_descriptors[index];
}

/// The Unicode character that zvbi shows for a G0 code 0x20 to 0x7F of a national option.
inline char16_t ZvbiCharacter(int nationalOption, std::uint8_t code)
{
    const vbi_font_descr& font = ZvbiFont(nationalOption);
    return static_cast<char16_t>(vbi_teletext_unicode(font.G0, font.subset, code));
}

} // namespace quav::test
