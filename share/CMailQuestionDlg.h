#pragma once

#include "i18n/CTranslator.h"
#include "platform/ui/CTemplateDialog.h"
#include "resources/ResourceIds.h"

// The question how to send the lamp to a friend (template 145): the publisher's page or the user's mail
// client, and whether to ask again. OK stores both answers; Cancel stores nothing.
class CMailQuestionDlg final : public CTemplateDialog
{
public:

    explicit CMailQuestionDlg(QWidget* parent = nullptr);
    ~CMailQuestionDlg() override;

    int DoModal();
    // The initialisation: the check box as m_bDontAsk, the stored way's radio button, the translation.
    void OnInitDialog();

    bool m_bMapi = false; // true: the mail client
    int m_bDontAsk = 0;

protected:
    void showEvent(QShowEvent* event) override;
    void OnOK() override;
    void OnCommand(int id) override;

private:
    CTranslator m_translator;
    bool m_initialised = false;
};
