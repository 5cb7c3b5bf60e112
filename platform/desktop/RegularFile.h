#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

// The one way the program opens a file of the desktop to read it (lists of handlers, desktop entries,
// settings): whatever lies there may be a named pipe, a device or a link to one, or grow without end, so
// only a regular file of a bounded size is read, and nothing waits on opening.
namespace RegularFile {

// Larger than any list of handlers or settings file a desktop writes.
constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

// A descriptor open for reading (the caller closes it), or -1: missing, not a regular file once open
// (links are followed), larger than maxBytes, or not readable.
int Open(const QString& path, qint64 maxBytes = kMaxBytes);

// Whether Open would give a descriptor, for readers that open the file themselves (QSettings); a file
// swapped in between the look and their own open is not caught.
bool IsReadable(const QString& path, qint64 maxBytes = kMaxBytes);

// The whole file under the same rules; nothing when it could not be read whole.
std::optional<QByteArray> Read(const QString& path, qint64 maxBytes = kMaxBytes);

} // namespace RegularFile
