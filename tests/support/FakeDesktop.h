#pragma once

#include "ScopedXdgHome.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

// A throw-away desktop for opening pages: fresh XDG folders, a PATH holding only fake programs, and
// helpers that write desktop entries, mimeapps.list files and browsers that record their arguments.
class FakeDesktop final
{
public:
    FakeDesktop() : m_path("PATH", nullptr), m_desktop("XDG_CURRENT_DESKTOP", nullptr)
    {
        QDir().mkpath(Bin());
        QDir().mkpath(Applications());
        QDir().mkpath(m_home.ConfigHome());
        setenv("PATH", Bin().toLocal8Bit().constData(), 1);
    }

    QString Root() const { return m_home.Root(); }
    QString Bin() const { return Root() + "/bin"; }
    QString Applications() const { return Root() + "/data/applications"; }
    QString ConfigHome() const { return m_home.ConfigHome(); }

    // A program that writes its arguments, each ended by a NUL byte, to <name>.args and exits.
    QString AddRecorder(const QString& name, bool executable = true) const
    {
        const QString path = Bin() + "/" + name;
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(
            "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.args.tmp\"\n/bin/mv \"$0.args.tmp\" \"$0.args\"\n");
        file.close();
        file.setPermissions(executable
                                ? QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                : QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return path;
    }

    void AddEntry(const QString& id, const QString& exec, const QString& extra = QString()) const
    {
        WriteFile(Applications() + "/" + id,
                  "[Desktop Entry]\nType=Application\nName=Fake Browser\n" + extra + "Exec=" + exec + "\n");
    }

    void SetDefault(const QString& folder, const QString& ids,
                    const QString& fileName = "mimeapps.list") const
    {
        QDir().mkpath(folder);
        WriteFile(folder + "/" + fileName, "[Default Applications]\nx-scheme-handler/http=" + ids + "\n");
    }

    // The arguments the recorder received, waiting up to a deadline for it to run; nothing if it never ran.
    static std::optional<QStringList> WaitForArguments(const QString& program, int milliseconds = 5000)
    {
        const QString file = program + ".args";
        QDeadlineTimer deadline(milliseconds);
        while (!QFileInfo::exists(file)) {
            if (deadline.hasExpired())
                return std::nullopt;
            QThread::msleep(10);
        }
        QFile in(file);
        in.open(QIODevice::ReadOnly);
        QStringList arguments;
        const QList<QByteArray> parts = in.readAll().split('\0');
        for (qsizetype i = 0; i + 1 < parts.size(); ++i)
            arguments.append(QString::fromUtf8(parts[i]));
        return arguments;
    }

    // Writes a file, making its folder first.
    static void WriteFile(const QString& path, const QString& text)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(text.toUtf8());
    }

private:
    ScopedXdgHome m_home;
    ScopedEnv m_path;
    ScopedEnv m_desktop;
};
