#include "multiupdater.h"

#include "cliupdater.h"
#include "console.h"
#include "exitcode.h"
#include "firmwareversion.h"
#include "jsonevents.h"
#include "sessiontexts.h"
#include "texts.h"
#include "updateduration.h"

#include <algorithm>

struct MultiUpdater::Run
{
    Run(const FoundDevice &device, std::unique_ptr<MidiService> service, int stepPercent)
        : result{device, {}, {}}, session(std::move(service)), throttle(stepPercent)
    {
    }

    Result result;
    UpdateSession session;
    ProgressThrottle throttle;  // this device's lines or events
    bool greeted = false;
};

MultiUpdater::MultiUpdater(const CliOptions &options, Console &console, Discovery::ServiceFactory makeService,
                           QObject *parent)
    : QObject(parent), options(options), console(console), makeService(std::move(makeService))
{
}

MultiUpdater::~MultiUpdater() = default;

void MultiUpdater::start(const QList<FoundDevice> &devices)
{
    // JSON shows every whole percent; text a line per 10 %, or a redrawn block.
    const int step = console.isJson() ? 1 : console.outputIsTerminal() ? 0 : CliUpdater::ProgressStepPercent;
    for (const FoundDevice &device : devices) {
        runs.push_back(std::make_unique<Run>(device, makeService(), step));
        Run &run = *runs.back();
        run.session.setIdentifyTimeout(CliUpdater::IdentifyTimeoutTicks);
        run.session.setVerify(options.verify);
        if (!options.imagePath.isEmpty())
            run.session.setImagePath(options.imagePath);
        connect(&run.session, &UpdateSession::identified, this, [this, &run] { onIdentified(run); });
        connect(&run.session, &UpdateSession::identifyTimedOut, this, [this, &run] {
            end(run, JsonEvents::noAnswer(), Texts::render(SessionTexts::noAnswer()));
        });
        connect(&run.session, &UpdateSession::progressChanged, this,
                [this, &run](const UpdateSession::Progress &progress) { onProgress(run, progress); });
        connect(&run.session, &UpdateSession::traced, this, [this, &run](const QString &text) {
            console.event(JsonEvents::trace(run.result.device.serialText, text));
        });
        connect(&run.session, &UpdateSession::finished, this, [this, &run](UpdateOutcome outcome, const QString &message) {
            end(run, JsonEvents::outcomeName(outcome), message);
        });
    }
    for (const std::unique_ptr<Run> &run : runs) {
        console.say(Texts::tr("Connecting: %1 port \"%2\", %3 port \"%4\".")
                        .arg(QStringLiteral("MIDI IN"), run->result.device.inName, QStringLiteral("MIDI OUT"),
                             run->result.device.outName));
        if (run->session.connectDevice(run->result.device.inIndex, run->result.device.outIndex))
            run->session.startTicking();
        else
            end(*run, JsonEvents::portsUnavailable(), Texts::tr("Could not open the chosen MIDI ports."));
    }
}

void MultiUpdater::cancel()
{
    for (const std::unique_ptr<Run> &run : runs) {
        if (!run->result.outcome.isEmpty())
            continue;
        if (run->session.isUpdating())
            run->session.cancelUpdate();
        else
            end(*run, JsonEvents::outcomeName(UpdateOutcome::Cancelled),
                Texts::tr("Stopped before writing; nothing was written."));
    }
}

std::vector<MultiUpdater::Result> MultiUpdater::results() const
{
    std::vector<Result> all;
    for (const std::unique_ptr<Run> &run : runs)
        all.push_back(run->result);
    return all;
}

void MultiUpdater::onIdentified(Run &run)
{
    // Only the first answer counts, as for one device.
    if (run.greeted || !run.result.outcome.isEmpty())
        return;
    run.greeted = true;
    const std::uint32_t version = run.session.firmwareVersion();
    console.event(JsonEvents::connected(run.session.serialText(), version, run.result.device.inName,
                                        run.result.device.outName));
    console.say(Texts::tr("Qel %1, firmware %2.").arg(run.session.serialText(), QString::fromStdString(FirmwareVersion::text(version))));
    run.session.startUpdate();
}

void MultiUpdater::onProgress(Run &run, const UpdateSession::Progress &progress)
{
    if (console.isJson()) {
        if (run.throttle.pass(progress.pagesDone, progress.pagesTotal))
            console.event(JsonEvents::progress(run.result.device.serialText, progress));
    } else if (console.outputIsTerminal()) {
        if (screenThrottle.pass(progress.pagesDone, progress.pagesTotal))
            draw(nullptr);
    } else if (run.throttle.pass(progress.pagesDone, progress.pagesTotal)) {
        draw(&run);
    }
}

void MultiUpdater::end(Run &run, const QString &outcome, const QString &message)
{
    if (!run.result.outcome.isEmpty())
        return;
    run.result.outcome = outcome;
    run.result.message = message;
    run.session.disconnectDevice();
    console.event(JsonEvents::finished(run.result.device.serialText, outcome, message));
    if (console.outputIsTerminal())
        draw(nullptr);
    const bool allEnded = std::all_of(runs.begin(), runs.end(),
                                      [](const std::unique_ptr<Run> &r) { return !r->result.outcome.isEmpty(); });
    if (!allEnded)
        return;
    summarize();
    const bool allWritten = std::all_of(runs.begin(), runs.end(), [](const std::unique_ptr<Run> &r) {
        return r->result.outcome == JsonEvents::outcomeName(UpdateOutcome::Success);
    });
    emit finished(allWritten ? ExitSuccess : ExitUpdateFailed);
}

void MultiUpdater::draw(Run *changed)
{
    QStringList lines;
    for (const std::unique_ptr<Run> &run : runs) {
        if (!changed || changed == run.get())
            lines << line(*run);
    }
    console.progressBlock(lines);
}

QString MultiUpdater::line(const Run &run) const
{
    const UpdateSession::Progress &p = run.session.progress();
    QString text = run.result.device.serialText + QStringLiteral("  ");
    if (!run.result.outcome.isEmpty())
        return text + ProgressLine::render(p.pagesDone, p.pagesTotal, -1, -1, run.result.outcome);
    const bool estimate = p.remainingMs != EtaEstimator::Unknown && p.pagesDone < p.pagesTotal;
    return text + ProgressLine::render(p.pagesDone, p.pagesTotal, p.block, p.page,
                                       estimate ? Texts::render(UpdateDuration::remainingText(p.remainingMs)) : QString());
}

void MultiUpdater::summarize()
{
    const QStringList header{Texts::tr("Qel"), Texts::tr("Ports"), Texts::tr("Outcome"), Texts::tr("Message")};
    QList<QStringList> rows{header};
    for (const std::unique_ptr<Run> &run : runs) {
        const Result &r = run->result;
        rows << QStringList{r.device.serialText, r.device.inName + QStringLiteral(" / ") + r.device.outName,
                            r.outcome, r.message};
        if (r.outcome != JsonEvents::outcomeName(UpdateOutcome::Success))
            console.complain(Texts::tr("Qel %1: %2").arg(r.device.serialText, r.message));
    }
    QList<int> widths(header.size() - 1, 0);
    for (const QStringList &row : std::as_const(rows))
        for (int c = 0; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], int(row.at(c).size()));
    QStringList table;
    for (const QStringList &row : std::as_const(rows)) {
        QString text;
        for (int c = 0; c < widths.size(); ++c)
            text += row.at(c).leftJustified(widths[c] + 2);
        table << text + row.constLast();
    }
    console.say(table.join(QLatin1Char('\n')));
}
