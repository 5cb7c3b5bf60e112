#pragma once

#include <functional>

#include <QCoreApplication>
#include <QDeadlineTimer>

// The one application object of a test program (QCoreApplication, or QApplication for widgets), made on
// first use and kept to the end of the process.
template <typename TApplication> TApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "nimo-tests";
    static char* argv[] = {name, nullptr};
    static TApplication* app = new TApplication(argc, argv);
    return *app;
}

// Waits, processing events, until condition holds or the deadline passes; returns the condition.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 5000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
