#include "serial/CommLog.h"

#include "PtyPair.h"
#include "serial/ECommsError.h"

#include <cerrno>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quav {
namespace {

using test::ReadLogLines;

TEST(CommLog, WritesNothingWithoutANameOrAnOpenFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("comm.log"));
    CommLog log;
    log.SetName(path);
    log.WriteLog("before the file exists"); // a name but no file: neither throws nor creates it
    EXPECT_FALSE(QFile::exists(path));
    log.SetName({});
    log.Create(path);
    log.WriteLog("no name yet");
    log.SetName(path);
    log.WriteLog("first");
    log.SetName({});
    log.WriteLog("name cleared");
    log.SetName(path);
    log.WriteLog("second");
    log.Close();
    log.WriteLog("after close");
    EXPECT_EQ(ReadLogLines(path), (std::vector<std::string>{"first", "second"}));
}

TEST(CommLog, CreateEmptiesAnExistingFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("comm.log"));
    CommLog log;
    log.SetName(path);
    log.Create(path);
    log.WriteLog("old run");
    log.Create(path); // closes the old file first
    log.WriteLog("new run");
    log.Close();
    EXPECT_EQ(ReadLogLines(path), (std::vector<std::string>{"new run"}));
}

TEST(CommLog, FailuresRaiseInOutErrorsWithAGermanMessage)
{
    CommLog log;
    try {
        log.Create(QStringLiteral("/nonexistent-dir/comm.log"));
        FAIL() << "created a file in a missing directory";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("Protokolldatei"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(log.IsOpen());

    log.SetName(QStringLiteral("/dev/full"));
    log.Create(QStringLiteral("/dev/full"));
    EXPECT_THROW(log.WriteLog("disk full"), EInOutError);
}

TEST(CommLog, ReportErrorQuotesTheSystemTextAfterThePrefix)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("comm.log"));
    CommLog log;
    log.SetName(path);
    log.Create(path);
    log.ReportError(ENOENT, "Unable to CreateEvent: ");
    log.ReportError(EACCES);
    log.ReportError(EIO, std::string(2000, 'x'));
    log.Close();

    const auto lines = ReadLogLines(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Unable to CreateEvent: GetLastError returned: \"" + DescribeError(ENOENT) + "\"");
    EXPECT_EQ(lines[1], "GetLastError returned: \"" + DescribeError(EACCES) + "\"");
    EXPECT_EQ(lines[2], std::string(1023, 'x')) << "a report is cut to 1023 characters";
    EXPECT_FALSE(DescribeError(ENOENT).empty());
}

TEST(CommLog, LinesOfConcurrentThreadsNeverRunIntoEachOther)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("comm.log"));
    CommLog log;
    log.SetName(path);
    log.Create(path);
    constexpr int kThreads = 3;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            const std::string line = "thread " + std::to_string(t) + " " + std::string(200, char('a' + t));
            for (int i = 0; i < kLines; ++i) {
                log.WriteLog(line);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    log.Close();

    const auto lines = ReadLogLines(path);
    EXPECT_EQ(lines.size(), std::size_t(kThreads * kLines));
    std::set<std::string> distinct(lines.begin(), lines.end());
    EXPECT_EQ(distinct.size(), std::size_t(kThreads)) << "a line was torn or mixed";
}

} // namespace
} // namespace quav
