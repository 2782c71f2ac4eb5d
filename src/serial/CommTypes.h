#pragma once

#include "serial/CommBlock.h"

#include <cstddef>
#include <cstdint>

namespace quav {

/// Parity of the port. The ordinals are those of the classic COM port device control block.
enum class TParity : std::uint8_t
{
    pNone = 0,
    pOdd = 1,
    pEven = 2,
    pMark = 3,
    pSpace = 4,
};

/// Stop bits of the port; one and a half stop bits exist only on some UARTs.
enum class TStopBits : std::uint8_t
{
    sb1_0 = 0,
    sb1_5 = 1,
    sb2_0 = 2,
};

// Message codes. The reader and the writer post to the port object; the application (through
// TComm32::WriteData) posts to the writer. Port object and writer have separate queues, so
// MsgPortData and MsgWriteData share their code as they always have.
inline constexpr std::uint32_t MsgPortData = 0x0401;  ///< WParam: byte count; LParam: the bytes + 0
inline constexpr std::uint32_t MsgHangup = 0x0402;    ///< a thread has stopped on an error
inline constexpr std::uint32_t MsgWriteData = 0x0401; ///< WParam: byte count; LParam: the bytes

/// One posted message. The block, if any, belongs to the message: whoever takes the message
/// from its queue owns it, and it is released with the message in every case.
struct CommMessage
{
    std::uint32_t Code = 0;
    std::size_t WParam = 0;
    CommBlock LParam;
};

} // namespace quav
