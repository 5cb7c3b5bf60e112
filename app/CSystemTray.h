#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

class QDBusServiceWatcher;
class QMenu;

// The program's icon in the notification area, with its tooltip and its popup menu. Commands chosen in
// the menu, and Exit for a double click, go to the command target (the main frame).
//
// A missing notification area is normal on Linux (stock GNOME has none; at log-in the panel often starts
// after the autostart programs), so the icon waits for one and appears when one does. Two kinds exist:
// an XEmbed tray, which embeds Qt's icon window and reports the mouse on it, and a StatusNotifierItem
// host on the session bus, which shows the exported menu itself and reports activations.
class CSystemTray final : public QObject
{
public:
    // The tooltip keeps this many characters; the rest is cut.
    static constexpr int kMaxTipLength = 63;
    static constexpr int kDefaultMenuItem = 0; // by position
    // How often a waiting icon looks for a notification area.
    static constexpr int kWaitInterval = 500;

    enum class EHost
    {
        None,
        XEmbed,
        StatusNotifier
    };

    using CommandTarget = std::function<void(int)>;

    explicit CSystemTray(CommandTarget target = {});
    ~CSystemTray() override;

    // True when the icon is in a notification area now; otherwise it waits and appears once one is
    // there. menuId names the MENU resource whose first popup is the icon's menu; callbackMessage is
    // kept for the record only.
    bool CreateIcon(QObject* owner, unsigned callbackMessage, const QString& tip, const QIcon& icon,
                    int menuId);
    // Removes the icon, or stops waiting for a notification area.
    bool RemoveIcon();

    void SetCommandTarget(CommandTarget target) { m_target = std::move(target); }
    // Gives the menu's item of that command a check mark, on or off, now and whenever the menu is built
    // anew; a StatusNotifierItem host is told through the exported menu.
    void SetCommandChecked(int command, bool checked);
    bool IsVisible() const { return !m_hidden; }
    bool IsWaiting() const { return m_waitTimer.isActive(); }
    EHost Host() const { return m_host; }
    QString ToolTip() const;

    // The mouse on the icon: a right-button release opens the menu at the pointer, a double click runs
    // the default item, anything else does nothing.
    enum class EMouse
    {
        LeftDown,
        LeftUp,
        LeftDoubleClick,
        RightDown,
        RightUp
    };
    void HandleNotification(EMouse mouse, const QPoint& pointer);

    // The menu the icon opens, built from the resource with its default item set; null when the
    // resource cannot be read. The caller owns it.
    QMenu* BuildMenu() const;
    QMenu* EnsureMenu();
    // The icon's own menu, built the first time it is shown or given to a StatusNotifierItem host.
    QMenu* Menu() const { return m_menu.get(); }
    // The command of the menu's default item, 0 when the resource cannot be read.
    int DefaultCommand() const;

    // First kMaxTipLength characters of text.
    static QString CutTip(const QString& text);

    // A StatusNotifierItem host reports each click as an activation: the second one within the
    // double-click interval of the first completes a double click. previous < 0: none before.
    static bool IsDoubleActivation(qint64 previousMs, qint64 nowMs, int intervalMs);

private:
    // Creates the icon when a notification area is there; true once it exists.
    bool TryInstall();
    void Install(EHost host);
    void StopWaiting();
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void OnActivation();
    bool eventFilter(QObject* watched, QEvent* event) override;

    CommandTarget m_target;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    QIcon m_image;
    QString m_tip;
    EHost m_host = EHost::None;
    QTimer m_waitTimer;
    QDBusServiceWatcher* m_watcher = nullptr;
    bool m_watcherSeen = false;
    int m_xembedSightings = 0;
    QElapsedTimer m_clock;
    qint64 m_lastActivation = -1;
    int m_menuId = 0;
    std::map<int, bool> m_checked;
    bool m_enabled = false;
    bool m_hidden = true;
    bool m_removed = true;
};
