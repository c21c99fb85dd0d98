#include "cliupdater.h"

#include "exitcode.h"
#include "firmwareimage.h"
#include "firmwareversion.h"
#include "jsonevents.h"
#include "portpicker.h"
#include "progressline.h"
#include "sessiontexts.h"
#include "texts.h"
#include "updateduration.h"

#include <QCoreApplication>

#include <utility>

namespace {

QString inDirection() { return QStringLiteral("MIDI IN"); }
QString outDirection() { return QStringLiteral("MIDI OUT"); }

} // namespace

CliUpdater::CliUpdater(CliOptions options, std::unique_ptr<MidiService> service, Discovery::ServiceFactory probes,
                       QObject *parent)
    : QObject(parent), options(std::move(options)), session(std::move(service)), makeService(std::move(probes)),
      throttle(this->options.json ? 1 : console.outputIsTerminal() ? 0 : ProgressStepPercent)
{
    console.setJson(this->options.json);
    if (makeService) {
        discovery = std::make_unique<Discovery>(makeService);
        connect(discovery.get(), &Discovery::finished, this, &CliUpdater::onFound);
    }
    session.setIdentifyTimeout(IdentifyTimeoutTicks);
    session.setVerify(this->options.verify);
    if (!this->options.imagePath.isEmpty())
        session.setImagePath(this->options.imagePath);
    connect(&session, &UpdateSession::identified, this, &CliUpdater::onIdentified);
    connect(&session, &UpdateSession::identifyTimedOut, this, [this] {
        fail(JsonEvents::noAnswer(), Texts::render(SessionTexts::noAnswer()), ExitNoDevice);
    });
    connect(&session, &UpdateSession::progressChanged, this, &CliUpdater::onProgress);
    connect(&session, &UpdateSession::traced, this,
            [this](const QString &line) { console.event(JsonEvents::trace(session.serialText(), line)); });
    connect(&session, &UpdateSession::finished, this, &CliUpdater::onFinished);
    connect(&stops, &StopSignals::stopRequested, this, &CliUpdater::onStop);
    // The question waits for the timed reads, so that it names an honest duration.
    connect(&session, &UpdateSession::measured, this, [this] {
        if (greeted && !this->options.infoOnly)
            startUpdate();
    });
}

void CliUpdater::start()
{
    // Nobody could answer the question: said before any port opens.
    const bool writes = !options.listPorts && !options.find && !options.infoOnly;
    if (writes && !options.assumeYes && !console.inputIsTerminal()) {
        console.complain(Texts::tr("Nobody can be asked before writing: standard input is not a terminal. "
                                   "Add --yes to update without a question."));
        quit(ExitUsage);
        return;
    }
    if (options.listPorts) {
        listPorts();
        return;
    }
    // The image is checked before the device is asked anything.
    const FirmwareImage image = FirmwareImage::load(session.imagePath());
    if (!image.problem.isEmpty()) {
        console.complain(image.problem);
        quit(options.imagePath.isEmpty() ? ExitUpdateFailed : ExitUsage);
        return;
    }
    console.say(image.description());
    console.event(JsonEvents::image(image, options.imagePath));
    // Ports the user named are taken as named; otherwise the Qel is asked for.
    if (discovery && (options.find || options.all || (options.inPort.isEmpty() && options.outPort.isEmpty()))) {
        discovery->start();
        discovery->startTicking();
        return;
    }
    pickByName();
}

void CliUpdater::pickByName()
{
    const QStringList inNames = session.portNames(true);
    const QStringList outNames = session.portNames(false);
    const PortPicker::Pick in = PortPicker::pick(inNames, options.inPort, inDirection());
    const PortPicker::Pick out = PortPicker::pick(outNames, options.outPort, outDirection());
    for (const PortPicker::Pick &pick : {in, out}) {
        if (pick.index < 0) {
            console.complain(pick.error);
            quit(pick.failure);
            return;
        }
    }
    connectTo(in.index, out.index, inNames.at(in.index), outNames.at(out.index));
}

void CliUpdater::onFound(const QList<FoundDevice> &devices)
{
    for (const FoundDevice &d : devices)
        console.event(JsonEvents::found(d));
    if (options.all) {
        if (devices.isEmpty()) {
            console.complain(Texts::tr("No Qel answered on any MIDI port."));
            quit(ExitNoDevice);
            return;
        }
        multi = std::make_unique<MultiUpdater>(options, console, makeService);
        connect(multi.get(), &MultiUpdater::finished, this, &CliUpdater::quit);
        multi->start(devices);
        return;
    }
    QList<FoundDevice> chosen = devices;
    if (!options.serial.isEmpty()) {
        chosen.clear();
        for (const FoundDevice &d : devices)
            if (d.serialText == options.serial || QString::number(d.serialNumber) == options.serial)
                chosen << d;
    }
    if (options.find || chosen.size() > 1 || (chosen.isEmpty() && !options.serial.isEmpty())) {
        QStringList lines;
        for (const FoundDevice &d : devices)
            lines << Texts::tr("  Qel %1  firmware %2  %3 port \"%4\"  %5 port \"%6\"")
                         .arg(d.serialText, QString::fromStdString(FirmwareVersion::text(d.firmwareVersion)), inDirection(), d.inName,
                              outDirection(), d.outName);
        if (options.find && !devices.isEmpty()) {
            console.say(lines.join(QLatin1Char('\n')));
            quit(ExitSuccess);
        } else if (devices.isEmpty()) {
            console.complain(Texts::tr("No Qel answered on any MIDI port."));
            quit(ExitNoDevice);
        } else {
            console.complain((chosen.isEmpty() ? Texts::tr("No Qel with serial number %1 answered. Found:").arg(options.serial)
                                               : Texts::tr("Several Qels answered; choose one with --serial:"))
                             + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
            quit(chosen.isEmpty() ? ExitNoDevice : ExitUsage);
        }
        return;
    }
    if (chosen.isEmpty()) {
        pickByName();  // nobody answered: ports as named, or as they look
        return;
    }
    const FoundDevice &d = chosen.constFirst();
    connectTo(d.inIndex, d.outIndex, d.inName, d.outName);
}

void CliUpdater::connectTo(int in, int out, const QString &inName, const QString &outName)
{
    console.say(Texts::tr("Connecting: %1 port \"%2\", %3 port \"%4\".")
                    .arg(inDirection(), inName, outDirection(), outName));
    this->inName = inName;
    this->outName = outName;
    if (!session.connectDevice(in, out)) {
        fail(JsonEvents::portsUnavailable(), Texts::tr("Could not open the chosen MIDI ports."), ExitNoDevice);
        return;
    }
    session.startTicking();
}

void CliUpdater::listPorts()
{
    const QStringList in = session.portNames(true);
    const QStringList out = session.portNames(false);
    if (in.isEmpty() && out.isEmpty()) {
        console.complain(Texts::tr("No MIDI ports found."));
        quit(ExitNoDevice);
        return;
    }
    for (const auto &[direction, names] : {std::pair(inDirection(), in), std::pair(outDirection(), out)}) {
        console.say(Texts::tr("%1 ports:").arg(direction));
        for (int i = 0; i < names.size(); ++i) {
            console.say(QStringLiteral("  %1  %2").arg(i, 2).arg(names.at(i)));
            console.event(JsonEvents::port(direction == inDirection(), i, names.at(i)));
        }
    }
    quit(ExitSuccess);
}

void CliUpdater::onIdentified()
{
    // Only the first answer counts: a duplicate, or the answer after an update, changes nothing.
    if (greeted)
        return;
    greeted = true;
    const std::uint32_t version = session.firmwareVersion();
    console.event(JsonEvents::connected(session.serialText(), version, inName, outName));
    console.say(Texts::tr("Qel %1, firmware %2.").arg(session.serialText(), QString::fromStdString(FirmwareVersion::text(version))));
    console.say(Texts::render(FirmwareVersion::verdict(version)));
    if (options.infoOnly)
        quit(ExitSuccess);
    else if (!session.isMeasuring())
        startUpdate();
}

void CliUpdater::startUpdate()
{
    if (!options.assumeYes) {
        const bool yes = console.confirm(session.confirmationText());
        if (StopSignals::requested()) {  // the question was interrupted
            onStop();
            return;
        }
        if (!yes) {
            console.say(Texts::tr("Nothing was written."));
            quit(ExitUpdateFailed);
            return;
        }
    }
    session.startUpdate(); // an image changed since start() ends at once with a message
}

void CliUpdater::onProgress(const UpdateSession::Progress &progress)
{
    const int done = progress.pagesDone;
    const int total = progress.pagesTotal;
    if (!throttle.pass(done, total))
        return;
    console.event(JsonEvents::progress(session.serialText(), progress));
    const qint64 left = progress.remainingMs;
    const QString remaining = left == EtaEstimator::Unknown || done >= total ? QString() : Texts::render(UpdateDuration::remainingText(left));
    console.progress(ProgressLine::render(done, total, progress.block, progress.page, remaining));
}

void CliUpdater::onFinished(UpdateOutcome outcome, const QString &message)
{
    if (outcome == UpdateOutcome::Success) {
        console.event(JsonEvents::finished(session.serialText(), JsonEvents::outcomeName(outcome), message));
        // Worded after the device said which firmware it runs, as the window's.
        console.say(message);
        quit(ExitSuccess);
    } else {
        fail(JsonEvents::outcomeName(outcome), message,
             outcome == UpdateOutcome::NotVerified ? ExitNotVerified : ExitUpdateFailed);
    }
}

void CliUpdater::fail(const QString &outcome, const QString &message, int code)
{
    console.event(JsonEvents::finished(session.serialText(), outcome, message));
    console.complain(message);
    quit(code);
}

void CliUpdater::onStop()
{
    if (std::exchange(interrupted, true))
        return;  // the cancel under way ends the run
    if (multi) {
        multi->cancel();
        return;
    }
    if (session.isUpdating()) {
        session.cancelUpdate();
        return;
    }
    console.complain(Texts::tr("Stopped before writing; nothing was written."));
    quit(ExitInterrupted);
}

void CliUpdater::quit(int code)
{
    session.disconnectDevice();
    QCoreApplication::exit(interrupted ? int(ExitInterrupted) : code);
}
