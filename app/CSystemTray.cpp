#include "app/CSystemTray.h"

#include "platform/session/TrayHosts.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/CMenuResource.h"
#include "platform/x11/XEmbedTray.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QMouseEvent>

CSystemTray::CSystemTray(CommandTarget target) : m_target(std::move(target))
{
    m_waitTimer.setInterval(kWaitInterval);
    connect(&m_waitTimer, &QTimer::timeout, this, &CSystemTray::TryInstall);
    m_clock.start();
}

CSystemTray::~CSystemTray()
{
    RemoveIcon();
}

QString CSystemTray::CutTip(const QString& text)
{
    return text.left(kMaxTipLength);
}

bool CSystemTray::IsDoubleActivation(qint64 previousMs, qint64 nowMs, int intervalMs)
{
    return previousMs >= 0 && nowMs >= previousMs && nowMs - previousMs <= intervalMs;
}

bool CSystemTray::CreateIcon(QObject*, unsigned, const QString& tip, const QIcon& icon, int menuId)
{
    m_menuId = menuId;
    m_image = icon;
    m_tip = CutTip(tip);
    m_enabled = true;
    m_menu.reset();
    m_watcherSeen = IsStatusNotifierWatcherPresent();
    if (TryInstall())
        return true;
    // A panel coming up late may offer both kinds; the StatusNotifierItem one is taken at once, an XEmbed
    // tray only once it has been seen twice, to give the other kind a moment. The bus says when a watcher
    // comes; the X server is asked at every tick.
    m_xembedSightings = 0;
    m_waitTimer.start();
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_watcher = new QDBusServiceWatcher(QString::fromLatin1(kStatusNotifierWatcher), bus,
                                            QDBusServiceWatcher::WatchForRegistration, this);
        connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            m_watcherSeen = true;
            TryInstall();
        });
    }
    return false;
}

bool CSystemTray::TryInstall()
{
    if (m_icon)
        return true;
    if (m_watcherSeen) {
        Install(EHost::StatusNotifier);
    } else if (IsXEmbedTrayPresent()) {
        if (!m_waitTimer.isActive() || ++m_xembedSightings >= 2)
            Install(EHost::XEmbed);
    } else {
        m_xembedSightings = 0;
    }
    return m_icon != nullptr;
}

void CSystemTray::Install(EHost host)
{
    StopWaiting();
    // Qt picks its kind of tray icon when the first one is made, from what is on the session bus then:
    // the check above has just found the same.
    m_icon = std::make_unique<QSystemTrayIcon>(m_image);
    m_icon->setToolTip(m_tip);
    if (host == EHost::StatusNotifier) {
        // Exported over D-Bus: the host shows it on a right click.
        if (QMenu* menu = EnsureMenu())
            m_icon->setContextMenu(menu);
    }
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &CSystemTray::OnActivated);
    m_icon->show();
    if (host == EHost::XEmbed) {
        // Qt's icon window reports the right button on press and is made anew whenever the tray
        // restarts; watching the whole application finds each one's release.
        qApp->installEventFilter(this);
    }
    m_host = host;
    m_hidden = m_removed = false;
}

void CSystemTray::StopWaiting()
{
    m_waitTimer.stop();
    delete m_watcher;
    m_watcher = nullptr;
}

bool CSystemTray::RemoveIcon()
{
    StopWaiting();
    if (!m_icon)
        return false;
    if (qApp)
        qApp->removeEventFilter(this);
    m_icon->hide();
    m_icon.reset();
    m_host = EHost::None;
    m_hidden = m_removed = true;
    return true;
}

QString CSystemTray::ToolTip() const
{
    return m_icon ? m_icon->toolTip() : QString();
}

bool CSystemTray::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        qstrcmp(watched->metaObject()->className(), "QSystemTrayIconSys") == 0) {
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
    case QSystemTrayIcon::Trigger:
        if (m_host == EHost::StatusNotifier)
            OnActivation();
        break;
    case QSystemTrayIcon::Context:
        // An XEmbed icon reports the press; its release opens the menu (eventFilter). A host's request
        // (ContextMenu over D-Bus) opens it at once, without a nested loop inside the call.
        if (m_host == EHost::StatusNotifier)
            HandleNotification(EMouse::RightUp, QCursor::pos());
        break;
    default:
        break;
    }
}

void CSystemTray::OnActivation()
{
    const qint64 now = m_clock.elapsed();
    if (IsDoubleActivation(m_lastActivation, now, QApplication::doubleClickInterval())) {
        m_lastActivation = -1;
        HandleNotification(EMouse::LeftDoubleClick, QCursor::pos());
        return;
    }
    m_lastActivation = now;
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

void CSystemTray::SetCommandChecked(int command, bool checked)
{
    m_checked[command] = checked;
    if (!m_menu)
        return;
    for (QAction* action : m_menu->actions()) {
        if (action->data().toInt() == command) {
            action->setCheckable(true);
            action->setChecked(checked);
        }
    }
}

QMenu* CSystemTray::EnsureMenu()
{
    // Built when first shown or exported: an XEmbed icon whose menu nobody opens costs no menu at all.
    if (!m_menu) {
        m_menu.reset(BuildMenu());
        if (m_menu) {
            // Read as check boxes in both states: a screen reader then says an unticked item can be ticked.
            ReadCheckableItemsAsCheckBoxes();
            for (const auto& [command, checked] : m_checked)
                SetCommandChecked(command, checked);
            connect(m_menu.get(), &QMenu::triggered, this, [this](QAction* action) {
                const int command = action->data().toInt();
                if (command && m_target)
                    m_target(command);
            });
        }
    }
    return m_menu.get();
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
        // The menu pops up and this returns: the chosen command arrives through the menu's signal.
        QMenu* menu = EnsureMenu();
        if (menu && !menu->isVisible())
            menu->popup(pointer);
    } else if (mouse == EMouse::LeftDoubleClick) {
        const int command = DefaultCommand();
        if (command && m_target)
            m_target(command);
    }
}
