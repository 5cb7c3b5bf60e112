#pragma once

#include "i18n/CTranslator.h"
#include "platform/ui/CTemplateDialog.h"
#include "resources/ResourceIds.h"

#include <QString>

// The mail to a friend (template 146): recipients, subject and text. "&Send" is enabled while the
// recipients hold an "@" and a "." anywhere; commas separate recipients as semicolons do.
class CSendMailDlg final : public CTemplateDialog
{
public:
    static constexpr int kMaxTo = 250;
    static constexpr int kMaxSubject = 150;
    static constexpr int kMaxText = 500;

    explicit CSendMailDlg(QWidget* parent = nullptr);
    ~CSendMailDlg() override;

    int DoModal();
    // The initialisation: the fields from the three strings, their limits, the translation.
    void OnInitDialog();

    // Whether a recipient text lets the mail be sent: not empty, an "@" and a "." anywhere in it.
    static bool CanSendTo(const QString& to);

    QString m_strSubject;
    QString m_strTo;
    QString m_strText;

protected:
    void showEvent(QShowEvent* event) override;
    void OnOK() override;

private:
    // Reads the three fields back; false (after telling the user) when one is over its limit.
    bool ReadFields();
    void OnChangeTo();

    CTranslator m_translator;
    bool m_initialised = false;
};
