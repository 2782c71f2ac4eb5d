#pragma once

#include "serial/CommTypes.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace quav {

/// The port object's message queue: the reader and the writer post MsgPortData and MsgHangup
/// here, and the user-interface thread takes them out when the wake-up handle becomes
/// readable.
///
/// Thread safety: Post may be called from any thread; TakeAll and Clear belong to the thread
/// that watches WakeHandle. The handover goes through a mutex, so a block posted by a thread
/// is complete when the receiver sees it.
class CommInbox
{
public:
    /// Like a window's queue, the inbox takes no more than this many messages; a thread whose
    /// post is refused releases the block and treats it as a failure.
    static constexpr std::size_t kMaxMessages = 10000;

    /// Throws ECommsError when the wake-up handle cannot be created.
    CommInbox();
    ~CommInbox();

    CommInbox(const CommInbox&) = delete;
    CommInbox& operator=(const CommInbox&) = delete;

    /// Queues the message and wakes the receiver. False when the queue is full; the message,
    /// and its block, are then released.
    bool Post(CommMessage message);

    /// The oldest queued message, or nothing; the wake-up handle is reset once the queue is
    /// empty. Taking one at a time keeps the order when a handler runs a nested event loop:
    /// the messages still queued are taken there first, before anything posted later.
    std::optional<CommMessage> TakeNext();
    /// Every queued message, oldest first; resets the wake-up handle.
    std::deque<CommMessage> TakeAll();
    /// Drops every queued message, releasing its block.
    void Clear();

    /// An eventfd that is readable while messages may be waiting.
    int WakeHandle() const { return m_wake; }

private:
    std::mutex m_mutex;
    std::deque<CommMessage> m_messages;
    int m_wake = -1;
};

} // namespace quav
