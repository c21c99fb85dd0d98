#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM (on Windows Ctrl-C, Ctrl-Break and closing the console)
// as a Qt signal on the main thread, so that the command line stops as the
// window's Cancel does. The handler itself only notes the stop and wakes the
// event loop; a question waiting on standard input is interrupted too. One
// instance at a time; the default handling comes back when it goes.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // Whether a stop arrived, also while the event loop was not running.
    static bool requested();

signals:
    void stopRequested();

private:
    void deliver();

    QSocketNotifier *notifier = nullptr;
};
