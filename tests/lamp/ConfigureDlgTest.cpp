#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "lamp/CConfigureDlg.h"
#include "platform/desktop/CSettingsStore.h"

#include <algorithm>
#include <set>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kConfig = QStringLiteral("Config");
const QString kColor = QStringLiteral("Color");

QAbstractButton* Radio(CConfigureDlg& dialog, int id)
{
    return qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id));
}

int CheckedRadio(CConfigureDlg& dialog)
{
    int checked = 0;
    for (int id = kIdcFirstColor; id <= ColorRadioId(kLampRandom); ++id) {
        QAbstractButton* radio = Radio(dialog, id);
        if (radio && radio->isChecked())
            checked = checked == 0 ? id : -1; // -1: more than one
    }
    return checked;
}

TEST(ConfigureDlg, RadioButtonsStandInScreenOrderWithIdsByColour)
{
    WidgetTestApp();
    ScopedXdgHome home;
    CConfigureDlg dialog;
    dialog.OnInitDialog();
    std::vector<std::pair<int, int>> byTop; // top, id
    for (int id = kIdcFirstColor; id <= ColorRadioId(kLampRandom); ++id) {
        QAbstractButton* radio = Radio(dialog, id);
        ASSERT_NE(radio, nullptr) << id;
        ASSERT_NE(qobject_cast<QRadioButton*>(radio), nullptr) << id;
        byTop.emplace_back(radio->y(), id);
    }
    std::sort(byTop.begin(), byTop.end());
    const std::pair<int, const char*> expected[] = {
        {ColorRadioId(kLampBlue), "&Blue"},           {ColorRadioId(kLampOrange), "&Orange"},
        {ColorRadioId(kLampGreen), "&Green"},         {ColorRadioId(kLampViolet), "&Violet"},
        {ColorRadioId(kLampPink), "&Pink"},           {ColorRadioId(kLampMistyrose), "&Mistyrose"},
        {ColorRadioId(kLampTurquoise), "&Turquoise"}, {ColorRadioId(kLampRandom), "&Random"},
    };
    for (std::size_t i = 0; i < byTop.size(); ++i) {
        EXPECT_EQ(byTop[i].second, expected[i].first) << i;
        EXPECT_EQ(Radio(dialog, byTop[i].second)->text(), expected[i].second) << i;
    }

    // The preview takes the place of the hidden marker control.
    const QWidget* marker = dialog.GetDlgItem(kIdcPreview);
    ASSERT_NE(marker, nullptr);
    EXPECT_TRUE(marker->isHidden());
    EXPECT_EQ(dialog.Preview().parentWidget(), &dialog);
    EXPECT_EQ(dialog.Preview().geometry(), marker->geometry());
    EXPECT_FALSE(dialog.Preview().isHidden());
    EXPECT_TRUE(dialog.Preview().IsFrameTimerActive());
}

TEST(ConfigureDlg, ChecksTheStartingChoiceAndTranslates)
{
    WidgetTestApp();
    struct SCase
    {
        int color;
        int checked;
    } const cases[] = {
        {0, ColorRadioId(kLampBlue)},  {1, ColorRadioId(kLampOrange)},    {2, ColorRadioId(kLampPink)},
        {4, ColorRadioId(kLampGreen)}, {6, ColorRadioId(kLampMistyrose)}, {7, ColorRadioId(kLampRandom)},
        {8, ColorRadioId(kLampBlue)},  {12, ColorRadioId(kLampBlue)},     {-1, ColorRadioId(kLampBlue)}};
    for (const SCase& c : cases) {
        ScopedXdgHome home;
        CConfigureDlg dialog;
        dialog.m_nColor = c.color;
        dialog.OnInitDialog();
        EXPECT_EQ(CheckedRadio(dialog), c.checked) << c.color;
        // The preview shows the choice: Random as one of the seven, any other value as it is.
        const int tint = dialog.Preview().Player().GetColor();
        if (c.color == 7) {
            EXPECT_TRUE(tint >= 0 && tint <= 6) << tint;
        } else {
            EXPECT_EQ(tint, c.color);
        }
        // Nothing is stored or changed by opening it.
        EXPECT_EQ(dialog.m_nColor, c.color);
        EXPECT_EQ(dialog.windowTitle(), "Configure...");
    }

    ScopedXdgHome home;
    ScopedEnv german("LC_ALL", "de_DE.UTF-8");
    CConfigureDlg dialog;
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.windowTitle(), "Optionen...");
    const std::pair<int, const char*> texts[] = {
        {kIdOk, "&OK"},
        {kIdCancel, "&Abbrechen"},
        {ColorRadioId(kLampBlue), "&Blau"},
        {ColorRadioId(kLampOrange), "&Orange"},
        {ColorRadioId(kLampPink), "&Rosa"},
        {ColorRadioId(kLampViolet), "&Violett"},
        {ColorRadioId(kLampGreen), "&Gr\u00fcn"},
        {ColorRadioId(kLampTurquoise), "&T\u00fcrkis"},
        {ColorRadioId(kLampMistyrose), "&Mistyrose"},
        {ColorRadioId(kLampRandom), "&Zufall"},
    };
    for (const auto& [id, text] : texts)
        EXPECT_EQ(GetWindowText(dialog.GetDlgItem(id)), QString::fromUtf8(text)) << id;
}

TEST(ConfigureDlg, ClicksSetTheChoice)
{
    WidgetTestApp();
    ScopedXdgHome home;
    CConfigureDlg dialog;
    dialog.m_nColor = 0;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    for (const int id : {ColorRadioId(kLampGreen), ColorRadioId(kLampPink), ColorRadioId(kLampRandom),
                         ColorRadioId(kLampTurquoise), ColorRadioId(kLampBlue), ColorRadioId(kLampMistyrose),
                         ColorRadioId(kLampOrange), ColorRadioId(kLampViolet)}) {
        QAbstractButton* radio = Radio(dialog, id);
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(4, radio->height() / 2));
        EXPECT_EQ(dialog.m_nColor, id - kIdcFirstColor) << id;
        EXPECT_EQ(CheckedRadio(dialog), id) << id;
        if (id != ColorRadioId(kLampRandom)) {
            EXPECT_EQ(dialog.Preview().Player().GetColor(), id - kIdcFirstColor) << id;
        }
    }
    // Every click on Random picks the preview's colour anew.
    std::set<int> tints;
    for (int k = 0; k < 200; ++k) {
        Radio(dialog, ColorRadioId(kLampRandom))->click();
        tints.insert(dialog.Preview().Player().GetColor());
    }
    EXPECT_EQ(tints, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(dialog.m_nColor, 7);
}

// The Configure command: the dialog opens on the stored Color; OK stores the choice and tells the lamp
// its new tint and whether the colour timer runs; Cancel stores and changes nothing.
TEST(ConfigureDlg, CommandStoresOnOkOnly)
{
    WidgetTestApp();
    struct SCase
    {
        const char* name;
        int stored; // -100: absent
        int click;  // radio id, 0: none
        int closeWith;
        int expectedStored;
        bool changed;
        int tint; // -1: any of 0 to 6
        bool colorTimer;
    } const cases[] = {
        {"Green, OK", 4, 0, kIdOk, 4, true, 4, false},
        {"Random, OK", 7, 0, kIdOk, 7, true, -1, true},
        {"absent is Random", -100, 0, kIdOk, 7, true, -1, true},
        {"12, OK keeps 12", 12, 0, kIdOk, 12, true, 12, false},
        {"Random, Green chosen, OK", 7, ColorRadioId(kLampGreen), kIdOk, 4, true, 4, false},
        {"Green, Random chosen, OK", 4, ColorRadioId(kLampRandom), kIdOk, 7, true, -1, true},
        {"Green, Pink chosen, Cancel", 4, ColorRadioId(kLampPink), kIdCancel, 4, false, 0, false},
        {"Random, Cancel", 7, 0, kIdCancel, 7, false, 0, false},
        {"12, Blue chosen, Cancel", 12, ColorRadioId(kLampBlue), kIdCancel, 12, false, 0, false},
    };
    for (const SCase& c : cases) {
        ScopedXdgHome home;
        const CSettingsStore& settings = CSettingsStore::Program();
        if (c.stored != -100) {
            ASSERT_TRUE(settings.WriteInt(kConfig, kColor, c.stored));
        }
        int shownChoice = -1000;
        WhenModalShows([&](QWidget* modal) {
            auto* dialog = static_cast<CConfigureDlg*>(modal);
            shownChoice = dialog->m_nColor;
            if (c.click)
                Radio(*dialog, c.click)->click();
            dialog->EndDialog(c.closeWith);
        });
        const std::optional<SColorChange> change = RunConfigureCommand();
        EXPECT_EQ(shownChoice, c.stored == -100 ? 7 : c.stored) << c.name;
        EXPECT_EQ(settings.ReadInt(kConfig, kColor, -100),
                  c.stored == -100 && !c.changed ? -100 : c.expectedStored)
            << c.name;
        ASSERT_EQ(change.has_value(), c.changed) << c.name;
        if (!change)
            continue;
        if (c.tint == -1) {
            EXPECT_GE(change->tint, 0) << c.name;
            EXPECT_LE(change->tint, 6) << c.name;
        } else {
            EXPECT_EQ(change->tint, c.tint) << c.name;
        }
        EXPECT_EQ(change->colorTimer, c.colorTimer) << c.name;
    }
}

TEST(ConfigureDlg, RandomResolvesAfreshEachTime)
{
    std::set<int> tints;
    for (int k = 0; k < 200; ++k) {
        const SColorChange change = ColorChangeFor(7);
        EXPECT_TRUE(change.colorTimer);
        tints.insert(change.tint);
    }
    EXPECT_EQ(tints, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    for (int choice = 0; choice <= 6; ++choice) {
        EXPECT_EQ(ColorChangeFor(choice).tint, choice);
        EXPECT_FALSE(ColorChangeFor(choice).colorTimer);
    }
}

} // namespace

// The colours are one group to a screen reader, named after the frame around them (untitled on screen,
// so the translator's word for it), and one tab stop, entered on the chosen colour; arrows still move on.
TEST(ConfigureDlg, ColoursAreOneNamedGroupEnteredOnTheChoice)
{
    WidgetTestApp();
    for (const auto& [locale, group] : {std::pair{"C", "Color"}, {"de_DE.UTF-8", "Farbe"}}) {
        for (const int choice : {int(kLampGreen), int(kLampRandom), 12}) {
            ScopedXdgHome home;
            ScopedEnv language("LC_ALL", locale);
            CConfigureDlg dialog;
            dialog.m_nColor = choice;
            dialog.show();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
            const int chosen = ColorRadioId(choice == 12 ? kLampBlue : choice);
            for (int id = ColorRadioId(kLampBlue); id <= ColorRadioId(kLampRandom); ++id) {
                QWidget* radio = dialog.GetDlgItem(id);
                QAccessibleInterface* read = QAccessible::queryAccessibleInterface(radio);
                const auto labels = read->relations(QAccessible::Label);
                ASSERT_EQ(labels.size(), 1) << locale << " " << id;
                EXPECT_EQ(labels[0].first->text(QAccessible::Name), QString::fromUtf8(group)) << locale << " " << id;
                EXPECT_EQ(read->state().checked, id == chosen) << locale << " " << id;
            }
            // From Cancel, Tab goes into the group on the chosen colour and the next Tab leaves it.
            dialog.GetDlgItem(kIdCancel)->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(GetDlgCtrlID(QApplication::focusWidget()), chosen) << locale << " " << choice;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_FALSE(qobject_cast<QRadioButton*>(QApplication::focusWidget())) << locale << " " << choice;
        }
    }
}
