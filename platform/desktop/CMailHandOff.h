#pragma once

#include "platform/desktop/IDesktopServices.h"

#include <optional>

#include <QObject>
#include <QTimer>
#include <QVariantMap>

class QDBusPendingCallWatcher;
class QProcess;

// One mail on its way to the mail client: through the desktop portal's Email interface when a portal
// answers on the session bus, else through xdg-email. It lives until the outcome is told (or the
// application ends) and then deletes itself; nothing waits for it, and a program that ends meanwhile
// leaves xdg-email running, so the mail still reaches the client.
class CMailHandOff final : public QObject
{
    Q_OBJECT

public:
    // How long the caller is held at most after the mail went to xdg-email or the portal: xdg-email runs
    // a mail client that was not running in its foreground until the user quits it.
    static constexpr int kHoldMilliseconds = 3000;

    // Starts the hand-off; report's calls come later, from the event loop.
    static void Start(const SMailMessage& message, SMailHandOff report, bool tryPortal);

    // Whether a desktop portal is on the session bus, running or ready to be started.
    static bool IsPortalOnBus();
    // The bare addresses the portal takes for recipients ("Bob <bob@example.com>" gives
    // "bob@example.com"); nothing when one of them is no address the portal takes.
    static std::optional<QStringList> PortalAddresses(const QStringList& recipients);
    // The program of the default mailto handler; empty when there is none.
    static QString MailClientProgram();
    // Whether the mail client is Thunderbird, which takes no attachment from a mailto: address (the form
    // xdg-email hands it on KDE and XFCE).
    static bool IsThunderbird(const QString& mailClient);
    // Whether the mail client is known to lose the attachment the portal hands it.
    static bool LosesPortalAttachment(const QString& mailClient);
    // The environment xdg-email runs in: its generic mode where the default mail client is Thunderbird,
    // the one mode that gives Thunderbird the attachment on every desktop.
    static QStringList XdgEmailEnvironment(const QStringList& environment, const QString& mailClient);

private slots:
    void OnPortalResponse(uint response, const QVariantMap& results);

private:
    CMailHandOff(const SMailMessage& message, SMailHandOff report);
    ~CMailHandOff() override;

    void AskPortal();
    void OnPortalVersion(QDBusPendingCallWatcher* call);
    void ComposeThroughPortal();
    void OnComposeReply(QDBusPendingCallWatcher* call);
    void WatchRequest(const QString& path);
    void RunXdgEmail();
    void HandOver();
    void Finish(int status);

    SMailMessage m_message;
    SMailHandOff m_report;
    QTimer m_hold;
    QProcess* m_process = nullptr;
    QString m_requestPath;
    bool m_handedOver = false;
    bool m_finished = false;
};
