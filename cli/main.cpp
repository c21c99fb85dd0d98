// qel-update-cli: the updater without a window, for scripts and terminals.

#include "appidentity.h"
#include "clioptions.h"
#include "cliupdater.h"
#include "exitcode.h"
#include "rtmidiservice.h"
#include "simsetup.h"
#include "translations.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace {

// Makes MIDI services of the kind the options name, the simulated devices or
// an RtMidi API; simulated ones share one world, so that probes find its devices.
Discovery::ServiceFactory midiServiceMaker(const QString &api)
{
    if (api.trimmed().compare(QLatin1String("sim"), Qt::CaseInsensitive) == 0)
        return [world = createSimWorldFromEnvironment()] { return createSimService(world); };
    return [api = api.trimmed()]() -> std::unique_ptr<MidiService> { return std::make_unique<RtMidiService>(api); };
}

} // namespace

int main(int argc, char *argv[])
{
    // Declared first so that they outlive the application that uses them.
    QTranslator appTranslator;
    QTranslator qtTranslator;
    AppIdentity::apply();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(QEL_VERSION));
    if (Translations::germanWanted(QSettings()))
        Translations::installGerman(appTranslator, qtTranslator);

    CliOptions options;
    QString message;
    switch (CliOptions::parse(QCoreApplication::arguments(), options, message)) {
    case CliOptions::Parse::ShowHelp:
    case CliOptions::Parse::ShowVersion:
        std::fprintf(stdout, "%s\n", qPrintable(message));
        return ExitSuccess;
    case CliOptions::Parse::Error:
        std::fprintf(stderr, "%s\n%s\n", qPrintable(message),
                     qPrintable(QCoreApplication::translate("MainWindow", "Try --help.")));
        return ExitUsage;
    case CliOptions::Parse::Run:
        break;
    }

    const Discovery::ServiceFactory makeService = midiServiceMaker(options.api);
    CliUpdater updater(options, makeService(), makeService);
    QTimer::singleShot(0, &updater, &CliUpdater::start);
    return app.exec();
}
