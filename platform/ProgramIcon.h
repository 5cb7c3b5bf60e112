#pragma once

#include <QIcon>

// The program's icon: icon resource 128 (a .ico file), or the installed theme icon "nimo" when the
// resource is missing or cannot be read.
QIcon LoadProgramIcon();
