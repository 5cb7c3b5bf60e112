#include "platform/desktop/CRegistryKey.h"

#include "platform/desktop/DesktopEntry.h"
#include "platform/desktop/XdgDirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

bool IsRunSubkey(const QString& subkey)
{
    QString normalised = subkey;
    while (normalised.endsWith(QLatin1Char('\\')))
        normalised.chop(1);
    QString run = QString::fromLatin1(kRunSubkey);
    run.chop(1);
    return normalised.compare(run, Qt::CaseInsensitive) == 0;
}

} // namespace

bool CRegistryKey::Connect(const char* machineName, ERegistryHive hive)
{
    if (machineName && *machineName)
        return false;
    m_root = hive;
    return true;
}

QString CRegistryKey::AutostartFolder(ERegistryHive hive)
{
    return hive == ERegistryHive::CurrentUser ? Xdg::UserAutostartDir() : Xdg::MachineAutostartDir();
}

QByteArray CRegistryKey::DesktopEntry(const QString& name, const QString& programPath)
{
    using ::DesktopEntry::EscapeValue;
    QString entry = QStringLiteral("[Desktop Entry]\nType=Application\n");
    entry += QStringLiteral("Name=") + EscapeValue(name) + QLatin1Char('\n');
    entry += QStringLiteral("Exec=") + EscapeValue(::DesktopEntry::QuoteArgument(programPath)) + QLatin1Char('\n');
    entry += QStringLiteral("Terminal=false\n");
    return entry.toUtf8();
}

QString CRegistryKey::EntryPath(const QString& subkey, const QString& valueName) const
{
    if (!IsRunSubkey(subkey))
        return QString();
    // The name becomes a file name: nothing that could reach outside the folder.
    if (valueName.isEmpty() || valueName == QStringLiteral(".") || valueName == QStringLiteral("..") ||
        valueName.contains(QLatin1Char('/')) || valueName.contains(QChar(0)))
        return QString();
    return AutostartFolder(m_root) + QLatin1Char('/') + valueName + QStringLiteral(".desktop");
}

bool CRegistryKey::SetString(const QString& subkey, const QString& valueName, const QString& text)
{
    const QString path = EntryPath(subkey, valueName);
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = DesktopEntry(valueName, text);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool CRegistryKey::DeleteValue(const QString& subkey, const QString& valueName)
{
    const QString path = EntryPath(subkey, valueName);
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    // Only a file is a value; a folder of that name is not ours to remove.
    if (!info.isFile() && !info.isSymLink())
        return false;
    return QFile::remove(path);
}
