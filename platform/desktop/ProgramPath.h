#pragma once

#include <QByteArray>
#include <QString>

// The full path of the running program file as it was at the first call (start-up), empty when the
// system cannot tell it.
QString GetProgramPath();
// The same path as the system's bytes, which the text above may have changed where they are not text.
QByteArray GetProgramPathBytes();

// The program file's name without folder and extension ("nimo"); it names the settings file and the
// autostart entry.
QString GetApplicationName();
