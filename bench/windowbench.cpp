// The real window through a whole update on the sim service, offscreen: how
// long the update takes beside the same update headless, and how long a
// repaint or a click waits meanwhile.

#include "benchimage.h"
#include "figures.h"
#include "headlessupdate.h"
#include "latencyprobe.h"
#include "mainwindow.h"
#include "pageframe.h"
#include "simmidiservice.h"
#include "windowprobe.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>

using namespace Figures;

namespace {

constexpr int ConnectMs = 5000;
constexpr double LatencyCeilingMs = 50.0;

double milliseconds(std::chrono::microseconds time)
{
    return double(time.count()) / 1000.0;
}

struct WindowOptions
{
    int pages = 0;  // 0: the whole image
    bool withoutLog = false;
};

WindowOptions readOptions(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The real window through a whole update on the sim service."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("pages"), QStringLiteral("Write only the first n pages of the image."), QStringLiteral("n"),
         QStringLiteral("0")},
        {QStringLiteral("without-log"), QStringLiteral("Keep the update's trace lines out of the log pane.")},
    });
    parser.process(app);
    return {std::max(0, parser.value(QStringLiteral("pages")).toInt()), parser.isSet(QStringLiteral("without-log"))};
}

bool connectWindow(MainWindow &window)
{
    window.Connect();
    const QDeadlineTimer deadline(ConnectMs);
    while (window.connection() != MainWindow::Connected && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(deadline.remainingTime()));
    return window.connection() == MainWindow::Connected;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const WindowOptions options = readOptions(app);
    const int pages = options.pages;

    const ImageFile image(builtInImage(pages));
    if (image.size() == 0 || !image.isValid()) {
        say(QStringLiteral("cannot read the built-in flash image or write it to a file"));
        return EXIT_FAILURE;
    }

    say(QStringLiteral("Machine: %1").arg(machine()));
    say(QStringLiteral("The window through an update on the sim service (%1 bytes), offscreen%2")
            .arg(image.size())
            .arg(options.withoutLog ? QStringLiteral(", no trace lines in the log pane") : QString()));

    HeadlessUpdate headless(std::make_unique<SimMidiService>());
    headless.openPorts(0, 0);
    const auto headlessCpuBefore = threadCpuTime();
    const HeadlessUpdate::Result reference = headless.run(image.path());
    const auto headlessCpu = threadCpuTime() - headlessCpuBefore;

    MainWindow window(std::make_unique<SimMidiService>());
    UpdateSession &session = window.updateSession();
    session.setImagePath(image.path());
    window.show();
    window.Init();
    if (!connectWindow(window)) {
        say(QStringLiteral("  the window did not connect to the simulated device"));
        return EXIT_FAILURE;
    }

    WindowProbe windowProbe(window.LogText->viewport());
    LatencyProbe loopProbe;
    QEventLoop loop;
    std::chrono::steady_clock::time_point ended;
    UpdateOutcome outcome = UpdateOutcome::Cancelled;
    QObject::connect(&session, &UpdateSession::finished, &loop,
                     [&](UpdateOutcome result, const QString &) {
                         ended = std::chrono::steady_clock::now();
                         outcome = result;
                         loop.quit();
                     });
    // What the log pane costs: the same update with no trace line reaching it.
    if (options.withoutLog)
        QObject::disconnect(&session, &UpdateSession::traced, &window, nullptr);
    windowProbe.start();
    loopProbe.start();
    const auto cpuBefore = threadCpuTime();
    const auto started = std::chrono::steady_clock::now();
    window.Transfer();
    loop.exec();
    const auto windowCpu = threadCpuTime() - cpuBefore;
    windowProbe.stop();
    loopProbe.stop();

    if (outcome != UpdateOutcome::Success || reference.outcome != UpdateOutcome::Success) {
        say(QStringLiteral("  the update failed"));
        return EXIT_FAILURE;
    }
    const auto elapsed = ended - started;
    const WindowProbe::Figures w = windowProbe.figures();
    const LatencyProbe::Figures l = loopProbe.figures();
    say(QStringLiteral("  window: %1 s, %2 us/exchange; headless: %3 s, %4 us/exchange (%5 exchanges); ratio %6")
            .arg(seconds(elapsed), 0, 'f', 3)
            .arg(perExchangeUs(elapsed, reference.exchanges), 0, 'f', 2)
            .arg(seconds(reference.elapsed), 0, 'f', 3)
            .arg(perExchangeUs(reference.elapsed, reference.exchanges), 0, 'f', 2)
            .arg(reference.exchanges)
            .arg(seconds(elapsed) / seconds(reference.elapsed), 0, 'f', 3));
    const int pagesWritten = int((image.size() + PageFrame::DataSize - 1) / PageFrame::DataSize);
    say(QStringLiteral("  GUI thread busy: window %1 s, headless %2 s; the window's own share %3 us per page")
            .arg(seconds(windowCpu), 0, 'f', 3)
            .arg(seconds(headlessCpu), 0, 'f', 3)
            .arg(microseconds(windowCpu - headlessCpu) / pagesWritten, 0, 'f', 0));
    const double worstMs = std::max({milliseconds(w.repaintWorst), milliseconds(w.clickWorst),
                                     milliseconds(l.timerWorst)});
    say(QStringLiteral("  %1 samples: repaint served after %2 ms at worst (99 %: %3 ms), click after %4 ms "
                       "(99 %: %5 ms), 10 ms timer late by %6 ms (99 %: %7 ms); target <= %8 ms: %9")
            .arg(w.samples)
            .arg(milliseconds(w.repaintWorst), 0, 'f', 2)
            .arg(milliseconds(w.repaintP99), 0, 'f', 2)
            .arg(milliseconds(w.clickWorst), 0, 'f', 2)
            .arg(milliseconds(w.clickP99), 0, 'f', 2)
            .arg(milliseconds(l.timerWorst), 0, 'f', 2)
            .arg(milliseconds(l.timerP99), 0, 'f', 2)
            .arg(LatencyCeilingMs)
            .arg(verdict(worstMs, LatencyCeilingMs)));
    say(QStringLiteral("  peak memory: %1 MiB").arg(peakMemoryMiB(), 0, 'f', 1));
    return EXIT_SUCCESS;
}
