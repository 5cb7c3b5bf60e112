#pragma once

#include <vector>

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

struct SMailMessage;

// Simple MAPI's values, as the mail sender's record and rules use them.
namespace Mapi {
inline constexpr unsigned long kOrig = 0; // MAPI_ORIG
inline constexpr unsigned long kTo = 1;   // MAPI_TO
inline constexpr unsigned long kLogonUi = 0x1; // MAPI_LOGON_UI
inline constexpr unsigned long kSuccess = 0;      // SUCCESS_SUCCESS
inline constexpr unsigned long kUserAbort = 1;    // MAPI_USER_ABORT
inline constexpr unsigned long kFailure = 2;      // MAPI_E_FAILURE
inline constexpr unsigned long kLoginFailure = 3; // MAPI_E_LOGIN_FAILURE
} // namespace Mapi

struct SMapiRecipDesc
{
    unsigned long ulRecipClass = Mapi::kOrig;
    QString lpszName;
    QString lpszAddress; // never set: the mail client resolves names
};

struct SMapiFileDesc
{
    unsigned long flFlags = 0;
    long nPosition = 0;
    QString lpszPathName;
    QString lpszFileName; // the name the recipient sees; empty: the file's own
};

// The message record; the counts of the original are the sizes of the two arrays.
struct SMapiMessage
{
    QString lpszSubject;
    QString lpszNoteText;
    const SMapiRecipDesc* lpOriginator = nullptr;
    std::vector<SMapiRecipDesc> lpRecips;
    std::vector<SMapiFileDesc> lpFiles;
};

// One mail composed in memory and handed once to the user's mail client. Until the mail client has it,
// the program's windows are disabled under the wait cursor; the lamp keeps playing, and nothing waits
// for the hand-off: a failure is told when it comes, also after the mail sender is gone.
class CMapiMail final
{
public:
    enum EStatus : int
    {
        kStatusOk = 0,
        kStatusNoLibrary = 1,    // the mail program is missing
        kStatusNoSendMail = 2,   // the mail program cannot be used
        kStatusNoRecipient = 3,  // no memory for one more recipient
        kStatusNoAttachment = 5, // no memory for one more attachment
    };

    // Looks for the desktop's mail program; tells the user when it is missing. owner: the window the
    // messages stand above (the lamp); may be null.
    explicit CMapiMail(QWidget* owner = nullptr);
    ~CMapiMail();

    CMapiMail(const CMapiMail&) = delete;
    CMapiMail& operator=(const CMapiMail&) = delete;

    // The status, set back to 0.
    int TakeStatus();
    // Whether a mail client is configured; asked once per process, the answer kept.
    static bool HasMailSystem();
    // Forgets the kept answer, so that a test can ask again.
    static void ForgetMailSystem();

    bool AddRecipient(const QString& name);
    bool AddAttachment(const QString& path, const QString& displayName = QString());
    // Starts handing the message over and returns; the logon flag is always added. False only for a
    // second Send. A failure of the hand-off is told to the user when it comes; a cancel is not.
    bool Send(unsigned long flags);
    // Whether a hand-off still holds the program's windows (one mail at a time).
    static bool IsHandingOver();

    // What the mail program is given for a message: subject, text, attachments and recipients.
    static SMailMessage MailOf(const SMapiMessage& message);
    // The Simple MAPI result of a hand-off's status.
    static unsigned long ResultOfExitStatus(int exitStatus);

    SMapiMessage message;
    SMapiRecipDesc originator;
    QString text;

private:
    void ShowMessage(int stringId) const;

    QPointer<QWidget> m_owner;
    int m_status = kStatusOk;
    bool m_sent = false;
};
