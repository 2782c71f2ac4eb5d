#include "acquisition/PollWorker.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace quav {

PollWorker::PollWorker() : m_endedFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    m_thread = std::thread([this] { Run(); });
}

PollWorker::~PollWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_endedFd >= 0) {
        ::close(m_endedFd);
    }
}

void PollWorker::ClearEnded()
{
    std::uint64_t count = 0;
    if (m_endedFd >= 0) {
        // Non-blocking: an unreadable counter (EAGAIN) is already clear.
        [[maybe_unused]] const auto got = ::read(m_endedFd, &count, sizeof count);
    }
}

void PollWorker::Start(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_job = std::move(job);
        m_jobEnded = false;
    }
    m_busy = true;
    m_wake.notify_all();
}

bool PollWorker::Done()
{
    std::lock_guard lock(m_mutex);
    return m_busy && m_jobEnded;
}

bool PollWorker::Finish()
{
    if (!m_busy) {
        return false;
    }
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_jobEnded; });
    m_busy = false;
    return true;
}

void PollWorker::Run()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stop || m_job; });
        if (!m_job) {
            return; // stopped, and no job left to run
        }
        auto job = std::move(m_job);
        m_job = nullptr;
        lock.unlock();
        job();
        lock.lock();
        m_jobEnded = true;
        m_wake.notify_all();
        if (m_endedFd >= 0) {
            const std::uint64_t one = 1;
            // Only fails when the counter is full, and then it is readable anyway.
            [[maybe_unused]] const auto put = ::write(m_endedFd, &one, sizeof one);
        }
    }
}

} // namespace quav
