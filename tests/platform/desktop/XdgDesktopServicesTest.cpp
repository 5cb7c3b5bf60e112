#include "FakeDesktop.h"
#include "TestApp.h"
#include "platform/desktop/CMailHandOff.h"
#include "platform/desktop/CXdgDesktopServices.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

// The event loop the hand-off reports through, on a session bus that is not there: no test may reach the
// desktop's real portal.
void MailTestApp()
{
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/nimo-test-bus", 1);
    TestApp<QCoreApplication>();
}

// A fake xdg-email that records its arguments and the desktop it was told of, runs on while <path>.hold
// exists, and exits with status, or with 9 when its standard input gives a line (it must be closed, never
// the terminal or a pipe that could block).
QString AddXdgEmail(const FakeDesktop& desktop, int status)
{
    const QString path = desktop.Bin() + "/xdg-email";
    FakeDesktop::WriteFile(path, QString("#!/bin/sh\nprintf '%s' \"$XDG_CURRENT_DESKTOP\" > \"$0.desktop\"\n"
                                         "printf '%s\\0' \"$@\" > \"$0.args\"\n"
                                         "while [ -e \"$0.hold\" ]; do /bin/sleep 0.05; done\n"
                                         "if read line; then exit 9; fi\nexit %1\n")
                                     .arg(status));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

// What a hand-off told, and when.
struct SReport
{
    SMailHandOff Handlers()
    {
        clock.start();
        return {[this] { handedOverAt = clock.elapsed(); },
                [this](int status) {
                    statuses.push_back(status);
                    finishedAt = clock.elapsed();
                }};
    }
    bool Finished() const { return !statuses.empty(); }

    QElapsedTimer clock;
    qint64 handedOverAt = -1;
    qint64 finishedAt = -1;
    std::vector<int> statuses;
};

SMailMessage Message()
{
    SMailMessage message;
    message.subject = "Lamp \"Nimo\" & $(friends)";
    message.body = "Line one\nline `two`; 100%";
    message.attachments = {"/tmp/a b/nimo.zip", "/tmp/readme.txt"};
    message.recipients = {"a@example.org", "Bea <b@example.org>", "--attach=/etc/shadow"};
    return message;
}

TEST(XdgDesktopServices, MailArgumentsEachTheirOwn)
{
    const QStringList expected = {"--utf8",   "--subject", "Lamp \"Nimo\" & $(friends)",
                                  "--body",   "Line one\nline `two`; 100%",
                                  "--attach", "/tmp/a b/nimo.zip",
                                  "--attach", "/tmp/readme.txt",
                                  "a@example.org,Bea <b@example.org>,--attach=/etc/shadow"};
    EXPECT_EQ(CXdgDesktopServices::MailArguments(Message()), expected);
}

TEST(XdgDesktopServices, MailArgumentsNeitherLoseNorMisreadARecipient)
{
    // Every recipient in one list, which xdg-email puts into the mailto: address itself: Claws Mail drops
    // "to=" fields beside it. xdg-email takes a bare argument only with "@"; it would read the others as
    // an option, as a whole mailto: address with its own fields, or refuse them.
    const struct
    {
        QStringList recipients;
        QStringList arguments;
    } cases[] = {
        {{"a@example.org"}, {"a@example.org"}},
        {{"anna@example.org", " Bob <bob@example.com>"}, {"anna@example.org, Bob <bob@example.com>"}},
        {{"bob", "anna@example.org"}, {"bob,anna@example.org"}},
        {{"bob"}, {"--to", "bob"}},
        {{"-x@example.org", "a@example.org"}, {"--to", "-x@example.org,a@example.org"}},
        {{"mailto:a@example.org?attach=/etc/shadow"}, {"--to", "mailto:a@example.org?attach=/etc/shadow"}},
        {{"MAILTO:a@example.org"}, {"--to", "MAILTO:a@example.org"}},
        {{"", "b@example.org", ""}, {"b@example.org"}},
        {{""}, {}},
    };
    for (const auto& c : cases) {
        SMailMessage message;
        message.body = "b";
        message.recipients = c.recipients;
        EXPECT_EQ(CXdgDesktopServices::MailArguments(message),
                  QStringList({"--utf8", "--body", "b"}) + c.arguments)
            << c.recipients.join('|').toStdString();
    }
    // An empty subject or text is left out: xdg-email refuses an option without a value.
    EXPECT_EQ(CXdgDesktopServices::MailArguments(SMailMessage()), QStringList{"--utf8"});
}

TEST(XdgDesktopServices, ThePortalGetsBareAddressesOrTheMailGoesToXdgEmail)
{
    const struct
    {
        QStringList recipients;
        std::optional<QStringList> addresses;
    } cases[] = {
        {{"anna@example.org", " Bob <bob@example.com>"}, QStringList{"anna@example.org", "bob@example.com"}},
        {{" c@example.org ", "\"Doe\" <d.o-e+x@mail.example.org>"},
         QStringList{"c@example.org", "d.o-e+x@mail.example.org"}},
        {{}, QStringList{}},
        {{"bob"}, std::nullopt},
        {{"a@example.org", "Bob <bob>"}, std::nullopt},
        {{"a b@example.org"}, std::nullopt},
        {{"a@example.org?attach=/etc/shadow"}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CMailHandOff::PortalAddresses(c.recipients), c.addresses)
            << c.recipients.join('|').toStdString();
    }
}

TEST(XdgDesktopServices, XdgEmailHoldsTheCallerAFewSecondsAtMostAndTellsALateFailureOnce)
{
    MailTestApp();
    // Quick ends: the status at once, whatever it is.
    for (const int status : {0, 1, 3, 5}) {
        FakeDesktop desktop;
        const QString program = AddXdgEmail(desktop, status);
        SReport report;
        CXdgDesktopServices().SendMail(Message(), report.Handlers());
        EXPECT_LT(report.handedOverAt, 0) << "told from inside SendMail";
        ASSERT_TRUE(WaitUntil([&] { return report.Finished(); }, 10000)) << status;
        EXPECT_EQ(report.statuses, std::vector<int>{status});
        EXPECT_GE(report.handedOverAt, 0) << status;
        const std::optional<QStringList> arguments = FakeDesktop::WaitForArguments(program, 0);
        ASSERT_TRUE(arguments.has_value()) << status;
        EXPECT_EQ(*arguments, CXdgDesktopServices::MailArguments(Message())) << status;
    }
    // xdg-email running the mail client in its foreground: the caller is let go while it runs, and its
    // failure is told when it comes.
    FakeDesktop desktop;
    const QString program = AddXdgEmail(desktop, 4);
    FakeDesktop::WriteFile(program + ".hold", "");
    SReport report;
    CXdgDesktopServices().SendMail(Message(), report.Handlers());
    ASSERT_TRUE(WaitUntil([&] { return report.handedOverAt >= 0; }, 10000));
    EXPECT_GE(report.handedOverAt, CMailHandOff::kHoldMilliseconds - 50);
    EXPECT_LE(report.handedOverAt, CMailHandOff::kHoldMilliseconds + 2000);
    EXPECT_FALSE(report.Finished());
    QFile::remove(program + ".hold");
    ASSERT_TRUE(WaitUntil([&] { return report.Finished(); }, 10000));
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(report.statuses, std::vector<int>{4});

    FakeDesktop without;
    SReport missing;
    CXdgDesktopServices().SendMail(Message(), missing.Handlers());
    ASSERT_TRUE(WaitUntil([&] { return missing.Finished(); }, 10000));
    EXPECT_EQ(missing.statuses, std::vector<int>{kMailFailed}) << "no xdg-email on PATH";
    EXPECT_GE(missing.handedOverAt, 0);
}

TEST(XdgDesktopServices, ThunderbirdGetsTheAttachmentThroughXdgEmailsGenericMode)
{
    MailTestApp();
    const struct
    {
        const char* exec;
        const char* desktop;
        const char* told; // the desktop xdg-email is told of
    } cases[] = {
        {"/usr/bin/thunderbird %u", "KDE", "X-Generic"},
        {"icedove -compose %u", "XFCE", "X-Generic"},
        {"claws-mail --compose %u", "KDE", "KDE"},
        {"evolution %U", "XFCE", "XFCE"},
        {"/usr/bin/thunderbird %u", "", "X-Generic"},
    };
    for (const auto& c : cases) {
        FakeDesktop desktop;
        ScopedEnv current("XDG_CURRENT_DESKTOP", c.desktop);
        desktop.AddEntry("mail.desktop", c.exec);
        FakeDesktop::WriteFile(desktop.ConfigHome() + "/mimeapps.list",
                               "[Default Applications]\nx-scheme-handler/mailto=mail.desktop\n");
        const QString program = AddXdgEmail(desktop, 0);
        SReport report;
        CXdgDesktopServices().SendMail(Message(), report.Handlers());
        ASSERT_TRUE(WaitUntil([&] { return report.Finished(); }, 10000)) << c.exec;
        QFile told(program + ".desktop");
        ASSERT_TRUE(told.open(QIODevice::ReadOnly)) << c.exec;
        EXPECT_EQ(told.readAll(), QByteArray(c.told)) << c.exec << " on " << c.desktop;
    }
}

TEST(XdgDesktopServices, MailIsConfiguredWithAnInstalledMailtoHandlerAndXdgEmail)
{
    const struct
    {
        const char* name;
        bool handler;
        bool installed;
        bool xdgEmail;
        bool expected;
    } cases[] = {
        {"both", true, true, true, true},
        {"no xdg-email (the portal may take it)", true, true, false, true},
        {"no handler", false, false, true, false},
        {"handler not installed", true, false, true, false},
    };
    for (const auto& c : cases) {
        FakeDesktop desktop;
        if (c.installed)
            desktop.AddEntry("mail.desktop", "mail %u");
        if (c.handler)
            FakeDesktop::WriteFile(desktop.Applications() + "/mimeinfo.cache",
                                   "[MIME Cache]\nx-scheme-handler/mailto=mail.desktop;\n");
        if (c.xdgEmail)
            AddXdgEmail(desktop, 0);
        EXPECT_EQ(CXdgDesktopServices().IsMailConfigured(), c.expected) << c.name;
        MailTestApp();
        EXPECT_EQ(CXdgDesktopServices().HasMailProgram(), c.xdgEmail) << c.name << ": no portal here";
    }
}

TEST(XdgDesktopServices, AutostartEntriesInTheUsersAndTheMachinesFolder)
{
    ScopedXdgHome home;
    CXdgDesktopServices services;
    const QString user = home.UserAutostart() + "/Nimo.desktop";
    const QString machine = home.MachineAutostart() + "/Nimo.desktop";
    EXPECT_FALSE(services.RemoveAutostart("Nimo", false));
    ASSERT_TRUE(services.WriteAutostart("Nimo", "/opt/a b/nimo"));
    QFile file(user);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Exec=\"/opt/a b/nimo\"\n"));
    FakeDesktop::WriteFile(machine, "");
    EXPECT_TRUE(services.RemoveAutostart("Nimo", true));
    EXPECT_FALSE(QFileInfo::exists(machine));
    EXPECT_TRUE(QFileInfo::exists(user));
    EXPECT_TRUE(services.RemoveAutostart("Nimo", false));
    EXPECT_FALSE(QFileInfo::exists(user));
    EXPECT_FALSE(services.WriteAutostart("../escape", "/x"));
}

TEST(DesktopServices, InstalledServicesStandInUntilRemoved)
{
    IDesktopServices& xdg = IDesktopServices::Current();
    EXPECT_NE(dynamic_cast<CXdgDesktopServices*>(&xdg), nullptr);
    CXdgDesktopServices other;
    EXPECT_EQ(IDesktopServices::Install(&other), nullptr);
    EXPECT_EQ(&IDesktopServices::Current(), &other);
    EXPECT_EQ(IDesktopServices::Install(nullptr), &other);
    EXPECT_EQ(&IDesktopServices::Current(), &xdg);
}

} // namespace
