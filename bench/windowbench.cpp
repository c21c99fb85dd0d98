// The real window through a whole update, offscreen, on the sim service or
// over a private JACK server against qel-simulator: how long the update takes
// beside the same update headless, against the duration the window expected
// at Connect, and how long a repaint or a click waits meanwhile.

#include "benchimage.h"
#include "figures.h"
#include "headlessupdate.h"
#include "latencyprobe.h"
#include "mainwindow.h"
#include "pageframe.h"
#include "privatejack.h"
#include "rtmidiservice.h"
#include "simmidiservice.h"
#include "simulatorprocess.h"
#include "windowprobe.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

using namespace Figures;

namespace {

constexpr int ConnectMs = 5000;
constexpr double LatencyCeilingMs = 50.0;
constexpr double WindowRatioCeiling = 1.02;
constexpr double EstimateTolerance = 0.20;
constexpr double EstimateSlackS = 3.0;  // for updates under 15 s
const QString DevicePorts = QStringLiteral("QelWindowBench");

double milliseconds(std::chrono::microseconds time)
{
    return double(time.count()) / 1000.0;
}

struct WindowOptions
{
    int pages = 0;  // 0: the whole image
    bool withoutLog = false;
    bool withoutProbes = false;
    int jackPeriod = 0;  // 0: the sim service
    int pairs = 0;       // 0: one update each; else alternating pairs, no probes
};

WindowOptions readOptions(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The real window through a whole update, offscreen."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("pages"), QStringLiteral("Write only the first n pages of the image."), QStringLiteral("n"),
         QStringLiteral("0")},
        {QStringLiteral("without-log"), QStringLiteral("Keep the update's trace lines out of the log pane.")},
        {QStringLiteral("without-probes"),
         QStringLiteral("Leave out the repaints and clicks that time the window's answers, which are work of their own.")},
        {QStringLiteral("pairs"),
         QStringLiteral("Rounds of the same update headless and in the window, by turns; the median ratio."),
         QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("jack"),
         QStringLiteral("Over a private JACK server of this period (frames at 48 kHz) against qel-simulator."),
         QStringLiteral("period"), QStringLiteral("0")},
    });
    parser.process(app);
    return {std::max(0, parser.value(QStringLiteral("pages")).toInt()), parser.isSet(QStringLiteral("without-log")),
            parser.isSet(QStringLiteral("without-probes")), std::max(0, parser.value(QStringLiteral("jack")).toInt()),
            std::max(0, parser.value(QStringLiteral("pairs")).toInt())};
}

// The device's ports, as the updater lists them, on either service.
struct Link
{
    std::function<std::unique_ptr<MidiService>()> makeService;
    QString inPort;
    QString outPort;
};

int rowOf(const QStringList &names, const QString &port)
{
    for (int i = 0; i < names.size(); ++i)
        if (names[i].contains(port))
            return i;
    return -1;
}

// Connects and waits for the reads timed at Connect, as the user's question does.
bool connectWindow(MainWindow &window, const Link &link)
{
    window.MidiInList->setCurrentRow(rowOf(window.updateSession().portNames(true), link.inPort));
    window.MidiOutList->setCurrentRow(rowOf(window.updateSession().portNames(false), link.outPort));
    window.Connect();
    const QDeadlineTimer deadline(ConnectMs);
    while ((window.connection() != MainWindow::Connected || window.updateSession().isMeasuring())
           && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(deadline.remainingTime()));
    return window.connection() == MainWindow::Connected && !window.updateSession().isMeasuring();
}

// One update in the window, as the user starts it after the question.
struct WindowRun
{
    UpdateOutcome outcome = UpdateOutcome::Cancelled;
    QString message;
    std::chrono::nanoseconds elapsed{};
};

WindowRun runInWindow(MainWindow &window)
{
    QEventLoop loop;
    WindowRun run;
    const auto started = std::chrono::steady_clock::now();
    const QMetaObject::Connection done = QObject::connect(
        &window.updateSession(), &UpdateSession::finished, &loop, [&](UpdateOutcome outcome, const QString &message) {
            run = {outcome, message, std::chrono::steady_clock::now() - started};
            loop.quit();
        });
    window.Transfer();
    loop.exec();
    QObject::disconnect(done);
    return run;
}

// The same update headless and in the window by turns, all on the link all
// along; the median of the pairs, so that the drift of the machine and of the
// JACK server favours neither side. JACK runs the clients made first earlier
// in its cycle, which saves them a few per cent of each round trip, so one
// headless session is made before the window and one after, and the window
// is set against the geometric mean of the two.
int runPairs(MainWindow &window, HeadlessUpdate &before, HeadlessUpdate &after, const ImageFile &image, int pairs)
{
    std::vector<double> ratios;
    std::vector<double> againstBefore;
    std::vector<double> againstAfter;
    int failed = 0;
    for (int i = 0; i < pairs; ++i) {
        HeadlessUpdate &first = i % 2 == 0 ? before : after;
        HeadlessUpdate &last = i % 2 == 0 ? after : before;
        const HeadlessUpdate::Result firstRun = first.run(image.path());
        const WindowRun inWindow = runInWindow(window);
        const HeadlessUpdate::Result lastRun = last.run(image.path());
        if (inWindow.outcome != UpdateOutcome::Success || firstRun.outcome != UpdateOutcome::Success || lastRun.outcome != UpdateOutcome::Success) {
            ++failed;
            continue;
        }
        const double early = seconds(i % 2 == 0 ? firstRun.elapsed : lastRun.elapsed);
        const double late = seconds(i % 2 == 0 ? lastRun.elapsed : firstRun.elapsed);
        const double shown = seconds(inWindow.elapsed);
        againstBefore.push_back(shown / early);
        againstAfter.push_back(shown / late);
        ratios.push_back(shown / std::sqrt(early * late));
        say(QStringLiteral("  round %1: window %2 s; headless made before it %3 s, after it %4 s; ratio %5")
                .arg(i + 1)
                .arg(shown, 0, 'f', 2)
                .arg(early, 0, 'f', 2)
                .arg(late, 0, 'f', 2)
                .arg(ratios.back(), 0, 'f', 3));
    }
    if (ratios.empty()) {
        say(QStringLiteral("  no round succeeded"));
        return EXIT_FAILURE;
    }
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    say(QStringLiteral("  against the session made before the window: %1; made after it: %2")
            .arg(median(againstBefore), 0, 'f', 3)
            .arg(median(againstAfter), 0, 'f', 3));
    say(QStringLiteral("  window against headless, median of %1 rounds (%2 failed): %3 (%4 to %5); target <= %6: %7")
            .arg(ratios.size())
            .arg(failed)
            .arg(median(ratios), 0, 'f', 3)
            .arg(*low, 0, 'f', 3)
            .arg(*high, 0, 'f', 3)
            .arg(WindowRatioCeiling)
            .arg(verdict(median(ratios), WindowRatioCeiling)));
    return EXIT_SUCCESS;
}

QString estimateVerdict(double expectedS, double actualS)
{
    const double allowed = actualS < 15.0 ? EstimateSlackS : EstimateTolerance * actualS;
    return std::abs(expectedS - actualS) <= allowed ? QStringLiteral("met") : QStringLiteral("NOT met");
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
    say(QStringLiteral("The window through an update %1 (%2 bytes), offscreen%3")
            .arg(options.jackPeriod ? QStringLiteral("over JACK at period %1 against qel-simulator").arg(options.jackPeriod)
                                    : QStringLiteral("on the sim service"))
            .arg(image.size())
            .arg(options.withoutLog ? QStringLiteral(", no trace lines in the log pane") : QString()));

    Link link{[] { return std::make_unique<SimMidiService>(); }, SimMidiService::inPort(), SimMidiService::outPort()};
    std::unique_ptr<PrivateJackServer> server;
    std::unique_ptr<SimulatorProcess> simulator;
    if (options.jackPeriod > 0) {
        // Our clients and the simulator's find the private server.
        server = std::make_unique<PrivateJackServer>(QStringLiteral("qelwindow"), options.jackPeriod, true);
        simulator = std::make_unique<SimulatorProcess>(QStringLiteral(QEL_SIMULATOR_PATH), DevicePorts);
        QString error = server->start();
        if (error.isEmpty())
            simulator->start(&error);
        if (!error.isEmpty()) {
            say(QStringLiteral("  cannot run: %1").arg(error));
            return EXIT_FAILURE;
        }
        link = {[] { return std::make_unique<RtMidiService>(QStringLiteral("jack")); }, simulator->inPort(),
                simulator->outPort()};
    }

    if (options.pairs > 0) {
        const auto headless = [&] {
            auto update = std::make_unique<HeadlessUpdate>(link.makeService());
            update->openPorts(rowOf(update->session().portNames(true), link.inPort),
                              rowOf(update->session().portNames(false), link.outPort));
            return update;
        };
        const std::unique_ptr<HeadlessUpdate> before = headless();
        MainWindow window(link.makeService());
        window.updateSession().setImagePath(image.path());
        window.show();
        window.Init();
        if (!connectWindow(window, link)) {
            say(QStringLiteral("  the window did not connect to the device"));
            return EXIT_FAILURE;
        }
        const std::unique_ptr<HeadlessUpdate> after = headless();
        const int code = runPairs(window, *before, *after, image, options.pairs);
        window.updateSession().disconnectDevice();
        return code;
    }

    // One MIDI client at a time: the headless update's goes before the window's comes.
    HeadlessUpdate::Result reference;
    std::chrono::nanoseconds headlessCpu{};
    {
        HeadlessUpdate headless(link.makeService());
        headless.openPorts(rowOf(headless.session().portNames(true), link.inPort),
                           rowOf(headless.session().portNames(false), link.outPort));
        const auto headlessCpuBefore = threadCpuTime();
        reference = headless.run(image.path());
        headlessCpu = threadCpuTime() - headlessCpuBefore;
        QCoreApplication::processEvents();
    }

    MainWindow window(link.makeService());
    UpdateSession &session = window.updateSession();
    session.setImagePath(image.path());
    window.show();
    window.Init();
    if (!connectWindow(window, link)) {
        say(QStringLiteral("  the window did not connect to the device"));
        return EXIT_FAILURE;
    }
    const double expectedS = double(session.expectedDurationMs()) / 1000.0;

    WindowProbe windowProbe(window.LogText->viewport());
    LatencyProbe loopProbe;
    // What the log pane costs: the same update with no trace line reaching it.
    if (options.withoutLog)
        QObject::disconnect(&session, &UpdateSession::traced, &window, nullptr);
    if (!options.withoutProbes) {
        windowProbe.start();
        loopProbe.start();
    }
    const auto cpuBefore = threadCpuTime();
    const WindowRun inWindow = runInWindow(window);
    const auto windowCpu = threadCpuTime() - cpuBefore;
    windowProbe.stop();
    loopProbe.stop();
    QCoreApplication::processEvents();
    const int windowRestarts = session.updateEngine().retryCount();

    if (inWindow.outcome != UpdateOutcome::Success || reference.outcome != UpdateOutcome::Success) {
        say(QStringLiteral("  the update failed: headless \"%1\", window \"%2\"")
                .arg(reference.message, inWindow.message));
        return EXIT_FAILURE;
    }
    const auto elapsed = inWindow.elapsed;
    const WindowProbe::Figures w = windowProbe.figures();
    const LatencyProbe::Figures l = loopProbe.figures();
    say(QStringLiteral("  window: %1 s, %2 us/exchange; headless: %3 s, %4 us/exchange (%5 exchanges); ratio %6")
            .arg(seconds(elapsed), 0, 'f', 3)
            .arg(perExchangeUs(elapsed, reference.exchanges), 0, 'f', 2)
            .arg(seconds(reference.elapsed), 0, 'f', 3)
            .arg(perExchangeUs(reference.elapsed, reference.exchanges), 0, 'f', 2)
            .arg(reference.exchanges)
            .arg(seconds(elapsed) / seconds(reference.elapsed), 0, 'f', 3));
    say(QStringLiteral("  window against headless: target <= %1: %2 (blocks written again: window %3, headless %4)")
            .arg(WindowRatioCeiling)
            .arg(verdict(seconds(elapsed) / seconds(reference.elapsed), WindowRatioCeiling))
            .arg(windowRestarts)
            .arg(reference.retries));
    say(QStringLiteral("  expected at Connect %1 s (%2 us per timed read), took %3 s: ratio %4; "
                       "within 20 % (3 s under 15 s): %5")
            .arg(expectedS, 0, 'f', 1)
            .arg(session.dataRoundTripUs())
            .arg(seconds(elapsed), 0, 'f', 1)
            .arg(expectedS / seconds(elapsed), 0, 'f', 3)
            .arg(estimateVerdict(expectedS, seconds(elapsed))));
    const int pagesWritten = int((image.size() + PageFrame::DataSize - 1) / PageFrame::DataSize);
    say(QStringLiteral("  GUI thread busy: window %1 s, headless %2 s; the window's own share %3 us per page")
            .arg(seconds(windowCpu), 0, 'f', 3)
            .arg(seconds(headlessCpu), 0, 'f', 3)
            .arg(microseconds(windowCpu - headlessCpu) / pagesWritten, 0, 'f', 0));
    const double worstMs = std::max({milliseconds(w.repaintWorst), milliseconds(w.clickWorst),
                                     milliseconds(l.timerWorst)});
    if (!options.withoutProbes)
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
    window.updateSession().disconnectDevice();
    if (simulator)
        say(QStringLiteral("  simulator: %1").arg(simulator->stop().split(QLatin1Char('\n')).last()));
    return EXIT_SUCCESS;
}
