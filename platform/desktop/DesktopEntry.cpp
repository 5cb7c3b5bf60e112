#include "platform/desktop/DesktopEntry.h"

#include "platform/desktop/QuotedText.h"
#include "platform/desktop/RegularFile.h"

namespace {

// Inside double quotes of an Exec line a backslash escapes only these; elsewhere it stays.
constexpr SQuoteRules kExecQuotes{"\"\"``$$\\\\", true};

bool IsExecBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool IsUrlCode(QChar code)
{
    return code == QLatin1Char('u') || code == QLatin1Char('U') || code == QLatin1Char('f') ||
           code == QLatin1Char('F');
}

// Expands the field codes of one argument; the URLs go to the first URL or file code only.
QStringList ExpandArgument(const QString& argument, const DesktopEntry::SFieldValues& values, bool& placed)
{
    if (argument == QStringLiteral("%i"))
        return values.icon.isEmpty() ? QStringList() : QStringList{QStringLiteral("--icon"), values.icon};
    if (argument == QStringLiteral("%U") || argument == QStringLiteral("%F")) {
        const bool first = !placed;
        placed = true;
        return first ? values.urls : QStringList();
    }
    QString result;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const QChar c = argument[i];
        if (c != QLatin1Char('%') || i + 1 == argument.size()) {
            result += c;
            continue;
        }
        const QChar code = argument[++i];
        if (code == QLatin1Char('%')) {
            result += QLatin1Char('%');
        } else if (code == QLatin1Char('c')) {
            result += values.name;
        } else if (code == QLatin1Char('k')) {
            result += values.path;
        } else if (IsUrlCode(code)) {
            if (!placed)
                result += values.urls.value(0);
            placed = true;
        }
        // Deprecated and unknown codes expand to nothing.
    }
    // An argument made only of codes that expand to nothing is no argument at all.
    if (result.isEmpty() && argument.startsWith(QLatin1Char('%')))
        return {};
    return {result};
}

} // namespace

namespace DesktopEntry {

QString EscapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString UnescapeValue(const QString& value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            result += c;
            continue;
        }
        const QChar e = value[++i];
        if (e == QLatin1Char('s'))
            result += QLatin1Char(' ');
        else if (e == QLatin1Char('n'))
            result += QLatin1Char('\n');
        else if (e == QLatin1Char('t'))
            result += QLatin1Char('\t');
        else if (e == QLatin1Char('r'))
            result += QLatin1Char('\r');
        else if (e == QLatin1Char('\\'))
            result += QLatin1Char('\\');
        else
            result += QLatin1Char('\\') + e;
    }
    return result;
}

QHash<QString, QString> ReadGroup(const QString& path, const QString& group)
{
    QHash<QString, QString> keys;
    const std::optional<QByteArray> bytes = RegularFile::Read(path);
    if (!bytes)
        return keys;
    bool inGroup = false;
    const QList<QByteArray> lines = bytes->split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!keys.contains(key))
            keys.insert(key, line.mid(equals + 1).trimmed());
    }
    return keys;
}

QString QuoteArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString quoted;
    if (needsQuotes)
        quoted += QLatin1Char('"');
    for (const QChar c : argument) {
        if (needsQuotes && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                            c == QLatin1Char('\\')))
            quoted += QLatin1Char('\\');
        // A lone percent sign would be read as a field code.
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    if (needsQuotes)
        quoted += QLatin1Char('"');
    return quoted;
}

QString JoinExec(const QStringList& arguments)
{
    QStringList quoted;
    for (const QString& argument : arguments)
        quoted.append(QuoteArgument(argument));
    return quoted.join(QLatin1Char(' '));
}

std::optional<QStringList> SplitExec(const QString& exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    qsizetype i = 0;
    while (i < exec.size()) {
        const QChar c = exec[i];
        if (IsExecBlank(c)) {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
            ++i;
            continue;
        }
        inArgument = true;
        if (c != QLatin1Char('"')) {
            current += c;
            ++i;
            continue;
        }
        const std::optional<QString> quoted = ReadQuoted(exec, i, kExecQuotes);
        if (!quoted)
            return std::nullopt;
        current += *quoted;
    }
    if (inArgument)
        arguments.append(current);
    if (arguments.isEmpty())
        return std::nullopt;
    return arguments;
}

std::optional<QStringList> ExpandExec(const QString& exec, const SFieldValues& values, bool* placedUrls)
{
    const std::optional<QStringList> split = SplitExec(exec);
    if (!split)
        return std::nullopt;
    // The program itself may hold no field code: it would be replaced by what the code stands for.
    const QString& program = split->front();
    for (qsizetype i = program.indexOf(QLatin1Char('%')); i >= 0 && i + 1 < program.size();
         i = program.indexOf(QLatin1Char('%'), i + 2)) {
        if (program[i + 1] != QLatin1Char('%'))
            return std::nullopt;
    }
    bool placed = false;
    QStringList command;
    for (const QString& argument : *split)
        command += ExpandArgument(argument, values, placed);
    if (command.isEmpty() || command.front().isEmpty())
        return std::nullopt;
    if (placedUrls)
        *placedUrls = placed;
    return command;
}

} // namespace DesktopEntry
