#include "platform/desktop/RegularFile.h"

#include "platform/core/RegularFileOpen.h"

#include <algorithm>
#include <cerrno>

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

int Open(const QString& path, qint64 maxBytes)
{
    return path.isEmpty() ? -1 : OpenRegularFile(QFile::encodeName(path).constData(), maxBytes);
}

bool IsReadable(const QString& path, qint64 maxBytes)
{
    const int fd = Open(path, maxBytes);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

std::optional<QByteArray> Read(const QString& path, qint64 maxBytes)
{
    const int fd = Open(path, maxBytes);
    if (fd < 0)
        return std::nullopt;
    struct stat info = {};
    ::fstat(fd, &info);
    // Room for one byte more than its size shows a file that grew since; it is read on up to the cap.
    QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > maxBytes)
                break;
            bytes.resize(qsizetype(std::min<qint64>(maxBytes + 1, 2 * qint64(done))));
        }
        const ssize_t n = ::read(fd, bytes.data() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0)
                done = -1;
            break;
        }
        done += n;
    }
    ::close(fd);
    if (done < 0 || done > maxBytes)
        return std::nullopt;
    bytes.truncate(done);
    return bytes;
}

} // namespace RegularFile
