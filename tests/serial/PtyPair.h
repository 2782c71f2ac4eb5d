#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include <QString>

namespace quav::test {

/// A pseudo-terminal: the test plays the far end of the line on the master side, and the
/// port object opens the slave by its path.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();

    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int Master() const { return m_master; }
    /// The descriptor that openpty gave for the slave; kept open so the line stays up.
    int Slave() const { return m_slave; }
    QString SlavePath() const { return m_slavePath; }

    /// Sends bytes down the line to the port.
    void Send(const std::string& bytes);
    /// Collects `count` bytes that the port sent, waiting at most `timeout` in all.
    std::string Receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// Hangs up the far end.
    void CloseMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

/// The application object that the port object's events need; created once per test binary.
void EnsureApplication();

/// Processes events until `done` holds, at most `timeout`. True when it holds.
template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(10));

int OpenDescriptorCount();
int ThreadCount();
/// The file's lines, split at CR LF. A line that does not end in CR LF is returned with
/// a "<no CR LF>" mark so that tests notice.
std::vector<std::string> ReadLogLines(const QString& path);

} // namespace quav::test

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

template <typename Predicate> bool quav::test::WaitUntil(Predicate done, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1); // yields to the port's threads; the condition decides, not the time
    }
    return true;
}
