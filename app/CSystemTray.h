#pragma once

#include <functional>
#include <memory>

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;

// The program's icon in the notification area, with its tooltip and its popup menu. Commands chosen in
// the menu, and Exit for a double click, go to the command target (the main frame).
class CSystemTray final : public QObject
{
public:
    // The tooltip keeps this many characters; the rest is cut.
    static constexpr int kMaxTipLength = 63;
    static constexpr int kDefaultMenuItem = 0; // by position

    using CommandTarget = std::function<void(int)>;

    explicit CSystemTray(CommandTarget target = {});
    ~CSystemTray() override;

    // False, with no icon, when the desktop has no notification area. menuId names the MENU resource
    // whose first popup is the icon's menu; callbackMessage is kept for the record only.
    bool CreateIcon(QObject* owner, unsigned callbackMessage, const QString& tip, const QIcon& icon,
                    int menuId);
    bool RemoveIcon();

    void SetCommandTarget(CommandTarget target) { m_target = std::move(target); }
    bool IsVisible() const { return !m_hidden; }
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

    // The menu the icon opens, built afresh from the resource with its default item set; null when the
    // resource cannot be read. The caller owns it.
    QMenu* BuildMenu() const;
    // The command of the menu's default item, 0 when the resource cannot be read.
    int DefaultCommand() const;

    // First kMaxTipLength characters of text.
    static QString CutTip(const QString& text);

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void WatchIconWindow();

    CommandTarget m_target;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    QObject* m_iconWindow = nullptr; // Qt's embedded icon window on X11, when there is one
    int m_menuId = 0;
    bool m_enabled = false;
    bool m_hidden = true;
    bool m_removed = true;
    bool m_menuOpen = false;
};
