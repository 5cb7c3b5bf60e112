#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "platform/desktop/CSettingsStore.h"
#include "share/CMailQuestionDlg.h"
#include "share/CSendMailDlg.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace {

QAbstractButton* Button(CTemplateDialog& dialog, int id)
{
    return qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id));
}

TEST(MailQuestionDlg, OkStoresTheChosenWayAndDontAskWhileCancelStoresNothing)
{
    WidgetTestApp();
    struct SCase
    {
        const char* name;
        int storedWay; // -1: nothing stored
        int expectRadio;
        int click; // 0: none
        bool tick;
        int closeWith;
        int storedWayAfter; // -1: absent
        int dontAskAfter;   // -1: absent
    } const cases[] = {
        {"fresh, OK", -1, kIdcWebPageWay, 0, false, kIdOk, 0, 0},
        {"fresh, mail chosen, OK", -1, kIdcWebPageWay, kIdcMailClientWay, false, kIdOk, 1, 0},
        {"mail stored, OK", 1, kIdcMailClientWay, 0, false, kIdOk, 1, 0},
        {"mail stored, page chosen, don't ask, OK", 1, kIdcMailClientWay, kIdcWebPageWay, true, kIdOk, 0, 1},
        {"fresh, mail chosen, don't ask, OK", -1, kIdcWebPageWay, kIdcMailClientWay, true, kIdOk, 1, 1},
        {"fresh, mail chosen, don't ask, Cancel", -1, kIdcWebPageWay, kIdcMailClientWay, true, kIdCancel, -1, -1},
        {"mail stored, page chosen, Cancel", 1, kIdcMailClientWay, kIdcWebPageWay, false, kIdCancel, 1, -1},
    };
    for (const SCase& c : cases) {
        ScopedXdgHome home;
        const CSettingsStore& settings = CSettingsStore::Program();
        if (c.storedWay != -1)
            settings.WriteInt(NimoSettings::kUseMailClient, c.storedWay);
        CMailQuestionDlg dialog;
        dialog.OnInitDialog();
        EXPECT_TRUE(Button(dialog, c.expectRadio)->isChecked()) << c.name;
        EXPECT_FALSE(Button(dialog, kIdcDontAsk)->isChecked()) << c.name;
        if (c.click)
            Button(dialog, c.click)->click();
        if (c.tick)
            Button(dialog, kIdcDontAsk)->click();
        Button(dialog, c.closeWith)->click();
        EXPECT_EQ(dialog.result(), c.closeWith) << c.name;
        EXPECT_EQ(settings.ReadInt(NimoSettings::kUseMailClient, -1), c.storedWayAfter) << c.name;
        EXPECT_EQ(settings.ReadInt(NimoSettings::kDontAskHowToSend, -1), c.dontAskAfter) << c.name;
        if (c.closeWith == kIdOk) {
            EXPECT_EQ(dialog.m_bMapi, c.storedWayAfter == 1) << c.name;
        }
    }
}

TEST(SendMailDlg, SendNeedsAnAtAndADotAnywhereInTheRecipients)
{
    WidgetTestApp();
    const std::pair<const char*, bool> cases[] = {
        {"", false},           {"anna", false},          {"anna@example", false}, {"anna.example", false},
        {"anna@example.com", true}, {"a@b;c.d", true},   {"@.", true},            {"ä@ö.ü", true},
    };
    for (const auto& [to, enabled] : cases) {
        CSendMailDlg dialog;
        dialog.show();
        QAbstractButton* send = Button(dialog, kIdOk);
        EXPECT_FALSE(send->isEnabled()) << to;
        auto* edit = qobject_cast<QLineEdit*>(dialog.GetDlgItem(kIdcMailTo));
        edit->insert(QString::fromUtf8(to));
        EXPECT_EQ(send->isEnabled(), enabled) << to;
        EXPECT_EQ(CSendMailDlg::CanSendTo(QString::fromUtf8(to)), enabled) << to;
        // Enter does nothing while "&Send" is disabled.
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(dialog.result(), enabled ? kIdOk : 0) << to;
    }
}

TEST(SendMailDlg, CommasBecomeSemicolonsAndEnterInTheTextBreaksTheLine)
{
    WidgetTestApp();
    CSendMailDlg dialog;
    dialog.m_strSubject = QStringLiteral("Nimo Lamp");
    dialog.show();
    EXPECT_EQ(GetWindowText(dialog.GetDlgItem(kIdcMailSubject)), QStringLiteral("Nimo Lamp"));
    QTest::keyClicks(dialog.GetDlgItem(kIdcMailTo), QStringLiteral("a@b.example, c@d.example"));
    QWidget* text = dialog.GetDlgItem(kIdcMailText);
    QTest::keyClicks(text, QStringLiteral("Hi"));
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClicks(text, QStringLiteral("there"));
    EXPECT_TRUE(dialog.isVisible());
    Button(dialog, kIdOk)->click();
    EXPECT_EQ(dialog.result(), kIdOk);
    EXPECT_EQ(dialog.m_strTo, QStringLiteral("a@b.example; c@d.example"));
    EXPECT_EQ(dialog.m_strText, QStringLiteral("Hi\nthere"));
    EXPECT_EQ(dialog.m_strSubject, QStringLiteral("Nimo Lamp"));
}

TEST(SendMailDlg, TypingStopsAtEachFieldsLimit)
{
    WidgetTestApp();
    const std::pair<int, int> cases[] = {{kIdcMailTo, 250}, {kIdcMailSubject, 150},
                                         {kIdcMailText, 500}};
    for (const auto& [id, limit] : cases) {
        CSendMailDlg dialog;
        dialog.show();
        QWidget* edit = dialog.GetDlgItem(id);
        QTest::keyClicks(edit, QString(limit - 1, QLatin1Char('x')));
        QTest::keyClicks(edit, QStringLiteral("yz"));
        EXPECT_EQ(GetWindowText(edit), QString(limit - 1, QLatin1Char('x')) + QLatin1Char('y')) << id;
        if (auto* rich = qobject_cast<QTextEdit*>(edit)) {
            // A paste is cut at the limit, where the cursor stands.
            rich->clear();
            rich->insertPlainText(QString(limit - 2, QLatin1Char('a')));
            rich->moveCursor(QTextCursor::Start);
            rich->insertPlainText(QStringLiteral("1234"));
            EXPECT_EQ(rich->toPlainText(), QStringLiteral("12") + QString(limit - 2, QLatin1Char('a')));
        }
    }
}

TEST(SendMailDlg, AFieldOverItsLimitKeepsTheDialogOpenWithTheFrameworkMessage)
{
    WidgetTestApp();
    struct SCase
    {
        int length;
        bool closes;
    } const cases[] = {{150, true}, {151, false}};
    for (const SCase& c : cases) {
        CSendMailDlg dialog;
        dialog.m_strSubject = QString(c.length, QLatin1Char('s'));
        dialog.show();
        // A text set by the program keeps its length; only typing is stopped.
        EXPECT_EQ(GetWindowText(dialog.GetDlgItem(kIdcMailSubject)).size(), c.length);
        QTest::keyClicks(dialog.GetDlgItem(kIdcMailTo), QStringLiteral("a@b.c"));
        QString message;
        WhenModalShows([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                message = box->text();
                box->accept();
            }
        });
        Button(dialog, kIdOk)->click();
        if (!c.closes)
            WaitUntil([&] { return !message.isEmpty(); }, 2000);
        EXPECT_EQ(dialog.isVisible(), !c.closes) << c.length;
        EXPECT_EQ(message, c.closes ? QString() : QStringLiteral("Please enter no more than 150 characters."))
            << c.length;
        WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }, 200);
    }
}

TEST(MailDialogs, CaptionsLabelsAndButtonsFollowTheUsersLanguage)
{
    WidgetTestApp();
    ScopedXdgHome home;
    struct SCase
    {
        const char* locale;
        QStringList question;
        QStringList sendMail;
    } const cases[] = {
        {"de_DE.UTF-8",
         {"Frage...", "&OK", "&Abbrechen", "&Über Nimos Homepage (empfohlen)", "Ü&ber mein Mailprogramm",
          "Schick die Lampe an einen Freund : ", "Nicht nochmals fragen", ""},
         {"Als Email verschicken...", "&Schicken:", "&Abbrechen", "Empfänger:",
          "Mehrfachempfänger mit Semikolons trennen", "", "", "Betreff:", "Nachricht:"}},
        {"de_AT",
         {"Frage...", "&OK", "&Abbrechen", "&Über Nimos Homepage (empfohlen)", "Ü&ber mein Mailprogramm",
          "Schick die Lampe an einen Freund : ", "Nicht nochmals fragen", ""},
         {"Als Email verschicken...", "&Schicken:", "&Abbrechen", "Empfänger:",
          "Mehrfachempfänger mit Semikolons trennen", "", "", "Betreff:", "Nachricht:"}},
        {"en_GB.UTF-8",
         {"Question...", "&OK", "&Cancel", "&Use Nimo's home page (recomended)", "&Use my mail client",
          "Send Nimo to a friend : ", "Don't ask again", ""},
         {"Send mail...", "&Send", "&Cancel", "To:",
          "Separate multiple recipients with a semicolon e.g.:\r\nanna@example.com;ben@example.org", "", "",
          "Subject:", "Text:"}},
    };
    // The texts of the caption and of every "Static" and "Button" child, in template order.
    const auto texts = [](CTemplateDialog& dialog) {
        QStringList result{dialog.windowTitle()};
        for (QWidget* child : GetChildWindows(&dialog)) {
            const QString kind = GetWindowClassName(child);
            if (kind == QStringLiteral("Static") || kind == QStringLiteral("Button"))
                result.append(GetWindowText(child));
        }
        return result;
    };
    for (const SCase& c : cases) {
        ScopedEnv locale("LC_ALL", c.locale);
        CMailQuestionDlg question;
        question.OnInitDialog();
        EXPECT_EQ(texts(question), c.question) << c.locale;
        CSendMailDlg sendMail;
        sendMail.OnInitDialog();
        EXPECT_EQ(texts(sendMail), c.sendMail) << c.locale;
        // The user's own texts are never translated.
        EXPECT_EQ(GetWindowText(sendMail.GetDlgItem(kIdcMailSubject)), QString());
    }
}

} // namespace

namespace {

QStringList LabelsOf(QWidget* widget)
{
    QStringList names;
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(widget);
    for (const auto& [label, relation] : read->relations(QAccessible::Label))
        names.append(label->text(QAccessible::Name));
    return names;
}

} // namespace

TEST(MailDialogs, FieldsAndWaysAreNamedByTheirLabelsInBothLanguages)
{
    WidgetTestApp();
    struct SCase
    {
        const char* locale;
        const char* to;
        const char* subject;
        const char* text;
        const char* ways;
    } const cases[] = {
        {"C", "To:", "Subject:", "Text:", "Send Nimo to a friend : "},
        {"de_DE.UTF-8", "Empf\u00e4nger:", "Betreff:", "Nachricht:", "Schick die Lampe an einen Freund : "},
    };
    for (const SCase& c : cases) {
        ScopedXdgHome home;
        ScopedEnv locale("LC_ALL", c.locale);
        CSendMailDlg mail;
        mail.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&mail));
        const std::pair<int, const char*> fields[] = {
            {kIdcMailTo, c.to}, {kIdcMailSubject, c.subject}, {kIdcMailText, c.text}};
        for (const auto& [id, label] : fields) {
            QWidget* field = mail.GetDlgItem(id);
            EXPECT_EQ(QAccessible::queryAccessibleInterface(field)->text(QAccessible::Name), QString::fromUtf8(label))
                << c.locale << " " << id;
            EXPECT_EQ(LabelsOf(field), QStringList{QString::fromUtf8(label)}) << c.locale << " " << id;
        }
        // The help text above the fields labels none of them; the recipients have the focus.
        EXPECT_EQ(mail.GetDlgItem(kIdcMailTo), QApplication::focusWidget()) << c.locale;
        mail.reject();

        CMailQuestionDlg question;
        question.OnInitDialog();
        for (const int id : {kIdcWebPageWay, kIdcMailClientWay}) {
            QWidget* way = question.GetDlgItem(id);
            EXPECT_EQ(LabelsOf(way), QStringList{QString::fromUtf8(c.ways)}) << c.locale << " " << id;
            EXPECT_EQ(QAccessible::queryAccessibleInterface(way)->role(), QAccessible::RadioButton);
            // Tab reaches the chosen way only.
            EXPECT_EQ(bool(way->focusPolicy() & Qt::TabFocus), id == kIdcWebPageWay) << c.locale << " " << id;
        }
        EXPECT_TRUE(LabelsOf(question.GetDlgItem(kIdcDontAsk)).isEmpty()) << c.locale;
    }
}
