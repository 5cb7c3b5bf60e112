#include "share/CSendMailDlg.h"

#include "platform/ui/Accessibility.h"
#include "platform/ui/OwnedWindows.h"
#include "platform/ui/TextLimit.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTextEdit>

namespace {

struct SField
{
    int id;
    QString CSendMailDlg::*value;
    int maxChars;
};

// In the order the dialog exchanges them: the first field over its limit is the one reported.
const SField kFields[] = {
    {kIdcMailSubject, &CSendMailDlg::m_strSubject, CSendMailDlg::kMaxSubject},
    {kIdcMailTo, &CSendMailDlg::m_strTo, CSendMailDlg::kMaxTo},
    {kIdcMailText, &CSendMailDlg::m_strText, CSendMailDlg::kMaxText},
};

} // namespace

CSendMailDlg::CSendMailDlg(QWidget* parent) : CTemplateDialog(kIddSendMail, parent)
{
    // As in the original's rich-edit field, Tab leaves the text for the next control.
    if (auto* text = qobject_cast<QTextEdit*>(GetDlgItem(kIdcMailText)))
        text->setTabChangesFocus(true);
    if (auto* to = qobject_cast<QLineEdit*>(GetDlgItem(kIdcMailTo)))
        connect(to, &QLineEdit::textChanged, this, &CSendMailDlg::OnChangeTo);
}

CSendMailDlg::~CSendMailDlg() = default;

int CSendMailDlg::DoModal()
{
    OnInitDialog();
    return CTemplateDialog::DoModal();
}

void CSendMailDlg::OnInitDialog()
{
    if (m_initialised)
        return;
    m_initialised = true;
    for (const SField& field : kFields) {
        QWidget* edit = GetDlgItem(field.id);
        SetWindowText(edit, this->*field.value);
        LimitText(edit, field.maxChars);
    }
    // Filling the recipients is no change by the user: "&Send" starts disabled, as the template has it.
    if (QWidget* send = GetDlgItem(kIdOk))
        send->setEnabled(false);
    m_translator.TranslateWindow(this);
    BindLabelsToFields(*this);
    // The recipients come first; the original opened on whichever button came first.
    if (QWidget* to = GetDlgItem(kIdcMailTo))
        to->setFocus();
}

void CSendMailDlg::showEvent(QShowEvent* event)
{
    OnInitDialog();
    CTemplateDialog::showEvent(event);
}

bool CSendMailDlg::CanSendTo(const QString& to)
{
    return !to.isEmpty() && to.contains(QLatin1Char('@')) && to.contains(QLatin1Char('.'));
}

bool CSendMailDlg::ReadFields()
{
    for (const SField& field : kFields) {
        QWidget* edit = GetDlgItem(field.id);
        const QString text = GetWindowText(edit);
        if (text.size() > field.maxChars) {
            QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                            MaxCharsMessage(field.maxChars), QMessageBox::Ok, this);
            KeepAboveOwner(box);
            box.exec();
            if (edit)
                edit->setFocus();
            return false;
        }
        this->*field.value = text;
    }
    return true;
}

void CSendMailDlg::OnChangeTo()
{
    if (!m_initialised)
        return;
    // Only the recipients are read here: reading every field would repeat the over-limit message of a
    // long subject or text at each key typed into the recipients.
    m_strTo = GetWindowText(GetDlgItem(kIdcMailTo));
    if (QWidget* send = GetDlgItem(kIdOk))
        send->setEnabled(CanSendTo(m_strTo));
}

void CSendMailDlg::OnOK()
{
    // Enter reaches here also while "&Send" is disabled.
    const QWidget* send = GetDlgItem(kIdOk);
    if (send && !send->isEnabled())
        return;
    if (!ReadFields())
        return;
    m_strTo.replace(QLatin1Char(','), QLatin1Char(';'));
    CTemplateDialog::OnOK();
}
