// Opening and closing a dialog again and again keeps nothing behind once the first opens have filled
// Qt's caches: no objects left under the application, no stray windows, and the window icon gives the
// same pictures every time. Qt keeps an icon's pixmaps in its pixmap cache under the pixmaps' own keys,
// so an icon made anew for every dialog adds entries that are never asked for again.
#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "app/CAboutBox.h"
#include "lamp/CConfigureDlg.h"
#include "share/CSendMailDlg.h"

#include <functional>

#include <QIcon>
#include <QList>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct SFootprint
{
    QList<qint64> iconPixmaps;
    qsizetype applicationChildren;
    qsizetype topLevelWidgets;

    bool operator==(const SFootprint&) const = default;
};

void PrintTo(const SFootprint& footprint, std::ostream* out)
{
    *out << "icon pixmaps";
    for (qint64 key : footprint.iconPixmaps)
        *out << " " << key;
    *out << ", " << footprint.applicationChildren
         << " children of the application, " << footprint.topLevelWidgets << " top-level widgets";
}

// Runs the command and closes the dialog it opens with Escape once shown. The offscreen platform gives
// windows no icon, so the dialog's icon is asked for its pictures here as the X11 platform asks for them.
SFootprint OpenAndClose(const std::function<void()>& command)
{
    SFootprint footprint;
    WhenModalShows([&footprint](QWidget* dialog) {
        const QIcon icon = dialog->windowIcon();
        for (const QSize& size : icon.availableSizes())
            footprint.iconPixmaps.append(icon.pixmap(size).cacheKey());
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    command();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    footprint.applicationChildren = QCoreApplication::instance()->children().size();
    footprint.topLevelWidgets = QApplication::topLevelWidgets().size();
    return footprint;
}

TEST(DialogMemory, OpeningAndClosingKeepsNothing)
{
    WidgetTestApp();
    ScopedXdgHome home;
    struct SCase
    {
        const char* name;
        bool programIcon;
        std::function<void()> command;
    } const dialogs[] = {
        {"Configure", true, [] { (void)RunConfigureCommand(); }},
        {"About", true, [] { CAboutBox::Show(); }},
        {"send-mail", false, [] {
             CSendMailDlg dialog;
             (void)dialog.DoModal();
         }},
    };
    for (const auto& [name, programIcon, command] : dialogs) {
        for (int warmUp = 0; warmUp < 3; ++warmUp)
            OpenAndClose(command);
        const SFootprint first = OpenAndClose(command);
        EXPECT_EQ(!first.iconPixmaps.isEmpty(), programIcon) << name;
        SFootprint last = first;
        for (int open = 0; open < 20; ++open)
            last = OpenAndClose(command);
        EXPECT_EQ(last, first) << name;
    }
}

} // namespace
