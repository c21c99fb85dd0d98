#pragma once

#include "updatesession.h"

#include <QObject>
#include <QString>

class MainWindow;
class QTimer;

// Walks the real window through one update over the named device's ports as
// a person would: picks the ports, Connect, Update, Yes, and at the end quits
// with the outcome box still open, the window's teardown included in the run.
// Exits 0 after a success, 1 after another ending, 3 when no Qel answered.
class WindowDriver : public QObject
{
    Q_OBJECT

public:
    static constexpr int StageTimeoutMs = 120000;
    static constexpr int PollMs = 20;

    WindowDriver(MainWindow &window, const QString &portName, const QString &imagePath);
    void start();

private:
    void pickPorts();
    void waitForIdentity();
    void onFinished(UpdateOutcome outcome);
    void quit(int code, const QString &why);

    MainWindow &window;
    QString portName;
    QTimer *poll;
    QTimer *watchdog;
};
