#include "share/CMapiMail.h"
#include "RecordingDesktopServices.h"
#include "WidgetTestApp.h"

#include <QMessageBox>

#include <gtest/gtest.h>

namespace {

const QString kSendFailed = QStringLiteral("Send Mail failed to send message.");

// Closes the next message box with OK and keeps its text; empty when none showed.
struct SMessageCatcher
{
    SMessageCatcher()
    {
        WhenModalShows([this](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                text = box->text();
                box->accept();
            }
        });
    }
    QString text;
};

TEST(MapiMail, WithoutTheMailProgramTheUserIsToldAndTheStatusIsOne)
{
    WidgetTestApp();
    RecordingDesktopServices desktop;
    desktop.mailProgram = false;
    SMessageCatcher message;
    CMapiMail mail;
    EXPECT_EQ(message.text, QStringLiteral("Unable to load mail system support."));
    EXPECT_EQ(mail.TakeStatus(), CMapiMail::kStatusNoLibrary);
    EXPECT_EQ(mail.TakeStatus(), CMapiMail::kStatusOk);
    EXPECT_EQ(mail.message.lpOriginator, &mail.originator);
}

TEST(MapiMail, EachAttachmentStandsAtABlankOfItsOwnAfterTheText)
{
    WidgetTestApp();
    RecordingDesktopServices desktop;
    CMapiMail mail;
    ASSERT_EQ(mail.TakeStatus(), CMapiMail::kStatusOk);
    mail.message.lpszSubject = QStringLiteral("Nimo Lamp");
    mail.originator.lpszName = QStringLiteral("nimo@kestrelward.example");
    mail.text = QStringLiteral("Hällo\n\nhttp://x");
    const long length = mail.text.size();
    ASSERT_TRUE(mail.AddRecipient(QStringLiteral("a@b.example")));
    ASSERT_TRUE(mail.AddRecipient(QStringLiteral(" c@d.example")));
    ASSERT_TRUE(mail.AddAttachment(QStringLiteral("/opt/nimo/nimo"), QStringLiteral("Nimo.exe")));
    ASSERT_TRUE(mail.AddAttachment(QStringLiteral("/tmp/second file")));
    EXPECT_TRUE(mail.Send(0));

    ASSERT_EQ(mail.message.lpFiles.size(), 2u);
    EXPECT_EQ(mail.message.lpFiles[0].nPosition, length);
    EXPECT_EQ(mail.message.lpFiles[1].nPosition, length + 1);
    EXPECT_EQ(mail.message.lpszNoteText, QStringLiteral("Hällo\n\nhttp://x  "));
    EXPECT_EQ(mail.message.lpRecips[1].ulRecipClass, Mapi::kTo);
    EXPECT_EQ(mail.originator.ulRecipClass, Mapi::kOrig);
    ASSERT_EQ(desktop.mails.size(), 1u);
    const SMailMessage& order = desktop.mails[0];
    EXPECT_EQ(order.subject, QStringLiteral("Nimo Lamp"));
    EXPECT_EQ(order.body, QStringLiteral("Hällo\n\nhttp://x  "));
    EXPECT_EQ(order.attachments, (QStringList{"/opt/nimo/nimo", "/tmp/second file"}));
    EXPECT_EQ(order.recipients, (QStringList{"a@b.example", " c@d.example"}));
    // The copies are gone after the one Send, and a second Send hands nothing over.
    EXPECT_TRUE(mail.message.lpRecips[0].lpszName.isEmpty());
    EXPECT_TRUE(mail.message.lpFiles[0].lpszPathName.isEmpty());
    EXPECT_FALSE(mail.Send(0));
    EXPECT_EQ(desktop.mails.size(), 1u);
}

TEST(MapiMail, OnlyAFailureOfTheMailProgramIsToldToTheUser)
{
    WidgetTestApp();
    struct SCase
    {
        int exitStatus;
        bool result;
    } const cases[] = {{0, true}, {1, false}, {2, false}, {3, false}, {4, false}, {5, false}, {-1, false}};
    for (const SCase& c : cases) {
        RecordingDesktopServices desktop;
        desktop.mailResult = c.exitStatus;
        CMapiMail mail;
        // No recipient at all: the mail is handed over all the same.
        SMessageCatcher message;
        EXPECT_EQ(mail.Send(0), c.result) << c.exitStatus;
        EXPECT_EQ(desktop.mails.size(), 1u) << c.exitStatus;
        WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }, 200);
        EXPECT_EQ(message.text, c.result ? QString() : kSendFailed) << c.exitStatus;
    }
}

TEST(MapiMail, WhileTheMailClientHasTheMailOurWindowsAreDisabledUnderTheWaitCursor)
{
    WidgetTestApp();
    QWidget lamp;
    lamp.show();
    QWidget hidden;
    QWidget alreadyDisabled;
    alreadyDisabled.setEnabled(false);
    alreadyDisabled.show();
    RecordingDesktopServices desktop;
    bool lampDisabled = false;
    bool waitCursor = false;
    desktop.onSendMail = [&] {
        lampDisabled = !lamp.isEnabled();
        waitCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    CMapiMail mail;
    mail.Send(0);
    EXPECT_TRUE(lampDisabled);
    EXPECT_TRUE(waitCursor);
    EXPECT_TRUE(lamp.isEnabled());
    EXPECT_TRUE(hidden.isEnabled());
    EXPECT_FALSE(alreadyDisabled.isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MapiMail, TheMailSystemIsAskedForOncePerProcess)
{
    struct SCase
    {
        bool hasProgram;
        bool configured;
        bool answer;
    } const cases[] = {{true, true, true}, {true, false, false}, {false, true, false}};
    for (const SCase& c : cases) {
        CMapiMail::ForgetMailSystem();
        RecordingDesktopServices desktop;
        desktop.mailProgram = c.hasProgram;
        desktop.mailConfigured = c.configured;
        EXPECT_EQ(CMapiMail::HasMailSystem(), c.answer);
        const int asked = desktop.mailQueries;
        EXPECT_GE(asked, 1);
        desktop.mailProgram = !c.hasProgram;
        desktop.mailConfigured = !c.configured;
        EXPECT_EQ(CMapiMail::HasMailSystem(), c.answer);
        EXPECT_EQ(desktop.mailQueries, asked);
    }
    CMapiMail::ForgetMailSystem();
}

} // namespace
