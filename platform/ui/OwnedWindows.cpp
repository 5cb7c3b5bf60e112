#include "platform/ui/OwnedWindows.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

QPointer<QWidget>& Owner()
{
    static QPointer<QWidget> owner;
    return owner;
}

// Every window kept above the owner that still exists, to be linked again to a new native window.
QList<QPointer<QWidget>>& Kept()
{
    static QList<QPointer<QWidget>> kept;
    kept.removeIf([](const QPointer<QWidget>& window) { return window.isNull(); });
    return kept;
}

} // namespace

void SetDialogOwner(QWidget* owner)
{
    Owner() = owner;
}

QWidget* DialogOwner()
{
    return Owner();
}

void KeepAboveOwner(QWidget& window)
{
    if (!(window.windowFlags() & Qt::WindowStaysOnTopHint))
        window.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    QWidget* owner = Owner();
    if (!owner || owner == &window || !owner->windowHandle())
        return;
    // Qt centres a dialog over its parent: over a parent nobody sees (the main frame) that is a corner of
    // the screen. Such a one opens where the user looks instead; moved, Qt leaves its place alone.
    const QWidget* parent = window.parentWidget();
    if ((!parent || !parent->isVisible()) && !window.isVisible()) {
        if (const QScreen* screen = owner->screen()) {
            QRect place(QPoint(), window.testAttribute(Qt::WA_Resized) ? window.size() : window.sizeHint());
            place.moveCenter(screen->availableGeometry().center());
            window.move(place.topLeft());
        }
    }
    if (auto* dialog = qobject_cast<QDialog*>(&window)) {
        // Window managers give the focus of a closed dialog to no one: the keyboard would not reach the
        // owner again. Asked once the dialog's loop is left; a dialog still open below keeps it.
        QObject::connect(dialog, &QDialog::finished, owner, [owner] {
            QTimer::singleShot(0, owner, [owner] {
                if (owner->isVisible() && !QApplication::activeModalWidget()) {
                    owner->activateWindow();
                    owner->setFocus(Qt::ActiveWindowFocusReason);
                }
            });
        });
    }
    // The native window must exist before its transient parent can be set; Qt keeps it through show().
    window.winId();
    if (QWindow* handle = window.windowHandle())
        handle->setTransientParent(owner->windowHandle());
    if (!Kept().contains(&window))
        Kept().append(&window);
}

QList<QWidget*> RelinkOwnedWindows()
{
    QList<QWidget*> shown;
    QWidget* owner = Owner();
    QWindow* ownerHandle = owner ? owner->windowHandle() : nullptr;
    if (!ownerHandle)
        return shown;
    for (const QPointer<QWidget>& window : Kept()) {
        QWindow* handle = window->windowHandle();
        if (!handle || window == owner)
            continue;
        handle->setTransientParent(ownerHandle);
        if (window->isVisible()) {
            // The new owner window was mapped last, on top of its layer.
            window->raise();
            shown.append(window);
        }
    }
    return shown;
}
