#include "platform/desktop/CXdgDesktopServices.h"

#include "platform/desktop/CRegistryKey.h"
#include "platform/desktop/CWebPageOpener.h"
#include "platform/desktop/DefaultApplications.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>

#include <utility>

namespace {

IDesktopServices* g_installed = nullptr;

QString XdgEmail()
{
    return QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
}

} // namespace

IDesktopServices& IDesktopServices::Current()
{
    static CXdgDesktopServices xdg;
    return g_installed ? *g_installed : xdg;
}

IDesktopServices* IDesktopServices::Install(IDesktopServices* services)
{
    return std::exchange(g_installed, services);
}

int CXdgDesktopServices::OpenAddress(const QString& address, int showCommand)
{
    return CWebPageOpener::OpenAddress(address, showCommand);
}

bool CXdgDesktopServices::HasMailProgram()
{
    return !XdgEmail().isEmpty();
}

bool CXdgDesktopServices::IsMailConfigured()
{
    return !DefaultApplications::DefaultHandler(QStringLiteral("x-scheme-handler/mailto")).isEmpty() &&
           !XdgEmail().isEmpty();
}

QStringList CXdgDesktopServices::MailArguments(const SMailMessage& message)
{
    // xdg-email refuses an option with an empty value, so an empty subject or text is left out.
    QStringList arguments{QStringLiteral("--utf8")};
    if (!message.subject.isEmpty())
        arguments << QStringLiteral("--subject") << message.subject;
    if (!message.body.isEmpty())
        arguments << QStringLiteral("--body") << message.body;
    for (const QString& file : message.attachments)
        arguments << QStringLiteral("--attach") << file;
    // xdg-email reads a bare argument as an option when it begins with "-", as the whole mailto: address
    // when it begins with "mailto:" (its query could add attachments), and refuses one without "@". Such
    // a recipient goes after --to, which takes any text as one address.
    for (const QString& recipient : message.recipients) {
        if (recipient.isEmpty())
            continue;
        const bool bare = recipient.contains(QLatin1Char('@')) && !recipient.startsWith(QLatin1Char('-')) &&
                          !recipient.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive);
        if (!bare)
            arguments << QStringLiteral("--to");
        arguments << recipient;
    }
    return arguments;
}

int CXdgDesktopServices::SendMail(const SMailMessage& message)
{
    const QString program = XdgEmail();
    if (program.isEmpty())
        return 1;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, MailArguments(message));
    if (!process.waitForStarted())
        return 1;
    // The windows keep working while the mail program starts up.
    if (QCoreApplication::instance()) {
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        if (process.state() != QProcess::NotRunning)
            loop.exec();
    } else {
        process.waitForFinished(-1);
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return 1;
    return process.exitCode();
}

bool CXdgDesktopServices::WriteAutostart(const QString& name, const QString& programPath)
{
    CRegistryKey key(ERegistryHive::CurrentUser);
    return key.SetString(QString::fromLatin1(kRunSubkey), name, programPath);
}

bool CXdgDesktopServices::RemoveAutostart(const QString& name, bool machineWide)
{
    CRegistryKey key(machineWide ? ERegistryHive::LocalMachine : ERegistryHive::CurrentUser);
    return key.DeleteValue(QString::fromLatin1(kRunSubkey), name);
}
