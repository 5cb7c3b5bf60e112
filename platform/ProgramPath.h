#pragma once

#include <QString>

// The full path of the running program file, empty when the system cannot tell it.
QString GetProgramPath();

// The program file's name without folder and extension ("nimo"); it names the settings file and the
// autostart entry.
QString GetApplicationName();
