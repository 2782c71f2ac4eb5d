#pragma once

#include "serial/CommDevice.h"
#include "serial/CommInbox.h"
#include "serial/CommLog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace quav {

/// What the port object hands a worker thread before it starts. The thread uses nothing else
/// of the port object.
struct CommThreadContext
{
    int PortHandle = -1; ///< the open port (a copy of the port object's)
    int CloseEvent = -1; ///< eventfd; readable once the port object wants the thread to end
    std::shared_ptr<CommInbox> NotifyWindow; ///< where MsgPortData and MsgHangup go
    std::shared_ptr<CommLog> Log;
    std::shared_ptr<CommDevice> Device;
};

/// A worker thread of the port object: created without running, started once, runs its body
/// once and ends when the body returns.
///
/// Thread contract: Start, WaitFor, Terminate and the destructor are called by the thread
/// that owns the object (the user-interface thread). The destructor waits for the body to
/// return; the body ends only through CloseEvent or an error of its own, so the owner signals
/// CloseEvent before it destroys the object. An exception that escapes the body ends the
/// thread and is reported to the port object as a hangup.
class CommThread
{
public:
    explicit CommThread(CommThreadContext context);
    virtual ~CommThread();

    CommThread(const CommThread&) = delete;
    CommThread& operator=(const CommThread&) = delete;

    /// Starts the body, with the thread's priority raised by `priorityBoost` steps where the
    /// system allows it (best effort). Throws std::system_error when no thread can be created.
    void Start(int priorityBoost);

    /// Waits until the body has returned, at most `timeout`. True when it has.
    bool WaitFor(std::chrono::milliseconds timeout);

    /// Records a termination request. The bodies do not look at it: they answer CloseEvent.
    void Terminate() { m_terminated.store(true); }
    bool Terminated() const { return m_terminated.load(); }

protected:
    virtual void Execute() = 0;

    /// Waits for the body to return. Every derived destructor calls this first, so that the
    /// body never runs on a half-destroyed object.
    void Join();

    /// True once CloseEvent is signalled; does not wait.
    bool CloseSignalled() const;
    /// Posts MsgHangup to the port object; the result is not looked at.
    void PostHangup();
    bool PostToOwner(CommMessage message);

    void WriteLog(std::string_view text);
    void ReportError(int code, std::string_view prefix);
    /// The port's descriptor is no longer valid: the port was closed under the thread.
    void LogInvalidHandle();

    const CommThreadContext m_context;

private:
    void Run(int priorityBoost);

    std::thread m_thread;
    std::mutex m_endMutex;
    std::condition_variable m_endChanged;
    bool m_ended = false;
    std::atomic<bool> m_terminated{false};
};

} // namespace quav
