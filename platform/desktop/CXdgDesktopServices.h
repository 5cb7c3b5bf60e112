#pragma once

#include "platform/desktop/IDesktopServices.h"

// The desktop services of an XDG desktop: pages through the default http handler or xdg-open, mail
// through the desktop portal or xdg-email, log-on start entries in the XDG autostart folders.
class CXdgDesktopServices final : public IDesktopServices
{
public:
    int OpenAddress(const QString& address, int showCommand) override;
    bool HasMailProgram() override;
    bool IsMailConfigured() override;
    void SendMail(const SMailMessage& message, SMailHandOff report) override;
    bool WriteAutostart(const QString& name, const QString& programPath) override;
    bool RemoveAutostart(const QString& name, bool machineWide) override;

    // The xdg-email arguments for message: options, one argument per attachment, then the recipients.
    static QStringList MailArguments(const SMailMessage& message);
};
