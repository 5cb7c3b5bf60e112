#pragma once

#include <optional>

#include "platform/desktop/DefaultApplications.h"
#include "platform/desktop/IDesktopServices.h"

#include <QString>
#include <QStringList>


// Opens web pages the way the desktop does: by the default handler of http addresses (the Exec line of
// its desktop entry), else by xdg-open. Programs are started without a shell, the address always as one
// argument of its own, so no character of an address is ever interpreted.
class CWebPageOpener final
{
public:
    // The argument list that opens address: the Exec line with its first URL or file field code standing
    // for the address; without a field code the address goes at the end. Nothing when Exec is malformed.
    static std::optional<QStringList> BuildCommand(const SDesktopEntry& entry, const QString& address);

    // Starts argv[0] (searched on PATH when it has no slash) with the other arguments, detached.
    static int Run(const QStringList& argv);
    // The handler's command, else xdg-open. showCommand is the caller's wish for the window; desktop
    // browsers choose their window state themselves.
    static int OpenAddress(const QString& address, int showCommand);
};
