#pragma once

#include <optional>

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

// The desktop entry of an application: the fields that matter for starting it.
struct SDesktopEntry
{
    QString path;
    QString name;
    QString icon;
    QString exec;
};

// Opens web pages the way the desktop does: by the default handler of http addresses (the Exec line of
// its desktop entry), else by xdg-open. Programs are started without a shell, the address always as one
// argument of its own, so no character of an address is ever interpreted.
class CWebPageOpener final
{
public:
    // The desktop file id of the default http handler, as "xdg-mime query default" answers; empty if none.
    static QString DefaultHttpHandler();
    // The installed, not hidden entry of a desktop file id from the data folders; nothing if there is none.
    static std::optional<SDesktopEntry> FindDesktopEntry(const QString& desktopId);

    // Splits an Exec value by the Desktop Entry quoting rules; nothing when it is malformed.
    static std::optional<QStringList> SplitExec(const QString& exec);
    // The argument list that opens address: the Exec arguments up to the first URL or file field code,
    // then the address. Without a field code the address goes at the end. Nothing when Exec is malformed.
    static std::optional<QStringList> BuildCommand(const SDesktopEntry& entry, const QString& address);

    // Starts argv[0] (searched on PATH when it has no slash) with the other arguments, detached.
    static int Run(const QStringList& argv);
    // The handler's command, else xdg-open. showCommand is the caller's wish for the window; desktop
    // browsers choose their window state themselves.
    static int OpenAddress(const QString& address, int showCommand);
};
