#include "platform/desktop/DefaultApplications.h"

#include "platform/desktop/DesktopEntry.h"
#include "platform/desktop/XdgDirs.h"

#include <QFileInfo>
#include <QStringList>

namespace {

// The mimeapps.list files in the order the desktop consults them.
QStringList MimeAppsFiles()
{
    QStringList desktops;
    for (const QString& name : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops.append(name.toLower());
    QStringList dirs{Xdg::ConfigHome()};
    dirs += Xdg::ConfigDirs();
    dirs += Xdg::ApplicationDirs();
    QStringList files;
    for (const QString& dir : dirs) {
        for (const QString& desktop : desktops)
            files.append(dir + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list"));
        files.append(dir + QStringLiteral("/mimeapps.list"));
    }
    return files;
}

// The first installed desktop id of a list of ids ("a.desktop;b.desktop;").
QString FirstInstalled(const QString& ids)
{
    for (const QString& id : ids.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmed = id.trimmed();
        if (DefaultApplications::FindDesktopEntry(trimmed))
            return trimmed;
    }
    return QString();
}

QString FirstInstalledIn(const QString& file, const QString& group, const QString& mimeType)
{
    return FirstInstalled(DesktopEntry::ReadGroup(file, group).value(mimeType));
}

} // namespace

namespace DefaultApplications {

std::optional<SDesktopEntry> FindDesktopEntry(const QString& desktopId)
{
    if (!desktopId.endsWith(QStringLiteral(".desktop")) || desktopId.contains(QLatin1Char('/')) ||
        desktopId.startsWith(QLatin1Char('.')))
        return std::nullopt;
    // "vendor-app.desktop" may also lie as vendor/app.desktop.
    QStringList relatives{desktopId};
    for (qsizetype dash = desktopId.indexOf(QLatin1Char('-')); dash > 0;
         dash = desktopId.indexOf(QLatin1Char('-'), dash + 1)) {
        QString relative = desktopId;
        relative[dash] = QLatin1Char('/');
        relatives.append(relative);
    }
    for (const QString& dir : Xdg::ApplicationDirs()) {
        for (const QString& relative : relatives) {
            const QString path = dir + QLatin1Char('/') + relative;
            if (!QFileInfo(path).isFile())
                continue;
            const QHash<QString, QString> keys = DesktopEntry::ReadGroup(path, QStringLiteral("Desktop Entry"));
            // The first file found decides, even when it hides the application.
            if (keys.value(QStringLiteral("Hidden")) == QStringLiteral("true") ||
                !keys.contains(QStringLiteral("Exec")))
                return std::nullopt;
            SDesktopEntry entry;
            entry.path = path;
            entry.name = DesktopEntry::UnescapeValue(keys.value(QStringLiteral("Name")));
            entry.icon = DesktopEntry::UnescapeValue(keys.value(QStringLiteral("Icon")));
            entry.exec = DesktopEntry::UnescapeValue(keys.value(QStringLiteral("Exec")));
            return entry;
        }
    }
    return std::nullopt;
}

QString DefaultHandler(const QString& mimeType)
{
    const QString defaults = QStringLiteral("Default Applications");
    for (const QString& file : MimeAppsFiles()) {
        const QString id = FirstInstalledIn(file, defaults, mimeType);
        if (!id.isEmpty())
            return id;
    }
    for (const QString& dir : Xdg::ApplicationDirs()) {
        for (const auto& [name, group] : {std::pair{QStringLiteral("/defaults.list"), defaults},
                                          std::pair{QStringLiteral("/mimeinfo.cache"), QStringLiteral("MIME Cache")}}) {
            const QString id = FirstInstalledIn(dir + name, group, mimeType);
            if (!id.isEmpty())
                return id;
        }
    }
    return QString();
}

} // namespace DefaultApplications
