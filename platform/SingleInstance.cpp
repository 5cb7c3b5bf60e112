#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>

#include <unistd.h>

namespace {

constexpr int kAskTimeoutMs = 1500;
constexpr qsizetype kMaxRequest = 64;

// ":1.0" and ":1" name one display; the screen number after the dot is dropped.
QString DisplayKey(const QString& display)
{
    static const QRegularExpression screen(QStringLiteral("^(.*:\\d+)\\.\\d+$"));
    QString key = display;
    const QRegularExpressionMatch match = screen.match(display);
    if (match.hasMatch())
        key = match.captured(1);
    if (key.isEmpty())
        key = QStringLiteral("none");
    for (QChar& c : key)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('.'))
            c = QLatin1Char('_');
    return key;
}

} // namespace

QString CSingleInstance::SocketPath(const QString& display, const QString& runtimeDir, const QString& tempDir,
                                    unsigned uid)
{
    const QString name = QStringLiteral("nimo-") + DisplayKey(display);
    // Only an absolute runtime folder counts, as the base-directory rules say.
    if (!runtimeDir.isEmpty() && QDir::isAbsolutePath(runtimeDir))
        return QDir(runtimeDir).filePath(name);
    return QDir(tempDir).filePath(QStringLiteral("nimo-%1-").arg(uid) + name.mid(5));
}

QString CSingleInstance::SessionSocketPath()
{
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("WAYLAND_DISPLAY");
    return SocketPath(display, qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(), getuid());
}

CSingleInstance::CSingleInstance(QString path, QObject* parent) : QObject(parent), m_path(std::move(path)) {}

CSingleInstance::~CSingleInstance() = default;

bool CSingleInstance::AskRunning(const QString& path, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kRaiseRequest);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // A listener that takes the request but never answers is hung: it still holds the session.
    while (!socket.canReadLine() && socket.waitForReadyRead(timeoutMs)) {
    }
    return true;
}

CSingleInstance::EStart CSingleInstance::Start(std::function<void()> onRaise)
{
    m_onRaise = std::move(onRaise);
    // Two programs started at once would both find no listener; the lock makes them take turns.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    // Without the lock (a stuck holder) the program goes on: two lamps are better than none.
    lock.tryLock(3000);
    if (AskRunning(m_path, kAskTimeoutMs))
        return EStart::Forwarded;
    // Nobody answers: what lies there is left by a crashed run.
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        delete m_server;
        m_server = nullptr;
        return EStart::Alone;
    }
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    return EStart::First;
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequest)
                    socket->abort();
                return;
            }
            const QByteArray line = socket->readLine(kMaxRequest);
            if (line == kRaiseRequest) {
                socket->write(kReply);
                socket->flush();
                if (m_onRaise)
                    m_onRaise();
            }
            socket->disconnectFromServer();
        });
    }
}
