#include "platform/desktop/CMailHandOff.h"

#include "platform/desktop/CXdgDesktopServices.h"
#include "platform/desktop/DefaultApplications.h"
#include "platform/desktop/DesktopEntry.h"
#include "platform/desktop/ProgramPath.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kEmailInterface = QStringLiteral("org.freedesktop.portal.Email");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
// The Email interface took several addresses ("addresses") from version 3 on.
constexpr uint kPortalVersionWithAddresses = 3;

// The bytes a path names a file by. The program's own path may hold bytes that are no text; its text
// then stands for them.
QByteArray NativeName(const QString& path)
{
    if (!path.isEmpty() && path == GetProgramPath())
        return GetProgramPathBytes();
    return QFile::encodeName(path);
}

// Whether the path as text names the very file.
bool NameSurvivesAsText(const QString& path)
{
    return QFile::encodeName(path) == NativeName(path);
}

} // namespace

QString CMailHandOff::MailClientProgram()
{
    const QString id = DefaultApplications::DefaultHandler(QStringLiteral("x-scheme-handler/mailto"));
    const std::optional<SDesktopEntry> entry = DefaultApplications::FindDesktopEntry(id);
    if (!entry)
        return QString();
    const std::optional<QStringList> words = DesktopEntry::SplitExec(entry->exec);
    return words && !words->isEmpty() ? words->first() : QString();
}

bool CMailHandOff::IsThunderbird(const QString& mailClient)
{
    const QString name = QFileInfo(mailClient).fileName();
    return name.contains(QLatin1String("thunderbird")) || name.contains(QLatin1String("icedove"));
}

bool CMailHandOff::LosesPortalAttachment(const QString& mailClient)
{
    // The GTK backend hands the client a mailto: address with "attachment=" fields: Thunderbird takes no
    // attachment from a mailto: address, Claws Mail only "attach=".
    return IsThunderbird(mailClient) ||
           QFileInfo(mailClient).fileName().contains(QLatin1String("claws-mail"));
}

void CMailHandOff::Start(const SMailMessage& message, SMailHandOff report, bool tryPortal)
{
    auto* handOff = new CMailHandOff(message, std::move(report));
    // xdg-email gets text arguments; the portal gets an open file, but turns it back into its path, and
    // its GTK backend hands the mail client "[Invalid UTF-8]" for a name that is no text. Either way
    // the mail would go without the file, so it does not go.
    const bool namesSurvive =
        std::all_of(message.attachments.cbegin(), message.attachments.cend(), NameSurvivesAsText);
    // Queued, so that the caller hears nothing before SendMail has returned.
    QMetaObject::invokeMethod(
        handOff,
        [handOff, tryPortal, namesSurvive] {
            if (!namesSurvive)
                handOff->Finish(kMailNameLost);
            else if (tryPortal)
                handOff->AskPortal();
            else
                handOff->RunXdgEmail();
        },
        Qt::QueuedConnection);
}

CMailHandOff::CMailHandOff(const SMailMessage& message, SMailHandOff report)
    : QObject(QCoreApplication::instance()), m_message(message), m_report(std::move(report))
{
    m_hold.setSingleShot(true);
    m_hold.setTimerType(Qt::PreciseTimer);
    m_hold.setInterval(kHoldMilliseconds);
    connect(&m_hold, &QTimer::timeout, this, &CMailHandOff::HandOver);
}

CMailHandOff::~CMailHandOff()
{
    // Destroying the QProcess would kill xdg-email, perhaps before it started the mail client.
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->setParent(nullptr);
#ifdef __SANITIZE_ADDRESS__
        // Kept on purpose past the program's end, which the sanitized build's leak checker is told.
        __lsan_ignore_object(m_process);
#endif
    }
}

bool CMailHandOff::IsPortalOnBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    QDBusConnectionInterface* daemon = bus.interface();
    return daemon->isServiceRegistered(kPortalService).value() ||
           daemon->activatableServiceNames().value().contains(kPortalService);
}

std::optional<QStringList> CMailHandOff::PortalAddresses(const QStringList& recipients)
{
    // The portal refuses the whole mail for one address outside the form web browsers accept.
    static const QRegularExpression kAddress(
        QStringLiteral(R"(^[A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)"
                       R"((?:\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$)"));
    QStringList addresses;
    for (const QString& recipient : recipients) {
        QString address = recipient.trimmed();
        const qsizetype open = address.lastIndexOf(QLatin1Char('<'));
        if (open >= 0 && address.endsWith(QLatin1Char('>')))
            address = address.mid(open + 1, address.size() - open - 2).trimmed();
        if (address.isEmpty())
            continue;
        if (!kAddress.match(address).hasMatch())
            return std::nullopt;
        addresses.append(address);
    }
    return addresses;
}

QStringList CMailHandOff::XdgEmailEnvironment(const QStringList& environment, const QString& mailClient)
{
    // Only xdg-email's generic and GNOME modes start Thunderbird with -compose, which carries the
    // attachment; on KDE and XFCE it hands Thunderbird a mailto: address, from which it takes none.
    if (!IsThunderbird(mailClient))
        return environment;
    QStringList result;
    for (const QString& variable : environment) {
        if (!variable.startsWith(QLatin1String("XDG_CURRENT_DESKTOP=")))
            result.append(variable);
    }
    result.append(QStringLiteral("XDG_CURRENT_DESKTOP=X-Generic"));
    return result;
}

void CMailHandOff::AskPortal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        RunXdgEmail();
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kEmailInterface << QStringLiteral("version");
    // Starting a portal that is only activatable takes a moment; the hold runs meanwhile, so the windows
    // are let go in time even when it takes long.
    constexpr int kPortalStartMilliseconds = 10000;
    m_hold.start();
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(get, kPortalStartMilliseconds), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &CMailHandOff::OnPortalVersion);
}

void CMailHandOff::OnPortalVersion(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    const QDBusPendingReply<QDBusVariant> reply = *call;
    const uint version = reply.isError() ? 0 : reply.value().variant().toUInt();
    if (version >= kPortalVersionWithAddresses)
        ComposeThroughPortal();
    else
        RunXdgEmail();
}

void CMailHandOff::ComposeThroughPortal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    static int requests = 0;
    const QString token = QStringLiteral("nimo_mail_%1").arg(++requests);
    // Subscribed before the call: the response may come before the call's reply.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    WatchRequest(QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token));

    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    const QStringList addresses = PortalAddresses(m_message.recipients).value_or(m_message.recipients);
    if (!addresses.isEmpty())
        options.insert(QStringLiteral("addresses"), addresses);
    if (!m_message.subject.isEmpty())
        options.insert(QStringLiteral("subject"), m_message.subject);
    if (!m_message.body.isEmpty())
        options.insert(QStringLiteral("body"), m_message.body);
    // The files go as descriptors opened for reading, as the portal wants them.
    QList<QDBusUnixFileDescriptor> files;
    for (const QString& path : m_message.attachments) {
        const int fd = ::open(NativeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            Finish(kMailFailed);
            return;
        }
        files.append(QDBusUnixFileDescriptor(fd)); // holds its own duplicate
        ::close(fd);
    }
    if (!files.isEmpty()) {
        qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>();
        options.insert(QStringLiteral("attachment_fds"), QVariant::fromValue(files));
    }

    QDBusMessage compose = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kEmailInterface,
                                                          QStringLiteral("ComposeEmail"));
    compose << QString() << options;
    m_hold.start();
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(compose), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &CMailHandOff::OnComposeReply);
}

void CMailHandOff::OnComposeReply(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError()) {
        Finish(kMailFailed);
        return;
    }
    // Portals older than the handle_token convention choose the path themselves.
    if (reply.value().path() != m_requestPath)
        WatchRequest(reply.value().path());
}

void CMailHandOff::WatchRequest(const QString& path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Qt connects D-Bus signals by signature only.
    if (!m_requestPath.isEmpty())
        bus.disconnect(kPortalService, m_requestPath, kRequestInterface, QStringLiteral("Response"), this,
                       SLOT(OnPortalResponse(uint, QVariantMap)));
    m_requestPath = path;
    bus.connect(kPortalService, path, kRequestInterface, QStringLiteral("Response"), this,
                SLOT(OnPortalResponse(uint, QVariantMap)));
}

void CMailHandOff::OnPortalResponse(uint response, const QVariantMap& /*results*/)
{
    constexpr uint kResponseSuccess = 0;
    constexpr uint kResponseCancelled = 1;
    Finish(response == kResponseSuccess     ? kMailSent
           : response == kResponseCancelled ? kMailCancelled
                                            : kMailFailed);
}

void CMailHandOff::RunXdgEmail()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty()) {
        Finish(kMailFailed);
        return;
    }
    m_process = new QProcess(this);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->setEnvironment(XdgEmailEnvironment(QProcess::systemEnvironment(), MailClientProgram()));
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus exit) {
        // Its own statuses are 1 to 5; anything else is a failure all the same.
        const bool known = exit == QProcess::NormalExit && code >= 0 && code <= 5;
        Finish(known ? code : kMailFailed);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Finish(kMailFailed);
    });
    m_process->start(program, CXdgDesktopServices::MailArguments(m_message));
    m_hold.start();
}

void CMailHandOff::HandOver()
{
    if (m_handedOver)
        return;
    m_handedOver = true;
    m_hold.stop();
    if (m_report.handedOver)
        m_report.handedOver();
}

void CMailHandOff::Finish(int status)
{
    if (m_finished)
        return;
    HandOver();
    m_finished = true;
    if (m_report.finished)
        m_report.finished(status);
    deleteLater();
}
