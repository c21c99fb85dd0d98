// The real window through whole updates, offscreen, against the same update
// headless, by turns, over a private JACK server against qel-simulator. What
// the window adds should not show.

#include "benchimage.h"
#include "figures.h"
#include "headlessupdate.h"
#include "mainwindow.h"
#include "privatejack.h"
#include "rtmidiservice.h"
#include "simulatorprocess.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>

#include <cmath>
#include <vector>

using namespace Figures;

namespace {

constexpr int ConnectMs = 5000;
constexpr double WindowRatioCeiling = 1.02;
const QString DevicePorts = QStringLiteral("QelWindowBench");

std::unique_ptr<MidiService> jack()
{
    return std::make_unique<RtMidiService>(QStringLiteral("jack"));
}

std::unique_ptr<HeadlessUpdate> headless(const SimulatorProcess &device)
{
    auto update = std::make_unique<HeadlessUpdate>(jack());
    update->openPorts(portRow(update->session().portNames(true), device.inPort()),
                      portRow(update->session().portNames(false), device.outPort()));
    return update;
}

// Connects and waits for the reads timed at Connect, as the user's question does.
bool connectWindow(MainWindow &window, const SimulatorProcess &device)
{
    window.MidiInList->setCurrentRow(portRow(window.updateSession().portNames(true), device.inPort()));
    window.MidiOutList->setCurrentRow(portRow(window.updateSession().portNames(false), device.outPort()));
    window.Connect();
    const QDeadlineTimer deadline(ConnectMs);
    while ((window.connection() != MainWindow::Connected || window.updateSession().isMeasuring())
           && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(deadline.remainingTime()));
    return window.connection() == MainWindow::Connected && !window.updateSession().isMeasuring();
}

// One update in the window, as the user starts it after the question; nothing when it failed.
std::optional<double> secondsInWindow(MainWindow &window)
{
    QEventLoop loop;
    std::optional<double> taken;
    const auto started = std::chrono::steady_clock::now();
    const QMetaObject::Connection done = QObject::connect(
        &window.updateSession(), &UpdateSession::finished, &loop, [&](UpdateOutcome outcome, const QString &message) {
            if (outcome == UpdateOutcome::Success)
                taken = seconds(std::chrono::steady_clock::now() - started);
            else
                say(QStringLiteral("  the window's update failed: %1").arg(message));
            loop.quit();
        });
    window.Transfer();
    // An update that cannot start has ended before the loop would run.
    if (window.updateSession().isUpdating())
        loop.exec();
    QObject::disconnect(done);
    return taken;
}

std::optional<double> secondsHeadless(HeadlessUpdate &update, const ImageFile &image)
{
    const HeadlessUpdate::Result result = update.run(image.path());
    return result.outcome == UpdateOutcome::Success ? std::optional(seconds(result.elapsed)) : std::nullopt;
}

// JACK runs the clients made first earlier in its cycle, which saves them a
// few per cent of each round trip, so one headless session is made before
// the window and one after, and the window is set against the geometric mean
// of the two; the median of the rounds, so that drift favours neither side.
int runRounds(MainWindow &window, HeadlessUpdate &before, HeadlessUpdate &after, const ImageFile &image, int rounds)
{
    std::vector<double> ratios;
    for (int i = 0; i < rounds; ++i) {
        const bool beforeFirst = i % 2 == 0;
        const auto first = secondsHeadless(beforeFirst ? before : after, image);
        const auto shown = secondsInWindow(window);
        const auto last = secondsHeadless(beforeFirst ? after : before, image);
        if (!first || !shown || !last) {
            say(QStringLiteral("  round %1 failed").arg(i + 1));
            continue;
        }
        ratios.push_back(*shown / std::sqrt(*first * *last));
        say(QStringLiteral("  round %1: window %2 s, headless %3 s")
                .arg(i + 1)
                .arg(*shown, 0, 'f', 2)
                .arg(std::sqrt(*first * *last), 0, 'f', 2));
    }
    if (ratios.empty())
        return EXIT_FAILURE;
    say(QStringLiteral("  window against headless, %1 rounds: %2").arg(ratios.size()).arg(ratioSummary(ratios, WindowRatioCeiling)));
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The real window through updates against the same headless."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("pages"), QStringLiteral("Write only the first n pages of the image."), QStringLiteral("n"),
         QStringLiteral("0")},
        {QStringLiteral("pairs"), QStringLiteral("Rounds of the update headless and in the window (default: 1)."),
         QStringLiteral("n"), QStringLiteral("1")},
        {QStringLiteral("jack"), QStringLiteral("The JACK period in frames at 48 kHz (default: 64)."),
         QStringLiteral("period"), QStringLiteral("64")},
    });
    parser.process(app);
    const int period = std::max(1, parser.value(QStringLiteral("jack")).toInt());

    const ImageFile image(builtInImage(std::max(0, parser.value(QStringLiteral("pages")).toInt())));
    if (image.size() == 0 || !image.isValid()) {
        say(QStringLiteral("cannot read the built-in flash image or write it to a file"));
        return EXIT_FAILURE;
    }
    say(QStringLiteral("Machine: %1").arg(machine()));
    say(QStringLiteral("The window against headless, %1 bytes, over JACK at period %2 against qel-simulator")
            .arg(image.size())
            .arg(period));
    PrivateJackServer server(QStringLiteral("qelwindow"), period, true);
    SimulatorProcess simulator(QStringLiteral(QEL_SIMULATOR_PATH), DevicePorts);
    QString error = server.start();
    if (error.isEmpty())
        error = simulator.start();
    if (!error.isEmpty()) {
        say(QStringLiteral("  cannot run: %1").arg(error));
        return EXIT_FAILURE;
    }

    const std::unique_ptr<HeadlessUpdate> before = headless(simulator);
    MainWindow window(jack());
    window.show();
    window.Init();
    if (!connectWindow(window, simulator)) {
        say(QStringLiteral("  the window did not connect to the device"));
        return EXIT_FAILURE;
    }
    window.updateSession().setImagePath(image.path());
    const std::unique_ptr<HeadlessUpdate> after = headless(simulator);
    const int code = runRounds(window, *before, *after, image, std::max(1, parser.value(QStringLiteral("pairs")).toInt()));
    window.updateSession().disconnectDevice();
    return code;
}
