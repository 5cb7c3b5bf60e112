#include "platform/desktop/ProgramPath.h"

#include <vector>

#include <QFileInfo>

#include <unistd.h>

namespace {

QByteArray ReadProgramPath()
{
    // readlink does not say whether it cut the path short, so grow the buffer until it fits.
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return QByteArray();
        if (static_cast<std::size_t>(length) < buffer.size())
            return QByteArray(buffer.data(), static_cast<qsizetype>(length));
        buffer.resize(buffer.size() * 4);
    }
    return QByteArray();
}

} // namespace

QByteArray GetProgramPathBytes()
{
    // Read once: an upgrade may replace the file while the program runs, and the link then reads
    // "... (deleted)". The program asks for it first thing at start-up.
    static const QByteArray path = ReadProgramPath();
    return path;
}

QString GetProgramPath()
{
    static const QString path = QString::fromLocal8Bit(GetProgramPathBytes());
    return path;
}

QString GetApplicationName()
{
    const QString path = GetProgramPath();
    const QString name = QFileInfo(path).completeBaseName();
    return name.isEmpty() ? QStringLiteral("nimo") : name;
}
