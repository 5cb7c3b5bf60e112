#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QString>

class QSocketNotifier;

// One program per user session: the first start listens on a local socket named by the display; a later
// start in the same session asks it to show its lamp and ends. Only a program of the same user counts, on
// either end (its credentials from the kernel), and only one that answers: a socket left by a crashed run,
// a hung program or a stranger is removed and taken over. The socket lies in a folder nobody else may
// write to, so no other user can take its name first. Plain POSIX sockets: Qt's network module would cost
// the running lamp more than a megabyte of libraries for one line of text.
class CSingleInstance final : public QObject
{
public:
    enum class EStart
    {
        First,     // this program listens now; later starts reach onRaise
        Forwarded, // another program answered and was asked to show its lamp
        Alone,     // could not listen (or the folder is not private): runs all the same, unreachable
    };

    static constexpr char kRaiseRequest[] = "raise\n";
    static constexpr char kReply[] = "ok\n";
    // Connections served at once; a newcomer beyond it pushes out the oldest, which had its chance.
    static constexpr std::size_t kMaxClients = 8;

    // runtimeDir: $XDG_RUNTIME_DIR; when empty, a folder of the user's own in the temporary folder
    // ("nimo-<uid>"), made by Start.
    // display: $DISPLAY (":1" and ":1.0" are one session), else $WAYLAND_DISPLAY.
    static QString SocketPath(const QString& display, const QString& runtimeDir, const QString& tempDir,
                              unsigned uid);
    // The same from this process' environment; a runtime folder that is not private does not count.
    static QString SessionSocketPath();
    // A folder only this user can enter: not a link, owned by the user, no rights for anyone else.
    static bool IsPrivateFolder(const QString& folder);

    explicit CSingleInstance(QString path, QObject* parent = nullptr);
    ~CSingleInstance() override;

    EStart Start(std::function<void()> onRaise);
    // Sends the raise request; true when a program of this user listens and answered in time.
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
