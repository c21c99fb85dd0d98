#include "startup.h"

#include "mainwindow.h"
#include "resourcepaths.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QSettings>
#include <QSize>
#include <QStyleFactory>
#include <QTranslator>

namespace {

Q_LOGGING_CATEGORY(lcStartup, "qel.startup")

const QString OrganisationName = QStringLiteral("Velmor");
const QString OrganisationDomain = QStringLiteral("velmor.example");
const QString ApplicationName = QStringLiteral("Qel_update");
const QString StyleName = QStringLiteral("Fusion");
const QString LanguageKey = QStringLiteral("language");
constexpr int GermanLanguage = 1;
constexpr QSize WindowSize(922, 322);

void loadTranslation(QTranslator &translator, const QString &baseName)
{
    // A missing catalogue leaves the translator empty, which changes no text.
    if (!translator.load(baseName))
        qCWarning(lcStartup) << "no translation at" << baseName;
}

} // namespace

int runUpdater(int &argc, char **argv, const std::function<void(MainWindow &)> &afterInit)
{
    // Declared first so that they outlive the application that uses them.
    QTranslator appTranslator;
    QTranslator qtTranslator;

    // QSettings finds its file through these names, so they come first.
    QCoreApplication::setOrganizationName(OrganisationName);
    QCoreApplication::setOrganizationDomain(OrganisationDomain);
    QCoreApplication::setApplicationName(ApplicationName);
    QApplication::setStyle(QStyleFactory::create(StyleName));

    QApplication app(argc, argv);
    QSettings settings;
    if (settings.value(LanguageKey, QStringLiteral("0")).toInt() == GermanLanguage) {
        loadTranslation(appTranslator, ResourcePaths::AppTranslation);
        loadTranslation(qtTranslator, ResourcePaths::QtTranslation);
        QCoreApplication::installTranslator(&appTranslator);
        QCoreApplication::installTranslator(&qtTranslator);
    }

    // The form translates its texts as it is built: translators go in first.
    MainWindow window;
    window.show();
    window.setFixedSize(WindowSize);
    window.Init();
    if (afterInit)
        afterInit(window);
    return app.exec();
}
