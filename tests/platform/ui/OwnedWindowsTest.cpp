// Dialogs and message boxes open above the lamp: transient for its window and on top while open.
#include "platform/ui/OwnedWindows.h"

#include "WidgetTestApp.h"
#include "platform/ui/CTemplateDialog.h"

#include <memory>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

class OwnedWindowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WidgetTestApp();
        m_lamp = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
        m_lamp->winId();
    }
    void TearDown() override { SetDialogOwner(nullptr); }

    std::unique_ptr<QWidget> m_lamp;
};

TEST_F(OwnedWindowsTest, DialogsAndMessageBoxesStandAboveTheOwner)
{
    SetDialogOwner(m_lamp.get());
    EXPECT_EQ(DialogOwner(), m_lamp.get());
    QMessageBox box(QMessageBox::Warning, "caption", "text", QMessageBox::Ok);
    KeepAboveOwner(box);
    EXPECT_TRUE(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_NE(box.windowHandle(), nullptr);
    EXPECT_EQ(box.windowHandle()->transientParent(), m_lamp->windowHandle());
    box.show();
    EXPECT_EQ(box.windowHandle()->transientParent(), m_lamp->windowHandle()) << "showing keeps it";
    box.hide();
}

TEST_F(OwnedWindowsTest, TemplateDialogsRunModallyAboveTheOwner)
{
    SetDialogOwner(m_lamp.get());
    // A parent that is not the lamp (the hidden main frame) does not decide the stacking.
    QWidget frame;
    CTemplateDialog dialog(SDialogTemplate{}, &frame);
    bool above = false;
    QTimer::singleShot(0, [&] {
        QWindow* handle = dialog.windowHandle();
        above = dialog.isVisible() && dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint) && handle &&
                handle->transientParent() == m_lamp->windowHandle();
        dialog.EndDialog(kIdOk);
    });
    EXPECT_EQ(dialog.DoModal(), kIdOk);
    EXPECT_TRUE(above);
}

TEST_F(OwnedWindowsTest, OneWithoutAVisibleParentOpensInTheMiddleOfTheOwnersWorkArea)
{
    SetDialogOwner(m_lamp.get());
    m_lamp->setGeometry(5, 5, 70, 180);
    m_lamp->show();
    const QRect area = m_lamp->screen()->availableGeometry();
    QWidget hiddenFrame; // where Qt would centre it: a window nobody sees, at the screen's corner
    QWidget shownParent;
    shownParent.setGeometry(area.left() + 10, area.top() + 10, 200, 150);
    shownParent.show();
    struct
    {
        QWidget* parent;
        bool centred;
    } const cases[] = {{&hiddenFrame, true}, {nullptr, true}, {&shownParent, false}};
    for (const auto& c : cases) {
        CTemplateDialog dialog(SDialogTemplate{}, c.parent);
        dialog.setFixedSize(227, 210);
        const QPoint before = dialog.pos();
        KeepAboveOwner(dialog);
        if (c.centred) {
            EXPECT_EQ(dialog.geometry().center(), area.center()) << "parent " << c.parent;
        } else {
            EXPECT_EQ(dialog.pos(), before) << "a visible parent leaves the place to Qt";
        }
    }
    m_lamp->hide();
}

TEST_F(OwnedWindowsTest, WithoutAnOwnerOnlyOnTop)
{
    QMessageBox box;
    KeepAboveOwner(box);
    EXPECT_TRUE(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(box.windowHandle() ? box.windowHandle()->transientParent() : nullptr, nullptr);
    // The owner going away leaves no dangling owner behind.
    SetDialogOwner(m_lamp.get());
    m_lamp.reset();
    EXPECT_EQ(DialogOwner(), nullptr);
}

} // namespace

TEST_F(OwnedWindowsTest, TheOwnerHasTheKeyboardAgainOnceADialogCloses)
{
    m_lamp->setFocusPolicy(Qt::StrongFocus);
    m_lamp->show();
    QWidget other;
    other.setFocusPolicy(Qt::StrongFocus);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    SetDialogOwner(m_lamp.get());
    for (const bool messageBox : {false, true}) {
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        std::unique_ptr<QDialog> dialog;
        if (messageBox)
            dialog = std::make_unique<QMessageBox>(QMessageBox::Warning, "caption", "text", QMessageBox::Ok);
        else
            dialog = std::make_unique<CTemplateDialog>(SDialogTemplate{});
        KeepAboveOwner(*dialog);
        QTimer::singleShot(0, dialog.get(), [&] { dialog->done(kIdOk); });
        dialog->exec();
        EXPECT_TRUE(WaitUntil([&] { return m_lamp->hasFocus(); })) << messageBox;
    }
}
