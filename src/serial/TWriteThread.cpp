#include "serial/TWriteThread.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace quav {

TWriteThread::TWriteThread(CommThreadContext context)
    : CommThread(std::move(context)), m_queueEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_queueEvent < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

TWriteThread::~TWriteThread()
{
    Join();
    CloseQueue();
    ::close(m_queueEvent);
}

bool TWriteThread::PostMessage(CommMessage message)
{
    {
        std::lock_guard lock(m_queueMutex);
        if (m_queueClosed) {
            return false;
        }
        m_queue.push_back(std::move(message));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_queueEvent, &one, sizeof one);
    return true;
}

std::optional<CommMessage> TWriteThread::PeekMessage()
{
    std::lock_guard lock(m_queueMutex);
    if (m_queue.empty()) {
        return std::nullopt;
    }
    CommMessage message = std::move(m_queue.front());
    m_queue.pop_front();
    return message;
}

void TWriteThread::CloseQueue()
{
    std::deque<CommMessage> dropped;
    std::lock_guard lock(m_queueMutex);
    m_queueClosed = true;
    dropped.swap(m_queue);
}

void TWriteThread::Execute()
{
    // However the writer ends, nothing stays queued for a thread that will never take it.
    struct QueueCloser
    {
        TWriteThread* writer;
        ~QueueCloser() { writer->CloseQueue(); }
    } closer{this};

    Loop();
    WriteLog("Write thread shutting down");
    ::tcflush(m_context.PortHandle, TCOFLUSH);
}

void TWriteThread::Loop()
{
    for (;;) {
        std::optional<CommMessage> message = PeekMessage();
        if (!message) {
            pollfd fds[2] = {{m_context.CloseEvent, POLLIN, 0}, {m_queueEvent, POLLIN, 0}};
            const int ready = ::poll(fds, 2, -1);
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ReportError(errno, "Write WAIT_FAILED: ");
                PostHangup();
                return;
            }
            if (fds[0].revents != 0) {
                return;
            }
            if (fds[1].revents != 0) {
                std::uint64_t count = 0;
                [[maybe_unused]] const auto got = ::read(m_queueEvent, &count, sizeof count);
                continue;
            }
            WriteLog("Unexpected Wait return value " + std::to_string(ready));
            PostHangup();
            return;
        }
        if (CloseSignalled()) {
            return; // the message goes with its block
        }
        if (message->Code == MsgWriteData) {
            WriteLog("Writing to comm port");
            // Never more than the block holds, whatever the count says.
            const std::size_t count = std::min(message->WParam, message->LParam.Size());
            const bool written = WriteBlock(message->LParam.Data(), count);
            message->LParam.Release();
            if (!written) {
                return;
            }
        } else {
            WriteLog("Unexpected message posted to Write thread: " + std::to_string(message->Code));
        }
    }
}

bool TWriteThread::WriteBlock(const char* data, std::size_t count)
{
    const int port = m_context.PortHandle;
    std::size_t offset = 0;
    while (count > 0) {
        const ssize_t written = m_context.Device->Write(port, data + offset, count);
        if (written > 0) {
            const auto n = std::min(static_cast<std::size_t>(written), count);
            count -= n;
            offset += n;
            continue;
        }
        const int err = written == 0 ? EIO : errno;
        if (err == EINTR) {
            continue;
        }
        if (err == EAGAIN) {
            // The output buffer is full: wait until it takes more, or until the port closes.
            pollfd fds[2] = {{m_context.CloseEvent, POLLIN, 0}, {port, POLLOUT, 0}};
            const int ready = ::poll(fds, 2, -1);
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ReportError(errno, "Write WAIT_FAILED: ");
                PostHangup();
                return false;
            }
            if (fds[0].revents != 0) {
                return false;
            }
            if ((fds[1].revents & POLLNVAL) != 0) {
                LogInvalidHandle();
                return false;
            }
            continue; // writable, or an error that the next write reports
        }
        if (err == EBADF) {
            LogInvalidHandle();
            return false;
        }
        ReportError(err, "Error to writing to CommFile");
        WriteLog("Closing TAPI");
        PostHangup();
        return false;
    }
    return true;
}

} // namespace quav
