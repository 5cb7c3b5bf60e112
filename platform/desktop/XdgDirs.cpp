#include "platform/desktop/XdgDirs.h"

#include <QDir>

namespace {

QString Absolute(const char* variable, const QString& fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : fallback;
}

QStringList AbsoluteList(const char* variable, const QStringList& fallback)
{
    QStringList dirs;
    for (const QString& dir : qEnvironmentVariable(variable).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            dirs.append(dir);
    }
    return dirs.isEmpty() ? fallback : dirs;
}

} // namespace

namespace Xdg {

QString Home()
{
    return Absolute("HOME", QDir::homePath());
}

QString ConfigHome()
{
    return Absolute("XDG_CONFIG_HOME", Home() + QStringLiteral("/.config"));
}

QStringList ConfigDirs()
{
    return AbsoluteList("XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")});
}

QString DataHome()
{
    return Absolute("XDG_DATA_HOME", Home() + QStringLiteral("/.local/share"));
}

QStringList DataDirs()
{
    return AbsoluteList("XDG_DATA_DIRS", {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
}

QStringList ApplicationDirs()
{
    QStringList dirs{DataHome() + QStringLiteral("/applications")};
    for (const QString& dir : DataDirs())
        dirs.append(dir + QStringLiteral("/applications"));
    return dirs;
}

QString UserAutostartDir()
{
    return ConfigHome() + QStringLiteral("/autostart");
}

QString MachineAutostartDir()
{
    return ConfigDirs().constFirst() + QStringLiteral("/autostart");
}

} // namespace Xdg
