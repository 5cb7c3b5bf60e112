#include "platform/ui/Accessibility.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
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

// A checkable item of a popup menu. Qt 6.4 reads every menu item as a plain one and its AT-SPI bridge
// drops the checkable state, so an unticked item would not say that it can be ticked: it is read as a
// check box inside the menu instead, ticked or not.
class CCheckMenuItemAccessible final : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    CCheckMenuItemAccessible(QMenu* menu, QAction* action) : m_menu(menu), m_action(action) {}

    bool isValid() const override { return m_menu && m_action; }
    QObject* object() const override { return m_action; }
    QWindow* window() const override { return m_menu ? m_menu->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_menu); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::CheckBox; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return QString();
        if (t == QAccessible::Name)
            return StripMnemonic(m_action->text());
        if (t == QAccessible::Accelerator)
            return m_action->shortcut().toString(QKeySequence::NativeText);
        return QString();
    }

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect place = m_menu->actionGeometry(m_action);
        return QRect(m_menu->mapToGlobal(place.topLeft()), place.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.checkable = true;
        state.checked = m_action->isChecked();
        state.focusable = true;
        state.selectable = true;
        state.focused = state.selected = m_menu->isVisible() && m_menu->activeAction() == m_action;
        state.disabled = !m_action->isEnabled();
        state.invisible = !m_menu->isVisible() || !m_action->isVisible();
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), toggleAction()}; }

    void doAction(const QString& name) override
    {
        if (!isValid() || (name != pressAction() && name != toggleAction()))
            return;
        // As a user chooses it, so that the menu's caller learns which item it was.
        m_menu->setActiveAction(m_action);
        QCoreApplication::postEvent(m_menu, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QMenu> m_menu;
    QPointer<QAction> m_action;
};

QMenu* MenuOf(QAction* action)
{
    for (QObject* associated : action->associatedObjects()) {
        if (auto* menu = qobject_cast<QMenu*>(associated))
            return menu;
    }
    return nullptr;
}

QAccessibleInterface* Factory(const QString& className, QObject* object)
{
    if (className == QLatin1String("QAction")) {
        auto* action = static_cast<QAction*>(object);
        QMenu* menu = action->isCheckable() ? MenuOf(action) : nullptr;
        return menu ? new CCheckMenuItemAccessible(menu, action) : nullptr;
    }
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
void InstallFactory()
{
    static const bool installed = (QAccessible::installFactory(&Factory), true);
    (void)installed;
}

template <typename TInterface>
void UseOwnInterface(QWidget& widget)
{
    InstallFactory();
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

void ReadCheckableItemsAsCheckBoxes()
{
    InstallFactory();
}

void SetAccessibleRole(QWidget& widget, QAccessible::Role role)
{
    widget.setProperty(kRoleProperty, int(role));
    // Reached with Tab; whether a click gives the focus too is the link's own choice.
    if (role == QAccessible::Link)
        widget.setFocusPolicy(Qt::FocusPolicy(widget.focusPolicy() | Qt::TabFocus));
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
