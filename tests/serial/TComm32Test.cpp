#include "serial/TComm32.h"

#include "PtyPair.h"
#include "serial/PortSettings.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace std::chrono_literals;
using test::ReadLogLines;
using test::WaitUntil;

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool AnyStartsWith(const std::vector<std::string>& lines, const std::string& prefix)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.starts_with(prefix); });
}

// Waits, without dispatching anything, until a thread has posted a block.
bool BlockPostedUndispatched(long liveBefore)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (CommBlock::LiveBlocks() == liveBefore) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Lets every message that the stopped threads posted reach the port object.
void DispatchPending()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

/// A device that takes the first write only in part.
class SplittingDevice : public CommDevice
{
public:
    ssize_t Write(int fd, const void* data, std::size_t count) override
    {
        std::lock_guard lock(m_mutex);
        m_sizes.push_back(count);
        return CommDevice::Write(fd, data, m_sizes.size() == 1 ? std::min<std::size_t>(count, 6) : count);
    }
    std::vector<std::size_t> Sizes()
    {
        std::lock_guard lock(m_mutex);
        return m_sizes;
    }

private:
    std::mutex m_mutex;
    std::vector<std::size_t> m_sizes;
};

/// A device whose write results are counted, to see that the writer met a full buffer.
class CountingDevice : public CommDevice
{
public:
    ssize_t Write(int fd, const void* data, std::size_t count) override
    {
        const ssize_t n = CommDevice::Write(fd, data, count);
        if (n < 0 && errno == EAGAIN) {
            ++wouldBlock;
        }
        return n;
    }
    std::atomic<int> wouldBlock{0};
};

/// A device with error counters that the test moves (a pseudo-terminal keeps none).
class ErrorCountingDevice : public CommDevice
{
public:
    bool ReadLineCounters(int, LineCounters& counters) override
    {
        std::lock_guard lock(m_mutex);
        counters = m_counters;
        ++reads;
        return true;
    }
    void AddErrors(std::uint32_t frame, std::uint32_t overrun)
    {
        std::lock_guard lock(m_mutex);
        m_counters.Frame += frame;
        m_counters.Overrun += overrun;
    }
    std::atomic<int> reads{0};

private:
    std::mutex m_mutex;
    LineCounters m_counters;
};

class PortTest : public ::testing::Test
{
protected:
    struct Block
    {
        std::string bytes;
        bool zeroAfter;
        bool onOwnerThread;
    };

    PortTest()
    {
        test::EnsureApplication();
        comm.PortMap().Map(QStringLiteral("COM1"), pty.SlavePath());
        comm.SetCommPort(QStringLiteral("COM1"));
    }

    void AttachHandlers()
    {
        comm.OnReceiveData = [this](const char* buffer, std::uint16_t length) {
            blocks.push_back({std::string(buffer, length), buffer[length] == '\0',
                              QThread::currentThread() == QCoreApplication::instance()->thread()});
        };
        comm.OnRequestHangup = [this](TComm32* sender) {
            EXPECT_EQ(sender, &comm);
            ++hangups;
        };
    }

    std::string AllReceived() const
    {
        std::string all;
        for (const Block& b : blocks) {
            all += b.bytes;
        }
        return all;
    }

    QString UseLog()
    {
        const QString path = dir.filePath(QStringLiteral("comm.log"));
        comm.SetCommsLogFileName(path);
        return path;
    }

    test::PtyPair pty;
    QTemporaryDir dir;
    TComm32 comm; // after the pty: the port closes before the line goes
    std::vector<Block> blocks;
    int hangups = 0;
};

TEST_F(PortTest, ReceivedBytesArriveOnTheOwnerThreadInBlocksOfAtMost2048)
{
    AttachHandlers();
    ASSERT_TRUE(comm.OpenPort());
    std::string sent(5000, '\0');
    std::mt19937 random(7);
    std::generate(sent.begin(), sent.end(), [&] { return char(random() & 0xFF); });
    pty.Send(sent);

    ASSERT_TRUE(WaitUntil([&] { return AllReceived().size() >= sent.size(); }));
    EXPECT_EQ(AllReceived(), sent);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.front().bytes.size(), 2048u) << "a burst fills whole blocks";
    for (const Block& b : blocks) {
        EXPECT_LE(b.bytes.size(), 2048u);
        EXPECT_TRUE(b.zeroAfter);
        EXPECT_TRUE(b.onOwnerThread);
    }
}

TEST_F(PortTest, ABurstArrivesAsOneBlockOnceTheLineIsQuiet)
{
    AttachHandlers();
    ASSERT_TRUE(comm.OpenPort());
    pty.Send("hello");
    pty.Send(" world");
    ASSERT_TRUE(WaitUntil([&] { return !blocks.empty(); }));
    pty.Send("again");
    ASSERT_TRUE(WaitUntil([&] { return blocks.size() >= 2; }));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].bytes, "hello world");
    EXPECT_EQ(blocks[1].bytes, "again");
}

TEST_F(PortTest, ClosingWhileAReadIsOutstandingEndsTheReaderWithoutAHangup)
{
    const QString log = UseLog();
    AttachHandlers();
    ASSERT_TRUE(comm.OpenPort());
    pty.Send("abc"); // still inside the read interval when the port closes
    comm.ClosePort();
    DispatchPending();

    EXPECT_EQ(hangups, 0);
    EXPECT_EQ(comm.PortHandle(), 0);
    const auto lines = ReadLogLines(log);
    EXPECT_TRUE(Contains(lines, "Read thread shutting down"));
    EXPECT_FALSE(AnyStartsWith(lines, "Unable to HandleReadEvent"));
    EXPECT_FALSE(AnyStartsWith(lines, "Unexpected"));
}

TEST_F(PortTest, ASecondOpenRaisesAndLeavesTheFirstIntact)
{
    AttachHandlers();
    ASSERT_TRUE(comm.OpenPort());
    const int handle = comm.PortHandle();
    try {
        comm.OpenPort();
        FAIL() << "opened twice";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Already have a comm file open");
    }
    EXPECT_EQ(comm.PortHandle(), handle);
    pty.Send("still here");
    EXPECT_TRUE(WaitUntil([&] { return AllReceived() == "still here"; }));
    ASSERT_TRUE(comm.WriteData(QByteArrayLiteral("out")));
    EXPECT_EQ(pty.Receive(3), "out");
}

TEST_F(PortTest, NamesThatAreNoUsablePortRaiseAndLeaveNothingOpen)
{
    const QString regularFile = dir.filePath(QStringLiteral("not-a-port"));
    {
        QFile f(regularFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    struct Row
    {
        QString port;
        const char* message;
    };
    const Row rows[] = {
        {QStringLiteral("/dev/ttyQUAV-missing"), "Error opening com port"},
        {dir.filePath(QStringLiteral("missing-dir/port")), "Error opening com port"},
        {regularFile, "File handle is not a comm handle. "},
        {QStringLiteral("/dev/null"), "File handle is not a comm handle. "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.port.toStdString());
        const int descriptors = test::OpenDescriptorCount();
        comm.SetCommPort(row.port);
        try {
            comm.OpenPort();
            ADD_FAILURE() << "opened";
        } catch (const ECommsError& e) {
            EXPECT_STREQ(e.what(), row.message);
        }
        EXPECT_EQ(comm.PortHandle(), 0);
        EXPECT_EQ(test::OpenDescriptorCount(), descriptors);
    }
}

TEST_F(PortTest, APortThatAnotherProgramHoldsCannotBeOpened)
{
    struct Row
    {
        const char* holder;
        bool lock;
        bool exclusive;
    };
    const Row rows[] = {
        {"lock and TIOCEXCL", true, true}, {"lock only", true, false}, {"TIOCEXCL only", false, true}};
    const QByteArray path = QFile::encodeName(pty.SlavePath());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.holder);
        const int holder = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(holder, 0);
        if (row.lock) {
            ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
        }
        if (row.exclusive) {
            ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
        }
        try {
            comm.OpenPort();
            ADD_FAILURE() << "opened a port that is held";
        } catch (const ECommsError& e) {
            EXPECT_STREQ(e.what(), "Error opening com port");
        }
        EXPECT_EQ(comm.PortHandle(), 0);

        ::ioctl(holder, TIOCNXCL);
        ::close(holder);
        EXPECT_TRUE(comm.OpenPort()) << "free again once the holder has gone";
        comm.ClosePort();
    }

    // While this object holds the port, nobody else gets it, root or not.
    ASSERT_TRUE(comm.OpenPort());
    TComm32 second;
    second.SetCommPort(pty.SlavePath());
    EXPECT_THROW(second.OpenPort(), ECommsError);
    const int other = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (other >= 0) { // root passes TIOCEXCL; the lock still holds
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
        ::close(other);
    }
    comm.ClosePort();
    EXPECT_NO_THROW(second.OpenPort());
}

TEST_F(PortTest, OpeningConfiguresTheLineButKeepsASpeedItCannotSet)
{
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.Slave(), &before), 0);
    cfsetispeed(&before, B4800);
    cfsetospeed(&before, B4800);
    before.c_cflag |= HUPCL;
    before.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(::tcsetattr(pty.Slave(), TCSANOW, &before), 0);

    comm.SetBaudRate(0); // as the main window sets it
    ASSERT_TRUE(comm.OpenPort());
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.Slave(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B4800)) << "baud rate 0 must not hang up the line";
    EXPECT_EQ(t.c_cflag & HUPCL, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    comm.ClosePort();

    comm.SetBaudRate(19200);
    comm.SetStopBits(TStopBits::sb2_0);
    ASSERT_TRUE(comm.OpenPort());
    ASSERT_EQ(::tcgetattr(pty.Slave(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
}

TEST_F(PortTest, AWriteThatTheDeviceTakesInTwoPartsIsFinished)
{
    auto device = std::make_shared<SplittingDevice>();
    comm.SetDevice(device);
    ASSERT_TRUE(comm.OpenPort());
    ASSERT_TRUE(comm.WriteData(QByteArrayLiteral("0123456789")));
    EXPECT_EQ(pty.Receive(10), "0123456789");
    EXPECT_EQ(device->Sizes(), (std::vector<std::size_t>{10, 4}));
}

TEST_F(PortTest, TheWriterWaitsWhileTheLineIsFullAndThenWritesEverything)
{
    auto device = std::make_shared<CountingDevice>();
    comm.SetDevice(device);
    ASSERT_TRUE(comm.OpenPort());
    std::string sent(300000, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = char((i * 31 + i / 256) & 0xFF);
    }
    ASSERT_TRUE(comm.WriteData(sent.data(), sent.size()));
    ASSERT_TRUE(comm.WriteData(QByteArrayLiteral("tail")));
    EXPECT_EQ(pty.Receive(sent.size() + 4), sent + "tail");
    EXPECT_GT(device->wouldBlock.load(), 0) << "the line never filled up; the test proves nothing";
}

TEST_F(PortTest, LineErrorsArriveAsTextsFollowedByAZeroByte)
{
    auto device = std::make_shared<ErrorCountingDevice>();
    comm.SetDevice(device);
    AttachHandlers();
    ASSERT_TRUE(comm.OpenPort());
    ASSERT_TRUE(WaitUntil([&] { return device->reads.load() >= 1; })); // the reader has its baseline
    device->AddErrors(1, 3);
    pty.Send("z"); // wakes the reader

    ASSERT_TRUE(WaitUntil([&] { return blocks.size() >= 2; }));
    const std::string expected = "Comm Event: CE_FRAME and CE_OVERRUN, EvtMask = 10";
    ASSERT_EQ(expected.size(), 49u);
    EXPECT_EQ(blocks[0].bytes, expected);
    EXPECT_TRUE(blocks[0].zeroAfter);
    EXPECT_EQ(blocks[1].bytes, "z");
    EXPECT_EQ(hangups, 0);
}

TEST_F(PortTest, TheLogHoldsEachThreadsLinesInOrder)
{
    const QString log = UseLog();
    AttachHandlers();
    ASSERT_TRUE(comm.OpenPort());
    pty.Send("abc");
    ASSERT_TRUE(WaitUntil([&] { return !blocks.empty(); }));
    ASSERT_TRUE(comm.WriteData(QByteArrayLiteral("hi")));
    ASSERT_EQ(pty.Receive(2), "hi");
    comm.ClosePort();

    const std::vector<std::string> reader = {
        "No line error counters on this port; line errors are not reported.",
        "Waiting for data from comm connection.",
        "Got something from Comm port!!!",
        "Waiting for data from comm connection.",
        "Read thread shutting down",
    };
    const std::vector<std::string> writer = {"Writing to comm port", "Write thread shutting down"};
    const std::vector<std::string> owner = {"Stopping the Comm", "Closing Read Thread ",
                                            "Closing Write Thread"};

    const auto lines = ReadLogLines(log);
    const auto only = [&lines](const std::vector<std::string>& of) {
        std::vector<std::string> picked;
        for (const auto& l : lines) {
            if (std::find(of.begin(), of.end(), l) != of.end()) {
                picked.push_back(l);
            }
        }
        return picked;
    };
    EXPECT_EQ(only(reader), reader);
    EXPECT_EQ(only(writer), writer);
    EXPECT_EQ(only(owner), owner);
    EXPECT_EQ(lines.size(), reader.size() + writer.size() + owner.size()) << "unexpected or torn lines";
    const auto at = [&lines](const char* l) {
        return std::find(lines.begin(), lines.end(), l) - lines.begin();
    };
    EXPECT_LT(at("Closing Read Thread "), at("Read thread shutting down"));
    EXPECT_GT(at("Closing Write Thread"), at("Read thread shutting down")) << "the reader is stopped first";

    comm.ClosePort(); // closed: writes nothing
    EXPECT_EQ(ReadLogLines(log), lines);
}

TEST_F(PortTest, WithoutALogNameNoFileIsCreated)
{
    const QString path = dir.filePath(QStringLiteral("comm.log"));
    ASSERT_TRUE(comm.OpenPort());
    comm.WriteLog("nothing");
    comm.ClosePort();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(PortTest, DataWithoutAHandlerIsReleased)
{
    const long before = CommBlock::LiveBlocks();
    ASSERT_TRUE(comm.OpenPort());
    pty.Send("nobody listens");
    // Without dispatching, the block waits in the queue...
    ASSERT_TRUE(BlockPostedUndispatched(before));
    // ...and dispatching it with no handler releases it.
    EXPECT_TRUE(WaitUntil([&] { return CommBlock::LiveBlocks() == before; }));

    // A port object that goes with undelivered data releases it too.
    {
        test::PtyPair other;
        TComm32 gone;
        gone.SetCommPort(other.SlavePath());
        ASSERT_TRUE(gone.OpenPort());
        other.Send("never dispatched");
        ASSERT_TRUE(BlockPostedUndispatched(before));
    }
    EXPECT_EQ(CommBlock::LiveBlocks(), before);
}

TEST_F(PortTest, MessagesKeepTheirOrderWhenAHandlerRunsANestedEventLoop)
{
    ASSERT_TRUE(comm.OpenPort());
    const auto post = [this](char letter) {
        CommMessage message;
        message.Code = MsgPortData;
        message.WParam = 1;
        message.LParam = CommBlock::Allocate(2);
        message.LParam.Data()[0] = letter;
        ASSERT_TRUE(comm.Inbox().Post(std::move(message)));
    };
    std::string order;
    comm.OnReceiveData = [&](const char* data, std::uint16_t) {
        order += data[0];
        if (data[0] == 'A') {
            post('C'); // posted while A is handled, after B
            WaitUntil([&] { return order.size() == 3; }, std::chrono::seconds(2)); // a nested event loop
        }
    };
    post('A');
    post('B');
    ASSERT_TRUE(WaitUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, "ABC");
}

TEST_F(PortTest, AHangupOfTheLineReachesTheOwnerAndEndsBothThreads)
{
    const QString log = UseLog();
    AttachHandlers();
    ASSERT_TRUE(comm.OpenPort());
    // Hang up only once the reader waits for data (a line that is already dead fails its start).
    ASSERT_TRUE(
        WaitUntil([&] { return Contains(ReadLogLines(log), "Waiting for data from comm connection."); }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return hangups >= 1; }));
    EXPECT_TRUE(comm.IsOpen()) << "only ClosePort closes the port";

    // The writer still runs; its write fails on the dead line and ends it too.
    ASSERT_TRUE(comm.WriteData(QByteArrayLiteral("x")));
    ASSERT_TRUE(WaitUntil([&] { return hangups >= 2; }));
    EXPECT_TRUE(WaitUntil([&] { return !comm.WriteData(QByteArrayLiteral("y")); }))
        << "a writer that has ended takes no more requests";
    comm.ClosePort();

    const auto lines = ReadLogLines(log);
    EXPECT_TRUE(AnyStartsWith(lines, "Unable to HandleReadEvent: GetLastError returned: "));
    EXPECT_TRUE(AnyStartsWith(lines, "Error to writing to CommFile"));
    EXPECT_TRUE(Contains(lines, "Closing TAPI"));
}

TEST_F(PortTest, RequestsStillQueuedWhenThePortClosesAreReleased)
{
    const long before = CommBlock::LiveBlocks();
    ASSERT_TRUE(comm.OpenPort());
    const std::string big(300000, 'q'); // fills the line; nobody reads the far end
    ASSERT_TRUE(comm.WriteData(big.data(), big.size()));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(comm.WriteData(QByteArrayLiteral("queued")));
    }
    EXPECT_GT(CommBlock::LiveBlocks(), before);
    comm.ClosePort();
    EXPECT_EQ(CommBlock::LiveBlocks(), before);
    EXPECT_FALSE(comm.WriteData(QByteArrayLiteral("closed")));
}

TEST_F(PortTest, AnUnwritableLogStillClosesThePort)
{
    comm.SetCommsLogFileName(QStringLiteral("/dev/full"));
    AttachHandlers();
    const int descriptors = test::OpenDescriptorCount();
    ASSERT_TRUE(comm.OpenPort());
    // The reader fails on its first log line and reports a hangup; the port stays open.
    ASSERT_TRUE(WaitUntil([&] { return hangups >= 1; }));
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_THROW(comm.ClosePort(), EInOutError);
    EXPECT_EQ(comm.PortHandle(), 0);
    EXPECT_EQ(test::OpenDescriptorCount(), descriptors);

    comm.SetCommsLogFileName({});
    EXPECT_TRUE(comm.OpenPort()) << "the port was given back";
}

TEST_F(PortTest, AThousandOpenAndCloseCyclesLeaveNoDescriptorAndNoThread)
{
    const int descriptors = test::OpenDescriptorCount();
    const int threads = test::ThreadCount();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(comm.OpenPort()) << "cycle " << i;
        comm.ClosePort();
    }
    EXPECT_EQ(test::OpenDescriptorCount(), descriptors);
    // A joined thread leaves the task list a moment after the join returns.
    EXPECT_TRUE(WaitUntil([&] { return test::ThreadCount() == threads; })) << test::ThreadCount();
}

TEST_F(PortTest, DestroyingAnOpenPortObjectGivesThePortBack)
{
    const int threads = test::ThreadCount();
    {
        TComm32 forgotten;
        forgotten.SetCommPort(pty.SlavePath());
        ASSERT_TRUE(forgotten.OpenPort());
    }
    const int holder = ::open(QFile::encodeName(pty.SlavePath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    EXPECT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    ::close(holder);
    EXPECT_TRUE(WaitUntil([&] { return test::ThreadCount() == threads; }));
}

} // namespace
} // namespace quav
