#pragma once

#include "serial/CommThread.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace quav {

/// The writer: takes write requests (MsgWriteData) from its own queue and writes each block
/// completely, continuing after partial writes and waiting while the port's output is full.
///
/// Thread safety: PostMessage may be called from any thread, also before Start. Requests that
/// are still queued when the writer ends are released, and later posts are refused.
class TWriteThread final : public CommThread
{
public:
    /// Throws std::system_error when the queue's wake-up handle cannot be created.
    explicit TWriteThread(CommThreadContext context);
    ~TWriteThread() override;

    /// Queues a message for the writer. False when the writer has ended; the message and its
    /// block are released then.
    bool PostMessage(CommMessage message);

private:
    void Execute() override;
    void Loop();
    /// True when all `count` bytes are written.
    bool WriteBlock(const char* data, std::size_t count);

    std::optional<CommMessage> PeekMessage();
    /// Refuses further posts and releases what is queued.
    void CloseQueue();

    std::mutex m_queueMutex;
    std::deque<CommMessage> m_queue;
    bool m_queueClosed = false;
    int m_queueEvent = -1;
};

} // namespace quav
