#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

// The full path of the running program file as it was at the first call (start-up), empty when the
// system cannot tell it: the file system's bytes, which need not be text in any encoding.
QByteArray GetProgramPathBytes();

// The same as text for display and for callers that open it through Qt (decoded as Qt decodes file
// names); where the bytes are not valid in the locale's encoding some characters are replaced, so it may
// name no file. Anything written down for other programs to use takes ProgramPathAsUtf8.
QString GetProgramPath();

// The path as text when the bytes are UTF-8 (desktop entries hold UTF-8 text only): nothing when it
// cannot be written without changing it.
std::optional<QString> ProgramPathAsUtf8(const QByteArray& path = GetProgramPathBytes());

// The program file's name without folder and extension ("nimo"); it names the settings file and the
// autostart entry.
QString GetApplicationName();
