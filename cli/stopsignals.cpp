#include "stopsignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::atomic<bool> stopSeen{false};
StopSignals *instance = nullptr;

#ifdef Q_OS_WIN

BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    stopSeen = true;
    // Called on a thread of its own: a queued call is safe from there.
    if (instance)
        QMetaObject::invokeMethod(instance, "stopRequested", Qt::QueuedConnection);
    return TRUE;
}

#else

int wakePipe[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    stopSeen = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(wakePipe[1], &byte, 1);
    errno = saved;
}

bool openWakePipe()
{
    if (pipe(wakePipe) != 0)
        return false;
    for (int fd : wakePipe) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a read of the answer to a question gives up
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

#endif

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    instance = this;
    stopSeen = false;
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    if (!openWakePipe())
        return;
    notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &StopSignals::deliver);
    setHandler(onSignal);
#endif
}

StopSignals::~StopSignals()
{
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
#else
    setHandler(SIG_DFL);
    for (int &fd : wakePipe) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
#endif
    instance = nullptr;
}

bool StopSignals::requested()
{
    return stopSeen;
}

void StopSignals::deliver()
{
#ifndef Q_OS_WIN
    char bytes[16];
    while (read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
#endif
    emit stopRequested();
}
