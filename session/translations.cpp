#include "translations.h"

#include "resourcepaths.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSettings>
#include <QTranslator>

namespace {

Q_LOGGING_CATEGORY(lcStartup, "qel.startup")

const QString LanguageKey = QStringLiteral("language");
constexpr int GermanLanguage = 1;

void load(QTranslator &translator, const QString &baseName)
{
    // A missing catalogue leaves the translator empty, which changes no text.
    if (!translator.load(baseName))
        qCWarning(lcStartup) << "no translation at" << baseName;
}

} // namespace

bool Translations::germanWanted(const QSettings &settings)
{
    return settings.value(LanguageKey, QStringLiteral("0")).toInt() == GermanLanguage;
}

void Translations::installGerman(QTranslator &app, QTranslator &qt)
{
    load(app, ResourcePaths::AppTranslation);
    load(qt, ResourcePaths::QtTranslation);
    QCoreApplication::installTranslator(&app);
    QCoreApplication::installTranslator(&qt);
}
