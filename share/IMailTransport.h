#pragma once

#include <QString>
#include <QStringList>

// What the mail sender asks of the desktop's mail program.
struct SMailMessage
{
    QString subject;
    QString body;
    QStringList attachments; // full paths
    QStringList recipients;
};

class IMailTransport
{
public:
    virtual ~IMailTransport() = default;
    // Whether the program that hands mails to the mail client is there at all.
    virtual bool HasMailProgram() = 0;
    // Whether a mail client is configured to take mails.
    virtual bool IsMailConfigured() = 0;
    // Hands the mail over and returns the mail program's exit status (0 success).
    virtual int SendMail(const SMailMessage& order) = 0;
};
