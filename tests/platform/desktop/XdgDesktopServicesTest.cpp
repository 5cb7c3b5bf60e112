#include "FakeDesktop.h"
#include "platform/desktop/CXdgDesktopServices.h"

#include <gtest/gtest.h>

namespace {

// A fake xdg-email that records its arguments and exits with status, or with 9 when its standard input
// gives a line (it must be closed, never the terminal or a pipe that could block).
QString AddXdgEmail(const FakeDesktop& desktop, int status)
{
    const QString path = desktop.Bin() + "/xdg-email";
    FakeDesktop::WriteFile(path, QString("#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.args\"\n"
                                         "if read line; then exit 9; fi\nexit %1\n")
                                     .arg(status));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

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
    const QStringList expected = {"--utf8",     "--subject", "Lamp \"Nimo\" & $(friends)",
                                  "--body",     "Line one\nline `two`; 100%",
                                  "--attach",   "/tmp/a b/nimo.zip",
                                  "--attach",   "/tmp/readme.txt",
                                  "a@example.org", "Bea <b@example.org>", "--to", "--attach=/etc/shadow"};
    EXPECT_EQ(CXdgDesktopServices::MailArguments(Message()), expected);
}

TEST(XdgDesktopServices, MailArgumentsNeitherLoseNorMisreadARecipient)
{
    // xdg-email takes a bare argument only as an address with "@"; it would read the others as an option,
    // as a whole mailto: address with its own fields, or refuse them.
    const struct
    {
        const char* recipient;
        QStringList arguments;
    } cases[] = {
        {"a@example.org", {"a@example.org"}},
        {" c@example.org", {" c@example.org"}},
        {"bob", {"--to", "bob"}},
        {"-x@example.org", {"--to", "-x@example.org"}},
        {"mailto:a@example.org?attach=/etc/shadow", {"--to", "mailto:a@example.org?attach=/etc/shadow"}},
        {"MAILTO:a@example.org", {"--to", "MAILTO:a@example.org"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SMailMessage message;
        message.body = "b";
        message.recipients = {c.recipient};
        EXPECT_EQ(CXdgDesktopServices::MailArguments(message), QStringList({"--utf8", "--body", "b"}) + c.arguments)
            << c.recipient;
    }
    // An empty subject or text is left out: xdg-email refuses an option without a value.
    EXPECT_EQ(CXdgDesktopServices::MailArguments(SMailMessage()), QStringList{"--utf8"});
}

TEST(XdgDesktopServices, SendMailRunsXdgEmailAndReturnsItsStatus)
{
    for (const int status : {0, 1, 3, 5}) {
        FakeDesktop desktop;
        const QString program = AddXdgEmail(desktop, status);
        CXdgDesktopServices services;
        EXPECT_EQ(services.SendMail(Message()), status) << status;
        const std::optional<QStringList> arguments = FakeDesktop::WaitForArguments(program, 0);
        ASSERT_TRUE(arguments.has_value()) << status;
        EXPECT_EQ(*arguments, CXdgDesktopServices::MailArguments(Message())) << status;
    }
    FakeDesktop without;
    EXPECT_EQ(CXdgDesktopServices().SendMail(Message()), 1) << "no xdg-email on PATH";
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
        {"no xdg-email", true, true, false, false},
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
