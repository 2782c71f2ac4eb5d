#include "serial/ComPortMap.h"

namespace quav {

void ComPortMap::Map(const QString& portName, const QString& devicePath)
{
    m_paths[portName.toUpper()] = devicePath;
}

void ComPortMap::Unmap(const QString& portName)
{
    m_paths.erase(portName.toUpper());
}

QString ComPortMap::DevicePath(const QString& portName) const
{
    const auto it = m_paths.find(portName.toUpper());
    return it != m_paths.end() ? it->second : DefaultDevicePath(portName);
}

QString ComPortMap::DefaultDevicePath(const QString& portName)
{
    const QString name = portName.toUpper();
    if (name.size() == 4 && name.startsWith(QStringLiteral("COM")) && name[3] >= u'1' && name[3] <= u'4') {
        return QStringLiteral("/dev/ttyS") + QChar(name[3].unicode() - 1);
    }
    // A device named by its path is taken as it is; a name like "COM7" from hand-edited
    // settings must never become a file in the working folder.
    return portName.startsWith(QLatin1Char('/')) ? portName : QString();
}

} // namespace quav
