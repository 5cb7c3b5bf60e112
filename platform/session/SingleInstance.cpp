#include "platform/session/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kAskTimeoutMs = 1500;
constexpr std::size_t kMaxRequest = 64;
// A client that connects and says nothing is dropped after this long.
constexpr int kClientTimeoutMs = 2000;

// ":1.0" and ":1" name one display; the screen number after the dot is dropped.
QString DisplayKey(const QString& display)
{
    QString key = display;
    const qsizetype colon = key.lastIndexOf(QLatin1Char(':'));
    const qsizetype dot = key.lastIndexOf(QLatin1Char('.'));
    if (colon >= 0 && dot > colon + 1 && dot + 1 < key.size()) {
        bool digits = true;
        for (qsizetype i = colon + 1; i < key.size(); ++i)
            digits = digits && (i == dot || (key[i] >= QLatin1Char('0') && key[i] <= QLatin1Char('9')));
        if (digits)
            key.truncate(dot);
    }
    if (key.isEmpty())
        key = QStringLiteral("none");
    for (QChar& c : key)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('.'))
            c = QLatin1Char('_');
    return key;
}

bool MakeAddress(const QString& path, sockaddr_un& address)
{
    const QByteArray name = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || std::size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    return true;
}

// Whether the program at the other end runs as this user: a socket file anyone could have made says
// nothing, the kernel's record of the peer does.
bool PeerIsThisUser(int fd)
{
    ucred peer = {};
    socklen_t length = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof peer &&
           peer.uid == ::geteuid();
}

// Waits until fd is ready for events or the time is up.
bool WaitFor(int fd, short events, QDeadlineTimer deadline)
{
    pollfd p = {fd, events, 0};
    for (;;) {
        const int left = int(std::max<qint64>(0, deadline.remainingTime()));
        const int n = ::poll(&p, 1, left);
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

class CFd final
{
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

} // namespace

// One connection to the listener: what it has sent so far, until a whole line or too much.
class CSingleInstance::CClient final
{
public:
    explicit CClient(int fd) : m_fd(fd) {}
    CFd m_fd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timeout;
    QByteArray m_received;
};

QString CSingleInstance::SocketPath(const QString& display, const QString& runtimeDir, const QString& tempDir,
                                    unsigned uid)
{
    const QString name = QStringLiteral("nimo-") + DisplayKey(display);
    // Only an absolute runtime folder counts, as the base-directory rules say.
    if (!runtimeDir.isEmpty() && QDir::isAbsolutePath(runtimeDir))
        return QDir(runtimeDir).filePath(name);
    // A name in the shared folder itself could be taken by anyone first; a folder of our own cannot.
    return QDir(tempDir).filePath(QStringLiteral("nimo-%1/").arg(uid) + name);
}

QString CSingleInstance::SessionSocketPath()
{
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("WAYLAND_DISPLAY");
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    // su and sudo may keep another user's runtime folder in the environment.
    if (!runtime.isEmpty() && !IsPrivateFolder(runtime))
        runtime.clear();
    return SocketPath(display, runtime, QDir::tempPath(), ::geteuid());
}

bool CSingleInstance::IsPrivateFolder(const QString& folder)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

CSingleInstance::CSingleInstance(QString path, QObject* parent) : QObject(parent), m_path(std::move(path)) {}

CSingleInstance::~CSingleInstance()
{
    m_clients.clear();
    delete m_notifier;
    if (m_listener >= 0)
        ::close(m_listener);
}

bool CSingleInstance::AskRunning(const QString& path, int timeoutMs)
{
    sockaddr_un address;
    if (!MakeAddress(path, address))
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    CFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0)
        return false;
    while (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // A listener whose queue is full is busy, not gone: try again for a while.
        if ((errno != EAGAIN && errno != EINTR) || deadline.hasExpired())
            return false;
        ::poll(nullptr, 0, 20);
    }
    if (!PeerIsThisUser(fd.Get()))
        return false;
    std::size_t sent = 0;
    const std::size_t total = sizeof kRaiseRequest - 1;
    while (sent < total) {
        const ssize_t n = ::send(fd.Get(), kRaiseRequest + sent, total - sent, MSG_NOSIGNAL);
        if (n > 0)
            sent += std::size_t(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        else if (!WaitFor(fd.Get(), POLLOUT, deadline))
            return false;
    }
    // Only the answer shows a lamp that will come up: a listener that hangs up or stays silent is none.
    QByteArray reply;
    while (!reply.contains('\n') && reply.size() < qsizetype(sizeof kReply) &&
           WaitFor(fd.Get(), POLLIN, deadline)) {
        char buffer[sizeof kReply];
        const ssize_t n = ::recv(fd.Get(), buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            break;
        if (n > 0)
            reply.append(buffer, n);
    }
    return reply == kReply;
}

CSingleInstance::EStart CSingleInstance::Start(std::function<void()> onRaise)
{
    m_onRaise = std::move(onRaise);
    // The folder may not exist yet (the one of our own in the temporary folder); then it is made private.
    // One that exists and is not (a link, someone else's, open to others) may hold anybody's socket.
    const QByteArray folder = QFile::encodeName(QFileInfo(m_path).path());
    if ((::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) ||
        !IsPrivateFolder(QFile::decodeName(folder))) {
        qWarning("nimo: %s is not a folder of this user's alone; later starts will not find this one",
                 folder.constData());
        return EStart::Alone;
    }
    // Two programs started at once would both find no listener; the lock makes them take turns.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    // Without the lock (a stuck holder) the program goes on: two lamps are better than none.
    lock.tryLock(3000);
    if (AskRunning(m_path, kAskTimeoutMs))
        return EStart::Forwarded;
    return Listen() ? EStart::First : EStart::Alone;
}

bool CSingleInstance::Listen()
{
    sockaddr_un address;
    if (!MakeAddress(m_path, address))
        return false;
    CFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0)
        return false;
    // Nobody answered: what lies there is left by a crashed run.
    ::unlink(address.sun_path);
    // Only this user may connect, from the moment the socket exists.
    const mode_t before = ::umask(0077);
    const bool bound = ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(before);
    if (!bound || ::listen(fd.Get(), 8) != 0)
        return false;
    m_listener = fd.Release();
    m_notifier = new QSocketNotifier(m_listener, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &CSingleInstance::OnNewConnection);
    return true;
}

void CSingleInstance::OnNewConnection()
{
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        if (!PeerIsThisUser(fd)) {
            ::close(fd);
            continue;
        }
        if (m_clients.size() >= kMaxClients)
            Drop(m_clients.front().get());
        auto client = std::make_unique<CClient>(fd);
        CClient* raw = client.get();
        client->m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(client->m_notifier.get(), &QSocketNotifier::activated, this, [this, raw] { Serve(raw); });
        client->m_timeout.setSingleShot(true);
        connect(&client->m_timeout, &QTimer::timeout, this, [this, raw] { Drop(raw); });
        client->m_timeout.start(kClientTimeoutMs);
        m_clients.push_back(std::move(client));
    }
}

void CSingleInstance::Serve(CClient* client)
{
    char buffer[kMaxRequest + 1];
    const ssize_t n = ::recv(client->m_fd.Get(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n > 0)
        client->m_received.append(buffer, n);
    const qsizetype end = client->m_received.indexOf('\n');
    if (end < 0) {
        // Closed before a whole line, or more than any request of ours.
        if (n <= 0 || std::size_t(client->m_received.size()) > kMaxRequest)
            Drop(client);
        return;
    }
    if (client->m_received.left(end + 1) == kRaiseRequest) {
        ::send(client->m_fd.Get(), kReply, sizeof kReply - 1, MSG_NOSIGNAL);
        Drop(client);
        if (m_onRaise)
            m_onRaise();
        return;
    }
    Drop(client);
}

void CSingleInstance::Drop(CClient* client)
{
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [client](const std::unique_ptr<CClient>& c) { return c.get() == client; });
    if (it == m_clients.end())
        return;
    client->m_notifier->setEnabled(false);
    // Its notifier may be the one calling us: let the loop unwind before it goes.
    std::unique_ptr<CClient> gone = std::move(*it);
    m_clients.erase(it);
    QTimer::singleShot(0, this, [gone = std::shared_ptr<CClient>(std::move(gone))] {});
}
