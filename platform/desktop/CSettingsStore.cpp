#include "platform/desktop/CSettingsStore.h"

#include "platform/desktop/ProgramPath.h"
#include "platform/desktop/RegularFile.h"
#include "platform/desktop/XdgDirs.h"

#include <limits>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <sys/stat.h>

namespace {

// The file's inode, 0 when it does not exist.
ino_t FileId(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

QString Key(const QString& section, const QString& name)
{
    return section + QLatin1Char('/') + name;
}

} // namespace

CSettingsStore::CSettingsStore(QString company, QString application)
    : m_company(std::move(company)), m_application(std::move(application))
{
}

CSettingsStore& CSettingsStore::Program()
{
    static CSettingsStore store(QStringLiteral("Kestrel Ward"), GetApplicationName());
    return store;
}

QString CSettingsStore::FilePath() const
{
    return Xdg::ConfigHome() + QLatin1Char('/') + m_company + QLatin1Char('/') + m_application +
           QStringLiteral(".conf");
}

int CSettingsStore::ReadInt(const QString& section, const QString& name, int defaultValue) const
{
    // QSettings opens the file itself and would wait on a pipe or read a device without end: it gets the
    // file only once it has been seen to be a regular one of a bounded size.
    const QString path = FilePath();
    if (!RegularFile::IsReadable(path))
        return defaultValue;
    const QSettings settings(path, QSettings::IniFormat);
    const QVariant value = settings.value(Key(section, name));
    if (!value.isValid())
        return defaultValue;
    // Only plain decimal text counts: QVariant would also turn "1.9" or "true" into numbers.
    if (value.typeId() != QMetaType::QString)
        return defaultValue;
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok, 10);
    if (!ok || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return defaultValue;
    return static_cast<int>(number);
}

bool CSettingsStore::WriteInt(const QString& section, const QString& name, int value) const
{
    const QString path = FilePath();
    const QFileInfo info(path);
    // QSettings reads what is there before it writes: only a file it can read at once, of a bounded size.
    if (info.exists() && !RegularFile::IsReadable(path))
        return false;
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    // QSettings waits for its lock file without a time limit; something other than a file in its place
    // can never be taken over as a stale lock, and the program would hang for good.
    const QFileInfo lock(path + QStringLiteral(".lock"));
    if (lock.exists() && !lock.isFile())
        return false;
    QSettings settings(path, QSettings::IniFormat);
    // QSettings replaces the file through a temporary one and a rename, so a failed write leaves the old
    // file whole; it refuses to fall back to writing in place.
    settings.setAtomicSyncRequired(true);
    const ino_t before = FileId(path);
    settings.setValue(Key(section, name), QString::number(value));
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    // A file that did not parse leaves a format error that hides the outcome of the write; a successful
    // write shows as a new file in its place.
    const ino_t after = FileId(path);
    return after != 0 && after != before;
}
