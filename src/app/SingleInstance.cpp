#include "app/SingleInstance.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>

namespace quav {

namespace {

const QByteArray ActivateRequest = QByteArrayLiteral("activate\n");
const QByteArray ActivateAnswer = QByteArrayLiteral("ok\n");

} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::NameFor(const QString& title)
{
    return title + QStringLiteral("-") + QString::number(getuid());
}

bool SingleInstance::ActivateRunning(int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(ActivateRequest);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    // Wait for the answer, so that the first instance has really been reached before this
    // one ends.
    while (socket.bytesAvailable() < ActivateAnswer.size()) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            return false;
        }
    }
    return socket.readAll().startsWith(ActivateAnswer);
}

bool SingleInstance::Listen()
{
    if (ActivateRunning(200)) {
        return false;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // A socket file left behind by a crashed instance: nobody answered above.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name)) {
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().startsWith(ActivateRequest)) {
                    socket->write(ActivateAnswer);
                    socket->flush();
                    if (onActivate) {
                        onActivate();
                    }
                }
            });
        }
    });
    return true;
}

} // namespace quav
