#pragma once

#include "updatesession.h"

#include <QDir>
#include <QObject>
#include <QString>

class MainWindow;
class QTimer;
class QWidget;

// Walks the real window through connect, update and finish on the simulated
// device and saves what a person sees at each stage, then quits with 0, or
// with 1 when a stage did not come.
class ScreenshotDriver : public QObject
{
    Q_OBJECT

public:
    static constexpr int StageTimeoutMs = 60000;
    static constexpr int ConnectPollMs = 20;
    static constexpr int UpdatingPercent = 40;
    static constexpr int FrameWidth = 3;
    static constexpr int TitleHeight = 24;

    // Pictures go to `outDir` as <stage>-<language>.png.
    ScreenshotDriver(MainWindow &window, const QDir &outDir, const QString &language);

    void start();

private:
    void waitForIdentity();
    void askAndConfirm();
    void onProgress(const UpdateSession::Progress &progress);
    void onFinished();
    // The window, with a dialog of it drawn centred on top as the desktop shows it.
    bool save(const QString &stage, QWidget *dialog = nullptr);
    void fail(const QString &why);

    MainWindow &window;
    QDir outDir;
    QString language;
    QTimer *poll;
    QTimer *watchdog;
    bool updatingTaken = false;
};
