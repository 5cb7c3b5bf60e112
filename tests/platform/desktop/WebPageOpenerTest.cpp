#include "FakeDesktop.h"
#include "platform/desktop/CWebPageOpener.h"

#include <gtest/gtest.h>

namespace {

const QString kAddress = QStringLiteral("http://www.example.org/en/page.html");

struct SBuildCase
{
    const char* exec;
    QStringList expected; // "ADDR" stands for the address; empty: malformed
};

TEST(WebPageOpener, BuildsTheCommandFromTheExecLine)
{
    const SBuildCase cases[] = {
        {"browser %u", {"browser", "ADDR"}},
        {"browser \"%u\"", {"browser", "ADDR"}},
        {"browser", {"browser", "ADDR"}},
        {"browser --new-window %U --private", {"browser", "--new-window", "ADDR", "--private"}},
        {"browser %F", {"browser", "ADDR"}},
        {"\"/opt/my browser/run\" %f", {"/opt/my browser/run", "ADDR"}},
        {"browser --class=%c %u", {"browser", "--class=Web Browser", "ADDR"}},
        {"browser %i %u", {"browser", "--icon", "web", "ADDR"}},
        {"browser --ratio=100%% %u", {"browser", "--ratio=100%", "ADDR"}},
        {"browser --url=%u --x", {"browser", "--url=ADDR", "--x"}},
        {"browser \"--url=%u\" %U %f", {"browser", "--url=ADDR"}},
        {"browser %U --url=%u", {"browser", "ADDR", "--url="}},
        {"browser %d %u", {"browser", "ADDR"}},
        {"\"quote\\\"d\" \"do\\$llar\" %u", {"quote\"d", "do$llar", "ADDR"}},
        {"  browser\t\t%u  ", {"browser", "ADDR"}},
        {"\"unterminated %u", {}},
        {"", {}},
        {"%u", {}},
    };
    for (const SBuildCase& c : cases) {
        SDesktopEntry entry;
        entry.name = "Web Browser";
        entry.icon = "web";
        entry.path = "/x/web.desktop";
        entry.exec = QString::fromUtf8(c.exec);
        const std::optional<QStringList> command = CWebPageOpener::BuildCommand(entry, kAddress);
        if (c.expected.isEmpty()) {
            EXPECT_FALSE(command.has_value()) << c.exec;
            continue;
        }
        QStringList expected = c.expected;
        expected.replaceInStrings("ADDR", kAddress);
        ASSERT_TRUE(command.has_value()) << c.exec;
        EXPECT_EQ(*command, expected) << c.exec;
    }
}

struct SOpenCase
{
    const char* name;
    const char* exec;   // %B is the fake browser's path
    QStringList before; // the arguments before the address
    QStringList after;  // and after it
};

TEST(WebPageOpener, StartsTheHandlerWithTheAddressAsOneArgument)
{
    const SOpenCase cases[] = {
        {"plain field code", "%B %u", {}, {}},
        {"quoted field code", "%B \"%u\"", {}, {}},
        {"no field code", "%B --new-tab", {"--new-tab"}, {}},
        {"arguments after the field code", "%B --new-window %U --private-window", {"--new-window"},
         {"--private-window"}},
    };
    for (const SOpenCase& c : cases) {
        FakeDesktop desktop;
        const QString browser = desktop.AddRecorder("browser");
        desktop.AddRecorder("xdg-open");
        desktop.AddEntry("fake.desktop", QString::fromUtf8(c.exec).replace("%B", browser));
        desktop.SetDefault(desktop.ConfigHome(), "fake.desktop");

        EXPECT_GT(CWebPageOpener::OpenAddress(kAddress, 3), 32) << c.name;
        const std::optional<QStringList> arguments = FakeDesktop::WaitForArguments(browser);
        ASSERT_TRUE(arguments.has_value()) << c.name;
        EXPECT_EQ(*arguments, c.before + QStringList{kAddress} + c.after) << c.name;
        EXPECT_FALSE(QFileInfo::exists(desktop.Bin() + "/xdg-open.args")) << c.name;
    }
}

TEST(WebPageOpener, HostileAddressReachesTheBrowserUnchangedAndRunsNothingElse)
{
    FakeDesktop desktop;
    const QString browser = desktop.AddRecorder("browser");
    const QString marker = desktop.Root() + "/ran";
    desktop.AddEntry("fake.desktop", browser + " %u");
    desktop.SetDefault(desktop.ConfigHome(), "fake.desktop");
    const QString address = "http://x.example/a b\"c'd;touch " + marker + "1;$(touch " + marker +
                            "2)`touch " + marker + "3` && touch " + marker + "4 | \\ %u %%";

    EXPECT_GT(CWebPageOpener::OpenAddress(address, 3), 32);
    const std::optional<QStringList> arguments = FakeDesktop::WaitForArguments(browser);
    ASSERT_TRUE(arguments.has_value());
    EXPECT_EQ(*arguments, QStringList{address});
    for (int k = 1; k <= 4; ++k)
        EXPECT_FALSE(QFileInfo::exists(marker + QString::number(k))) << k;
}

TEST(WebPageOpener, FallsBackToXdgOpen)
{
    struct SCase
    {
        const char* name;
        const char* exec; // null: no handler at all; %B: a recorder named browser
        bool browserExists;
    } const cases[] = {
        {"no handler", nullptr, false},
        {"handler program missing", "%B %u", false},
        {"handler without Exec field", "", false},
        {"malformed Exec", "\"%B %u", true},
    };
    for (const SCase& c : cases) {
        FakeDesktop desktop;
        const QString opener = desktop.AddRecorder("xdg-open");
        const QString browser = desktop.Bin() + "/browser";
        if (c.browserExists)
            desktop.AddRecorder("browser");
        if (c.exec) {
            desktop.AddEntry("fake.desktop", QString::fromUtf8(c.exec).replace("%B", browser));
            desktop.SetDefault(desktop.ConfigHome(), "fake.desktop");
        }
        EXPECT_GT(CWebPageOpener::OpenAddress(kAddress, 3), 32) << c.name;
        const std::optional<QStringList> arguments = FakeDesktop::WaitForArguments(opener);
        ASSERT_TRUE(arguments.has_value()) << c.name;
        EXPECT_EQ(*arguments, QStringList{kAddress}) << c.name;
        EXPECT_FALSE(QFileInfo::exists(browser + ".args")) << c.name;
    }
}

TEST(WebPageOpener, ReportsWhyNothingCouldBeStarted)
{
    struct SCase
    {
        const char* name;
        const char* exec; // null: no handler
        bool browserExecutable;
        bool browserExists;
        int expected;
    } const cases[] = {
        {"no handler and no xdg-open", nullptr, false, false, kOpenNoAssociation},
        {"handler program missing", "%B %u", false, false, kOpenFileNotFound},
        {"handler program by name, not on PATH", "nobrowser %u", false, false, kOpenFileNotFound},
        {"handler program not executable", "%B %u", false, true, kOpenAccessDenied},
        {"handler on PATH but not executable", "browser %u", false, true, kOpenAccessDenied},
    };
    for (const SCase& c : cases) {
        FakeDesktop desktop;
        const QString browser = desktop.Bin() + "/browser";
        if (c.browserExists)
            desktop.AddRecorder("browser", c.browserExecutable);
        if (c.exec) {
            desktop.AddEntry("fake.desktop", QString::fromUtf8(c.exec).replace("%B", browser));
            desktop.SetDefault(desktop.ConfigHome(), "fake.desktop");
        }
        EXPECT_EQ(CWebPageOpener::OpenAddress(kAddress, 3), c.expected) << c.name;
    }
}

} // namespace
