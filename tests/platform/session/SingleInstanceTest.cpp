// One program per session: the socket's name and folder, the raise request between two programs, a stale
// socket left by a crashed run, peers that do not answer or are another user, requests that are not ours.
#include "platform/session/SingleInstance.h"

#include "WidgetTestApp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(SingleInstance, SocketIsNamedByTheDisplayInTheRuntimeFolder)
{
    const struct
    {
        const char* display;
        const char* runtime;
        const char* expected;
    } cases[] = {
        {":0", "/run/user/1000", "/run/user/1000/nimo-_0"},
        {":0.0", "/run/user/1000", "/run/user/1000/nimo-_0"}, // the screen number is one session
        {":12.1", "/run/user/1000", "/run/user/1000/nimo-_12"},
        {"host:3", "/run/user/1000", "/run/user/1000/nimo-host_3"},
        {"wayland-0", "/run/user/1000", "/run/user/1000/nimo-wayland-0"},
        {"../../x", "/run/user/1000", "/run/user/1000/nimo-.._.._x"}, // no folder reached through it
        {"", "/run/user/1000", "/run/user/1000/nimo-none"},
        {":0", "", "/tmp/nimo-1000/nimo-_0"},         // no runtime folder: a folder of the user's own
        {":0", "relative", "/tmp/nimo-1000/nimo-_0"}, // only an absolute one counts
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSingleInstance::SocketPath(c.display, c.runtime, "/tmp", 1000), c.expected)
            << c.display << " in " << c.runtime;
}

sockaddr_un Address(const QString& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    memcpy(address.sun_path, name.constData(), std::min(size_t(name.size()), sizeof address.sun_path - 1));
    return address;
}

// A listener of any kind at path, as another program could leave one: it binds and listens, then does
// what serve says with each connection it accepts (nothing: it never accepts). Run in a child process,
// after dropping to the given user, so that only raw system calls are made.
class CForeignListener final
{
public:
    enum class EServe
    {
        NeverAccept,
        HangUp,
        StaySilent,
        AnswerNo,
        AnswerOk,
    };

    CForeignListener(const QString& path, EServe serve, uid_t user)
    {
        int ready[2];
        if (pipe(ready) != 0)
            return;
        const sockaddr_un address = Address(path);
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            if ((user != getuid() && setuid(user) != 0) || fd < 0 ||
                bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0)
                _exit(1);
            chmod(address.sun_path, 0777);
            if (write(ready[1], "r", 1) != 1)
                _exit(1);
            for (;;) {
                if (serve == EServe::NeverAccept) {
                    pause();
                    continue;
                }
                const int client = accept(fd, nullptr, nullptr);
                char buffer[64];
                if (client < 0)
                    continue;
                if (serve != EServe::HangUp && read(client, buffer, sizeof buffer) > 0) {
                    if (serve == EServe::AnswerNo && write(client, "no\n", 3) != 3)
                        _exit(1);
                    if (serve == EServe::AnswerOk && write(client, "ok\n", 3) != 3)
                        _exit(1);
                    if (serve == EServe::StaySilent) {
                        pause();
                        continue;
                    }
                }
                close(client);
            }
        }
        close(ready[1]);
        char byte = 0;
        pollfd p = {ready[0], POLLIN, 0};
        m_ready = m_pid > 0 && poll(&p, 1, 5000) == 1 && read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~CForeignListener()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    CForeignListener(const CForeignListener&) = delete;
    CForeignListener& operator=(const CForeignListener&) = delete;

    bool IsReady() const { return m_ready; }

private:
    pid_t m_pid = -1;
    bool m_ready = false;
};

constexpr uid_t kNobody = 65534;

bool ChangeMode(const QString& path, mode_t mode)
{
    return chmod(QFile::encodeName(path).constData(), mode) == 0;
}

class SingleInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WidgetTestApp();
        ASSERT_TRUE(m_dir.isValid());
    }

    // A second start in another thread, while this one's loop serves the first.
    CSingleInstance::EStart SecondStart(int& raises)
    {
        CSingleInstance::EStart result = CSingleInstance::EStart::Alone;
        QThread* thread = QThread::create([&] {
            CSingleInstance second(Path());
            result = second.Start([] {});
        });
        thread->start();
        WaitUntil([&] { return thread->isFinished(); });
        thread->wait();
        delete thread;
        WaitUntil([&] { return raises > 0; }, 2000);
        return result;
    }

    QString Path() const { return m_dir.filePath("nimo-_9"); }

    // A raw client, as another program of any kind could connect. While the listener's queue is full,
    // its loop runs until there is room.
    int Connect() const
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        const sockaddr_un address = Address(Path());
        int result = -1;
        const auto tried = [&] {
            result = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            return result == 0 || errno != EAGAIN;
        };
        if (fd < 0 || !WaitUntil(tried) || result != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }

    QTemporaryDir m_dir;
};

TEST_F(SingleInstanceTest, SecondStartAsksTheFirstToShowItsLamp)
{
    int raises = 0;
    CSingleInstance first(Path());
    ASSERT_EQ(first.Start([&] { ++raises; }), CSingleInstance::EStart::First);
    EXPECT_EQ(SecondStart(raises), CSingleInstance::EStart::Forwarded);
    EXPECT_EQ(raises, 1);
    EXPECT_EQ(SecondStart(raises), CSingleInstance::EStart::Forwarded);
    EXPECT_EQ(raises, 2);
}

TEST_F(SingleInstanceTest, StaleSocketOfACrashedRunIsTakenOver)
{
    // A socket file that nobody listens on any more.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(Path());
    ASSERT_LT(size_t(path.size()), sizeof address.sun_path);
    memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    ASSERT_TRUE(QFile::exists(Path()));

    int raises = 0;
    CSingleInstance first(Path());
    EXPECT_EQ(first.Start([&] { ++raises; }), CSingleInstance::EStart::First);
    EXPECT_EQ(SecondStart(raises), CSingleInstance::EStart::Forwarded);
    EXPECT_EQ(raises, 1);
}

TEST_F(SingleInstanceTest, OtherRequestsRaiseNothing)
{
    int raises = 0;
    CSingleInstance first(Path());
    ASSERT_EQ(first.Start([&] { ++raises; }), CSingleInstance::EStart::First);
    for (const QByteArray& request :
         {QByteArray("raise"), QByteArray("RAISE\n"), QByteArray("quit\n"), QByteArray(4096, 'r')}) {
        const int fd = Connect();
        ASSERT_GE(fd, 0);
        ASSERT_EQ(send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL), request.size());
        // The listener hangs up on anything but its request, at the latest when the client falls silent.
        char reply[8];
        ssize_t got = -1;
        WaitUntil([&] { return (got = recv(fd, reply, sizeof reply, MSG_DONTWAIT)) == 0; }, 4000);
        EXPECT_EQ(got, 0) << request.left(16).constData();
        close(fd);
    }
    EXPECT_EQ(raises, 0);
}

TEST_F(SingleInstanceTest, SilentClientsDoNotKeepTheLampFromAnswering)
{
    int raises = 0;
    CSingleInstance first(Path());
    ASSERT_EQ(first.Start([&] { ++raises; }), CSingleInstance::EStart::First);
    const int silent[] = {Connect(), Connect()};
    EXPECT_EQ(SecondStart(raises), CSingleInstance::EStart::Forwarded);
    EXPECT_EQ(raises, 1);
    for (const int fd : silent)
        close(fd);
}

TEST_F(SingleInstanceTest, SocketIsTheUsersOnly)
{
    CSingleInstance first(Path());
    ASSERT_EQ(first.Start([] {}), CSingleInstance::EStart::First);
    struct stat info = {};
    ASSERT_EQ(stat(QFile::encodeName(Path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
}

TEST_F(SingleInstanceTest, NobodyListeningMeansNotRunning)
{
    EXPECT_FALSE(CSingleInstance::AskRunning(Path(), 200));
}

TEST_F(SingleInstanceTest, OnlyAnAnswerCountsAsARunningLamp)
{
    using EServe = CForeignListener::EServe;
    const struct
    {
        EServe serve;
        bool running;
    } cases[] = {
        {EServe::NeverAccept, false}, {EServe::HangUp, false}, {EServe::StaySilent, false},
        {EServe::AnswerNo, false},    {EServe::AnswerOk, true},
    };
    for (const auto& c : cases) {
        QFile::remove(Path());
        CForeignListener listener(Path(), c.serve, getuid());
        ASSERT_TRUE(listener.IsReady());
        EXPECT_EQ(CSingleInstance::AskRunning(Path(), 500), c.running) << int(c.serve);
        if (c.running)
            continue;
        // Whatever holds the name without answering gives way to this start.
        int raises = 0;
        CSingleInstance first(Path());
        EXPECT_EQ(first.Start([&] { ++raises; }), CSingleInstance::EStart::First) << int(c.serve);
        EXPECT_EQ(SecondStart(raises), CSingleInstance::EStart::Forwarded) << int(c.serve);
        EXPECT_EQ(raises, 1);
    }
}

TEST_F(SingleInstanceTest, FolderOpenToOthersIsNotUsed)
{
    // Each folder below could hold a socket another user made: the program runs alone instead.
    const QString real = m_dir.filePath("real");
    ASSERT_TRUE(QDir().mkdir(real));
    ASSERT_TRUE(ChangeMode(real, 0700));
    const struct
    {
        const char* name;
        std::function<bool(const QString&)> make;
    } cases[] = {
        {"link", [&](const QString& f) { return QFile::link(real, f); }},
        {"0755", [](const QString& f) { return QDir().mkdir(f) && ChangeMode(f, 0755); }},
        {"1777", [](const QString& f) { return QDir().mkdir(f) && ChangeMode(f, 01777); }},
        {"file", [](const QString& f) {
             QFile file(f);
             return file.open(QIODevice::WriteOnly);
         }},
        {"other user's", [](const QString& f) {
             return getuid() == 0 && QDir().mkdir(f) && ChangeMode(f, 0700) &&
                    chown(QFile::encodeName(f).constData(), kNobody, kNobody) == 0;
         }},
    };
    for (const auto& c : cases) {
        const QString folder = m_dir.filePath(QString::fromLatin1(c.name));
        if (!c.make(folder)) {
            EXPECT_EQ(std::string(c.name), "other user's") << "only root can give a folder away";
            continue;
        }
        const QString path = folder + QStringLiteral("/nimo-_9");
        EXPECT_FALSE(CSingleInstance::IsPrivateFolder(folder)) << c.name;
        std::unique_ptr<CForeignListener> squatter;
        if (QFileInfo(folder).isDir()) {
            squatter = std::make_unique<CForeignListener>(path, CForeignListener::EServe::AnswerOk, getuid());
            ASSERT_TRUE(squatter->IsReady()) << c.name;
        }
        CSingleInstance start(path);
        EXPECT_EQ(start.Start([] {}), CSingleInstance::EStart::Alone) << c.name;
    }
    // A folder that does not exist yet is made private, then used.
    const QString fresh = m_dir.filePath("fresh");
    CSingleInstance start(fresh + QStringLiteral("/nimo-_9"));
    EXPECT_EQ(start.Start([] {}), CSingleInstance::EStart::First);
    EXPECT_TRUE(CSingleInstance::IsPrivateFolder(fresh));
    struct stat info = {};
    ASSERT_EQ(lstat(QFile::encodeName(fresh).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST_F(SingleInstanceTest, AnotherUserNeitherAnswersNorAsks)
{
    if (getuid() != 0)
        GTEST_SKIP() << "only root can run a peer as another user";
    // The folder opened up for the test only: the credentials alone must keep the stranger out.
    ASSERT_TRUE(ChangeMode(m_dir.path(), 0777));
    {
        CForeignListener stranger(Path(), CForeignListener::EServe::AnswerOk, kNobody);
        ASSERT_TRUE(stranger.IsReady());
        EXPECT_TRUE(QFile::exists(Path()));
        EXPECT_FALSE(CSingleInstance::AskRunning(Path(), 1000));
    }
    QFile::remove(Path());
    ASSERT_TRUE(ChangeMode(m_dir.path(), 0700));

    int raises = 0;
    CSingleInstance first(Path());
    ASSERT_EQ(first.Start([&] { ++raises; }), CSingleInstance::EStart::First);
    ASSERT_TRUE(ChangeMode(m_dir.path(), 0777));
    ASSERT_TRUE(ChangeMode(Path(), 0777));
    const sockaddr_un address = Address(Path());
    const pid_t child = fork();
    if (child == 0) {
        // The stranger's request: exit status 0 when it was answered, 1 when not (the lamp may hang up
        // before the request is written).
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        char reply[8];
        if (setuid(kNobody) != 0 || fd < 0 ||
            connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            _exit(2);
        if (send(fd, "raise\n", 6, MSG_NOSIGNAL) != 6)
            _exit(1);
        _exit(read(fd, reply, sizeof reply) > 0 ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = -1;
    WaitUntil([&] { return waitpid(child, &status, WNOHANG) == child; });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(raises, 0);
    ASSERT_TRUE(ChangeMode(m_dir.path(), 0700));
}

TEST_F(SingleInstanceTest, AFloodOfConnectionsIsCapped)
{
    int raises = 0;
    CSingleInstance first(Path());
    ASSERT_EQ(first.Start([&] { ++raises; }), CSingleInstance::EStart::First);
    std::vector<int> flood;
    for (std::size_t n = 0; n < 3 * CSingleInstance::kMaxClients; ++n) {
        flood.push_back(Connect());
        ASSERT_GE(flood.back(), 0);
    }
    // The oldest are pushed out at once, well before the silent ones' time is up.
    const auto closed = [&] {
        std::size_t count = 0;
        for (const int fd : flood) {
            char byte;
            count += recv(fd, &byte, 1, MSG_DONTWAIT) == 0 ? 1 : 0;
        }
        return count;
    };
    EXPECT_TRUE(WaitUntil([&] { return closed() >= 2 * CSingleInstance::kMaxClients; }, 1500)) << closed();
    EXPECT_EQ(SecondStart(raises), CSingleInstance::EStart::Forwarded);
    EXPECT_EQ(raises, 1);
    for (const int fd : flood)
        close(fd);
}

} // namespace
