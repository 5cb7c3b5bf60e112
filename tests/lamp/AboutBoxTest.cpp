#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "app/CAboutBox.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/core/CResourceModule.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QStringList TextsOf(const QWidget& dialog)
{
    QStringList texts;
    for (QWidget* child : GetChildWindows(&dialog))
        texts.append(GetWindowText(child));
    return texts;
}

TEST(AboutBox, TextsInEnglishAndGerman)
{
    WidgetTestApp();
    const QStringList english = {"",
                                 "Nimo Version 2.0.0.6",
                                 "Freeware by Kestrel Ward: pass it on to your friends.",
                                 "http://www.kestrelward.example",
                                 "http://nimo.kestrelward.example",
                                 "",
                                 "",
                                 "",
                                 "&OK"};
    struct SCase
    {
        const char* locale;
        const char* caption;
    } const cases[] = {
        {"C", "About Nimo..."},
        {"en_GB.UTF-8", "About Nimo..."},
        {"de_DE.UTF-8", "\u00dcber Nimo..."},
        {"de_AT", "\u00dcber Nimo..."},
    };
    for (const SCase& c : cases) {
        ScopedEnv all("LC_ALL", c.locale);
        CAboutBox box;
        box.OnInitDialog();
        EXPECT_EQ(box.windowTitle(), QString::fromUtf8(c.caption)) << c.locale;
        // Only the caption has a German entry.
        EXPECT_EQ(TextsOf(box), english) << c.locale;
    }
}

TEST(AboutBox, LinksPicturesAndOk)
{
    WidgetTestApp();
    CAboutBox box;
    box.OnInitDialog();

    const std::pair<CHyperLink*, int> links[] = {{&box.FirstLink(), 1002}, {&box.SecondLink(), 1003}};
    for (const auto& [link, id] : links) {
        auto* label = qobject_cast<QLabel*>(box.GetDlgItem(id));
        ASSERT_NE(label, nullptr) << id;
        EXPECT_EQ(link->Control(), label) << id;
        EXPECT_EQ(link->GetURL(), label->text()) << id;
        EXPECT_EQ(label->toolTip(), label->text()) << id;
        EXPECT_TRUE(label->font().underline()) << id;
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255)) << id;
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor) << id;
    }

    // The product picture is the splash window's bitmap, at its own size.
    CPLDIB splash;
    CPLAnyDecoder().DecodeResource(nullptr, kIdbSplash, splash, 0, kRtBitmap);
    QList<QLabel*> pictures;
    for (QWidget* child : GetChildWindows(&box)) {
        auto* label = qobject_cast<QLabel*>(child);
        if (label && !label->pixmap().isNull())
            pictures.append(label);
    }
    ASSERT_EQ(pictures.size(), 2);
    EXPECT_EQ(pictures[0]->size(), QSize(32, 32));
    EXPECT_EQ(pictures[1]->size(), QSize(splash.m_width, splash.m_height));
    const QImage shown = pictures[1]->pixmap().toImage();
    ASSERT_EQ(splash.m_depth, 8);
    for (const QPoint p : {QPoint(0, 0), QPoint(splash.m_width / 2, splash.m_height / 2),
                           QPoint(splash.m_width - 1, splash.m_height - 1)}) {
        const std::uint8_t index = splash.m_rows[static_cast<std::size_t>(p.y())][p.x()];
        const std::uint8_t* entry = splash.m_colorTable + 4 * index;
        EXPECT_EQ(shown.pixel(p), qRgb(entry[2], entry[1], entry[0])) << p.x() << "," << p.y();
    }

    // OK ends the box; so do Enter and Escape.
    for (const Qt::Key key : {Qt::Key_unknown, Qt::Key_Return, Qt::Key_Escape}) {
        CAboutBox modal;
        int closedWith = -1;
        WhenModalShows([key](QWidget* shown) {
            if (key == Qt::Key_unknown)
                QTest::mouseClick(static_cast<CAboutBox*>(shown)->GetDlgItem(1), Qt::LeftButton);
            else
                QTest::keyClick(shown, key);
        });
        closedWith = modal.DoModal();
        EXPECT_TRUE(closedWith == kIdOk || closedWith == kIdCancel) << key;
        EXPECT_FALSE(modal.isVisible());
    }
}

} // namespace
