#pragma once

#include "i18n/CTranslator.h"
#include "lamp/CLampView.h"
#include "platform/ui/CTemplateDialog.h"

#include <optional>

#include <QIcon>

// The colour dialog (template 108): eight radio buttons, seven colours and Random, beside a live preview
// of the lamp. The caller sets the choice before running it and reads it after OK.
class CConfigureDlg final : public CTemplateDialog, public CTranslator
{
public:
    explicit CConfigureDlg(QWidget* parent = nullptr);
    ~CConfigureDlg() override;

    // Runs the dialog modally; the initialisation happens on the way.
    int DoModal();
    // The initialisation: preview in place, its colour, centring, the checked radio, the translation.
    void OnInitDialog();

    int m_nColor = 0;
    CLampView& Preview() { return m_preview; }

protected:
    void showEvent(QShowEvent* event) override;
    void OnCommand(int id) override;

private:
    CLampView m_preview;
    QIcon m_icon;
    bool m_initialised = false;
};

// What the lamp does once the dialog has ended with OK: its new tint, and whether the three-minute colour
// changes run (restarted from this moment) or stop.
struct SColorChange
{
    int tint;
    bool colorTimer;
};

// The change for a chosen colour: Random picks a fresh tint of its own and keeps the colour timer running.
SColorChange ColorChangeFor(int choice);

// The Configure command: the dialog opened on the stored Color; on OK the choice is stored and its
// change returned, on Cancel nothing is stored and nothing returned.
std::optional<SColorChange> RunConfigureCommand();
