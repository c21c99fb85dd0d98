#include "startup.h"

#include "appidentity.h"
#include "mainwindow.h"
#include "midiservicechoice.h"
#include "translations.h"

#include <QApplication>
#include <QSettings>
#include <QSize>
#include <QStyleFactory>
#include <QTranslator>

namespace {

const QString StyleName = QStringLiteral("Fusion");
constexpr QSize WindowSize(922, 322);

} // namespace

int runUpdater(int &argc, char **argv, const std::function<void(MainWindow &)> &afterInit)
{
    // Declared first so that they outlive the application that uses them.
    QTranslator appTranslator;
    QTranslator qtTranslator;

    // QSettings finds its file through these names, so they come first.
    AppIdentity::apply();
    QApplication::setStyle(QStyleFactory::create(StyleName));

    QApplication app(argc, argv);
    QSettings settings;
    if (Translations::germanWanted(settings))
        Translations::installGerman(appTranslator, qtTranslator);

    // The form translates its texts as it is built: translators go in first.
    const MidiServiceMaker makeService = midiServiceMaker(qEnvironmentVariable("QEL_MIDI_API"));
    MainWindow window(makeService(), makeService);
    window.show();
    window.setFixedSize(WindowSize);
    window.Init();
    if (afterInit)
        afterInit(window);
    return app.exec();
}
