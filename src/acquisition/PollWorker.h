#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quav {

/// A thread of its own for the bus work of the acquisition cycle, so that the window
/// stays responsive while the bus is slow (a serial module behind a USB adapter answers
/// each line change in about a millisecond, tens of seconds per page).
///
/// It runs one job at a time. The owner starts a job, learns that it has ended when
/// EndedFd becomes readable (an event loop watches it), and then takes it with Finish,
/// which also makes everything the job wrote visible to the owner's thread.
///
/// The news travels through a file descriptor and not through the event queue of a
/// toolkit: nothing allocated on the worker reaches the owner, and a write and a read
/// of a descriptor are an ordering that race checkers see.
///
/// Thread safety: everything here belongs to the owner's thread. The destructor waits
/// for a job under way and joins the thread.
class PollWorker
{
public:
    PollWorker();
    ~PollWorker();

    PollWorker(const PollWorker&) = delete;
    PollWorker& operator=(const PollWorker&) = delete;

    /// Runs `job` on the worker thread. Only when not Busy.
    void Start(std::function<void()> job);
    /// A job has been started and not yet taken with Finish.
    bool Busy() const { return m_busy; }
    /// The job has ended (it still has to be taken with Finish).
    bool Done();
    /// Waits for the job to end and takes it; false when none was started.
    bool Finish();

    /// Readable from the end of a job until ClearEnded; -1 when the system refused one
    /// (then only Done and Finish tell).
    int EndedFd() const { return m_endedFd; }
    /// Makes EndedFd unreadable again.
    void ClearEnded();

private:
    void Run();

    int m_endedFd = -1;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_job; ///< the job waiting to run, guarded by m_mutex
    bool m_jobEnded = false;     ///< guarded by m_mutex
    bool m_stop = false;         ///< guarded by m_mutex
    bool m_busy = false;         ///< the owner's view
    std::thread m_thread;
};

} // namespace quav
