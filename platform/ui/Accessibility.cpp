#include "platform/ui/Accessibility.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTextEdit>
#include <QWidget>

namespace {

constexpr char kRoleProperty[] = "nimoAccessibleRole";
constexpr char kGroupFrameProperty[] = "nimoGroupFrame";

QString StripMnemonic(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        result.append(text[i]);
    }
    return result;
}

class CRoleAccessible final : public QAccessibleWidget
{
public:
    CRoleAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QString text(QAccessible::Text t) const override
    {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty()) {
            if (const auto* label = qobject_cast<const QLabel*>(widget()))
                text = label->text();
        }
        return text;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (role() == QAccessible::Link)
            state.linked = true;
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (role() == QAccessible::Link)
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& name) override
    {
        if (role() != QAccessible::Link || name != pressAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        // Posted: the action arrives inside a call of the assistive technology, which must not wait for
        // whatever the link opens (a browser, or the message that it could not be opened).
        QCoreApplication::postEvent(widget(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier,
                                                            QStringLiteral(" ")));
        QCoreApplication::postEvent(widget(), new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier,
                                                            QStringLiteral(" ")));
    }
};

// Qt's own radio button, plus the label relation to the group frame around it: the frames of the
// templates are siblings of their buttons, not their parents, so Qt does not find them.
class CGroupedRadioAccessible final : public QAccessibleWidget
{
public:
    explicit CGroupedRadioAccessible(QRadioButton* button) : QAccessibleWidget(button, QAccessible::RadioButton) {}

    QString text(QAccessible::Text t) const override
    {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty())
            text = StripMnemonic(Button()->text());
        return text;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = Button()->isChecked();
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& name) override
    {
        if (name == pressAction())
            Button()->click();
        else
            QAccessibleWidget::doAction(name);
    }

    QStringList keyBindingsForAction(const QString& name) const override
    {
        const QKeySequence mnemonic = QKeySequence::mnemonic(Button()->text());
        if (name != pressAction() || mnemonic.isEmpty())
            return QAccessibleWidget::keyBindingsForAction(name);
        return {mnemonic.toString(QKeySequence::NativeText)};
    }

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
        QAccessible::Relation match) const override
    {
        auto relations = QAccessibleWidget::relations(match);
        const auto* frame = qobject_cast<QWidget*>(Button()->property(kGroupFrameProperty).value<QObject*>());
        if ((match & QAccessible::Label) && frame) {
            if (QAccessibleInterface* label = QAccessible::queryAccessibleInterface(const_cast<QWidget*>(frame)))
                relations.append({label, QAccessible::Label});
        }
        return relations;
    }

private:
    QRadioButton* Button() const { return static_cast<QRadioButton*>(widget()); }
};

QAccessibleInterface* Factory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    const QVariant role = widget->property(kRoleProperty);
    if (role.isValid())
        return new CRoleAccessible(widget, QAccessible::Role(role.toInt()));
    if (className == QLatin1String("QRadioButton") && widget->property(kGroupFrameProperty).isValid())
        return new CGroupedRadioAccessible(static_cast<QRadioButton*>(widget));
    return nullptr;
}

// Installed after the application object, so that it is asked before Qt's own widget factory; an
// interface Qt made before (shown widgets are announced at once) is dropped so that the next question
// comes here.
template <typename TInterface>
void UseOwnInterface(QWidget& widget)
{
    static const bool installed = (QAccessible::installFactory(&Factory), true);
    (void)installed;
    QAccessibleInterface* current = QAccessible::queryAccessibleInterface(&widget);
    if (current && !dynamic_cast<TInterface*>(current))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}

bool IsField(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget);
}

template <typename T>
QList<T*> Children(QWidget& parent)
{
    QList<T*> result;
    for (QObject* child : parent.children()) {
        auto* widget = qobject_cast<T*>(child);
        if (widget && !widget->isWindow())
            result.append(widget);
    }
    return result;
}

} // namespace

void SetAccessibleRole(QWidget& widget, QAccessible::Role role)
{
    widget.setProperty(kRoleProperty, int(role));
    if (role == QAccessible::Link && !(widget.focusPolicy() & Qt::TabFocus))
        widget.setFocusPolicy(Qt::StrongFocus);
    UseOwnInterface<CRoleAccessible>(widget);
}

void BindLabelsToFields(QWidget& dialog)
{
    const QList<QWidget*> widgets = Children<QWidget>(dialog);
    const int maxGap = dialog.fontMetrics().averageCharWidth() * 4;
    for (QLabel* label : Children<QLabel>(dialog)) {
        if (label->buddy() || label->text().isEmpty())
            continue;
        const QRect around = label->geometry();
        const int middle = around.center().y();
        QWidget* nearest = nullptr;
        for (QWidget* field : widgets) {
            const QRect place = field->geometry();
            const int gap = place.left() - around.right();
            if (!IsField(field) || middle < place.top() || middle > place.bottom() || gap < -maxGap / 4 ||
                gap > maxGap)
                continue;
            if (!nearest || place.left() < nearest->geometry().left())
                nearest = field;
        }
        if (nearest)
            label->setBuddy(nearest);
    }
}

void PrepareRadioGroups(QWidget& dialog, const QString& untitledName)
{
    const QList<QGroupBox*> frames = Children<QGroupBox>(dialog);
    QRadioButton* checked = nullptr;
    const QList<QRadioButton*> radios = Children<QRadioButton>(dialog);
    for (QRadioButton* radio : radios) {
        if (!radio->autoExclusive())
            continue;
        // The innermost frame around the button is its group's.
        QGroupBox* frame = nullptr;
        for (QGroupBox* candidate : frames) {
            const QRect place = candidate->geometry();
            if (place.contains(radio->geometry()) &&
                (!frame || frame->geometry().contains(place)))
                frame = candidate;
        }
        if (frame) {
            if (frame->title().isEmpty() && frame->accessibleName().isEmpty())
                frame->setAccessibleName(untitledName);
            radio->setProperty(kGroupFrameProperty, QVariant::fromValue<QObject*>(frame));
            UseOwnInterface<CGroupedRadioAccessible>(*radio);
        }
        if (radio->isChecked())
            checked = radio;
    }
    // As Qt does once a button of the group has had the focus: only that one is reached with Tab.
    if (!checked)
        return;
    for (QRadioButton* radio : radios) {
        if (radio->autoExclusive())
            radio->setFocusPolicy(radio == checked ? Qt::FocusPolicy(radio->focusPolicy() | Qt::TabFocus)
                                                   : Qt::FocusPolicy(radio->focusPolicy() & ~Qt::TabFocus));
    }
}
