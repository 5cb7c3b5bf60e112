#pragma once

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

// A mail handed to the desktop's mail program, which shows it for the user to send.
struct SMailMessage
{
    QString subject;
    QString body;
    QStringList attachments; // file paths
    QStringList recipients;  // addresses
};

// What the lamp and the sharing code ask of the desktop. The program uses the XDG implementation
// (CXdgDesktopServices); tests put a recording fake in its place.
class IDesktopServices
{
public:
    virtual ~IDesktopServices() = default;

    // Opens a web address; a result above 32 is success, else one of the kOpen... codes.
    virtual int OpenAddress(const QString& address, int showCommand) = 0;
    // Whether the program that hands mails to the mail client (xdg-email) is there at all.
    virtual bool HasMailProgram() = 0;
    // Whether a mail program is there to take a mail.
    virtual bool IsMailConfigured() = 0;
    // Hands message to the mail program; 0 on success, else the failure's status.
    virtual int SendMail(const SMailMessage& message) = 0;
    // Writes (or replaces) the user's log-on start entry name that starts programPath; false on failure.
    virtual bool WriteAutostart(const QString& name, const QString& programPath) = 0;
    // Removes the log-on start entry name of the user (machineWide: of the machine); false on failure.
    virtual bool RemoveAutostart(const QString& name, bool machineWide = false) = 0;

    // The services the program uses: the XDG implementation unless a test installed another.
    static IDesktopServices& Current();
    // Installs services (null: the XDG implementation again); returns the ones installed before.
    static IDesktopServices* Install(IDesktopServices* services);
};
