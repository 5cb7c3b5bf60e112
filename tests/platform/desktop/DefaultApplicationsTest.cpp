#include "FakeDesktop.h"
#include "platform/desktop/DefaultApplications.h"

#include <gtest/gtest.h>

namespace {

const QString kHttp = QStringLiteral("x-scheme-handler/http");
const QString kMailto = QStringLiteral("x-scheme-handler/mailto");

TEST(DefaultApplications, FindsTheDefaultHandlerInXdgOrder)
{
    FakeDesktop desktop;
    desktop.AddEntry("data-browser.desktop", "data");
    desktop.AddEntry("user-browser.desktop", "user");
    desktop.AddEntry("hidden.desktop", "hidden", "Hidden=true\n");
    desktop.AddEntry("desk-browser.desktop", "desk");

    EXPECT_EQ(DefaultApplications::DefaultHandler(kHttp), QString());

    desktop.SetDefault(desktop.Applications(), "data-browser.desktop;");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kHttp), "data-browser.desktop");

    // The user's configuration wins; entries that are not installed or hidden are passed over.
    desktop.SetDefault(desktop.ConfigHome(), "missing.desktop;hidden.desktop;user-browser.desktop;");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kHttp), "user-browser.desktop");

    ScopedEnv current("XDG_CURRENT_DESKTOP", "Fake:Other");
    desktop.SetDefault(desktop.ConfigHome(), "desk-browser.desktop", "fake-mimeapps.list");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kHttp), "desk-browser.desktop");

    // A handler listed only for another scheme does not count.
    FakeDesktop other;
    other.AddEntry("mail.desktop", "mail");
    FakeDesktop::WriteFile(other.ConfigHome() + "/mimeapps.list",
                           "[Default Applications]\nx-scheme-handler/mailto=mail.desktop\n");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kHttp), QString());
}

TEST(DefaultApplications, FindsEntriesInVendorSubfolders)
{
    FakeDesktop desktop;
    QDir().mkpath(desktop.Applications() + "/vendor");
    FakeDesktop::WriteFile(desktop.Applications() + "/vendor/web.desktop", "[Desktop Entry]\nExec=web %u\n");
    const std::optional<SDesktopEntry> entry = DefaultApplications::FindDesktopEntry("vendor-web.desktop");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->exec, "web %u");
    EXPECT_FALSE(DefaultApplications::FindDesktopEntry("../vendor/web.desktop").has_value());
}

// What xdg-mime finds after the mimeapps.list files: each application folder's defaults.list, then its
// mimeinfo.cache, which lists handlers nobody chose (a mail client installed on a fresh system).
TEST(DefaultApplications, FallsBackToDefaultsListThenMimeInfoCache)
{
    FakeDesktop desktop;
    const QString system = desktop.Root() + "/share/applications";
    QDir().mkpath(system);
    desktop.AddEntry("mail.desktop", "mail %u");
    desktop.AddEntry("other-mail.desktop", "other %u");
    desktop.AddEntry("listed-mail.desktop", "listed %u");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kMailto), QString());

    FakeDesktop::WriteFile(system + "/mimeinfo.cache",
                           "[MIME Cache]\nx-scheme-handler/mailto=missing.desktop;other-mail.desktop;\n");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kMailto), "other-mail.desktop");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kHttp), QString());

    // The data home's cache comes before the data folders'.
    FakeDesktop::WriteFile(desktop.Applications() + "/mimeinfo.cache",
                           "[MIME Cache]\nx-scheme-handler/mailto=mail.desktop;\n");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kMailto), "mail.desktop");

    // defaults.list of the same folder comes before its cache; a cache group of another name is no cache.
    FakeDesktop::WriteFile(desktop.Applications() + "/defaults.list",
                           "[MIME Cache]\nx-scheme-handler/mailto=other-mail.desktop;\n"
                           "[Default Applications]\nx-scheme-handler/mailto=listed-mail.desktop\n");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kMailto), "listed-mail.desktop");

    // Any mimeapps.list choice wins over both.
    FakeDesktop::WriteFile(desktop.Root() + "/etc-xdg-second/mimeapps.list",
                           "[Default Applications]\nx-scheme-handler/mailto=other-mail.desktop\n");
    EXPECT_EQ(DefaultApplications::DefaultHandler(kMailto), "other-mail.desktop");
}

TEST(DefaultApplications, DesktopEntryValuesAreUnescaped)
{
    FakeDesktop desktop;
    FakeDesktop::WriteFile(desktop.Applications() + "/web.desktop",
                           "[Desktop Entry]\nName=Web\\sBrowser\nIcon=a\\\\b\nExec=\"/opt/x y/web\" %u\n"
                           "[Desktop Action new]\nExec=other\n");
    const std::optional<SDesktopEntry> entry = DefaultApplications::FindDesktopEntry("web.desktop");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, "Web Browser");
    EXPECT_EQ(entry->icon, "a\\b");
    EXPECT_EQ(entry->exec, "\"/opt/x y/web\" %u");
    EXPECT_EQ(entry->path, desktop.Applications() + "/web.desktop");
    for (const char* bad : {"", "web", ".desktop", "../web.desktop", "/web.desktop"})
        EXPECT_FALSE(DefaultApplications::FindDesktopEntry(bad).has_value()) << bad;
}

} // namespace
