// A simulated device behind virtual MIDI ports, so the real updater can be
// tried over a real MIDI stack without hardware. Runs until SIGINT or SIGTERM,
// or until a fault makes its ports go away.

#include "simulatoroptions.h"
#include "qtbytes.h"
#include "simworker.h"
#include "virtualports.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

constexpr int ExitBadOptions = 2;
constexpr int ExitNoPorts = 3;
constexpr int UnplugSignal = SIGUSR1;

std::mutex outputMutex;

void say(std::FILE *stream, const QString &line)
{
    std::lock_guard<std::mutex> lock(outputMutex);
    std::fputs(qPrintable(line + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

// Blocked in every thread (they inherit the mask), so only sigwait sees them.
sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, UnplugSignal);
    return set;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qel-simulator"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated Qel device on virtual MIDI ports."));
    parser.addHelpOption();
    addSimulatorOptions(parser);
    parser.process(app);

    QString problem;
    std::optional<SimulatorSetup> setup = readSimulatorOptions(parser, &problem);
    if (!setup) {
        say(stderr, problem);
        return ExitBadOptions;
    }
    const bool verbose = setup->verbose;
    setup->device.onCommand = [verbose](const std::string &line) {
        // Violations always show: they mean the updater sent something wrong.
        if (verbose || line.rfind("!!", 0) == 0)
            say(stdout, toQString(line));
    };
    if (verbose) {
        setup->faults.onFault = [](LinkFaults::Fault fault, std::uint8_t type) {
            const bool command = fault == LinkFaults::Fault::LoseCommand;
            say(stdout, QStringLiteral("  %1 0x%2: %3").arg(command ? QStringLiteral("command") : QStringLiteral("reply"))
                            .arg(type, 2, 16, QLatin1Char('0')).arg(QLatin1String(LinkFaults::name(fault))));
        };
    }

    const sigset_t stopSet = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);

    VirtualPorts ports;
    std::optional<SimWorker> device;
    device.emplace(std::move(setup->device), std::move(setup->faults),
                   [&ports](const Bytes &message) { ports.send(toQByteArray(message)); });
    device->setLateDelay(setup->lateDelay);
    device->setOnVanish([] { kill(getpid(), UnplugSignal); });

    if (!ports.open(setup->api, setup->portName, [&device](QByteArray message) { device->post(toBytes(message)); })) {
        say(stderr, QStringLiteral("cannot open MIDI ports: %1").arg(ports.error()));
        ports.closeIn();
        device.reset();
        return ExitNoPorts;
    }
    say(stdout, QStringLiteral("ready: \"%1 MIDI IN\" and \"%1 MIDI OUT\" on %2")
                    .arg(setup->portName, ports.apiName()));

    int received = 0;
    sigwait(&stopSet, &received);
    if (received == UnplugSignal)
        say(stdout, QStringLiteral("ports going away (simulated unplug)"));

    ports.closeIn();
    const int violations = device->withDevice([](SimDevice &d) { return int(d.violations().size()); });
    const int finishes = device->withDevice([](SimDevice &d) { return d.finishCount(); });
    if (!setup->saveImage.isEmpty()) {
        const QByteArray image = toQByteArray(device->withDevice([](SimDevice &d) { return d.image(d.announcedSize()); }));
        QFile file(setup->saveImage);
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
            say(stderr, QStringLiteral("cannot write %1: %2").arg(setup->saveImage, file.errorString()));
    }
    device.reset();
    ports.closeOut();
    say(stdout, QStringLiteral("stopped: %1 finished transfers, %2 violations").arg(finishes).arg(violations));
    return 0;
}
