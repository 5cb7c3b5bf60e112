#pragma once

#include "TestApp.h"

#include <functional>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

// The one QApplication of a test program, made on first use and kept to the end of the process.
inline QApplication& WidgetTestApp()
{
    return TestApp<QApplication>();
}

// Queues work for the next modal window (a message box or a dialog run with exec): once it is shown,
// action runs with it. Call before the code that opens the window.
inline void WhenModalShows(std::function<void(QWidget*)> action)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}
