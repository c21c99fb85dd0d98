#include "cliupdater.h"

#include "exitcode.h"
#include "firmwareversion.h"
#include "portpicker.h"
#include "progressline.h"
#include "resourcepaths.h"
#include "updateduration.h"
#include "texts.h"

#include <QCoreApplication>
#include <QFile>

namespace {

QString inDirection() { return QStringLiteral("MIDI IN"); }
QString outDirection() { return QStringLiteral("MIDI OUT"); }

} // namespace

CliUpdater::CliUpdater(CliOptions options, std::unique_ptr<MidiService> service, QObject *parent)
    : QObject(parent), options(std::move(options)), link(std::move(service)), engine(link), pump(link)
{
    link.setTraceEnabled(false);
    link.setReceiver(&pump);
    connect(&pump, &ReplyPump::replied, this, &CliUpdater::onReply);
    connect(&ticker, &QTimer::timeout, this, &CliUpdater::onTick);
    connect(&engine, &UpdateEngine::progressChanged, this, &CliUpdater::onProgress);
    connect(&engine, &UpdateEngine::finished, this, &CliUpdater::onFinished);
    connect(&engine, &UpdateEngine::blockShown, this, [this](int block) { shownBlock = block; });
    connect(&engine, &UpdateEngine::pageShown, this, [this](int page) { shownPage = page; });
}

CliUpdater::~CliUpdater()
{
    // No callback may post to the pump once it is gone.
    link.closePorts();
}

void CliUpdater::start()
{
    if (options.listPorts) {
        listPorts();
        return;
    }
    const PortPicker::Pick in = PortPicker::pick(link.portNames(true), options.inPort, inDirection());
    const PortPicker::Pick out = PortPicker::pick(link.portNames(false), options.outPort, outDirection());
    for (const PortPicker::Pick &pick : {in, out}) {
        if (pick.index < 0) {
            console.complain(pick.error);
            quit(pick.failure);
            return;
        }
    }
    console.say(Texts::tr("Connecting: %1 port \"%2\", %3 port \"%4\".")
                    .arg(inDirection(), *link.inPortName(in.index), outDirection(), *link.outPortName(out.index)));
    if (!link.openPorts(in.index, out.index)) {
        console.complain(Texts::tr("Could not open the chosen MIDI ports."));
        quit(ExitNoDevice);
        return;
    }
    identifyCountdown = IdentifyTimeoutTicks;
    identifyClock.start();
    link.sendIdentify();
    ticker.start(TickInterval);
}

void CliUpdater::listPorts()
{
    const QStringList in = link.portNames(true);
    const QStringList out = link.portNames(false);
    if (in.isEmpty() && out.isEmpty()) {
        console.complain(Texts::tr("No MIDI ports found."));
        quit(ExitNoDevice);
        return;
    }
    for (const auto &[direction, names] : {std::pair(inDirection(), in), std::pair(outDirection(), out)}) {
        console.say(Texts::tr("%1 ports:").arg(direction));
        for (int i = 0; i < names.size(); ++i)
            console.say(QStringLiteral("  %1  %2").arg(i, 2).arg(names.at(i)));
    }
    quit(ExitSuccess);
}

void CliUpdater::onReply(ReplyCode code)
{
    if (code == ReplyIdentify) {
        if (identifyCountdown > 0)
            onIdentified();
        return;
    }
    engine.handleReply(code);
}

void CliUpdater::onTick()
{
    engine.tick();
    if (identifyCountdown > 0 && --identifyCountdown == 0) {
        console.complain(Texts::tr("The Qel did not answer. Check that it is switched on and connected, and "
                            "that the MIDI IN and MIDI OUT ports are not swapped."));
        quit(ExitNoDevice);
    }
}

void CliUpdater::onIdentified()
{
    identifyCountdown = 0;
    roundTripUs = identifyClock.nsecsElapsed() / 1000;
    const std::uint32_t version = link.firmwareVersion();
    console.say(Texts::tr("Qel %1, firmware %2.").arg(link.serialText(), FirmwareVersion::text(version)));
    console.say(FirmwareVersion::verdict(version));
    if (options.infoOnly) {
        quit(ExitSuccess);
        return;
    }
    startUpdate();
}

void CliUpdater::startUpdate()
{
    QFile file(options.imagePath.isEmpty() ? QString(ResourcePaths::FirmwareImage) : options.imagePath);
    QByteArray image;
    if (file.open(QIODevice::ReadOnly))
        image = file.readAll();

    if (!options.assumeYes && !image.isEmpty()) {
        if (!console.inputIsTerminal()) {
            console.complain(Texts::tr("Nobody can be asked before writing: standard input is not a terminal. "
                                "Add --yes to update without a question."));
            quit(ExitUsage);
            return;
        }
        const qint64 expected = UpdateDuration::expectedMs(roundTripUs, image.size());
        if (!console.confirm(UpdateDuration::confirmation(link.firmwareVersion(), expected))) {
            console.say(Texts::tr("Nothing was written."));
            quit(ExitUpdateFailed);
            return;
        }
    }
    eta.reset();
    updateClock.start();
    engine.start(image); // an unreadable image ends at once with the window's message
}

void CliUpdater::onProgress(int done, int total)
{
    const qint64 now = updateClock.elapsed();
    eta.addSample(now, done, total);
    const bool last = done >= total;
    if (console.outputIsTerminal()) {
        if (!last && now - lastDrawMs < ProgressIntervalMs)
            return;
    } else {
        const int step = ProgressLine::percent(done, total) / ProgressStepPercent;
        if (step == lastStep)
            return;
        lastStep = step;
    }
    lastDrawMs = now;
    const qint64 left = eta.remainingMs();
    const QString remaining = left == EtaEstimator::Unknown || last ? QString() : UpdateDuration::remainingText(left);
    console.progress(ProgressLine::render(done, total, shownBlock, shownPage, remaining));
}

void CliUpdater::onFinished(UpdateOutcome outcome, const QString &message)
{
    if (outcome == UpdateOutcome::Success) {
        console.say(message);
        quit(ExitSuccess);
    } else {
        console.complain(message);
        quit(ExitUpdateFailed);
    }
}

void CliUpdater::quit(int code)
{
    ticker.stop();
    link.closePorts();
    QCoreApplication::exit(code);
}
