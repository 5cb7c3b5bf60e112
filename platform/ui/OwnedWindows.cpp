#include "platform/ui/OwnedWindows.h"

#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace {

QPointer<QWidget>& Owner()
{
    static QPointer<QWidget> owner;
    return owner;
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
    // The native window must exist before its transient parent can be set; Qt keeps it through show().
    window.winId();
    if (QWindow* handle = window.windowHandle())
        handle->setTransientParent(owner->windowHandle());
}
