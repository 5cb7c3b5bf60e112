#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QString>

class QSocketNotifier;

// One program per user session: the first start listens on a local socket named by the display; a later
// start in the same session asks it to show its lamp and ends. A socket left by a crashed run (nobody
// answers) is removed and taken over. Plain POSIX sockets: Qt's network module would cost the running
// lamp more than a megabyte of libraries for one line of text.
class CSingleInstance final : public QObject
{
public:
    enum class EStart
    {
        First,     // this program listens now; later starts reach onRaise
        Forwarded, // another program answered and was asked to show its lamp
        Alone,     // could not listen: runs all the same, unreachable for later starts
    };

    static constexpr char kRaiseRequest[] = "raise\n";
    static constexpr char kReply[] = "ok\n";

    // runtimeDir: $XDG_RUNTIME_DIR; when empty, the temporary folder with the user id in the name.
    // display: $DISPLAY (":1" and ":1.0" are one session), else $WAYLAND_DISPLAY.
    static QString SocketPath(const QString& display, const QString& runtimeDir, const QString& tempDir,
                              unsigned uid);
    // The same from this process' environment.
    static QString SessionSocketPath();

    explicit CSingleInstance(QString path, QObject* parent = nullptr);
    ~CSingleInstance() override;

    EStart Start(std::function<void()> onRaise);
    // Sends the raise request; true when a program listens and took it.
    static bool AskRunning(const QString& path, int timeoutMs);

private:
    class CClient;

    bool Listen();
    void OnNewConnection();
    void Serve(CClient* client);
    void Drop(CClient* client);

    QString m_path;
    int m_listener = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::vector<std::unique_ptr<CClient>> m_clients;
    std::function<void()> m_onRaise;
};
