#pragma once

#include <QString>

// The two places a program can be started from at log-on: the user's own and the machine-wide one.
enum class ERegistryHive
{
    CurrentUser,  // $XDG_CONFIG_HOME/autostart
    LocalMachine, // autostart under the first absolute folder of $XDG_CONFIG_DIRS
};

// The log-on start key: its values are desktop entry files in an XDG autostart folder.
inline constexpr char kRunSubkey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\";

// One operation on the log-on start store of one scope. A value named N is the desktop entry N.desktop;
// its text is the program path that the entry starts.
class CRegistryKey final
{
public:
    explicit CRegistryKey(ERegistryHive root) : m_root(root) {}

    // Only the local machine exists here: a machine name makes it fail and keeps the root.
    bool Connect(const char* machineName, ERegistryHive hive);
    bool SetString(const QString& subkey, const QString& valueName, const QString& text);
    bool DeleteValue(const QString& subkey, const QString& valueName);

    ERegistryHive Root() const { return m_root; }

    static QString AutostartFolder(ERegistryHive hive);
    // The desktop entry that starts programPath, with the Exec line quoted by the Desktop Entry rules.
    static QByteArray DesktopEntry(const QString& name, const QString& programPath);

private:
    // Empty when the subkey is not the log-on start key or the value name could leave the folder.
    QString EntryPath(const QString& subkey, const QString& valueName) const;

    ERegistryHive m_root;
};
