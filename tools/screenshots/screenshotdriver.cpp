#include "screenshotdriver.h"

#include "firmwareversion.h"
#include "mainwindow.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

ScreenshotDriver::ScreenshotDriver(MainWindow &window, const QDir &outDir, const QString &language)
    : window(window), outDir(outDir), language(language), poll(new QTimer(this)), watchdog(new QTimer(this))
{
    poll->setInterval(ConnectPollMs);
    connect(poll, &QTimer::timeout, this, &ScreenshotDriver::waitForIdentity);
    watchdog->setSingleShot(true);
    connect(watchdog, &QTimer::timeout, this, [this] { fail(QStringLiteral("a stage did not come in time")); });
    // Connected after the window's own handlers, so the window is up to date.
    connect(&window.updateSession(), &UpdateSession::progressChanged, this, &ScreenshotDriver::onProgress);
    connect(&window.updateSession(), &UpdateSession::finished, this, &ScreenshotDriver::onFinished,
            Qt::QueuedConnection);
}

void ScreenshotDriver::start()
{
    watchdog->start(StageTimeoutMs);
    window.ConnectButton->click();
    poll->start();
}

void ScreenshotDriver::waitForIdentity()
{
    // The question names a duration from the reads timed after Connect.
    if (window.connection() != MainWindow::Connected || window.updateSession().isMeasuring())
        return;
    poll->stop();
    if (save(QStringLiteral("connected")))
        askAndConfirm();
}

void ScreenshotDriver::askAndConfirm()
{
    window.TransferButton->click();
    auto *question = window.findChild<QMessageBox *>(QStringLiteral("StartQuestion"));
    if (!question) {
        fail(QStringLiteral("Update asked nothing"));
        return;
    }
    if (save(QStringLiteral("confirm"), question))
        question->button(QMessageBox::Yes)->click();
}

void ScreenshotDriver::onProgress(const UpdateSession::Progress &progress)
{
    if (updatingTaken || progress.pagesTotal <= 0 || progress.pagesDone * 100 < progress.pagesTotal * UpdatingPercent)
        return;
    updatingTaken = true;
    // Once the window has appended the log lines of this tick as well.
    QTimer::singleShot(0, this, [this] { save(QStringLiteral("updating")); });
}

void ScreenshotDriver::onFinished()
{
    // The window asks the device again after an update; wait for its answer.
    if (window.VersionEdit->text() != QString::fromStdString(FirmwareVersion::text(FirmwareVersion::carried()))) {
        QTimer::singleShot(ConnectPollMs, this, &ScreenshotDriver::onFinished);
        return;
    }
    auto *outcome = window.findChild<QMessageBox *>(QStringLiteral("OutcomeBox"));
    if (!save(QStringLiteral("finished"), outcome))
        return;
    QCoreApplication::exit(updatingTaken && outcome ? 0 : 1);
}

bool ScreenshotDriver::save(const QString &stage, QWidget *dialog)
{
    QPixmap picture = window.grab();
    if (dialog) {
        // Offscreen there is no window manager: draw a plain frame and title bar.
        dialog->adjustSize();
        const QPixmap content = dialog->grab();
        const QRect frame((picture.width() - content.width()) / 2 - FrameWidth,
                          (picture.height() - content.height() - TitleHeight) / 2 - FrameWidth,
                          content.width() + 2 * FrameWidth, content.height() + TitleHeight + 2 * FrameWidth);
        QPainter painter(&picture);
        painter.fillRect(frame, window.palette().color(QPalette::Highlight));
        painter.setPen(window.palette().color(QPalette::HighlightedText));
        painter.drawText(frame.adjusted(2 * FrameWidth, FrameWidth, 0, 0).topLeft() + QPoint(0, TitleHeight - 7),
                         dialog->windowTitle());
        painter.drawPixmap(frame.left() + FrameWidth, frame.top() + FrameWidth + TitleHeight, content);
    }
    const QString path = outDir.filePath(QStringLiteral("%1-%2.png").arg(stage, language));
    if (!picture.save(path)) {
        fail(QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    return true;
}

void ScreenshotDriver::fail(const QString &why)
{
    qWarning("screenshots: %s", qPrintable(why));
    QCoreApplication::exit(1);
}
