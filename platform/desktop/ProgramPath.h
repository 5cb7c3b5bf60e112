#pragma once

#include <QString>

// The full path of the running program file as it was at the first call (start-up), empty when the
// system cannot tell it.
QString GetProgramPath();

// The program file's name without folder and extension ("nimo"); it names the settings file and the
// autostart entry.
QString GetApplicationName();
