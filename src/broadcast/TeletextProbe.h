#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quav {

/// Guesses from the first bytes of a file what it holds, so that files are recognised by
/// their content and not by their names.

/// True when the bytes look like the start of a T42 recording: most 42-byte packets have a
/// correct address and text with odd parity, and at least one of them is a page header.
/// Looks at no more than the first 2000 packets.
bool LooksLikeT42(std::span<const std::uint8_t> start);

/// True when the bytes look like the start of an MPEG transport stream: sync bytes every
/// 188 bytes (or 192, M2TS) near the start, eight packets in a row (all, if fewer came).
bool LooksLikeTransportStream(std::span<const std::uint8_t> start);

/// True when the text looks like a TTI page file: no NUL bytes, and a line that starts
/// with "PN," (a page number).
bool LooksLikeTti(std::string_view start);

} // namespace quav
