#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include <QString>

namespace quav {

/// The text log of a port object and its two threads.
///
/// Thread safety: every member may be called from any thread. Each line is written whole,
/// with its CR LF, under one lock, so lines of the user-interface thread, the reader and the
/// writer never run into each other. Nothing is added to a line (no time stamp, no thread).
class CommLog
{
public:
    CommLog() = default;
    ~CommLog();

    CommLog(const CommLog&) = delete;
    CommLog& operator=(const CommLog&) = delete;

    /// The name that WriteLog looks at; empty: nothing is logged.
    void SetName(const QString& fileName);
    QString Name() const;

    /// Creates the file anew (an existing file is emptied) and keeps it open for writing. A
    /// file still open from before is closed first. Throws EInOutError when it cannot be created.
    void Create(const QString& fileName);
    /// Closes the file if one is open. Throws EInOutError when the last lines cannot be written.
    void Close();
    bool IsOpen() const;

    /// Appends the text and CR LF, when a name is set and the file is open. Throws
    /// EInOutError when the line cannot be written.
    void WriteLog(std::string_view text);

    /// Logs prefix + "GetLastError returned: \"" + the system's text for `code` + "\"",
    /// cut to 1023 characters.
    void ReportError(int code, std::string_view prefix = {});

private:
    mutable std::mutex m_mutex;
    std::FILE* m_file = nullptr;
    QString m_fileName; // of the open file, for messages
    QString m_name;
};

/// The system's English text for an errno value; empty when there is none.
std::string DescribeError(int code);

} // namespace quav
