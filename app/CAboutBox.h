#pragma once

#include "i18n/CTranslator.h"
#include "platform/ui/CTemplateDialog.h"
#include "share/CHyperLink.h"

// The About box (template 100): the icon, the version, a notice line, the maker's two web addresses as
// links and the product picture. Its result is of no interest to anyone.
class CAboutBox final : public CTemplateDialog
{
public:
    explicit CAboutBox(QWidget* parent = nullptr);
    ~CAboutBox() override;

    // Binds the links, places the icon and the picture, translates the caption. Runs once, before the
    // box is first shown.
    void OnInitDialog();

    CHyperLink& FirstLink() { return m_firstLink; }
    CHyperLink& SecondLink() { return m_secondLink; }

    // The About command: a new box, shown modally, its result ignored.
    static void Show(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    CTranslator m_translator;
    CHyperLink m_secondLink; // control 1003
    CHyperLink m_firstLink;  // control 1002
    bool m_initialised = false;
};
