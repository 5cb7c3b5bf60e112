#include "platform/CWebPageOpener.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr char kHttpScheme[] = "x-scheme-handler/http";

QString EnvPath(const char* name)
{
    return qEnvironmentVariable(name);
}

QString Home()
{
    const QString home = EnvPath("HOME");
    return home.isEmpty() ? QDir::homePath() : home;
}

// A base directory variable; relative values are invalid and fall back to the default.
QString BaseDir(const char* name, const QString& fallback)
{
    const QString value = EnvPath(name);
    return value.startsWith(QLatin1Char('/')) ? value : fallback;
}

QStringList BaseDirs(const char* name, const QString& fallback)
{
    QStringList result;
    for (const QString& dir : EnvPath(name).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (dir.startsWith(QLatin1Char('/')))
            result.append(dir);
    }
    return result.isEmpty() ? fallback.split(QLatin1Char(':')) : result;
}

QString ConfigHome()
{
    return BaseDir("XDG_CONFIG_HOME", Home() + QStringLiteral("/.config"));
}

QStringList ConfigDirs()
{
    return BaseDirs("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
}

QString DataHome()
{
    return BaseDir("XDG_DATA_HOME", Home() + QStringLiteral("/.local/share"));
}

QStringList DataDirs()
{
    return BaseDirs("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
}

QStringList ApplicationDirs()
{
    QStringList dirs{DataHome() + QStringLiteral("/applications")};
    for (const QString& dir : DataDirs())
        dirs.append(dir + QStringLiteral("/applications"));
    return dirs;
}

// The string escapes of desktop entry values: \s \n \t \r \\.
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

// The keys of one group of an INI-like file (desktop entries, mimeapps.list), unlocalised keys only.
QHash<QString, QString> ReadGroup(const QString& path, const QString& group)
{
    QHash<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    bool inGroup = false;
    const QList<QByteArray> lines = file.readAll().split('\n');
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
        // The first occurrence wins, as in the desktop's own readers.
        if (!keys.contains(key))
            keys.insert(key, line.mid(equals + 1).trimmed());
    }
    return keys;
}

// The mimeapps.list files in the order the desktop consults them.
QStringList MimeAppsFiles()
{
    QStringList desktops;
    for (const QString& name : EnvPath("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops.append(name.toLower());
    const auto filesIn = [&desktops](const QString& dir) {
        QStringList files;
        for (const QString& desktop : desktops)
            files.append(dir + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list"));
        files.append(dir + QStringLiteral("/mimeapps.list"));
        return files;
    };
    QStringList files = filesIn(ConfigHome());
    for (const QString& dir : ConfigDirs())
        files += filesIn(dir);
    const QStringList applications = ApplicationDirs();
    for (const QString& dir : applications)
        files += filesIn(dir);
    // The older name, still read by xdg-mime.
    for (const QString& dir : applications)
        files.append(dir + QStringLiteral("/defaults.list"));
    return files;
}

// Expands the field codes other than the URL and file ones; %i becomes two arguments or none.
QStringList ExpandArgument(const QString& argument, const SDesktopEntry& entry)
{
    if (argument == QStringLiteral("%i"))
        return entry.icon.isEmpty() ? QStringList() : QStringList{QStringLiteral("--icon"), entry.icon};
    QString result;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const QChar c = argument[i];
        if (c != QLatin1Char('%') || i + 1 == argument.size()) {
            result += c;
            continue;
        }
        const QChar code = argument[++i];
        if (code == QLatin1Char('%'))
            result += QLatin1Char('%');
        else if (code == QLatin1Char('c'))
            result += entry.name;
        else if (code == QLatin1Char('k'))
            result += entry.path;
        // Deprecated and unknown codes expand to nothing.
    }
    return result.isEmpty() && !argument.isEmpty() && argument.startsWith(QLatin1Char('%'))
               ? QStringList()
               : QStringList{result};
}

// The position of the first URL or file field code (%u %U %f %F) in an argument, or -1.
qsizetype UrlFieldCode(const QString& argument)
{
    for (qsizetype i = 0; i + 1 < argument.size(); ++i) {
        if (argument[i] != QLatin1Char('%'))
            continue;
        const QChar code = argument[i + 1];
        if (code == QLatin1Char('u') || code == QLatin1Char('U') || code == QLatin1Char('f') ||
            code == QLatin1Char('F'))
            return i;
        ++i; // skips the second character of %% and of the other codes
    }
    return -1;
}

// A program name without a slash that exists on PATH but may not be run.
bool OnPathButNotExecutable(const QString& program)
{
    for (const QString& dir : EnvPath("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QFileInfo info(dir + QLatin1Char('/') + program);
        if (info.exists())
            return true;
    }
    return false;
}

} // namespace

QString CWebPageOpener::DefaultHttpHandler()
{
    for (const QString& file : MimeAppsFiles()) {
        const QString value = ReadGroup(file, QStringLiteral("Default Applications")).value(kHttpScheme);
        for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = id.trimmed();
            if (FindDesktopEntry(trimmed))
                return trimmed;
        }
    }
    return QString();
}

std::optional<SDesktopEntry> CWebPageOpener::FindDesktopEntry(const QString& desktopId)
{
    if (!desktopId.endsWith(QStringLiteral(".desktop")) || desktopId.contains(QLatin1Char('/')) ||
        desktopId.startsWith(QLatin1Char('.')))
        return std::nullopt;
    // "vendor-app.desktop" may also lie as vendor/app.desktop.
    QStringList relatives{desktopId};
    for (qsizetype dash = desktopId.indexOf(QLatin1Char('-')); dash > 0;
         dash = desktopId.indexOf(QLatin1Char('-'), dash + 1)) {
        QString relative = desktopId;
        relative[dash] = QLatin1Char('/');
        relatives.append(relative);
    }
    for (const QString& dir : ApplicationDirs()) {
        for (const QString& relative : relatives) {
            const QString path = dir + QLatin1Char('/') + relative;
            if (!QFileInfo(path).isFile())
                continue;
            const QHash<QString, QString> keys = ReadGroup(path, QStringLiteral("Desktop Entry"));
            // The first file found decides, even when it hides the application.
            if (keys.value(QStringLiteral("Hidden")) == QStringLiteral("true") ||
                !keys.contains(QStringLiteral("Exec")))
                return std::nullopt;
            SDesktopEntry entry;
            entry.path = path;
            entry.name = UnescapeValue(keys.value(QStringLiteral("Name")));
            entry.icon = UnescapeValue(keys.value(QStringLiteral("Icon")));
            entry.exec = UnescapeValue(keys.value(QStringLiteral("Exec")));
            return entry;
        }
    }
    return std::nullopt;
}

std::optional<QStringList> CWebPageOpener::SplitExec(const QString& exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    qsizetype i = 0;
    const qsizetype n = exec.size();
    while (i < n) {
        const QChar c = exec[i];
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
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
        ++i;
        bool closed = false;
        while (i < n) {
            const QChar q = exec[i++];
            if (q == QLatin1Char('"')) {
                closed = true;
                break;
            }
            if (q == QLatin1Char('\\') && i < n && QStringLiteral("\"`$\\").contains(exec[i])) {
                current += exec[i++];
                continue;
            }
            current += q;
        }
        if (!closed)
            return std::nullopt;
    }
    if (inArgument)
        arguments.append(current);
    if (arguments.isEmpty())
        return std::nullopt;
    return arguments;
}

std::optional<QStringList> CWebPageOpener::BuildCommand(const SDesktopEntry& entry, const QString& address)
{
    const std::optional<QStringList> split = SplitExec(entry.exec);
    if (!split)
        return std::nullopt;
    QStringList command;
    for (const QString& argument : *split) {
        const qsizetype code = UrlFieldCode(argument);
        if (code < 0) {
            command += ExpandArgument(argument, entry);
            continue;
        }
        // The field code and everything after it give way to the address.
        if (code > 0)
            command += ExpandArgument(argument.left(code), entry);
        break;
    }
    if (command.isEmpty())
        return std::nullopt;
    command.append(address);
    return command;
}

int CWebPageOpener::Run(const QStringList& argv)
{
    if (argv.isEmpty() || argv.front().isEmpty())
        return kOpenFileNotFound;
    QString program = argv.front();
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        if (!info.exists())
            return kOpenFileNotFound;
        if (!info.isFile() || !info.isExecutable())
            return kOpenAccessDenied;
    } else {
        const QString found = QStandardPaths::findExecutable(program);
        if (found.isEmpty())
            return OnPathButNotExecutable(program) ? kOpenAccessDenied : kOpenFileNotFound;
        program = found;
    }
    if (!QProcess::startDetached(program, argv.mid(1)))
        return kOpenFileNotFound;
    return kOpenSucceeded;
}

int CWebPageOpener::OpenAddress(const QString& address, int showCommand)
{
    (void)showCommand;
    int handlerResult = -1;
    const QString handler = DefaultHttpHandler();
    if (!handler.isEmpty()) {
        if (const std::optional<SDesktopEntry> entry = FindDesktopEntry(handler)) {
            if (const std::optional<QStringList> command = BuildCommand(*entry, address)) {
                handlerResult = Run(*command);
                if (handlerResult > 32)
                    return handlerResult;
            }
        }
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) {
        // Without the desktop's opener the handler's own failure is the better explanation.
        return handlerResult >= 0 ? handlerResult : kOpenNoAssociation;
    }
    return Run({QStringLiteral("xdg-open"), address});
}
