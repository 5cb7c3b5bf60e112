#include "platform/ui/CTemplateDialog.h"

#include "platform/ui/OwnedWindows.h"

#include <algorithm>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

namespace {

constexpr char kClassProperty[] = "nimoWindowClass";
constexpr char kIdProperty[] = "nimoControlId";

Qt::Alignment HorizontalAlignment(const QStringList& styles)
{
    if (styles.contains(QStringLiteral("center")))
        return Qt::AlignHCenter;
    if (styles.contains(QStringLiteral("right")))
        return Qt::AlignRight;
    return Qt::AlignLeft;
}

} // namespace

CTemplateDialog::CTemplateDialog(const SDialogTemplate& dialogTemplate, QWidget* parent) : QDialog(parent)
{
    Build(dialogTemplate);
}

CTemplateDialog::CTemplateDialog(std::uint16_t templateId, QWidget* parent, const CResourceModule* module)
    : QDialog(parent)
{
    Build(CDialogTemplate::Load(module, templateId).value_or(SDialogTemplate()));
}

CTemplateDialog::~CTemplateDialog() = default;

QRect CTemplateDialog::ToPixels(const QRect& dialogUnits) const
{
    return QRect(CDialogTemplate::ToPixels(dialogUnits.x(), m_baseX, 4),
                 CDialogTemplate::ToPixels(dialogUnits.y(), m_baseY, 8),
                 CDialogTemplate::ToPixels(dialogUnits.width(), m_baseX, 4),
                 CDialogTemplate::ToPixels(dialogUnits.height(), m_baseY, 8));
}

void CTemplateDialog::Build(const SDialogTemplate& dialogTemplate)
{
    setProperty(kClassProperty, QStringLiteral("#32770"));
    QFont font(dialogTemplate.fontFace);
    font.setPointSize(dialogTemplate.fontPointSize);
    setFont(font);
    const QFontMetrics metrics(font);
    m_baseX = std::max(1, CDialogTemplate::HorizontalBaseUnit(metrics.horizontalAdvance(
                              QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"))));
    m_baseY = std::max(1, metrics.height());

    Qt::WindowFlags flags = Qt::Dialog;
    if (dialogTemplate.styles.contains(QStringLiteral("caption"))) {
        flags |= Qt::WindowTitleHint;
        if (dialogTemplate.styles.contains(QStringLiteral("sysmenu")))
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    } else {
        flags |= Qt::FramelessWindowHint;
    }
    setWindowFlags(flags);
    setWindowTitle(dialogTemplate.caption);
    const QRect pixels = ToPixels(dialogTemplate.rect);
    setFixedSize(pixels.size());

    for (const SDialogControl& control : dialogTemplate.controls) {
        QWidget* widget = CreateControl(control);
        widget->setProperty(kClassProperty, control.className);
        widget->setProperty(kIdProperty, control.id);
        widget->setGeometry(ToPixels(control.rect));
        if (control.styles.contains(QStringLiteral("hidden")))
            widget->hide();
        if (control.styles.contains(QStringLiteral("disabled")))
            widget->setEnabled(false);
    }
}

QWidget* CTemplateDialog::CreateControl(const SDialogControl& control)
{
    const QStringList& styles = control.styles;
    const QString& kind = control.className;
    if (kind == QStringLiteral("Static")) {
        auto* label = new QLabel(control.text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(HorizontalAlignment(styles) | Qt::AlignTop);
        label->setWordWrap(true);
        return label;
    }
    if (kind == QStringLiteral("Button")) {
        if (styles.contains(QStringLiteral("groupbox"))) {
            auto* group = new QGroupBox(control.text, this);
            // A frame drawn around its siblings must not take their clicks.
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            return group;
        }
        QAbstractButton* button = nullptr;
        if (styles.contains(QStringLiteral("radiobutton")) ||
            styles.contains(QStringLiteral("autoradiobutton"))) {
            button = new QRadioButton(control.text, this);
        } else if (styles.contains(QStringLiteral("checkbox")) ||
                   styles.contains(QStringLiteral("autocheckbox"))) {
            button = new QCheckBox(control.text, this);
        } else {
            auto* push = new QPushButton(control.text, this);
            push->setAutoDefault(false);
            push->setDefault(styles.contains(QStringLiteral("defpushbutton")));
            button = push;
        }
        if (control.id != -1) {
            const int id = control.id;
            connect(button, &QAbstractButton::clicked, this, [this, id] { OnButtonClicked(id); });
        }
        return button;
    }
    if (kind == QStringLiteral("Edit")) {
        if (styles.contains(QStringLiteral("multiline"))) {
            auto* edit = new QPlainTextEdit(control.text, this);
            edit->setReadOnly(styles.contains(QStringLiteral("readonly")));
            return edit;
        }
        auto* edit = new QLineEdit(control.text, this);
        edit->setReadOnly(styles.contains(QStringLiteral("readonly")));
        edit->setAlignment(HorizontalAlignment(styles));
        if (styles.contains(QStringLiteral("password")))
            edit->setEchoMode(QLineEdit::Password);
        return edit;
    }
    if (kind == QStringLiteral("RICHEDIT")) {
        auto* edit = new QTextEdit(this);
        edit->setAcceptRichText(false);
        edit->setPlainText(control.text);
        edit->setReadOnly(styles.contains(QStringLiteral("readonly")));
        return edit;
    }
    // A class this builder does not know still takes its place, so that its id and rectangle exist.
    return new QWidget(this);
}

void CTemplateDialog::OnButtonClicked(int id)
{
    if (id == kIdOk)
        OnOK();
    else if (id == kIdCancel)
        OnCancel();
    else
        OnCommand(id);
}

QWidget* CTemplateDialog::GetDlgItem(int id) const
{
    for (QWidget* child : GetChildWindows(this)) {
        if (GetDlgCtrlID(child) == id)
            return child;
    }
    return nullptr;
}

QString GetWindowClassName(const QWidget* window)
{
    return window ? window->property(kClassProperty).toString() : QString();
}

int GetDlgCtrlID(const QWidget* window)
{
    if (!window)
        return -1;
    const QVariant id = window->property(kIdProperty);
    return id.isValid() ? id.toInt() : -1;
}

QList<QWidget*> GetChildWindows(const QWidget* window)
{
    QList<QWidget*> result;
    if (!window)
        return result;
    for (QObject* child : window->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow())
            result.append(widget);
    }
    return result;
}

QString GetWindowText(const QWidget* window)
{
    if (!window)
        return QString();
    if (window->isWindow())
        return window->windowTitle();
    if (const auto* label = qobject_cast<const QLabel*>(window))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(window))
        return button->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(window))
        return group->title();
    if (const auto* line = qobject_cast<const QLineEdit*>(window))
        return line->text();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(window))
        return plain->toPlainText();
    if (const auto* rich = qobject_cast<const QTextEdit*>(window))
        return rich->toPlainText();
    return window->windowTitle();
}

void SetWindowText(QWidget* window, const QString& text)
{
    if (!window)
        return;
    if (window->isWindow())
        window->setWindowTitle(text);
    else if (auto* label = qobject_cast<QLabel*>(window))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(window))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(window))
        group->setTitle(text);
    else if (auto* line = qobject_cast<QLineEdit*>(window))
        line->setText(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(window))
        plain->setPlainText(text);
    else if (auto* rich = qobject_cast<QTextEdit*>(window))
        rich->setPlainText(text);
    else
        window->setWindowTitle(text);
}

int CTemplateDialog::DoModal()
{
    KeepAboveOwner(*this);
    return exec();
}
