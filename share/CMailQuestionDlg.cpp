#include "share/CMailQuestionDlg.h"

#include "platform/desktop/CSettingsStore.h"
#include "platform/ui/Accessibility.h"

#include <QAbstractButton>

CMailQuestionDlg::CMailQuestionDlg(QWidget* parent) : CTemplateDialog(kIddMailQuestion, parent) {}

CMailQuestionDlg::~CMailQuestionDlg() = default;

int CMailQuestionDlg::DoModal()
{
    OnInitDialog();
    return CTemplateDialog::DoModal();
}

void CMailQuestionDlg::OnInitDialog()
{
    if (m_initialised)
        return;
    m_initialised = true;
    if (auto* dontAsk = qobject_cast<QAbstractButton*>(GetDlgItem(kIdcDontAsk)))
        dontAsk->setChecked(m_bDontAsk != 0);
    const CSettingsStore& settings = CSettingsStore::Program();
    m_bMapi = settings.ReadInt(NimoSettings::kUseMailClient, NimoSettings::kUseMailClientDefault) != 0;
    if (auto* radio = qobject_cast<QAbstractButton*>(GetDlgItem(m_bMapi ? kIdcMailClientWay : kIdcWebPageWay)))
        radio->setChecked(true);
    m_translator.TranslateWindow(this);
    PrepareRadioGroups(*this);
}

void CMailQuestionDlg::showEvent(QShowEvent* event)
{
    OnInitDialog();
    CTemplateDialog::showEvent(event);
}

void CMailQuestionDlg::OnCommand(int id)
{
    if (id == kIdcWebPageWay)
        m_bMapi = false;
    else if (id == kIdcMailClientWay)
        m_bMapi = true;
}

void CMailQuestionDlg::OnOK()
{
    const auto* dontAsk = qobject_cast<const QAbstractButton*>(GetDlgItem(kIdcDontAsk));
    m_bDontAsk = dontAsk && dontAsk->isChecked() ? 1 : 0;
    const CSettingsStore& settings = CSettingsStore::Program();
    settings.WriteInt(NimoSettings::kUseMailClient, m_bMapi ? 1 : 0);
    settings.WriteInt(NimoSettings::kDontAskHowToSend, m_bDontAsk);
    CTemplateDialog::OnOK();
}
