#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace quav {

/// One viewer per user.
///
/// Who is first is decided by a lock on a file in the user's runtime folder, which the
/// system releases when the process ends however it ends; so a double click never starts
/// two viewers, and a socket file left by a crashed viewer is known to be stale. The first
/// viewer takes the lock before it builds its window and listens on a socket beside it
/// once the window is there. A later start hands its working folder and arguments to the
/// first one and ends; it waits while the first one is still starting or busy and never
/// takes its socket away.
///
/// The runtime folder is $XDG_RUNTIME_DIR, or else /tmp/quav-<uid>, created with mode 0700
/// and used only when it is a real folder of the user that nobody else may enter.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Claim
    {
        First,  ///< this process holds the lock
        Second, ///< another process holds it
        Failed, ///< no lock could be taken; see the error
    };

    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// The instance name for the program title and the current user. QUAV_INSTANCE_NAME
    /// chooses another one, so that tests and a second profile keep to themselves.
    static QString NameFor(const QString& title);
    /// The folder for the lock and the socket; empty with a German message on failure.
    static QString RuntimeFolder(QString* error = nullptr);
    /// `path` as a private folder of this user: created with mode 0700 when missing; false
    /// with a German message when it is a symlink, not a folder, another user's, or open to
    /// others.
    static bool PrivateFolder(const QString& path, QString* error = nullptr);

    /// Takes the lock that makes this process the first one. Asking again gives the same.
    Claim ClaimFirst(QString* error = nullptr);
    /// As the first instance: starts listening (taking the lock when not yet done). A
    /// socket file found there is a dead instance's. False with a German message.
    bool Listen(QString* error = nullptr);
    /// As a later start: hands the working folder and `arguments` (without the program
    /// name) to the first instance, waiting up to `timeoutMs` for it to listen and answer.
    /// True when it answered; `answer` then says what it did with them.
    bool HandOver(const QStringList& arguments, int timeoutMs, QString* answer = nullptr) const;

    /// Called in the first instance for each later start, with that start's working folder
    /// and arguments; returns what was done with them, for the status bar and the later
    /// start. Without it a later start is only answered.
    std::function<QString(const QString& workingFolder, const QStringList& arguments)> onHandOver;

    QString SocketPath() const;

private:
    QString LockPath() const;
    void Answer(QLocalSocket* socket);

    QString m_name;
    QString m_folder;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};

} // namespace quav
