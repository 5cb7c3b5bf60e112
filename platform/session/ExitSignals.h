#pragma once

#include <functional>

#include <QObject>

class QSocketNotifier;

// The ways a session ends the program from outside (SIGTERM, SIGINT, SIGHUP, and the session manager's
// end, which the application passes to Trigger) all lead to one call on the UI thread, the same path as
// Exit. The handlers only write the signal number into a pipe; a notifier on the other end makes the
// call, so no Qt code runs inside a signal handler. Only the first request counts; after it a SIGTERM or
// SIGINT ends the program at once (an exit that hangs needs no SIGKILL), a SIGHUP changes nothing. One
// object at a time; the default handlers return with its end.
class CExitSignals final : public QObject
{
public:
    explicit CExitSignals(std::function<void()> onExit, QObject* parent = nullptr);
    ~CExitSignals() override;

    // False when the pipe or the handlers could not be set up; signals then end the program as usual.
    bool IsInstalled() const { return m_notifier != nullptr; }
    // A request from inside the program (the session manager's end); the same rule of the first one.
    void Trigger();
    bool HasFired() const { return m_fired; }
    // The signal that made the request, 0 when none (or Trigger) did.
    int Signal() const { return m_signal; }

private:
    void OnReadable();

    std::function<void()> m_onExit;
    QSocketNotifier* m_notifier = nullptr;
    bool m_fired = false;
    int m_signal = 0;
};
