#pragma once

#include <QList>

class QWidget;

// On the original desktop every dialog and message box was owned by a topmost frame and so opened above
// the lamp. Here the lamp names itself as the owner once it exists, and each dialog or message box is
// stacked above it just before it is shown.
void SetDialogOwner(QWidget* owner);
QWidget* DialogOwner();

// Transient for the owner's window and on top while open; without an owner only on top. One without a
// visible parent opens centred on the work area of the owner's screen. A dialog gives the keyboard focus
// back to the owner when it closes, unless another one is still open. Call before the window is shown:
// changing the stay-on-top hint of a visible window hides it.
void KeepAboveOwner(QWidget& window);

// The owner's native window was made anew (the old one is gone): every open window kept above it is made
// transient for the new one and raised above it again. Qt hands a transient parent to the window system
// only when a window is shown; the shown ones are returned for the caller to tell the window system.
QList<QWidget*> RelinkOwnedWindows();
