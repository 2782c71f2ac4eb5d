#include "serial/TReadThread.h"

#include "serial/PortSettings.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <poll.h>
#include <string>
#include <termios.h>

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCommReader, "quav.serial.reader", QtWarningMsg)

namespace quav {

namespace {

constexpr std::size_t kLineEventBlockSize = 256;

int PollTimeout(std::size_t pending, std::chrono::steady_clock::time_point deadline)
{
    if (pending == 0) {
        return -1;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

TReadThread::~TReadThread()
{
    Join();
}

void TReadThread::Execute()
{
    const int port = m_context.PortHandle;

    // The starting point of the error counters. A driver that keeps none cannot report line
    // errors, but the port is still good for data.
    if (m_context.Device->ReadLineCounters(port, m_counters)) {
        m_watchLineErrors = true;
        WriteLog("Waiting for a CommEvent (Error) to occur.");
    } else if (errno == EINVAL || errno == ENOTTY || errno == EOPNOTSUPP) {
        WriteLog("No line error counters on this port; line errors are not reported.");
    } else {
        ReportError(errno, "Unable to SetCommMask: ");
        PostHangup();
        WriteLog("Read thread shutting down");
        return;
    }
    WriteLog("Waiting for data from comm connection.");

    std::size_t pending = 0; // bytes in m_buffer not yet delivered
    auto deadline = std::chrono::steady_clock::now();

    for (;;) {
        pollfd fds[2] = {{m_context.CloseEvent, POLLIN, 0}, {port, POLLIN, 0}};
        const int ready = ::poll(fds, 2, PollTimeout(pending, deadline));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            ReportError(errno, "Read WAIT_FAILED: ");
            PostHangup();
            break;
        }
        if (fds[0].revents != 0) {
            // Bytes still in the buffer go the way of a read aborted by the close.
            qCDebug(lcCommReader, "Time to Exit");
            break;
        }
        if ((fds[1].revents & POLLNVAL) != 0) {
            LogInvalidHandle();
            PostHangup();
            break;
        }
        if (m_watchLineErrors && !HandleLineEvent()) {
            const int err = errno;
            PostHangup();
            ReportError(err, "Unable HandleCommEvent: ");
            break;
        }
        if (fds[1].revents != 0) {
            if (!ReadAvailable(fds[1].revents, pending, deadline)) {
                break;
            }
        } else if (ready == 0 && pending > 0) {
            // 250 ms without a byte: the burst is over.
            const bool delivered = DeliverData(m_buffer.data(), pending);
            pending = 0;
            if (!delivered) {
                PostHangup();
                ReportError(EAGAIN, "Unable to HandleReadEvent: ");
                break;
            }
            WriteLog("Waiting for data from comm connection.");
        }
    }

    WriteLog("Read thread shutting down");
    ::tcflush(port, TCIFLUSH);
}

bool TReadThread::ReadAvailable(short events, std::size_t& pending,
                                std::chrono::steady_clock::time_point& deadline)
{
    const ssize_t got =
        m_context.Device->Read(m_context.PortHandle, m_buffer.data() + pending, m_buffer.size() - pending);
    if (got > 0) {
        pending += static_cast<std::size_t>(got);
        deadline = std::chrono::steady_clock::now() + kReadInterval;
        if (pending == m_buffer.size()) {
            const bool delivered = DeliverData(m_buffer.data(), pending);
            pending = 0;
            if (!delivered) {
                PostHangup();
                ReportError(EAGAIN, "Unable to HandleReadEvent: ");
                return false;
            }
        }
        return true;
    }
    int err = got == 0 ? EIO : errno;
    if (got < 0 && (err == EAGAIN || err == EINTR)) {
        if ((events & (POLLHUP | POLLERR)) == 0) {
            return true;
        }
        err = EIO; // the port reports a hangup but has nothing to read: it would wake us forever
    }
    // The device has gone (end of file after a hangup) or failed. What came before it is
    // still delivered.
    if (pending > 0) {
        DeliverData(m_buffer.data(), pending);
        pending = 0;
    }
    if (got == 0) {
        PostHangup();
        ReportError(err, "Unable to HandleReadEvent: ");
    } else if (err == EBADF) {
        LogInvalidHandle();
        PostHangup();
    } else {
        ReportError(err, "Unexpected GetOverlappedResult Read Error: ");
        PostHangup();
        PostHangup();
        ReportError(err, "Unable to HandleReadEvent: ");
    }
    return false;
}

bool TReadThread::DeliverData(const char* bytes, std::size_t count)
{
    if (count == 0) {
        return false;
    }
    WriteLog("Got something from Comm port!!!");
    CommBlock block;
    try {
        block = CommBlock::Allocate(count + 1);
    } catch (const std::bad_alloc&) {
        ReportError(ENOMEM, "LocalAlloc: ");
        return false;
    }
    std::memcpy(block.Data(), bytes, count); // the zero byte after them is already there
    return PostToOwner(CommMessage{MsgPortData, count, std::move(block)});
}

bool TReadThread::HandleLineEvent()
{
    LineCounters now;
    if (!m_context.Device->ReadLineCounters(m_context.PortHandle, now)) {
        const int err = errno;
        if (err == EBADF) {
            LogInvalidHandle();
        } else {
            ReportError(err, "ClearCommError: ");
        }
        errno = err;
        return false;
    }
    const std::uint32_t flags = LineErrorFlags(m_counters, now);
    m_counters = now;
    if (flags == 0) {
        return true;
    }
    CommBlock block;
    try {
        block = CommBlock::Allocate(kLineEventBlockSize);
    } catch (const std::bad_alloc&) {
        ReportError(ENOMEM, "LocalAlloc: ");
        errno = ENOMEM;
        return false;
    }
    const std::string text = DescribeLineErrors(flags);
    std::memcpy(block.Data(), text.data(), text.size());
    // A refused post releases the block; the reader goes on either way.
    PostToOwner(CommMessage{MsgPortData, text.size(), std::move(block)});
    return true;
}

} // namespace quav
