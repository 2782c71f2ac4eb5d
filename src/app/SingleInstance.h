#pragma once

#include <functional>

#include <QObject>
#include <QString>

class QLocalServer;

namespace quav {

/// One viewer per user: the first instance listens on a local socket named after the
/// program title and the user; a later start asks it to show itself and then ends.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// The socket name for the program title and the current user.
    static QString NameFor(const QString& title);

    /// Asks a running instance to show itself. True when one answered.
    bool ActivateRunning(int timeoutMs = 1000) const;
    /// Starts listening, so that later starts find this instance. False when another
    /// instance already listens.
    bool Listen();

    /// Called when a later start asks this instance to show itself.
    std::function<void()> onActivate;

private:
    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace quav
