#include "platform/desktop/ProgramPath.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// The file this code was mapped from, as /proc/self/maps names it, with its device and inode.
struct SMapping
{
    QByteArray path;
    unsigned long long device = 0, inode = 0;
};

std::optional<SMapping> OwnMapping()
{
    const auto here = reinterpret_cast<unsigned long long>(&ReadProgramPath);
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (!maps)
        return std::nullopt;
    std::optional<SMapping> found;
    char* line = nullptr;
    std::size_t capacity = 0;
    ssize_t length;
    while (!found && (length = getline(&line, &capacity, maps)) > 0) {
        unsigned long long start, end, offset, inode;
        unsigned major, minor;
        int pathAt = 0;
        if (std::sscanf(line, "%llx-%llx %*s %llx %x:%x %llu %n", &start, &end, &offset, &major, &minor,
                        &inode, &pathAt) < 6 ||
            here < start || here >= end || pathAt <= 0)
            continue;
        QByteArray path(line + pathAt, length - pathAt);
        if (path.endsWith('\n'))
            path.chop(1);
        found = SMapping{path, makedev(major, minor), inode};
    }
    std::free(line);
    std::fclose(maps);
    return found;
}

bool IsFile(const QByteArray& path, unsigned long long device, unsigned long long inode)
{
    struct stat info;
    return stat(path.constData(), &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

// /proc/self/exe names the file the kernel started. Started through the dynamic loader ("ld.so ./nimo"),
// that is the loader, and the settings, the autostart entry and the mail's attachment would all name it:
// then the file this code was mapped from is the program.
QByteArray ProgramPathFromMapping(const QByteArray& exe)
{
    const std::optional<SMapping> own = OwnMapping();
    if (!own || own->path.isEmpty() || own->path[0] != '/')
        return exe;
    struct stat info;
    if (stat(exe.constData(), &info) == 0 && info.st_dev == own->device && info.st_ino == own->inode)
        return exe;
    // The map's name must be the mapped file itself (a deleted or renamed file, or a name the kernel had
    // to escape, is not).
    return IsFile(own->path, own->device, own->inode) ? own->path : exe;
}

} // namespace

QByteArray GetProgramPathBytes()
{
    // Read once: an upgrade may replace the file while the program runs, and the link then reads
    // "... (deleted)". The program asks for it first thing at start-up.
    static const QByteArray path = ProgramPathFromMapping(ReadProgramPath());
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
