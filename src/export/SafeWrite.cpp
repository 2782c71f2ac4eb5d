#include "export/SafeWrite.h"

#include <QSaveFile>

namespace quav {

bool SafeWrite(const QString& fileName, const char* data, qint64 size)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(data, size) != size || !file.flush() || file.error() != QFileDevice::NoError ||
        !file.commit()) {
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace quav
