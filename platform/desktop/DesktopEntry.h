#pragma once

#include <optional>

#include <QHash>
#include <QString>
#include <QStringList>

// Reading and writing desktop entry files (.desktop, mimeapps.list, mimeinfo.cache): string escapes of
// values, the quoting of Exec command lines and their field codes.
namespace DesktopEntry {

// The string escapes of values: \s \n \t \r \\ (an unknown escape stays as written).
QString EscapeValue(const QString& value);
QString UnescapeValue(const QString& value);

// The keys of one group, unlocalised keys only, values as written (not unescaped). The first occurrence
// of a key wins, as in the desktop's own readers. Empty when the file cannot be read.
QHash<QString, QString> ReadGroup(const QString& path, const QString& group);

// One argument of an Exec line: quoted only when it holds a reserved character, % written %%.
QString QuoteArgument(const QString& argument);
// A whole Exec line (before the value escapes) that runs arguments exactly as given.
QString JoinExec(const QStringList& arguments);
// Undoes the quoting of an Exec line; field codes are left for ExpandExec. Nothing when malformed.
std::optional<QStringList> SplitExec(const QString& exec);

// What the field codes of an Exec line stand for.
struct SFieldValues
{
    QStringList urls; // %u takes the first, %U all; %f and %F likewise
    QString name;     // %c
    QString icon;     // %i gives "--icon" and it, or nothing
    QString path;     // %k
};
// The command an Exec line gives: quoting undone, field codes expanded (%u or %f inside a longer argument
// in place; %U and %F only as an argument of their own), deprecated codes dropped. Only the first URL or
// file code receives the URLs; placedUrls tells whether one did. Nothing when the line is malformed or
// names no program.
std::optional<QStringList> ExpandExec(const QString& exec, const SFieldValues& values,
                                      bool* placedUrls = nullptr);

} // namespace DesktopEntry
