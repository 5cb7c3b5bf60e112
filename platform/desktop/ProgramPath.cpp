#include "platform/desktop/ProgramPath.h"

#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

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
    return QFile::decodeName(GetProgramPathBytes());
}

std::optional<QString> ProgramPathAsUtf8(const QByteArray& path)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(path);
    // A NUL byte cannot come from readlink; one in a given path would end the text early elsewhere.
    if (decoder.hasError() || path.contains('\0') || text.toUtf8() != path)
        return std::nullopt;
    return text;
}

QString GetApplicationName()
{
    const QString path = GetProgramPath();
    const QString name = QFileInfo(path).completeBaseName();
    return name.isEmpty() ? QStringLiteral("nimo") : name;
}
