#include "share/CHyperLink.h"
#include "RecordingDesktopServices.h"
#include "share/PublisherPages.h"
#include "WidgetTestApp.h"

#include <memory>

#include <QAccessible>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kAddress = QStringLiteral("http://www.example.org/");

// A shown, active window with one static control and a button that can take the focus away.
struct SLinkWindow
{
    explicit SLinkWindow(const QString& text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop)
    {
        WidgetTestApp();
        window = std::make_unique<QWidget>();
        window->resize(400, 200);
        label = new QLabel(text, window.get());
        label->setAlignment(alignment);
        label->setGeometry(20, 30, 300, 40);
        other = new QPushButton("other", window.get());
        other->setGeometry(20, 120, 80, 30);
    }

    void Show()
    {
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        // The link takes the focus with Tab, so it would have it first; a test gives it on purpose.
        other->setFocus();
        EXPECT_TRUE(other->hasFocus());
    }

    std::unique_ptr<QWidget> window;
    QLabel* label = nullptr;
    QPushButton* other = nullptr;
};

TEST(HyperLink, ErrorTextsByResultCode)
{
    const std::pair<int, const char*> cases[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {4, "Unknown Error (4) occurred."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {28, "The DDE transaction could not\nbe completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30,
         "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {-7, "Unknown Error (-7) occurred."},
    };
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(LinkErrorText(code), QString::fromUtf8(text)) << code;
        EXPECT_EQ(LinkErrorMessage(code), "Can't open link:\n\n" + QString::fromUtf8(text)) << code;
    }
}

TEST(HyperLink, ProductPageFollowsTheLanguage)
{
    EXPECT_EQ(ProductPageAddress(1), QStringLiteral("http://www.kestrelward.example/de/zezoverida.html"));
    EXPECT_EQ(ProductPageAddress(2), QStringLiteral("http://www.kestrelward.example/en/zezoverida.html"));
    EXPECT_EQ(ProductPageAddress(3), QStringLiteral("http://www.kestrelward.example/en/zezoverida.html"));
}

TEST(HyperLink, AttachTakesTextAndAddressFromEachOther)
{
    struct SCase
    {
        const char* name;
        QString text;
        QString urlBefore; // set before attaching
        QString expectedText;
        QString expectedUrl;
    } const cases[] = {
        {"empty control gets the address", "", kAddress, kAddress, kAddress},
        {"text becomes the address", "http://a.example/", "", "http://a.example/", "http://a.example/"},
        {"address set before wins", "Click here", kAddress, "Click here", kAddress},
    };
    for (const SCase& c : cases) {
        SLinkWindow w(c.text);
        CHyperLink link;
        if (!c.urlBefore.isEmpty())
            link.SetURL(c.urlBefore);
        ASSERT_TRUE(link.Attach(w.label)) << c.name;
        EXPECT_EQ(w.label->text(), c.expectedText) << c.name;
        EXPECT_EQ(link.GetURL(), c.expectedUrl) << c.name;
        EXPECT_EQ(w.label->toolTip(), c.expectedUrl) << c.name;
    }
}

TEST(HyperLink, OptionBitsShapeTheControl)
{
    struct SCase
    {
        const char* name;
        int options;
        bool underlined;
        bool fitted;
        bool handCursor;
    } const cases[] = {
        {"default", CHyperLink::kDefaultOptions, true, true, true},
        {"no underline", CHyperLink::kAutoSize, false, true, true},
        {"no fitting", CHyperLink::kUnderline, true, false, true},
        {"no hand cursor", CHyperLink::kDefaultOptions | CHyperLink::kNoHandCursor, true, true, false},
    };
    for (const SCase& c : cases) {
        SLinkWindow w("http://b.example/");
        CHyperLink link;
        link.SetOptions(c.options);
        ASSERT_TRUE(link.Attach(w.label));
        EXPECT_EQ(w.label->font().underline(), c.underlined) << c.name;
        const QFontMetrics metrics(w.label->font());
        const QRect expected =
            c.fitted ? QRect(20, 30, metrics.horizontalAdvance("http://b.example/"), metrics.height())
                     : QRect(20, 30, 300, 40);
        EXPECT_EQ(w.label->geometry(), expected) << c.name;
        EXPECT_EQ(w.label->cursor().shape(), c.handCursor ? Qt::PointingHandCursor : Qt::ArrowCursor)
            << c.name;
    }
}

TEST(HyperLink, FitFollowsTheAlignment)
{
    struct SCase
    {
        const char* name;
        Qt::Alignment alignment;
        int x; // expected, -1: centred horizontally
        bool verticallyCentred;
    } const cases[] = {
        {"left", Qt::AlignLeft | Qt::AlignTop, 20, false},
        {"right", Qt::AlignRight | Qt::AlignTop, -2, false},
        {"centre", Qt::AlignHCenter | Qt::AlignTop, -1, false},
        {"centre image", Qt::AlignLeft | Qt::AlignVCenter, 20, true},
    };
    for (const SCase& c : cases) {
        SLinkWindow w("http://c.example/", c.alignment);
        CHyperLink link;
        ASSERT_TRUE(link.Attach(w.label));
        const QFontMetrics metrics(w.label->font());
        const int tw = metrics.horizontalAdvance("http://c.example/");
        const int th = metrics.height();
        const QRect r = w.label->geometry();
        if (c.x == -1) {
            EXPECT_EQ(r.x(), 20 + (300 - tw) / 2) << c.name;
            EXPECT_EQ(r.width(), 300 - 2 * ((300 - tw) / 2)) << c.name;
        } else if (c.x == -2) {
            EXPECT_EQ(r.x(), 20 + 300 - tw) << c.name;
            EXPECT_EQ(r.width(), tw) << c.name;
        } else {
            EXPECT_EQ(r.x(), c.x) << c.name;
            EXPECT_EQ(r.width(), tw) << c.name;
        }
        if (c.verticallyCentred) {
            EXPECT_EQ(r.y(), 30 + (40 - th) / 2) << c.name;
            EXPECT_EQ(r.height(), 40 - 2 * ((40 - th) / 2)) << c.name;
        } else {
            EXPECT_EQ(r.y(), 30) << c.name;
            EXPECT_EQ(r.height(), th) << c.name;
        }
    }
}

TEST(HyperLink, SetUrlRefitsAndUpdatesTheTooltipButNotTheText)
{
    SLinkWindow w("");
    CHyperLink link;
    link.SetURL("http://short.example/");
    ASSERT_TRUE(link.Attach(w.label));
    w.Show();
    w.label->setText("a much longer visible text than before");
    link.SetURL("http://other.example/");
    EXPECT_EQ(w.label->text(), "a much longer visible text than before");
    EXPECT_EQ(w.label->toolTip(), "http://other.example/");
    EXPECT_EQ(w.label->width(), QFontMetrics(w.label->font()).horizontalAdvance(w.label->text()));
    EXPECT_TRUE(w.label->isVisible());
}

// The colour in each state, set through the control's palette.
TEST(HyperLink, ColourOfEachState)
{
    struct SCase
    {
        const char* name;
        int options;
        bool over, focus, visited;
        QColor expected;
    } const cases[] = {
        {"new link", CHyperLink::kDefaultOptions, false, false, false, QColor(0, 0, 255)},
        {"hover without the option", CHyperLink::kDefaultOptions, true, false, false, QColor(0, 0, 255)},
        {"hover with the option", CHyperLink::kDefaultOptions | CHyperLink::kUseHover, true, false, false,
         QColor(255, 0, 0)},
        {"hover beats focus", CHyperLink::kDefaultOptions | CHyperLink::kUseHover, true, true, false,
         QColor(255, 0, 0)},
        {"focus", CHyperLink::kDefaultOptions, false, true, false, QColor(0, 128, 128)},
        {"focus beats visited", CHyperLink::kDefaultOptions, false, true, true, QColor(0, 128, 128)},
        {"focus colour switched off", CHyperLink::kDefaultOptions | CHyperLink::kNoActiveColour, false, true,
         false, QColor(0, 0, 255)},
        {"visited", CHyperLink::kDefaultOptions, false, false, true, QColor(128, 0, 128)},
        {"visited, focus colour off", CHyperLink::kDefaultOptions | CHyperLink::kNoActiveColour, false, true,
         true, QColor(128, 0, 128)},
    };
    int step = 0;
    for (const SCase& c : cases) {
        RecordingDesktopServices desktop;
        SLinkWindow w("http://d.example/");
        ++step;
        CHyperLink link;
        link.SetOptions(c.options);
        ASSERT_TRUE(link.Attach(w.label));
        w.Show();
        if (c.visited) {
            link.GotoURL(3);
            ASSERT_TRUE(link.IsVisited()) << c.name;
        }
        if (c.focus) {
            w.label->setFocus();
            ASSERT_TRUE(WaitUntil([&] { return w.label->hasFocus(); })) << c.name;
        }
        if (c.over) {
            // A fresh point each time: the pointer staying put would send no move.
            QTest::mouseMove(w.label, QPoint(1 + step, 2));
            ASSERT_TRUE(WaitUntil([&] { return link.IsOverControl(); })) << c.name;
        }
        EXPECT_EQ(link.TextColor(), c.expected) << c.name;
        EXPECT_EQ(w.label->palette().color(QPalette::WindowText), c.expected) << c.name;
    }
}

TEST(HyperLink, ClickTakesTheFocusOpensOnReleaseAndTurnsPurpleAfterwards)
{
    RecordingDesktopServices desktop;
    SLinkWindow w("");
    CHyperLink link;
    link.SetURL(kAddress);
    ASSERT_TRUE(link.Attach(w.label));
    w.Show();

    QTest::mousePress(w.label, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(w.label->hasFocus());
    EXPECT_EQ(link.TextColor(), CHyperLink::kActiveColour);
    EXPECT_TRUE(desktop.opened.isEmpty());
    QTest::mouseRelease(w.label, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(desktop.opened, QStringList{kAddress});
    EXPECT_TRUE(link.IsVisited());
    EXPECT_EQ(link.TextColor(), CHyperLink::kActiveColour);

    w.other->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return !w.label->hasFocus(); }));
    EXPECT_FALSE(link.IsPressed());
    EXPECT_EQ(w.label->palette().color(QPalette::WindowText), CHyperLink::kVisitedColour);
}

TEST(HyperLink, OpensOnPressWithTheOptionAndByTheSpaceBar)
{
    struct SCase
    {
        const char* name;
        int options;
        bool space;
        bool openedAfterPress;
        bool focusAfterPress;
    } const cases[] = {
        {"down click", CHyperLink::kDefaultOptions | CHyperLink::kDownClick, false, true, true},
        {"up click", CHyperLink::kDefaultOptions, false, false, true},
        {"click without focus option", CHyperLink::kUnderline, false, false, false},
        {"space bar", CHyperLink::kDefaultOptions, true, true, true},
    };
    for (const SCase& c : cases) {
        RecordingDesktopServices desktop;
        SLinkWindow w(kAddress);
        CHyperLink link;
        link.SetOptions(c.options);
        ASSERT_TRUE(link.Attach(w.label));
        w.Show();
        if (c.space) {
            w.label->setFocus();
            QTest::keyClick(w.label, Qt::Key_Space);
        } else {
            QTest::mousePress(w.label, Qt::LeftButton, {}, QPoint(2, 2));
            EXPECT_EQ(w.label->hasFocus(), c.focusAfterPress) << c.name;
        }
        EXPECT_EQ(desktop.opened.size(), c.openedAfterPress ? 1 : 0) << c.name;
        EXPECT_EQ(link.IsVisited(), c.openedAfterPress) << c.name;
        if (!c.space) {
            QTest::mouseRelease(w.label, Qt::LeftButton, {}, QPoint(2, 2));
            EXPECT_EQ(desktop.opened, QStringList{kAddress}) << c.name;
        }
    }
}

TEST(HyperLink, FailureBeepsShowsTheReasonAndKeepsTheLinkUnvisited)
{
    struct SCase
    {
        const char* name;
        int result;
        QString expected;
    } const cases[] = {
        {"handler program missing", kOpenFileNotFound, "Can't open link:\n\nThe specified file was not found."},
        {"no handler, no xdg-open", kOpenNoAssociation,
         "Can't open link:\n\nThere is no application associated\nwith the given filename extension."},
        {"highest failure code", 32, "Can't open link:\n\nThe specified dynamic-link library was not found."},
    };
    for (const SCase& c : cases) {
        RecordingDesktopServices desktop;
        desktop.openResult = c.result;
        SLinkWindow w(kAddress);
        CHyperLink link;
        ASSERT_TRUE(link.Attach(w.label));
        w.Show();
        QString shown;
        bool warning = false;
        WhenModalShows([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                shown = box->text();
                warning = box->icon() == QMessageBox::Warning;
            }
            modal->close();
        });
        link.GotoURL(3);
        EXPECT_EQ(desktop.opened, QStringList{kAddress}) << c.name;
        EXPECT_EQ(desktop.showCommands, std::vector<int>{3}) << c.name;
        EXPECT_EQ(shown, c.expected) << c.name;
        EXPECT_TRUE(warning) << c.name;
        EXPECT_FALSE(link.IsVisited()) << c.name;
    }
}

TEST(HyperLink, WorksWithoutAControl)
{
    RecordingDesktopServices desktop;
    CHyperLink link;
    EXPECT_FALSE(link.Attach(nullptr));
    link.SetURL(kAddress);
    link.GotoURL(3);
    EXPECT_TRUE(link.IsVisited());
    EXPECT_EQ(desktop.opened, QStringList{kAddress});
    EXPECT_EQ(CHyperLink::OpenAddress(kAddress, 1), kOpenSucceeded);
    desktop.openResult = kOpenAccessDenied;
    EXPECT_EQ(CHyperLink::OpenAddress(kAddress, 1), kOpenAccessDenied);
}

} // namespace

TEST(HyperLink, ReadAsALinkReachedWithTabAndOpenedByEnterOrItsAction)
{
    // Shown before it becomes a link, as in the About box: the interface Qt made for the plain static
    // must give way.
    for (const bool shownFirst : {false, true}) {
        RecordingDesktopServices desktop;
        SLinkWindow w(kAddress);
        if (shownFirst) {
            w.Show();
            ASSERT_EQ(QAccessible::queryAccessibleInterface(w.label)->role(), QAccessible::StaticText);
        }
        CHyperLink link;
        ASSERT_TRUE(link.Attach(w.label));
        if (!shownFirst)
            w.Show();
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(w.label);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->role(), QAccessible::Link) << shownFirst;
        EXPECT_EQ(read->text(QAccessible::Name), kAddress) << shownFirst;
        EXPECT_TRUE(read->state().focusable) << shownFirst;
        QAccessibleActionInterface* actions = read->actionInterface();
        ASSERT_NE(actions, nullptr);
        EXPECT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction())) << shownFirst;

        // Tab from the other control reaches the link; Enter opens it and goes no further.
        w.other->setFocus();
        QTest::keyClick(w.other, Qt::Key_Tab);
        EXPECT_TRUE(w.label->hasFocus()) << shownFirst;
        QTest::keyClick(w.label, Qt::Key_Return);
        EXPECT_EQ(desktop.opened, QStringList{kAddress}) << shownFirst;
        // The action is posted: an assistive technology's call returns before a browser starts.
        actions->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_EQ(desktop.opened.size(), 1) << shownFirst;
        EXPECT_TRUE(WaitUntil([&] { return desktop.opened.size() == 2; })) << shownFirst;
    }
}
