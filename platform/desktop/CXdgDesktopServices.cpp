#include "platform/desktop/CXdgDesktopServices.h"

#include "platform/desktop/CMailHandOff.h"
#include "platform/desktop/CRegistryKey.h"
#include "platform/desktop/CWebPageOpener.h"
#include "platform/desktop/DefaultApplications.h"

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
    return !XdgEmail().isEmpty() || CMailHandOff::IsPortalOnBus();
}

bool CXdgDesktopServices::IsMailConfigured()
{
    return !DefaultApplications::DefaultHandler(QStringLiteral("x-scheme-handler/mailto")).isEmpty();
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
    // All recipients go as one list, the way each mail client takes: xdg-email makes the first bare
    // address the mailto: address and the others "to=" fields, which Claws Mail ignores beside an address.
    // It reads a bare argument as an option when it begins with "-", as the whole mailto: address when it
    // begins with "mailto:" (its query could add attachments), and refuses one without "@"; such a list
    // goes after --to, which takes any text.
    QStringList names;
    for (const QString& recipient : message.recipients) {
        if (!recipient.isEmpty())
            names.append(recipient);
    }
    if (names.isEmpty())
        return arguments;
    const QString list = names.join(QLatin1Char(','));
    const bool bare = list.contains(QLatin1Char('@')) && !list.startsWith(QLatin1Char('-')) &&
                      !list.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive);
    if (!bare)
        arguments << QStringLiteral("--to");
    arguments << list;
    return arguments;
}

void CXdgDesktopServices::SendMail(const SMailMessage& message, SMailHandOff report)
{
    // The portal takes bare addresses only, and some mail clients lose the attachment it hands them: such
    // a mail goes through xdg-email when it is there.
    const QString client = CMailHandOff::MailClientProgram();
    const bool filesArrive = message.attachments.isEmpty() || !CMailHandOff::LosesPortalAttachment(client);
    const bool addressesArrive = CMailHandOff::PortalAddresses(message.recipients).has_value();
    const bool tryPortal = (addressesArrive && filesArrive) || XdgEmail().isEmpty();
    CMailHandOff::Start(message, std::move(report), tryPortal);
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
