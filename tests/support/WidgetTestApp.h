#pragma once

#include <functional>

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

// The one QApplication of a test program, made on first use and kept to the end of the process.
inline QApplication& WidgetTestApp()
{
    static int argc = 1;
    static char name[] = "nimo-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Waits, processing events, until condition holds or the deadline passes; returns the condition.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 5000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
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
