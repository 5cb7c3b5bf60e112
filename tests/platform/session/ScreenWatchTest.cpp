// The locker on a private session bus: only the owner of org.freedesktop.ScreenSaver is believed, a new
// owner is asked, and a locker that leaves no longer hides the screen.
#include "platform/session/CScreenWatch.h"

#include "WidgetTestApp.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

#include <gtest/gtest.h>

namespace {

const QString kName = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");

// A locker that answers GetActive with its state.
class CFakeLocker final : public QDBusVirtualObject
{
public:
    explicit CFakeLocker(bool active) : m_active(active) {}
    std::atomic<bool> m_active;

    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QStringLiteral("GetActive"))
            return false;
        return connection.send(message.createReply(bool(m_active)));
    }
};

void SendActiveChanged(const QDBusConnection& from, bool active)
{
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kName, QStringLiteral("ActiveChanged"));
    signal << active;
    from.send(signal);
}

// Long enough for a signal sent to arrive and be handled.
void Settle()
{
    WaitUntil([] { return false; }, 300);
}

class ScreenWatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WidgetTestApp();
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            GTEST_SKIP() << "no dbus-daemon";
        ASSERT_TRUE(m_dir.isValid());
        m_address = "unix:path=" + m_dir.filePath("bus");
        m_daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--address=" + m_address});
        ASSERT_TRUE(m_daemon.waitForStarted());
        ASSERT_TRUE(WaitUntil([&] { return Connect("probe").isConnected(); }));
    }
    void TearDown() override
    {
        for (const char* name : {"probe", "watch", "intruder", "locker", "locker2"})
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    QDBusConnection Connect(const char* name)
    {
        QDBusConnection::disconnectFromBus(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

    // A locker on a connection of its own, holding the name.
    QDBusConnection StartLocker(const char* connection, CFakeLocker& locker)
    {
        QDBusConnection bus = Connect(connection);
        EXPECT_TRUE(bus.registerVirtualObject(kPath, &locker));
        EXPECT_TRUE(bus.registerService(kName));
        return bus;
    }

    QTemporaryDir m_dir;
    QString m_address;
    QProcess m_daemon;
};

TEST_F(ScreenWatchTest, OnlyTheLockersOwnWordCounts)
{
    int changes = 0;
    CScreenWatch watch([&](bool) { ++changes; }, Connect("watch"));
    const QDBusConnection intruder = Connect("intruder");
    ASSERT_TRUE(intruder.isConnected());

    // Nobody owns the name: anybody's signal is ignored.
    SendActiveChanged(intruder, true);
    Settle();
    EXPECT_TRUE(watch.IsScreenSeen());

    // A locker that is already active when it appears is asked.
    auto locker = std::make_unique<CFakeLocker>(true);
    {
        const QDBusConnection lockerBus = StartLocker("locker", *locker);
        EXPECT_TRUE(WaitUntil([&] { return !watch.IsScreenSeen(); }));
        SendActiveChanged(intruder, false);
        Settle();
        EXPECT_FALSE(watch.IsScreenSeen()) << "a stranger unlocked the screen";
        SendActiveChanged(lockerBus, false);
        EXPECT_TRUE(WaitUntil([&] { return watch.IsScreenSeen(); }));
        SendActiveChanged(lockerBus, true);
        EXPECT_TRUE(WaitUntil([&] { return !watch.IsScreenSeen(); }));
    }

    // The locker dies without a word: the screen counts as seen again.
    QDBusConnection::disconnectFromBus("locker");
    EXPECT_TRUE(WaitUntil([&] { return watch.IsScreenSeen(); }));

    // Its successor starts unlocked; only its own signal locks.
    auto successor = std::make_unique<CFakeLocker>(false);
    const QDBusConnection successorBus = StartLocker("locker2", *successor);
    SendActiveChanged(intruder, true);
    Settle();
    EXPECT_TRUE(watch.IsScreenSeen());
    SendActiveChanged(successorBus, true);
    EXPECT_TRUE(WaitUntil([&] { return !watch.IsScreenSeen(); }));
    EXPECT_EQ(changes, 5);
}

} // namespace
