#include "windowdriver.h"

#include "mainwindow.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

WindowDriver::WindowDriver(MainWindow &window, const QString &portName, const QString &imagePath)
    : window(window), portName(portName), poll(new QTimer(this)), watchdog(new QTimer(this))
{
    window.updateSession().setImagePath(imagePath);
    poll->setInterval(PollMs);
    watchdog->setSingleShot(true);
    connect(watchdog, &QTimer::timeout, this, [this] { quit(3, QStringLiteral("a stage did not come in time")); });
    connect(&window.updateSession(), &UpdateSession::finished, this,
            [this](UpdateOutcome outcome) { onFinished(outcome); }, Qt::QueuedConnection);
}

void WindowDriver::start()
{
    watchdog->start(StageTimeoutMs);
    connect(poll, &QTimer::timeout, this, &WindowDriver::pickPorts);
    poll->start();
}

// The lists follow JACK's ports once a second; the search for Qels runs meanwhile.
void WindowDriver::pickPorts()
{
    const auto in = window.MidiInList->findItems(portName + QStringLiteral(" MIDI OUT"), Qt::MatchContains);
    const auto out = window.MidiOutList->findItems(portName + QStringLiteral(" MIDI IN"), Qt::MatchContains);
    if (in.isEmpty() || out.isEmpty())
        return;
    poll->disconnect(this);
    window.MidiInList->setCurrentItem(in.constFirst());
    window.MidiOutList->setCurrentItem(out.constFirst());
    window.ConnectButton->click();
    connect(poll, &QTimer::timeout, this, &WindowDriver::waitForIdentity);
}

void WindowDriver::waitForIdentity()
{
    // The question names a duration from the reads timed after Connect.
    if (window.connection() != MainWindow::Connected || window.updateSession().isMeasuring())
        return;
    poll->stop();
    window.TransferButton->click();
    auto *question = window.findChild<QMessageBox *>(QStringLiteral("StartQuestion"));
    if (!question) {
        quit(3, QStringLiteral("Update asked nothing"));
        return;
    }
    question->button(QMessageBox::Yes)->click();
}

void WindowDriver::onFinished(UpdateOutcome outcome)
{
    std::printf("window: %s\n", qPrintable(window.LogText->toPlainText().section(QLatin1Char('\n'), -1)));
    quit(outcome == UpdateOutcome::Success ? 0 : 1, QString());
}

void WindowDriver::quit(int code, const QString &why)
{
    if (!why.isEmpty())
        std::fprintf(stderr, "window driver: %s\n", qPrintable(why));
    std::fflush(stdout);
    QCoreApplication::exit(code);
}
