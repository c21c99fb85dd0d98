// What the program carries built in: the flash image, the device picture and
// the German catalogue.

#include "resourcepaths.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QResource>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void imageIsStoredCompressed();
    void pictureIsStoredAsIs();
    void germanCoversEveryText();
};

void TestResources::imageIsStoredCompressed()
{
    const QResource stored{QString(ResourcePaths::FirmwareImage)};
    QCOMPARE(stored.compressionAlgorithm(), QResource::ZlibCompression);
    QVERIFY2(stored.size() * 3 < QEL_IMAGE_SIZE, qPrintable(QStringLiteral("stored %1 bytes").arg(stored.size())));
    QFile image(ResourcePaths::FirmwareImage);
    QVERIFY(image.open(QIODevice::ReadOnly));
    const QByteArray bytes = image.readAll();
    QCOMPARE(bytes.size(), qsizetype(QEL_IMAGE_SIZE));
    // Not a block of one repeated byte: pages must differ for an update to prove anything.
    QVERIFY(bytes.count(bytes.at(0)) < bytes.size() / 2);
}

void TestResources::pictureIsStoredAsIs()
{
    QCOMPARE(QResource(QString(ResourcePaths::DevicePicture)).compressionAlgorithm(), QResource::NoCompression);
    const QImage picture(ResourcePaths::DevicePicture);
    QCOMPARE(picture.size(), QSize(320, 87));
    QVERIFY(picture.hasAlphaChannel());
}

void TestResources::germanCoversEveryText()
{
    // lupdate over the sources, form included, into a copy of the catalogue:
    // a text added without its German shows up unfinished.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("update_de.ts"));
    QVERIFY(QFile::copy(QStringLiteral(QEL_TS_FILE), copy));
    QStringList arguments{QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-no-obsolete")};
    for (const char *folder : {"app", "session", "cli"})
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

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
