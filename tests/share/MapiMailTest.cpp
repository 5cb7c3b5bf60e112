#include "share/CMapiMail.h"
#include "RecordingDesktopServices.h"
#include "WidgetTestApp.h"

#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QString kSendFailed = QStringLiteral("Send Mail failed to send message.");

// While it lives, closes every message box with OK and keeps its text (the last one in text).
struct SMessageCatcher
{
    SMessageCatcher()
    {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == seen || !box->isVisible())
                return;
            seen = box;
            text = box->text();
            texts.append(text);
            parents.append(box->parentWidget());
            box->accept();
        });
        poll.start(10);
    }
    QString text;
    QStringList texts;
    QList<QWidget*> parents;
    QPointer<QWidget> seen;
    QTimer poll;
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

TEST(MapiMail, OnlyAFailureOfTheHandOffIsToldToTheUserWhenItComes)
{
    WidgetTestApp();
    const QString nameLost = QStringLiteral(
        "Send Mail cannot attach the program: its file name is not valid UTF-8. Move or rename the program "
        "and try again.");
    struct SCase
    {
        int status;
        QString message;
    } const cases[] = {{kMailSent, QString()},      {1, kSendFailed}, {2, kSendFailed},
                       {3, kSendFailed},            {5, kSendFailed}, {-1, kSendFailed},
                       {kMailCancelled, QString()}, {kMailNameLost, nameLost}};
    for (const SCase& c : cases) {
        RecordingDesktopServices desktop;
        desktop.mailResult = c.status;
        SMessageCatcher message;
        {
            CMapiMail mail;
            // No recipient at all: the mail is handed over all the same; the outcome comes after Send.
            EXPECT_TRUE(mail.Send(0)) << c.status;
            EXPECT_TRUE(message.text.isEmpty()) << c.status;
        }
        EXPECT_EQ(desktop.mails.size(), 1u) << c.status;
        WaitUntil([&] { return !message.text.isEmpty(); }, c.message.isEmpty() ? 200 : 5000);
        EXPECT_EQ(message.text, c.message) << c.status;
        WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }, 500);
    }
}

TEST(MapiMail, TheWindowsAreHeldUntilTheMailClientHasTheMailAndALateFailureIsToldOnce)
{
    WidgetTestApp();
    QWidget lamp;
    lamp.show();
    QWidget hidden;
    QWidget alreadyDisabled;
    alreadyDisabled.setEnabled(false);
    alreadyDisabled.show();
    RecordingDesktopServices desktop;
    desktop.holdMail = true;
    {
        CMapiMail mail(&lamp);
        mail.Send(0);
        // Held: disabled under the wait cursor, and no second mail may start.
        EXPECT_FALSE(lamp.isEnabled());
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        EXPECT_TRUE(CMapiMail::IsHandingOver());
    }
    // The mail sender is gone; the mail client takes the mail and the windows work again.
    desktop.HandOverMail();
    EXPECT_TRUE(lamp.isEnabled());
    EXPECT_TRUE(hidden.isEnabled());
    EXPECT_FALSE(alreadyDisabled.isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(CMapiMail::IsHandingOver());

    // Much later the mail client fails: told once, above the lamp, and nothing waits on the message.
    SMessageCatcher message;
    desktop.FinishMail(4);
    EXPECT_TRUE(message.texts.isEmpty()) << "the message waited on";
    EXPECT_TRUE(lamp.isEnabled());
    WaitUntil([&] { return !message.texts.isEmpty(); });
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(message.texts, QStringList{kSendFailed});
    EXPECT_EQ(message.parents, QList<QWidget*>{&lamp});
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
