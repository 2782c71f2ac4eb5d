#pragma once

#include "serial/ComPortMap.h"
#include "serial/CommDevice.h"
#include "serial/CommInbox.h"
#include "serial/CommLog.h"
#include "serial/CommTypes.h"
#include "serial/ECommsError.h"
#include "serial/TReadThread.h"
#include "serial/TWriteThread.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quav {

/// A serial port, claimed exclusively, with a reader and a writer thread on it.
///
/// OpenPort opens the device that CommPort names (through PortMap), configures it and starts
/// the threads; ClosePort stops them and closes the device. While the port is open, received
/// bytes and line-error texts arrive in OnReceiveData, and a thread that stops on an error
/// calls OnRequestHangup. Both handlers run on the thread that owns the object, from its
/// event loop; without a handler the data is dropped.
///
/// The port is held exclusively: no other program (and no second port object) can open it
/// while it is open here, and a port held by another program raises "Error opening com port".
/// Opening and closing never change the modem lines on purpose: the line operations of the
/// decoder module drive DTR and RTS themselves.
///
/// Thread contract: every member is called on the owner's thread. The reader and the writer
/// touch nothing of this object; they post to its queue and write its log.
class TComm32 : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int BaudRate READ BaudRate WRITE SetBaudRate)
    Q_PROPERTY(quav::TParity Parity READ Parity WRITE SetParity)
    Q_PROPERTY(quav::TStopBits StopBits READ StopBits WRITE SetStopBits)
    Q_PROPERTY(QString CommPort READ CommPort WRITE SetCommPort)
    Q_PROPERTY(QString CommsLogFileName READ CommsLogFileName WRITE SetCommsLogFileName)

public:
    /// Receives (Buffer, BufferLength). The bytes are followed by a zero byte; the buffer is
    /// valid only during the call.
    using TReceiveDataEvent = std::function<void(const char* Buffer, std::uint16_t BufferLength)>;
    using TNotifyEvent = std::function<void(TComm32* Sender)>;

    /// Priority steps above normal for the two threads (best effort).
    static constexpr int kReaderPriority = 2;
    static constexpr int kWriterPriority = 1;
    /// How long ClosePort waits for each thread before it gives up on it.
    static constexpr std::chrono::milliseconds kThreadStopTimeout{10000};

    explicit TComm32(QObject* owner = nullptr);
    /// Closes the port if the owner has not done so.
    ~TComm32() override;

    /// Claims and opens the port and starts both threads. True when it is open; false when the
    /// stop event cannot be created (logged). Throws ECommsError when the port cannot be used
    /// ("Already have a comm file open", "Error opening com port", "File handle is not a comm
    /// handle. ", "Unable to create Read thread", "Unable to create Write thread"), and
    /// EInOutError when the log cannot be created. After an exception the port is closed,
    /// except for "Already have a comm file open", which leaves the open port as it is.
    bool OpenPort();
    /// Stops the threads and closes the port; does nothing when it is closed. The port is
    /// closed even when the log cannot be written; the EInOutError follows afterwards.
    void ClosePort();

    /// Queues bytes for the writer. False when the port is closed or the writer has ended.
    bool WriteData(const void* data, std::size_t count);
    bool WriteData(const QByteArray& data) { return WriteData(data.constData(), std::size_t(data.size())); }

    /// The open device's descriptor; 0 while the port is closed.
    int PortHandle() const { return m_portHandle >= 0 ? m_portHandle : 0; }
    bool IsOpen() const { return m_portHandle >= 0; }

    std::int32_t BaudRate() const { return m_baudRate; }
    void SetBaudRate(std::int32_t value) { m_baudRate = value; }
    quav::TParity Parity() const { return m_parity; }
    void SetParity(quav::TParity value) { m_parity = value; }
    quav::TStopBits StopBits() const { return m_stopBits; }
    void SetStopBits(quav::TStopBits value) { m_stopBits = value; }
    QString CommPort() const { return m_commPort; }
    void SetCommPort(const QString& value) { m_commPort = value; }
    QString CommsLogFileName() const { return m_commsLogFileName; }
    /// Takes effect for WriteLog at once; the file itself is created by the next OpenPort.
    void SetCommsLogFileName(const QString& value);

    /// The device files that port names stand for; set up by the application.
    ComPortMap& PortMap() { return m_portMap; }
    const ComPortMap& PortMap() const { return m_portMap; }

    /// The calls the threads make on the port; from the next OpenPort on. For tests.
    void SetDevice(std::shared_ptr<CommDevice> device);

    /// The queue that the threads post their messages to, handled on the owner's thread.
    CommInbox& Inbox() { return *m_notifyWindow; }

    /// Writes a line to this port's log (see CommLog).
    void WriteLog(std::string_view text) { m_log->WriteLog(text); }
    void ReportError(int code, std::string_view prefix = {}) { m_log->ReportError(code, prefix); }

    TReceiveDataEvent OnReceiveData;
    TNotifyEvent OnRequestHangup;

private:
    /// Runs each message from the threads on the owner's thread.
    void PortWindowProc(CommMessage& message);
    void DispatchMessages();
    void ReleasePort();

    std::unique_ptr<TReadThread> m_reader;
    std::unique_ptr<TWriteThread> m_writer;
    QString m_commsLogFileName;
    QString m_commPort = QStringLiteral("COM2");
    int m_portHandle = -1;
    int m_closeEvent = -1;
    std::shared_ptr<CommInbox> m_notifyWindow;
    QSocketNotifier* m_notifier = nullptr;
    std::int32_t m_baudRate = 0;
    quav::TParity m_parity = quav::TParity::pNone;
    quav::TStopBits m_stopBits = quav::TStopBits::sb1_0;

    ComPortMap m_portMap;
    std::shared_ptr<CommLog> m_log = std::make_shared<CommLog>();
    std::shared_ptr<CommDevice> m_device = std::make_shared<CommDevice>();
};

} // namespace quav
