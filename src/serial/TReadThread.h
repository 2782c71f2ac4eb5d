#pragma once

#include "serial/CommThread.h"

#include <array>
#include <chrono>
#include <cstddef>

namespace quav {

/// The reader: waits for received bytes and line errors and posts each block of bytes, and a
/// text for each line error, to the port object as MsgPortData.
///
/// A block is delivered 250 ms after the last byte of a burst, or as soon as 2048 bytes are in.
/// Line errors are seen in the driver's error counters, which are read whenever the reader
/// wakes; on a device that keeps no counters (a pseudo-terminal) none are reported.
///
/// The reader sleeps in one poll on CloseEvent and the port, CloseEvent first: once the port
/// object signals it, the reader ends without looking at the port again and posts no hangup.
/// Every failure is logged, posts MsgHangup and ends the reader; the port stays open.
class TReadThread final : public CommThread
{
public:
    static constexpr std::size_t kReadBufferSize = 2048;
    static constexpr std::chrono::milliseconds kReadInterval{250};

    using CommThread::CommThread;
    ~TReadThread() override;

private:
    void Execute() override;

    /// Posts a copy of the bytes, followed by a zero byte. False for no bytes or a failed post.
    bool DeliverData(const char* bytes, std::size_t count);
    /// Reads the error counters and posts a text when they have moved. False when the
    /// counters cannot be read (errno set).
    bool HandleLineEvent();
    /// Reads what the port has; false when the reader must end (already reported).
    bool ReadAvailable(short events, std::size_t& pending, std::chrono::steady_clock::time_point& deadline);

    std::array<char, kReadBufferSize> m_buffer{};
    LineCounters m_counters;
    bool m_watchLineErrors = false;
};

} // namespace quav
