#include "serial/CommLog.h"

#include "serial/ECommsError.h"

#include <cerrno>
#include <cstring>

#include <QFile>

namespace quav {

namespace {

constexpr std::size_t kMaxReportLength = 1023;

// "Die Protokolldatei „name“ kann nicht <verb> werden (reason)."
std::string IoMessage(const char* verb, const QString& fileName, int err)
{
    std::string message = "Die Protokolldatei \u201E";
    message += fileName.toStdString();
    message += "\u201C kann nicht ";
    message += verb;
    message += " werden (";
    message += DescribeError(err);
    message += ").";
    return message;
}

} // namespace

CommLog::~CommLog()
{
    std::lock_guard lock(m_mutex);
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

void CommLog::SetName(const QString& fileName)
{
    std::lock_guard lock(m_mutex);
    m_name = fileName;
}

QString CommLog::Name() const
{
    std::lock_guard lock(m_mutex);
    return m_name;
}

void CommLog::Create(const QString& fileName)
{
    std::lock_guard lock(m_mutex);
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    // "e": the log must not leak into programs that we start.
    std::FILE* file = std::fopen(QFile::encodeName(fileName).constData(), "wbe");
    if (file == nullptr) {
        throw EInOutError(IoMessage("angelegt", fileName, errno));
    }
    m_file = file;
    m_fileName = fileName;
}

void CommLog::Close()
{
    std::lock_guard lock(m_mutex);
    if (m_file == nullptr) {
        return;
    }
    const int result = std::fclose(m_file);
    const int err = errno;
    m_file = nullptr;
    if (result != 0) {
        throw EInOutError(IoMessage("geschlossen", m_fileName, err));
    }
}

bool CommLog::IsOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_file != nullptr;
}

void CommLog::WriteLog(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    if (m_name.isEmpty() || m_file == nullptr) {
        return;
    }
    std::string line(text);
    line += "\r\n";
    // Flushed at once: the log is read while the port is open, and after a crash.
    if (std::fwrite(line.data(), 1, line.size(), m_file) != line.size() || std::fflush(m_file) != 0) {
        const int err = errno;
        std::clearerr(m_file);
        throw EInOutError(IoMessage("geschrieben", m_fileName, err));
    }
}

void CommLog::ReportError(int code, std::string_view prefix)
{
    const std::string text = DescribeError(code);
    std::string line(prefix);
    if (!text.empty()) {
        line += "GetLastError returned: \"";
        line += text;
        line += '"';
    } else {
        line += "Out of memory";
    }
    if (line.size() > kMaxReportLength) {
        line.resize(kMaxReportLength);
    }
    WriteLog(line);
}

std::string DescribeError(int code)
{
    char buffer[256] = {};
    // The GNU strerror_r may return its own static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace quav
