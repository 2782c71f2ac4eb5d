#include "serial/TComm32.h"

#include "serial/PortSettings.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QSocketNotifier>

namespace quav {

namespace {

// Takes the port for this process alone. The advisory lock is what other serial programs
// (minicom, screen, ModemManager, the simulated board) respect, and it also holds against
// root; TIOCEXCL keeps out any further open() by programs that do not lock. A port on which
// another program has set TIOCEXCL is in use even when root could open it.
bool ClaimExclusively(int fd)
{
#ifdef TIOCGEXCL
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        return false;
    }
#endif
    // The lock first: on a port that someone else holds, our TIOCEXCL must not touch their tty.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    return ::ioctl(fd, TIOCEXCL) == 0;
}

} // namespace

TComm32::TComm32(QObject* owner) : QObject(owner), m_notifyWindow(std::make_shared<CommInbox>()) {}

TComm32::~TComm32()
{
    // Threads that outlived their port object would post into nothing.
    try {
        ClosePort();
    } catch (const std::exception&) {
        // The port is closed; only the log's last lines are lost.
    }
}

void TComm32::SetCommsLogFileName(const QString& value)
{
    m_commsLogFileName = value;
    m_log->SetName(value);
}

void TComm32::SetDevice(std::shared_ptr<CommDevice> device)
{
    m_device = device ? std::move(device) : std::make_shared<CommDevice>();
}

bool TComm32::OpenPort()
{
    if (m_portHandle >= 0) {
        throw ECommsError("Already have a comm file open");
    }
    if (!m_commsLogFileName.isEmpty()) {
        m_log->Create(m_commsLogFileName);
    }

    const QByteArray path = QFile::encodeName(m_portMap.DevicePath(m_commPort));
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw ECommsError("Error opening com port");
    }
    if (::isatty(fd) == 0) {
        ::close(fd);
        throw ECommsError("File handle is not a comm handle. ");
    }
    if (!ClaimExclusively(fd)) {
        ::close(fd);
        throw ECommsError("Error opening com port");
    }
    m_portHandle = fd;

    // Watched from the first open on: the object may be made before the application object.
    if (m_notifier == nullptr) {
        m_notifier = new QSocketNotifier(m_notifyWindow->WakeHandle(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &TComm32::DispatchMessages);
    }

    // A setting that the driver refuses leaves the port as it was; the open goes on.
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ConfigureTermios(t, m_baudRate, m_parity, m_stopBits);
        ::tcsetattr(fd, TCSANOW, &t);
    }

    m_closeEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_closeEvent < 0) {
        m_log->ReportError(errno, "Unable to CreateEvent: ");
        ReleasePort();
        return false;
    }

    const CommThreadContext context{m_portHandle, m_closeEvent, m_notifyWindow, m_log, m_device};
    try {
        m_reader = std::make_unique<TReadThread>(context);
        m_reader->Start(kReaderPriority);
    } catch (const std::system_error& e) {
        m_reader.reset();
        m_log->ReportError(e.code().value(), "Unable to create Read thread");
        ClosePort();
        throw ECommsError("Unable to create Read thread");
    }
    try {
        m_writer = std::make_unique<TWriteThread>(context);
        m_writer->Start(kWriterPriority);
    } catch (const std::system_error& e) {
        m_writer.reset();
        m_log->ReportError(e.code().value(), "Unable to create Write thread");
        ClosePort();
        throw ECommsError("Unable to create Write thread");
    }
    return true;
}

void TComm32::ClosePort()
{
    if (m_portHandle < 0) {
        return;
    }
    // The port is closed in any case; a log that cannot be written is reported afterwards.
    std::exception_ptr logError;
    const auto log = [this, &logError](std::string_view text) {
        try {
            m_log->WriteLog(text);
        } catch (const EInOutError&) {
            if (!logError) {
                logError = std::current_exception();
            }
        }
    };
    const std::uint64_t one = 1;

    log("Stopping the Comm");
    if (m_reader) {
        log("Closing Read Thread ");
        [[maybe_unused]] const auto w = ::write(m_closeEvent, &one, sizeof one);
        ::tcflush(m_portHandle, TCIFLUSH);
        if (!m_reader->WaitFor(kThreadStopTimeout)) {
            log("Read thread not exiting.  Terminating it.");
            m_reader->Terminate();
        }
        m_reader.reset();
    }
    if (m_writer) {
        log("Closing Write Thread");
        [[maybe_unused]] const auto w = ::write(m_closeEvent, &one, sizeof one);
        ::tcflush(m_portHandle, TCOFLUSH);
        if (!m_writer->WaitFor(kThreadStopTimeout)) {
            log("Write thread not exiting.  Terminating it.");
            m_writer->Terminate();
        }
        m_writer.reset();
    }
    ReleasePort();

    try {
        m_log->Close();
    } catch (const EInOutError&) {
        if (!logError) {
            logError = std::current_exception();
        }
    }
    if (logError) {
        std::rethrow_exception(logError);
    }
}

void TComm32::ReleasePort()
{
    if (m_closeEvent >= 0) {
        ::close(m_closeEvent);
        m_closeEvent = -1;
    }
    // Only the claim is given back; the modem lines stay as the bus left them (no HUPCL).
    ::ioctl(m_portHandle, TIOCNXCL);
    ::close(m_portHandle);
    m_portHandle = -1;
}

bool TComm32::WriteData(const void* data, std::size_t count)
{
    if (m_portHandle < 0 || !m_writer) {
        return false;
    }
    CommBlock block = CommBlock::Allocate(count);
    if (count > 0) {
        std::memcpy(block.Data(), data, count);
    }
    return m_writer->PostMessage(CommMessage{MsgWriteData, count, std::move(block)});
}

void TComm32::DispatchMessages()
{
    while (std::optional<CommMessage> message = m_notifyWindow->TakeNext()) {
        PortWindowProc(*message);
    }
}

void TComm32::PortWindowProc(CommMessage& message)
{
    switch (message.Code) {
    case MsgPortData:
        if (OnReceiveData) {
            const auto length = static_cast<std::uint16_t>(message.WParam & 0xFFFF);
            OnReceiveData(message.LParam.Data(), length);
        }
        message.LParam.Release(); // in every case, handler or not
        break;
    case MsgHangup:
        if (OnRequestHangup) {
            OnRequestHangup(this);
        }
        break;
    default:
        break;
    }
}

} // namespace quav
