#pragma once

#include <map>

#include <QString>

namespace quav {

/// Which device file a port name stands for.
///
/// "COM1" to "COM4" name /dev/ttyS0 to /dev/ttyS3 unless they are mapped to another tty,
/// such as a USB adapter (/dev/ttyUSB0) or the pseudo-terminal of the simulated decoder
/// board. Port names are compared without regard to case, as on the system they come from.
/// An absolute path is taken as it is; any other name (a "COM7" from hand-edited settings)
/// names no device, so that nothing relative to the working folder is ever opened.
///
/// Plain value type; not thread-safe (the application sets it up on its own thread).
class ComPortMap
{
public:
    /// From now on `portName` stands for `devicePath`.
    void Map(const QString& portName, const QString& devicePath);
    /// Returns `portName` to its default.
    void Unmap(const QString& portName);

    /// The device file that `portName` stands for.
    QString DevicePath(const QString& portName) const;

    /// The default device of a port name: /dev/ttyS<n-1> for "COM1" to "COM4", an absolute
    /// path itself, otherwise empty.
    static QString DefaultDevicePath(const QString& portName);

private:
    std::map<QString, QString> m_paths; // key: upper-case port name
};

} // namespace quav
