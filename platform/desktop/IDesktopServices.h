#pragma once

#include <functional>

#include <QString>
#include <QStringList>

// Result codes of opening a page; a result above 32 is success.
enum : int
{
    kOpenOutOfMemory = 0,
    kOpenFileNotFound = 2,
    kOpenAccessDenied = 5,
    kOpenNotEnoughMemory = 8,
    kOpenNoAssociation = 31,
    kOpenSucceeded = 33,
};

// The outcome of a mail hand-off: 0 success, xdg-email's exit statuses 1 to 5 (failures), or one of these.
enum : int
{
    kMailSent = 0,
    kMailFailed = 1,
    kMailCancelled = 100, // the user cancelled in the desktop's own window
    kMailNameLost = 101,  // an attachment's file name cannot be handed over as it is
};

// A mail handed to the desktop's mail program, which shows it for the user to send.
struct SMailMessage
{
    QString subject;
    QString body;
    QStringList attachments; // file paths
    QStringList recipients;  // addresses
};

// What a hand-off tells its caller, on the UI thread, never from inside SendMail: handedOver once the mail
// client has the mail (or the hand-off ended otherwise), then finished once with the outcome, which may
// come long after (xdg-email may run the mail client in its foreground).
struct SMailHandOff
{
    std::function<void()> handedOver;
    std::function<void(int status)> finished;
};

// What the lamp and the sharing code ask of the desktop. The program uses the XDG implementation
// (CXdgDesktopServices); tests put a recording fake in its place.
class IDesktopServices
{
public:
    virtual ~IDesktopServices() = default;

    // Opens a web address; a result above 32 is success, else one of the kOpen... codes.
    virtual int OpenAddress(const QString& address, int showCommand) = 0;
    // Whether something that hands mails to the mail client (the desktop portal, xdg-email) is there.
    virtual bool HasMailProgram() = 0;
    // Whether a mail client is there to take a mail.
    virtual bool IsMailConfigured() = 0;
    // Starts handing message to the mail client and returns; report says how it goes.
    virtual void SendMail(const SMailMessage& message, SMailHandOff report) = 0;
    // Writes (or replaces) the user's log-on start entry name that starts programPath; false on failure.
    virtual bool WriteAutostart(const QString& name, const QString& programPath) = 0;
    // Removes the log-on start entry name of the user (machineWide: of the machine); false on failure.
    virtual bool RemoveAutostart(const QString& name, bool machineWide = false) = 0;

    // The services the program uses: the XDG implementation unless a test installed another.
    static IDesktopServices& Current();
    // Installs services (null: the XDG implementation again); returns the ones installed before.
    static IDesktopServices* Install(IDesktopServices* services);
};
