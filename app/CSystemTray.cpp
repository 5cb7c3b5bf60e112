#include "app/CSystemTray.h"

#include "platform/CMenuResource.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

CSystemTray::CSystemTray(CommandTarget target) : m_target(std::move(target)) {}

CSystemTray::~CSystemTray()
{
    RemoveIcon();
}

QString CSystemTray::CutTip(const QString& text)
{
    return text.left(kMaxTipLength);
}

bool CSystemTray::CreateIcon(QObject*, unsigned, const QString& tip, const QIcon& icon, int menuId)
{
    m_menuId = menuId;
    m_enabled = QSystemTrayIcon::isSystemTrayAvailable();
    if (!m_enabled)
        return false;
    m_icon = std::make_unique<QSystemTrayIcon>(icon);
    m_icon->setToolTip(CutTip(tip));
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &CSystemTray::OnActivated);
    m_icon->show();
    m_hidden = m_removed = !m_icon->isVisible();
    if (m_removed) {
        m_icon.reset();
        return false;
    }
    WatchIconWindow();
    return true;
}

bool CSystemTray::RemoveIcon()
{
    if (!m_icon)
        return false;
    if (m_iconWindow)
        m_iconWindow->removeEventFilter(this);
    m_iconWindow = nullptr;
    m_icon->hide();
    m_icon.reset();
    m_hidden = m_removed = true;
    return true;
}

QString CSystemTray::ToolTip() const
{
    return m_icon ? m_icon->toolTip() : QString();
}

void CSystemTray::WatchIconWindow()
{
    // Qt's X11 embedding reports the right button on press; its icon window shows us the release.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0) {
            m_iconWindow = widget;
            widget->installEventFilter(this);
            connect(widget, &QObject::destroyed, this, [this] { m_iconWindow = nullptr; });
            return;
        }
    }
}

bool CSystemTray::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_iconWindow && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton)
            HandleNotification(EMouse::RightUp, mouse->globalPosition().toPoint());
    }
    return QObject::eventFilter(watched, event);
}

void CSystemTray::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        HandleNotification(EMouse::LeftDoubleClick, QCursor::pos());
        break;
    case QSystemTrayIcon::Context:
        // Where the icon window is ours to watch, the release opens the menu; elsewhere (a status
        // notifier host) the host asks for the menu only once the click is complete.
        if (!m_iconWindow)
            HandleNotification(EMouse::RightUp, QCursor::pos());
        break;
    default:
        break;
    }
}

QMenu* CSystemTray::BuildMenu() const
{
    CMenuResource resource;
    if (!resource.Load(nullptr, static_cast<std::uint16_t>(m_menuId)))
        return nullptr;
    const SMenuItem* popup = resource.SubMenu(0);
    if (!popup)
        return nullptr;
    QMenu* menu = CMenuResource::BuildMenu(*popup, nullptr);
    const QList<QAction*> actions = menu->actions();
    if (kDefaultMenuItem < actions.size())
        menu->setDefaultAction(actions[kDefaultMenuItem]);
    return menu;
}

int CSystemTray::DefaultCommand() const
{
    CMenuResource resource;
    if (!resource.Load(nullptr, static_cast<std::uint16_t>(m_menuId)))
        return 0;
    const SMenuItem* popup = resource.SubMenu(0);
    if (!popup || kDefaultMenuItem >= int(popup->items.size()))
        return 0;
    return popup->items[kDefaultMenuItem].id;
}

void CSystemTray::HandleNotification(EMouse mouse, const QPoint& pointer)
{
    if (mouse == EMouse::RightUp) {
        if (m_menuOpen)
            return;
        std::unique_ptr<QMenu> menu(BuildMenu());
        if (!menu)
            return;
        m_menuOpen = true;
        QAction* chosen = menu->exec(pointer);
        const int command = chosen ? chosen->data().toInt() : 0;
        menu.reset();
        m_menuOpen = false;
        if (command && m_target)
            m_target(command);
    } else if (mouse == EMouse::LeftDoubleClick) {
        const int command = DefaultCommand();
        if (command && m_target)
            m_target(command);
    }
}
