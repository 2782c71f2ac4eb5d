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
    return portName;
}

} // namespace quav
