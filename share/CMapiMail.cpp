#include "share/CMapiMail.h"

#include "platform/desktop/IDesktopServices.h"
#include "platform/ui/OwnedWindows.h"
#include "platform/ui/StringResource.h"
#include "resources/ResourceIds.h"

#include <new>

#include <QApplication>
#include <QMessageBox>

namespace {

// -1 not yet asked, then 0 or 1 for the rest of the process.
int g_hasMailSystem = -1;

// The program's windows, disabled while the mail client has the mail and enabled again afterwards, the
// active one activated again. Only windows that were enabled are touched.
class CDisabledWindows final
{
public:
    CDisabledWindows() : m_active(QApplication::activeWindow())
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->isEnabled()) {
                window->setEnabled(false);
                m_disabled.append(window);
            }
        }
    }
    ~CDisabledWindows()
    {
        for (const QPointer<QWidget>& window : m_disabled) {
            if (window)
                window->setEnabled(true);
        }
        // The send-mail dialog has just closed when the hand-off starts: no window is active then, and
        // the keyboard goes back to the lamp, which a disabled window could not take meanwhile.
        QWidget* active = m_active ? m_active.data() : DialogOwner();
        if (active && active->isVisible()) {
            active->activateWindow();
            if (!active->focusWidget() && active->focusPolicy() != Qt::NoFocus)
                active->setFocus(Qt::ActiveWindowFocusReason);
        }
    }
    CDisabledWindows(const CDisabledWindows&) = delete;
    CDisabledWindows& operator=(const CDisabledWindows&) = delete;

private:
    QPointer<QWidget> m_active;
    QList<QPointer<QWidget>> m_disabled;
};

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
    // The mail client asks for its own logon when it needs one; xdg-email has no flag for it.
    (void)(flags | Mapi::kLogonUi);

    unsigned long result = Mapi::kFailure;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const CDisabledWindows disabled;
        result = ResultOfExitStatus(IDesktopServices::Current().SendMail(MailOf(message)));
        QApplication::restoreOverrideCursor();
    }

    for (SMapiRecipDesc& recipient : message.lpRecips)
        recipient.lpszName.clear();
    for (SMapiFileDesc& file : message.lpFiles) {
        file.lpszPathName.clear();
        file.lpszFileName.clear();
    }

    if (result == Mapi::kSuccess || result == Mapi::kUserAbort || result == Mapi::kLoginFailure)
        return true;
    ShowMessage(kIdsSendMailFailed);
    return false;
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
    // xdg-email knows no cancelling and no logon: anything but success is a failure.
    return exitStatus == 0 ? Mapi::kSuccess : Mapi::kFailure;
}

void CMapiMail::ShowMessage(int stringId) const
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    LoadStringResource(nullptr, stringId), QMessageBox::Ok, m_owner);
    KeepAboveOwner(box);
    box.exec();
}
