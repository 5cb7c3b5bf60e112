#include "platform/CRegistryKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString EscapeDesktopValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

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
    if (hive == ERegistryHive::CurrentUser) {
        QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome))
            configHome = QDir::homePath() + QStringLiteral("/.config");
        return configHome + QStringLiteral("/autostart");
    }
    QString first = qEnvironmentVariable("XDG_CONFIG_DIRS").section(QLatin1Char(':'), 0, 0);
    if (first.isEmpty() || !QDir::isAbsolutePath(first))
        first = QStringLiteral("/etc/xdg");
    return first + QStringLiteral("/autostart");
}

QString CRegistryKey::QuoteExecArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString quoted = argument;
    if (needsQuotes) {
        quoted.clear();
        quoted += QLatin1Char('"');
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        quoted += QLatin1Char('"');
    }
    // A lone percent sign would be read as a field code.
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return quoted;
}

QByteArray CRegistryKey::DesktopEntry(const QString& name, const QString& programPath)
{
    QString entry = QStringLiteral("[Desktop Entry]\nType=Application\n");
    entry += QStringLiteral("Name=") + EscapeDesktopValue(name) + QLatin1Char('\n');
    entry += QStringLiteral("Exec=") + EscapeDesktopValue(QuoteExecArgument(programPath)) + QLatin1Char('\n');
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
