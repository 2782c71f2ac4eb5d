#pragma once

#include <stdexcept>

#include <QString>

namespace quav {

/// An error that the user sees as a message box. Carries the German message text; the
/// settings store and the file operations throw it, the window shows it.
class QuavError : public std::runtime_error
{
public:
    explicit QuavError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message)
    {
    }

    /// The message as shown to the user.
    const QString& Message() const noexcept { return m_message; }

private:
    QString m_message;
};

} // namespace quav
