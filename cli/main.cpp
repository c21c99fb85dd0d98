// qel-update-cli: the updater without a window, for scripts and terminals.

#include "appidentity.h"
#include "clioptions.h"
#include "cliupdater.h"
#include "exitcode.h"
#include "midiservicechoice.h"
#include "translations.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

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

    const MidiServiceMaker makeService = midiServiceMaker(options.api);
    CliUpdater updater(options, makeService(), makeService);
    QTimer::singleShot(0, &updater, &CliUpdater::start);
    return app.exec();
}
