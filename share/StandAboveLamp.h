#pragma once

#include <QWidget>

// A dialog or message box whose parent is the lamp window is transient for it; the stay-on-top hint keeps
// it above the lamp, which stays on top itself, and above ordinary windows while it is open.
inline void StandAboveLamp(QWidget& window)
{
    window.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}
