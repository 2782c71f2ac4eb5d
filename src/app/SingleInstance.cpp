#include "app/SingleInstance.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace quav {

namespace {

const QByteArray HandOverRequest = QByteArrayLiteral("QUAV-HANDOVER");
const QByteArray HandOverAnswer = QByteArrayLiteral("ok");
/// A request longer than this is nobody's command line.
constexpr qint64 MaxRequest = 1 << 20;

// Strings travel as their UTF-16 code units, so that file names that are no valid UTF-8
// (held as lone surrogates) arrive as they left.
QByteArray Encode(const QString& s)
{
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2).toBase64();
}

QString Decode(const QByteArray& field)
{
    const QByteArray bytes = QByteArray::fromBase64(field);
    return QString(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
}

QString SystemText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), m_name(std::move(name)) {}

SingleInstance::~SingleInstance()
{
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
    }
}

QString SingleInstance::NameFor(const QString& title)
{
    const QString chosen = qEnvironmentVariable("QUAV_INSTANCE_NAME");
    if (!chosen.isEmpty() && !chosen.contains(QLatin1Char('/'))) {
        return chosen;
    }
    return title + QStringLiteral("-") + QString::number(::getuid());
}

bool SingleInstance::PrivateFolder(const QString& path, QString* error)
{
    const QByteArray bytes = QFile::encodeName(path);
    const auto fail = [&](const QString& why) {
        if (error) {
            *error = QStringLiteral("Der Ordner %1 kann nicht benutzt werden: %2").arg(path, why);
        }
        return false;
    };
    if (::mkdir(bytes.constData(), 0700) != 0 && errno != EEXIST) {
        return fail(SystemText(errno));
    }
    struct stat st
    {
    };
    if (::lstat(bytes.constData(), &st) != 0) {
        return fail(SystemText(errno));
    }
    if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode)) {
        return fail(QStringLiteral("Er ist kein Ordner, sondern ein Link oder eine Datei."));
    }
    if (st.st_uid != ::getuid()) {
        return fail(QStringLiteral("Er gehört einem anderen Benutzer."));
    }
    if ((st.st_mode & 077) != 0) {
        return fail(QStringLiteral("Andere Benutzer haben Zugriff darauf."));
    }
    return true;
}

QString SingleInstance::RuntimeFolder(QString* error)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && PrivateFolder(runtime)) {
        return runtime;
    }
    const QString fallback = QStringLiteral("/tmp/quav-%1").arg(::getuid());
    return PrivateFolder(fallback, error) ? fallback : QString();
}

QString SingleInstance::LockPath() const
{
    return m_folder + QStringLiteral("/") + m_name + QStringLiteral(".lock");
}

QString SingleInstance::SocketPath() const
{
    return m_folder + QStringLiteral("/") + m_name + QStringLiteral(".socket");
}

SingleInstance::Claim SingleInstance::ClaimFirst(QString* error)
{
    if (m_lockFd >= 0) {
        return Claim::First;
    }
    if (m_folder.isEmpty()) {
        m_folder = RuntimeFolder(error);
        if (m_folder.isEmpty()) {
            return Claim::Failed;
        }
    }
    const QByteArray lock = QFile::encodeName(LockPath());
    const int fd = ::open(lock.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error) {
            *error = QStringLiteral("Die Sperrdatei %1 kann nicht geöffnet werden: %2")
                         .arg(LockPath(), SystemText(errno));
        }
        return Claim::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno;
        ::close(fd);
        if (failure == EWOULDBLOCK) {
            return Claim::Second;
        }
        if (error) {
            *error = QStringLiteral("Die Sperrdatei %1 kann nicht gesperrt werden: %2")
                         .arg(LockPath(), SystemText(failure));
        }
        return Claim::Failed;
    }
    m_lockFd = fd;
    return Claim::First;
}

bool SingleInstance::Listen(QString* error)
{
    const Claim claim = ClaimFirst(error);
    if (claim != Claim::First) {
        if (claim == Claim::Second && error) {
            *error = QStringLiteral("Ein anderes Programm hält die Sperre %1.").arg(LockPath());
        }
        return false;
    }
    if (m_server) {
        return true;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, this is the only live instance: a socket file is a dead one's.
    QLocalServer::removeServer(SocketPath());
    if (!m_server->listen(SocketPath())) {
        if (error) {
            *error = QStringLiteral("Am Socket %1 kann nicht gewartet werden: %2")
                         .arg(SocketPath(), m_server->errorString());
        }
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Answer(socket); });
        }
    });
    return true;
}

void SingleInstance::Answer(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > MaxRequest) {
            socket->abort();
        }
        return;
    }
    const QList<QByteArray> fields = socket->readLine(MaxRequest).trimmed().split(' ');
    if (fields.size() < 2 || fields[0] != HandOverRequest) {
        socket->abort();
        return;
    }
    QStringList arguments;
    for (qsizetype i = 2; i < fields.size(); ++i) {
        arguments << Decode(fields[i]);
    }
    const QString done = onHandOver ? onHandOver(Decode(fields[1]), arguments) : QString();
    socket->write(HandOverAnswer + ' ' + Encode(done) + '\n');
    socket->flush();
}

bool SingleInstance::HandOver(const QStringList& arguments, int timeoutMs, QString* answer) const
{
    QString folderError;
    const QString folder = m_folder.isEmpty() ? RuntimeFolder(&folderError) : m_folder;
    if (folder.isEmpty()) {
        return false;
    }
    const QString socketPath = folder + QStringLiteral("/") + m_name + QStringLiteral(".socket");
    QByteArray request = HandOverRequest + ' ' + Encode(QDir::currentPath());
    for (const QString& argument : arguments) {
        request += ' ' + Encode(argument);
    }
    request += '\n';

    // The first instance may still be building its window, or be busy: keep trying, and
    // never take its socket away.
    QElapsedTimer waited;
    waited.start();
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(int(std::max<qint64>(1, timeoutMs - waited.elapsed())))) {
            break;
        }
        socket.abort();
        if (waited.elapsed() >= timeoutMs) {
            return false;
        }
        QThread::msleep(50);
    }
    socket.write(request);
    while (!socket.canReadLine()) {
        const qint64 left = timeoutMs - waited.elapsed();
        if (left <= 0 || socket.state() != QLocalSocket::ConnectedState ||
            !(socket.bytesToWrite() > 0 ? socket.waitForBytesWritten(int(left))
                                        : socket.waitForReadyRead(int(left)))) {
            if (!socket.canReadLine()) {
                return false;
            }
        }
    }
    const QList<QByteArray> fields = socket.readLine(MaxRequest).trimmed().split(' ');
    if (fields.isEmpty() || fields[0] != HandOverAnswer) {
        return false;
    }
    if (answer) {
        *answer = fields.size() > 1 ? Decode(fields[1]) : QString();
    }
    return true;
}

} // namespace quav
