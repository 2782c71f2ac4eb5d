#include "serial/CommInbox.h"

#include "serial/ECommsError.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quav {

CommInbox::CommInbox() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_wake < 0) {
        throw ECommsError("Unable to create the notification queue");
    }
}

CommInbox::~CommInbox()
{
    ::close(m_wake);
}

bool CommInbox::Post(CommMessage message)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_messages.size() >= kMaxMessages) {
            return false;
        }
        m_messages.push_back(std::move(message));
    }
    const std::uint64_t one = 1;
    // Can only fail when the counter is about to overflow, and then it is readable anyway.
    [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
    return true;
}

std::optional<CommMessage> CommInbox::TakeNext()
{
    std::lock_guard lock(m_mutex);
    if (m_messages.empty()) {
        // Reset with the queue empty under the lock: whatever is posted next wakes again.
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = ::read(m_wake, &count, sizeof count);
        return std::nullopt;
    }
    CommMessage next = std::move(m_messages.front());
    m_messages.pop_front();
    return next;
}

std::deque<CommMessage> CommInbox::TakeAll()
{
    // Reset the wake-up first: a message posted after this point wakes the receiver again.
    std::uint64_t count = 0;
    [[maybe_unused]] const auto got = ::read(m_wake, &count, sizeof count);
    std::deque<CommMessage> taken;
    std::lock_guard lock(m_mutex);
    taken.swap(m_messages);
    return taken;
}

void CommInbox::Clear()
{
    std::deque<CommMessage> dropped = TakeAll();
}

} // namespace quav
