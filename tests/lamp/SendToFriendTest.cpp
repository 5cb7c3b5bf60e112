#include "FakeLampOwner.h"
#include "RecordingDesktopServices.h"
#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "lamp/CNimoDlg.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/ProgramPath.h"
#include "share/CMailQuestionDlg.h"
#include "share/CMapiMail.h"
#include "share/CSendMailDlg.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QString kHost = QStringLiteral("http://www.kestrelward.example");

// A lamp in fresh XDG folders with a recording desktop, which has a mail client unless told otherwise.
struct SFriendLamp
{
    SFriendLamp()
    {
        CMapiMail::ForgetMailSystem();
        lamp.Create(&owner);
        lamp.show();
    }
    ~SFriendLamp() { CMapiMail::ForgetMailSystem(); }

    // The one page the command opened; empty when none.
    QString OpenedPage() const { return desktop.opened.size() == 1 ? desktop.opened.front() : QString(); }

    QApplication& app = WidgetTestApp();
    ScopedXdgHome home;
    RecordingDesktopServices desktop;
    CFakeLampOwner owner;
    CNimoDlg lamp;
};

// What the user does in the two dialogs while it lives: each modal window that shows is handled once. A
// dialog without a step is cancelled; a message box is closed with OK and its text kept.
class CUser final
{
public:
    CUser()
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() || modal == m_handled)
                return;
            m_handled = modal;
            Handle(modal);
        });
        m_poll.start(10);
    }

    std::function<void(CMailQuestionDlg&)> question;
    std::function<void(CSendMailDlg&)> sendMail;
    QString message;
    bool questionShown = false;
    bool sendMailShown = false;

private:
    void Handle(QWidget* modal)
    {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            message = box->text();
            box->accept();
        } else if (auto* dialog = dynamic_cast<CMailQuestionDlg*>(modal)) {
            questionShown = true;
            question ? question(*dialog) : dialog->EndDialog(kIdCancel);
        } else if (auto* dialog = dynamic_cast<CSendMailDlg*>(modal)) {
            sendMailShown = true;
            sendMail ? sendMail(*dialog) : dialog->EndDialog(kIdCancel);
        }
    }

    QTimer m_poll;
    QPointer<QWidget> m_handled;
};

void Click(CTemplateDialog& dialog, int id)
{
    qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id))->click();
}

void Type(CTemplateDialog& dialog, int id, const QString& text)
{
    QTest::keyClicks(dialog.GetDlgItem(id), text);
}

TEST(SendToFriend, WithoutAUsableMailSystemTheDownloadPageOpens)
{
    struct SCase
    {
        const char* name;
        bool hasProgram;
        bool configured;
        QString message;
    } const cases[] = {
        {"no xdg-email", false, true, QStringLiteral("Unable to load mail system support.")},
        {"no mailto handler", true, false, QString()},
    };
    for (const SCase& c : cases) {
        SFriendLamp s;
        s.desktop.mailProgram = c.hasProgram;
        s.desktop.mailConfigured = c.configured;
        CUser user;
        EXPECT_TRUE(s.lamp.OnCommand(kCmdSendToFriend)) << c.name;
        EXPECT_EQ(user.message, c.message) << c.name;
        EXPECT_FALSE(user.questionShown) << c.name;
        EXPECT_EQ(s.OpenedPage(), kHost + "/en/wexodownload.html") << c.name;
        EXPECT_TRUE(s.desktop.mails.empty()) << c.name;
    }
}

TEST(SendToFriend, TheQuestionChoosesTheWayAndRemembersIt)
{
    struct SCase
    {
        const char* name;
        int click; // radio id, 0 none
        bool dontAsk;
        int closeWith;
        bool page; // the send-to-a-friend page opens
        bool sendMail; // the send-mail dialog shows
    } const cases[] = {
        {"page, OK", kIdcWebPageWay, false, kIdOk, true, false},
        {"mail, OK", kIdcMailClientWay, false, kIdOk, false, true},
        {"page, don't ask, OK", kIdcWebPageWay, true, kIdOk, true, false},
        {"mail, don't ask, OK", kIdcMailClientWay, true, kIdOk, false, true},
        {"page, Cancel", kIdcWebPageWay, false, kIdCancel, false, false},
        {"mail, don't ask, Cancel", kIdcMailClientWay, true, kIdCancel, false, false},
    };
    for (const SCase& c : cases) {
        SFriendLamp s;
        {
            CUser user;
            user.question = [&c](CMailQuestionDlg& dialog) {
                Click(dialog, c.click);
                if (c.dontAsk)
                    Click(dialog, kIdcDontAsk);
                Click(dialog, c.closeWith);
            };
            s.lamp.OnCommand(kCmdSendToFriend);
            EXPECT_TRUE(user.questionShown) << c.name;
            EXPECT_EQ(user.sendMailShown, c.sendMail) << c.name;
            EXPECT_EQ(s.OpenedPage(),
                      c.page ? kHost + "/en/wexofriendnimomate.html" : QString()) << c.name;
            EXPECT_TRUE(s.desktop.mails.empty()) << c.name;
        }
        // The next run asks again unless the user said not to, and then takes the remembered way at once.
        s.desktop.opened.clear();
        CUser next;
        s.lamp.OnCommand(kCmdSendToFriend);
        const bool remembered = c.dontAsk && c.closeWith == kIdOk;
        EXPECT_EQ(next.questionShown, !remembered) << c.name;
        EXPECT_EQ(next.sendMailShown, remembered && c.sendMail) << c.name;
        EXPECT_EQ(s.OpenedPage(), remembered && c.page ? kHost + "/en/wexofriendnimomate.html" : QString())
            << c.name;
        WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }, 500);
    }
}

TEST(SendToFriend, TheMailCarriesRecipientsSubjectTextAndTheProgram)
{
    struct SCase
    {
        const char* name;
        const char* locale;
        QString to;
        QStringList recipients;
        QString subject; // preset shown in the dialog
        QString page;
    } const cases[] = {
        {"comma and blank", "C", "a@b.example, c@d.example", {"a@b.example", " c@d.example"}, "Nimo Lamp",
         kHost + "/en/wexodownload.html"},
        {"leading semicolon", "C", ";a@b.example", {}, "Nimo Lamp", kHost + "/en/wexodownload.html"},
        {"two semicolons end the list", "en_US", "a@b.example;;c@d.example", {"a@b.example"}, "Nimo Lamp",
         kHost + "/en/wexodownload.html"},
        {"German", "de_DE.UTF-8", "a@b.example;c@d.example;", {"a@b.example", "c@d.example"}, "Nimolampe",
         kHost + "/de/wexodownload.html"},
    };
    for (const SCase& c : cases) {
        ScopedEnv locale("LC_ALL", c.locale);
        SFriendLamp s;
        CSettingsStore::Program().WriteInt(NimoSettings::kDontAskHowToSend, 1);
        CSettingsStore::Program().WriteInt(NimoSettings::kUseMailClient, 1);
        CUser user;
        QString preset;
        user.sendMail = [&](CSendMailDlg& dialog) {
            preset = GetWindowText(dialog.GetDlgItem(kIdcMailSubject));
            Type(dialog, kIdcMailTo, c.to);
            Type(dialog, kIdcMailText, QStringLiteral("Look!"));
            Click(dialog, kIdOk);
        };
            s.lamp.OnCommand(kCmdSendToFriend);
        EXPECT_FALSE(user.questionShown) << c.name;
        EXPECT_EQ(preset, c.subject) << c.name;
        ASSERT_EQ(s.desktop.mails.size(), 1u) << c.name;
        const SMailMessage& mail = s.desktop.mails[0];
        EXPECT_EQ(mail.recipients, c.recipients) << c.name;
        EXPECT_EQ(mail.subject, c.subject) << c.name;
        EXPECT_EQ(mail.body, "Look!\n\n" + c.page + " ") << c.name;
        EXPECT_EQ(mail.attachments, QStringList{GetProgramPath()}) << c.name;
        EXPECT_TRUE(s.OpenedPage().isEmpty()) << c.name;
        EXPECT_TRUE(user.message.isEmpty()) << c.name;
    }
}

// The mail client's way, chosen before, and a mail to one address sent from the lamp's menu.
void SendOneMail(SFriendLamp& s, CUser& user)
{
    CSettingsStore::Program().WriteInt(NimoSettings::kDontAskHowToSend, 1);
    CSettingsStore::Program().WriteInt(NimoSettings::kUseMailClient, 1);
    user.sendMail = [](CSendMailDlg& dialog) {
        Type(dialog, kIdcMailTo, QStringLiteral("a@b.example"));
        Click(dialog, kIdOk);
    };
    s.lamp.OnCommand(kCmdSendToFriend);
}

TEST(SendToFriend, AFailedSendIsToldOnceAndNothingElseHappens)
{
    SFriendLamp s;
    s.desktop.mailResult = 4;
    bool lampPlays = false;
    s.desktop.onSendMail = [&] { lampPlays = s.lamp.IsFrameTimerActive() && !s.lamp.isEnabled(); };
    CUser user;
    SendOneMail(s, user);
    EXPECT_EQ(s.desktop.mails.size(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return !user.message.isEmpty(); }));
    EXPECT_EQ(user.message, QStringLiteral("Send Mail failed to send message."));
    EXPECT_TRUE(s.OpenedPage().isEmpty());
    EXPECT_TRUE(lampPlays);
    EXPECT_TRUE(s.lamp.isEnabled());
}

TEST(SendToFriend, ExitWhileTheMailIsHandedOverIsNotHeldUp)
{
    SFriendLamp s;
    s.desktop.holdMail = true;
    CUser user;
    SendOneMail(s, user);
    ASSERT_EQ(s.desktop.mails.size(), 1u);
    // The command has returned while the mail is still on its way; a second one starts nothing.
    EXPECT_FALSE(s.lamp.isEnabled());
    EXPECT_TRUE(s.lamp.IsFrameTimerActive());
    s.lamp.OnCommand(kCmdSendToFriend);
    EXPECT_EQ(s.desktop.mails.size(), 1u);
    // Exit (the tray's, or the session's end) closes at once and keeps the lamp's place.
    s.lamp.move(321, 123);
    s.lamp.SaveAndClose();
    EXPECT_EQ(s.owner.closeRequests, 1);
    EXPECT_EQ(s.owner.applied.size(), 1u);
    EXPECT_EQ(CSettingsStore::Program().ReadInt(NimoSettings::kWndX, -1), s.lamp.frameGeometry().left());
    s.desktop.FinishMail(0);
    EXPECT_TRUE(user.message.isEmpty());
}

TEST(SendToFriend, ACloseWhileTheCommandRunsEndsItsDialogsAndWaitsForItsEnd)
{
    SFriendLamp s;
    CUser user;
    int closesWhileOpen = -1;
    bool secondCommandShowedNothing = false;
    user.question = [&](CMailQuestionDlg& dialog) {
        // A second run is refused while the first one's dialog is open.
        s.lamp.OnCommand(kCmdSendToFriend);
        secondCommandShowedNothing = QApplication::activeModalWidget() == &dialog;
        s.lamp.SaveAndClose();
        closesWhileOpen = s.owner.closeRequests;
    };
    s.lamp.OnCommand(kCmdSendToFriend);
    EXPECT_TRUE(user.questionShown);
    EXPECT_TRUE(secondCommandShowedNothing);
    EXPECT_EQ(closesWhileOpen, 0);
    EXPECT_EQ(s.owner.closeRequests, 1);
    EXPECT_FALSE(user.sendMailShown);
    EXPECT_TRUE(s.OpenedPage().isEmpty());
}

} // namespace
