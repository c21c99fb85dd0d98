#include "clioptions.h"
#include "texts.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

const char ApiVariable[] = "QEL_MIDI_API";
const QString SimApi = QStringLiteral("sim");
const QString ProgramName = QStringLiteral("qel-update-cli");

// What scripts and service benches need besides the options; the manual page
// takes it from here.
QString helpEpilogue()
{
    return Texts::tr("Exit status:\n"
                     "  0  The image was written; the last line says whether the Qel runs it yet.\n"
                     "     Or --list, --find or --info done.\n"
                     "  1  The update failed or was not confirmed, or the built-in image is\n"
                     "     damaged; with --all, a Qel was not written.\n"
                     "  2  The command line was wrong: an unknown option or argument; --sim with\n"
                     "     another --api; --all with --serial, --in, --out, --find, --list or\n"
                     "     --info; --all or --json writing without --yes; a port not found or\n"
                     "     matching several; several Qels answered and no --serial chose one;\n"
                     "     no terminal to ask and no --yes; the --image file unreadable, empty or\n"
                     "     too large.\n"
                     "  3  No MIDI ports, the ports would not open, no Qel answered within 3 s,\n"
                     "     or none has the --serial number.\n"
                     "  4  With --verify: the image was written but not checked, because this Qel\n"
                     "     cannot read its pages back.\n"
                     "130  Stopped by Ctrl-C (SIGINT) or SIGTERM: an update under way was cancelled\n"
                     "     as the window's Cancel does, never leaving the Qel without its list of\n"
                     "     bad blocks.\n")
        + QLatin1Char('\n')
        + Texts::tr("Environment:\n"
                    "  QEL_MIDI_API         The MIDI system when neither --api nor --sim is given:\n"
                    "                       alsa, jack, winmm, core or sim. Unset: RtMidi's default.\n"
                    "  QEL_SIM_DEVICES      With sim: how many simulated Qels, 1 to 16 (default 1).\n"
                    "  QEL_SIM_VERSION      With sim: the firmware they report, e.g. 0x0A01 for 1.10\n"
                    "                       (default 0x0801, 1.08).\n"
                    "  QEL_SIM_FACTORY_BAD  With sim: a new flash with these factory-bad blocks,\n"
                    "                       e.g. 7,8,9,10; 2:7,8,9,10 for the second Qel only.\n"
                    "  QEL_SIM_SILENT       With sim: 1 makes the Qels lose every message.\n"
                    "  QEL_SIM_READS        With sim: what the Qels read back: whole (the whole flash,\n"
                    "                       default), block0, block0-aliased or block0-silent.\n"
                    "  QEL_SIM_SAVE_DIR     With sim: at exit each Qel saves the image it would boot\n"
                    "                       as qel-<serial>.bin in this folder.\n");
}

} // namespace

CliOptions::Parse CliOptions::parse(const QStringList &arguments, CliOptions &options, QString &message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        Texts::tr("Writes the firmware this tool carries into a Qel over MIDI, as the updater's window does."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption list({QStringLiteral("l"), QStringLiteral("list")}, Texts::tr("List the MIDI ports and stop."));
    const QCommandLineOption in(QStringLiteral("in"),
                                Texts::tr("MIDI IN port the Qel sends to: its number or part of its name."),
                                Texts::tr("port"));
    const QCommandLineOption out(QStringLiteral("out"),
                                 Texts::tr("MIDI OUT port that reaches the Qel: its number or part of its name."),
                                 Texts::tr("port"));
    const QCommandLineOption info(QStringLiteral("info"),
                                  Texts::tr("Show the firmware image's version, size and SHA-256, then the Qel's "
                                            "serial number and firmware, and stop."));
    const QCommandLineOption yes({QStringLiteral("y"), QStringLiteral("yes")}, Texts::tr("Update without asking first."));
    const QCommandLineOption sim(QStringLiteral("sim"), Texts::tr("Use the simulated Qel built into the tool."));
    const QCommandLineOption api(QStringLiteral("api"),
                                 Texts::tr("MIDI system: alsa, jack, winmm, core or sim (default: QEL_MIDI_API)."),
                                 Texts::tr("name"));
    const QCommandLineOption image(QStringLiteral("image"), Texts::tr("Write this image file instead of the built-in one."),
                                   Texts::tr("file"));
    const QCommandLineOption verify(QStringLiteral("verify"),
                                    Texts::tr("Read every written page back and compare it with the image, where the Qel "
                                             "can read its pages back (exit code 4 when it cannot)."));
    const QCommandLineOption find(QStringLiteral("find"),
                                  Texts::tr("Ask every MIDI port pair for a Qel, list those that answer, and stop."));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    Texts::tr("Update the Qel with this serial number when several answer."),
                                    Texts::tr("number"));
    const QCommandLineOption all(QStringLiteral("all"),
                                 Texts::tr("Update every Qel that answers, all at the same time (needs --yes)."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  Texts::tr("Print every event as one JSON object per line instead of text."));
    parser.addOptions({list, in, out, info, yes, sim, api, image, verify, find, serial, all, json});

    if (!parser.parse(arguments)) {
        message = parser.errorText();
        return Parse::Error;
    }
    if (parser.isSet(help)) {
        message = parser.helpText() + QLatin1Char('\n') + helpEpilogue();
        return Parse::ShowHelp;
    }
    if (parser.isSet(version)) {
        // The settings' application name is the window's; the program has its own.
        message = ProgramName + QLatin1Char(' ') + QCoreApplication::applicationVersion();
        return Parse::ShowVersion;
    }
    if (!parser.positionalArguments().isEmpty()) {
        message = Texts::tr("Unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return Parse::Error;
    }
    if (parser.isSet(sim) && parser.isSet(api) && parser.value(api).compare(SimApi, Qt::CaseInsensitive) != 0) {
        message = Texts::tr("--sim and --api %1 contradict each other.").arg(parser.value(api));
        return Parse::Error;
    }
    if (parser.isSet(all)) {
        for (const QCommandLineOption &other : {serial, in, out, find, list, info}) {
            if (parser.isSet(other)) {
                message = Texts::tr("--all cannot be combined with --%1.").arg(other.names().constLast());
                return Parse::Error;
            }
        }
    }
    // Nobody can answer a question on a screen of JSON, nor for several Qels at once.
    const bool writes = !parser.isSet(list) && !parser.isSet(find) && !parser.isSet(info);
    if (writes && !parser.isSet(yes) && (parser.isSet(all) || parser.isSet(json))) {
        message = Texts::tr("--%1 writes without asking: add --yes.")
                      .arg(parser.isSet(all) ? QStringLiteral("all") : QStringLiteral("json"));
        return Parse::Error;
    }
    options.all = parser.isSet(all);
    options.json = parser.isSet(json);
    options.listPorts = parser.isSet(list);
    options.infoOnly = parser.isSet(info);
    options.assumeYes = parser.isSet(yes);
    options.verify = parser.isSet(verify);
    options.find = parser.isSet(find);
    options.serial = parser.value(serial);
    options.inPort = parser.value(in);
    options.outPort = parser.value(out);
    options.imagePath = parser.value(image);
    if (parser.isSet(sim))
        options.api = SimApi;
    else if (parser.isSet(api))
        options.api = parser.value(api);
    else
        options.api = qEnvironmentVariable(ApiVariable);
    return Parse::Run;
}
