#pragma once

#include <QString>

namespace quav {

/// Writes a whole file so that a failure never destroys the file it replaces: the bytes go
/// to a temporary file beside it, which takes the old file's place only when all of it is
/// on disk. The buffer is flushed and checked first, since a failure in the last flush (a
/// full disk) is not seen by QSaveFile::commit, which would then put a cut-off file in
/// place of the old one. False when anything failed; the old file is untouched then.
bool SafeWrite(const QString& fileName, const char* data, qint64 size);

} // namespace quav
