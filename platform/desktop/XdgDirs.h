#pragma once

#include <QString>
#include <QStringList>

// The XDG base-directory rules, worked out from the environment on every call. Only absolute paths
// count: a relative or empty variable gives the default, and a relative entry of a list is skipped
// (the list falls back to its default only when no entry is left).
namespace Xdg {

QString Home();             // $HOME, else the account's home folder
QString ConfigHome();       // $XDG_CONFIG_HOME, else ~/.config
QStringList ConfigDirs();   // $XDG_CONFIG_DIRS, else /etc/xdg
QString DataHome();         // $XDG_DATA_HOME, else ~/.local/share
QStringList DataDirs();     // $XDG_DATA_DIRS, else /usr/local/share:/usr/share
// applications under the data home, then under each data folder: where desktop entries are installed.
QStringList ApplicationDirs();
// The user's log-on start folder, and the machine-wide one (under the first config folder).
QString UserAutostartDir();
QString MachineAutostartDir();

} // namespace Xdg
