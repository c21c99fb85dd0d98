// The German catalogue built into the program covers every text of the
// sources, the form's included.

#include "resourcepaths.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void germanCoversEveryText();
};

void TestResources::germanCoversEveryText()
{
    // lupdate over the sources, form included, into a copy of the catalogue:
    // a text added without its German shows up unfinished.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("update_de.ts"));
    QVERIFY(QFile::copy(QStringLiteral(QEL_TS_FILE), copy));
    QStringList arguments{QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-no-obsolete")};
    for (const char *folder : {"app", "session", "sessioncore", "cli", "web/page"})
        arguments << QStringLiteral(QEL_SOURCE_DIR "/") + QLatin1String(folder);
    arguments << QStringLiteral("-ts") << copy;
    QProcess lupdate;
    lupdate.start(QStringLiteral(QEL_LUPDATE), arguments);
    QVERIFY2(lupdate.waitForFinished(60000), qPrintable(lupdate.errorString()));
    QCOMPARE(lupdate.exitCode(), 0);

    // And the catalogue built into the program says what the committed one says.
    QTranslator german;
    QVERIFY(german.load(ResourcePaths::AppTranslation));
    QFile ts(copy);
    QVERIFY(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString source;
    QStringList missing;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const bool unfinished = !xml.attributes().value(QLatin1String("type")).isEmpty();
            const QString built = german.translate("MainWindow", source.toUtf8().constData());
            if (unfinished || built.isEmpty() || built != xml.readElementText())
                missing << source;
        }
    }
    QVERIFY(!xml.hasError());
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral("\n"))));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
