#include "lamp/CConfigureDlg.h"

#include "platform/desktop/CSettingsStore.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/ProgramIcon.h"
#include "resources/ResourceIds.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>

CConfigureDlg::CConfigureDlg(QWidget* parent)
    : CTemplateDialog(kIddConfigure, parent), m_icon(LoadProgramIcon())
{
    setWindowIcon(m_icon);
}

// The preview, a member, leaves the widget tree in its own destructor, before the dialog's children go.
CConfigureDlg::~CConfigureDlg() = default;

int CConfigureDlg::DoModal()
{
    OnInitDialog();
    return CTemplateDialog::DoModal();
}

void CConfigureDlg::OnInitDialog()
{
    if (m_initialised)
        return;
    m_initialised = true;
    QRect area;
    if (const QWidget* marker = GetDlgItem(kIdcPreview))
        area = marker->geometry();
    m_preview.Create(area, this);
    m_preview.SetColor(m_nColor);

    // Centred on the screen: the dialog has no parent to centre on.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - rect().center());
    }

    const int checked =
        m_nColor >= 0 && m_nColor <= kLampRandom ? ColorRadioId(m_nColor) : ColorRadioId(kLampBlue);
    if (auto* radio = qobject_cast<QAbstractButton*>(GetDlgItem(checked)))
        radio->setChecked(true);
    TranslateWindow(this);
    // The colour frame has no title on screen; the translator's word for it names the group.
    const int language = GetUserLanguage() == kLanguageGerman ? kLanguageGerman : kLanguageEnglish;
    PrepareRadioGroups(*this, Translate(QStringLiteral("Color "), language).trimmed());
}

void CConfigureDlg::showEvent(QShowEvent* event)
{
    // Shown without DoModal (exec or show): the initialisation still comes first.
    OnInitDialog();
    CTemplateDialog::showEvent(event);
}

void CConfigureDlg::OnCommand(int id)
{
    if (id < ColorRadioId(kLampBlue) || id > ColorRadioId(kLampRandom))
        return;
    m_nColor = id - kIdcFirstColor;
    // Random picks a new colour for the preview on every click.
    m_preview.SetColor(m_nColor);
}

SColorChange ColorChangeFor(int choice)
{
    if (choice == kLampRandom)
        return {PickRandomColor(), true};
    return {choice, false};
}

std::optional<SColorChange> RunConfigureCommand()
{
    const CSettingsStore& settings = CSettingsStore::Program();
    CConfigureDlg dialog;
    dialog.m_nColor = settings.ReadInt(NimoSettings::kColor, NimoSettings::kColorDefault);
    if (dialog.DoModal() != kIdOk)
        return std::nullopt;
    settings.WriteInt(NimoSettings::kColor, dialog.m_nColor);
    return ColorChangeFor(dialog.m_nColor);
}
