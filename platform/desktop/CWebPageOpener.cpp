#include "platform/desktop/CWebPageOpener.h"

#include "platform/desktop/DesktopEntry.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

// A program name without a slash that exists on PATH but may not be run.
bool OnPathButNotExecutable(const QString& program)
{
    for (const QString& dir : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QFileInfo info(dir + QLatin1Char('/') + program);
        if (info.exists())
            return true;
    }
    return false;
}

} // namespace

std::optional<QStringList> CWebPageOpener::BuildCommand(const SDesktopEntry& entry, const QString& address)
{
    DesktopEntry::SFieldValues values;
    values.urls = QStringList{address};
    values.name = entry.name;
    values.icon = entry.icon;
    values.path = entry.path;
    bool placed = false;
    std::optional<QStringList> command = DesktopEntry::ExpandExec(entry.exec, values, &placed);
    if (command && !placed)
        command->append(address);
    return command;
}

int CWebPageOpener::Run(const QStringList& argv)
{
    if (argv.isEmpty() || argv.front().isEmpty())
        return kOpenFileNotFound;
    QString program = argv.front();
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        if (!info.exists())
            return kOpenFileNotFound;
        if (!info.isFile() || !info.isExecutable())
            return kOpenAccessDenied;
    } else {
        const QString found = QStandardPaths::findExecutable(program);
        if (found.isEmpty())
            return OnPathButNotExecutable(program) ? kOpenAccessDenied : kOpenFileNotFound;
        program = found;
    }
    if (!QProcess::startDetached(program, argv.mid(1)))
        return kOpenFileNotFound;
    return kOpenSucceeded;
}

int CWebPageOpener::OpenAddress(const QString& address, int showCommand)
{
    (void)showCommand;
    int handlerResult = -1;
    const QString handler = DefaultApplications::DefaultHandler(QStringLiteral("x-scheme-handler/http"));
    if (!handler.isEmpty()) {
        if (const std::optional<SDesktopEntry> entry = DefaultApplications::FindDesktopEntry(handler)) {
            if (const std::optional<QStringList> command = BuildCommand(*entry, address)) {
                handlerResult = Run(*command);
                if (handlerResult > 32)
                    return handlerResult;
            }
        }
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) {
        // Without the desktop's opener the handler's own failure is the better explanation.
        return handlerResult >= 0 ? handlerResult : kOpenNoAssociation;
    }
    return Run({QStringLiteral("xdg-open"), address});
}
