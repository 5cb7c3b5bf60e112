// One program per session: the socket's name, the raise request between two programs, a stale socket
// left by a crashed run, and requests that are not ours.
#include "platform/session/SingleInstance.h"

#include "WidgetTestApp.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
        {":0", "", "/tmp/nimo-1000-_0"},         // no runtime folder: the user's id keeps users apart
        {":0", "relative", "/tmp/nimo-1000-_0"}, // only an absolute one counts
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSingleInstance::SocketPath(c.display, c.runtime, "/tmp", 1000), c.expected)
            << c.display << " in " << c.runtime;
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

    // A raw client, as another program of any kind could connect.
    int Connect() const
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(Path());
        memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
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

} // namespace
