#include "serial/CommThread.h"

#include <cerrno>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quav {

namespace {

// Raises the calling thread's priority by `boost` nice steps. Without CAP_SYS_NICE the
// system refuses, and the thread runs at normal priority: the reader and writer spend
// nearly all their time waiting, so that only costs latency.
void RaiseOwnPriority(int boost)
{
    if (boost <= 0) {
        return;
    }
    const auto tid = static_cast<id_t>(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, tid);
    if (nice == -1 && errno != 0) {
        return;
    }
    ::setpriority(PRIO_PROCESS, tid, nice - boost);
}

} // namespace

CommThread::CommThread(CommThreadContext context) : m_context(std::move(context)) {}

CommThread::~CommThread()
{
    Join();
}

void CommThread::Start(int priorityBoost)
{
    m_thread = std::thread([this, priorityBoost] { Run(priorityBoost); });
}

void CommThread::Run(int priorityBoost)
{
    RaiseOwnPriority(priorityBoost);
    try {
        Execute();
    } catch (...) {
        // Most likely the log could not be written. The thread has stopped on an error, and the
        // owner hears of it as of any other.
        PostHangup();
    }
    std::lock_guard lock(m_endMutex);
    m_ended = true;
    m_endChanged.notify_all();
}

bool CommThread::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_endMutex);
    if (!m_thread.joinable()) {
        return true;
    }
    return m_endChanged.wait_for(lock, timeout, [this] { return m_ended; });
}

void CommThread::Join()
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool CommThread::CloseSignalled() const
{
    pollfd fd{m_context.CloseEvent, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN) != 0;
}

void CommThread::PostHangup()
{
    PostToOwner(CommMessage{MsgHangup, 0, {}});
}

bool CommThread::PostToOwner(CommMessage message)
{
    return m_context.NotifyWindow->Post(std::move(message));
}

void CommThread::WriteLog(std::string_view text)
{
    m_context.Log->WriteLog(text);
}

void CommThread::ReportError(int code, std::string_view prefix)
{
    m_context.Log->ReportError(code, prefix);
}

void CommThread::LogInvalidHandle()
{
    WriteLog("ERROR_INVALID_HANDLE, Likely that the Service Provider has closed the port.");
}

} // namespace quav
