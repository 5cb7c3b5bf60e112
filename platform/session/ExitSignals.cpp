#include "platform/session/ExitSignals.h"

#include <array>
#include <cerrno>
#include <csignal>

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};
// Set by the first request, in the handler itself: a loop that hangs never reads the pipe.
volatile sig_atomic_t g_requested = 0;

extern "C" void OnExitSignal(int signal)
{
    // The exit path has started and the user asks again: end now, as the signal's default would have.
    if (g_requested && (signal == SIGTERM || signal == SIGINT)) {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
        raise(signal);
        return;
    }
    g_requested = 1;
    // Only async-signal-safe calls here: one byte into the pipe, errno left as it was.
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

void ClosePipe()
{
    for (int& fd : g_pipe) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

} // namespace

CExitSignals::CExitSignals(std::function<void()> onExit, QObject* parent)
    : QObject(parent), m_onExit(std::move(onExit))
{
    if (g_pipe[0] >= 0 || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = OnExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CExitSignals::OnReadable);
}

CExitSignals::~CExitSignals()
{
    if (!m_notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ClosePipe();
    g_requested = 0;
}

void CExitSignals::OnReadable()
{
    // Drain everything: several signals may have arrived before the loop came round.
    unsigned char bytes[64];
    ssize_t count;
    int first = 0;
    while ((count = read(g_pipe[0], bytes, sizeof bytes)) > 0)
        if (!first)
            first = bytes[0];
    if (!m_fired)
        m_signal = first;
    Trigger();
}

void CExitSignals::Trigger()
{
    if (m_fired)
        return;
    m_fired = true;
    g_requested = 1;
    if (m_onExit)
        m_onExit();
}
