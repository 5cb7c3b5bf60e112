#include "share/CMapiMail.h"

#include "platform/desktop/IDesktopServices.h"
#include "platform/ui/OwnedWindows.h"
#include "platform/ui/StringResource.h"
#include "resources/ResourceIds.h"

#include <memory>
#include <new>

#include <QApplication>
#include <QMessageBox>

namespace {

// -1 not yet asked, then 0 or 1 for the rest of the process.
int g_hasMailSystem = -1;
// Hand-offs that still hold the program's windows.
int g_holding = 0;

// The program's windows, disabled under the wait cursor while a mail is handed over and enabled again
// once the mail client has it. None is activated again: the focus belongs to the compose window then.
// Only windows that were enabled are touched, and not the tray icon: Exit from the tray works all along.
class CHeldWindows final
{
public:
    CHeldWindows()
    {
        ++g_holding;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->isEnabled() && !window->inherits("QSystemTrayIconSys")) {
                window->setEnabled(false);
                m_disabled.append(window);
            }
        }
    }
    ~CHeldWindows() { Release(); }
    CHeldWindows(const CHeldWindows&) = delete;
    CHeldWindows& operator=(const CHeldWindows&) = delete;

    void Release()
    {
        if (m_released)
            return;
        m_released = true;
        --g_holding;
        // A hand-off still under way when the application object goes takes this along with it.
        if (!QCoreApplication::instance())
            return;
        for (const QPointer<QWidget>& window : m_disabled) {
            if (window)
                window->setEnabled(true);
        }
        QApplication::restoreOverrideCursor();
    }

private:
    QList<QPointer<QWidget>> m_disabled;
    bool m_released = false;
};

// Tells the outcome of a hand-off that may come after the mail sender is gone: non-modal to the event
// loop, so nothing waits on the box (Exit and the session's end included).
void ShowLateMessage(QWidget* owner, int stringId)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QApplication::applicationDisplayName(),
                                LoadStringResource(nullptr, stringId), QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    KeepAboveOwner(*box);
    box->show();
}

} // namespace

CMapiMail::CMapiMail(QWidget* owner) : m_owner(owner)
{
    message.lpOriginator = &originator;
    originator.ulRecipClass = Mapi::kOrig;
    if (!IDesktopServices::Current().HasMailProgram()) {
        ShowMessage(kIdsNoMailSupport);
        m_status = kStatusNoLibrary;
    }
}

CMapiMail::~CMapiMail() = default;

int CMapiMail::TakeStatus()
{
    const int status = m_status;
    m_status = kStatusOk;
    return status;
}

bool CMapiMail::HasMailSystem()
{
    if (g_hasMailSystem == -1) {
        IDesktopServices& desktop = IDesktopServices::Current();
        g_hasMailSystem = desktop.HasMailProgram() && desktop.IsMailConfigured() ? 1 : 0;
    }
    return g_hasMailSystem == 1;
}

void CMapiMail::ForgetMailSystem()
{
    g_hasMailSystem = -1;
}

bool CMapiMail::AddRecipient(const QString& name)
{
    try {
        SMapiRecipDesc recipient;
        recipient.ulRecipClass = Mapi::kTo;
        recipient.lpszName = name;
        message.lpRecips.push_back(std::move(recipient));
    } catch (const std::bad_alloc&) {
        m_status = kStatusNoRecipient;
        return false;
    }
    return true;
}

bool CMapiMail::AddAttachment(const QString& path, const QString& displayName)
{
    try {
        SMapiFileDesc file;
        file.lpszPathName = path;
        file.lpszFileName = displayName;
        message.lpFiles.push_back(std::move(file));
    } catch (const std::bad_alloc&) {
        m_status = kStatusNoAttachment;
        return false;
    }
    return true;
}

bool CMapiMail::Send(unsigned long flags)
{
    // The names and paths are gone after the first Send; a second would hand over an empty shell.
    if (m_sent)
        return false;
    m_sent = true;

    // Each attachment stands at a blank of its own at the end of the text.
    const long length = text.size();
    text.append(QString(static_cast<qsizetype>(message.lpFiles.size()), QLatin1Char(' ')));
    for (std::size_t i = 0; i < message.lpFiles.size(); ++i)
        message.lpFiles[i].nPosition = length + static_cast<long>(i);
    message.lpszNoteText = text;
    // The mail client asks for its own logon when it needs one; neither way has a flag for it.
    (void)(flags | Mapi::kLogonUi);

    // The windows are held only until the mail client has the mail; its outcome is told when it comes,
    // after this object may be gone.
    auto held = std::make_shared<CHeldWindows>();
    SMailHandOff report;
    report.handedOver = [held] { held->Release(); };
    report.finished = [held, owner = m_owner](int status) {
        held->Release();
        const unsigned long result = ResultOfExitStatus(status);
        if (status == kMailNameLost)
            ShowLateMessage(owner, kIdsMailNameLost);
        else if (result != Mapi::kSuccess && result != Mapi::kUserAbort && result != Mapi::kLoginFailure)
            ShowLateMessage(owner, kIdsSendMailFailed);
    };
    IDesktopServices::Current().SendMail(MailOf(message), std::move(report));

    for (SMapiRecipDesc& recipient : message.lpRecips)
        recipient.lpszName.clear();
    for (SMapiFileDesc& file : message.lpFiles) {
        file.lpszPathName.clear();
        file.lpszFileName.clear();
    }
    return true;
}

bool CMapiMail::IsHandingOver()
{
    return g_holding > 0;
}

SMailMessage CMapiMail::MailOf(const SMapiMessage& message)
{
    SMailMessage order;
    order.subject = message.lpszSubject;
    order.body = message.lpszNoteText;
    for (const SMapiFileDesc& file : message.lpFiles)
        order.attachments.append(file.lpszPathName);
    for (const SMapiRecipDesc& recipient : message.lpRecips)
        order.recipients.append(recipient.lpszName);
    return order;
}

unsigned long CMapiMail::ResultOfExitStatus(int exitStatus)
{
    // Only the portal knows cancelling; neither way knows a logon.
    if (exitStatus == kMailSent)
        return Mapi::kSuccess;
    return exitStatus == kMailCancelled ? Mapi::kUserAbort : Mapi::kFailure;
}

void CMapiMail::ShowMessage(int stringId) const
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    LoadStringResource(nullptr, stringId), QMessageBox::Ok, m_owner);
    KeepAboveOwner(box);
    box.exec();
}
