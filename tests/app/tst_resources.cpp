// What the program carries built in: the flash image, the device picture and
// the German catalogues.

#include "resourcepaths.h"
#include "ui_mainwindow.h"

#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QProcess>
#include <QResource>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtEndian>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void imageReadsExpandedSize();
    void imageIsStoredZlibCompressed();
    void pictureIsStoredAsIs();
    void germanCoversEveryWindowText();
    void catalogueHoldsEveryTextOfTheSources();
    void qtCatalogueLoads();
};

void TestResources::imageReadsExpandedSize()
{
    QFile image(ResourcePaths::FirmwareImage);
    QVERIFY(image.open(QIODevice::ReadOnly));
    QCOMPARE(image.size(), qint64(QEL_IMAGE_SIZE));
    const QByteArray bytes = image.readAll();
    QCOMPARE(bytes.size(), qsizetype(QEL_IMAGE_SIZE));
    // Not a block of one repeated byte: pages must differ for the update to
    // prove anything.
    QVERIFY(bytes.count(bytes.at(0)) < bytes.size() / 2);
}

void TestResources::imageIsStoredZlibCompressed()
{
    const QResource stored{QString(ResourcePaths::FirmwareImage)};
    QVERIFY(stored.isValid());
    QCOMPARE(stored.compressionAlgorithm(), QResource::ZlibCompression);
    QCOMPARE(stored.uncompressedSize(), qint64(QEL_IMAGE_SIZE));
    // rcc's zlib form: the expanded length, big-endian, then the stream.
    QVERIFY(stored.size() > 4);
    QCOMPARE(qFromBigEndian<quint32>(stored.data()), quint32(QEL_IMAGE_SIZE));
    QVERIFY2(stored.size() * 3 < stored.uncompressedSize(),
             qPrintable(QStringLiteral("stored %1 bytes").arg(stored.size())));
}

void TestResources::pictureIsStoredAsIs()
{
    const QResource stored{QString(ResourcePaths::DevicePicture)};
    QVERIFY(stored.isValid());
    QCOMPARE(stored.compressionAlgorithm(), QResource::NoCompression);
    const QImage picture(ResourcePaths::DevicePicture);
    QCOMPARE(picture.size(), QSize(320, 87));
    QVERIFY(picture.hasAlphaChannel());
}

void TestResources::germanCoversEveryWindowText()
{
    QTranslator german;
    QVERIFY(german.load(ResourcePaths::AppTranslation));

    // Every text the form sets, plus those the controller sets later.
    QMainWindow window;
    Ui_MainWindow ui;
    ui.setupUi(&window);
    QStringList texts = {window.windowTitle(), QStringLiteral("Update"),
                         QStringLiteral("Connect"), QStringLiteral("Disconnect")};
    for (const QLabel *label : window.findChildren<QLabel *>())
        texts << label->text();
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>())
        texts << button->text();
    for (const QGroupBox *box : window.findChildren<QGroupBox *>())
        texts << box->title();
    texts.removeAll(QString());
    texts.removeDuplicates();
    QCOMPARE(texts.size(), 15);
    for (const QString &text : texts)
        QVERIFY2(!german.translate("MainWindow", text.toUtf8().constData()).isEmpty(), qPrintable(text));

    // Nothing in the committed catalogue is left unfinished or missing from the build.
    QFile ts(QStringLiteral(QEL_TS_FILE));
    QVERIFY(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString source;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            QVERIFY2(xml.attributes().value(QLatin1String("type")).isEmpty(), qPrintable(source));
            const QString translation = xml.readElementText();
            QCOMPARE(german.translate("MainWindow", source.toUtf8().constData()), translation);
            ++messages;
        }
    }
    QVERIFY(!xml.hasError());
    QVERIFY(messages >= texts.size());
}

void TestResources::catalogueHoldsEveryTextOfTheSources()
{
    // lupdate run over the sources into a copy of the catalogue must find
    // nothing new: a text added without its German would show up unfinished.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("update_de.ts"));
    QVERIFY(QFile::copy(QStringLiteral(QEL_TS_FILE), copy));
    QStringList arguments{QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-no-obsolete")};
    for (const char *folder : {"app", "engine", "cli"})
        arguments << QStringLiteral(QEL_SOURCE_DIR "/") + QLatin1String(folder);
    arguments << QStringLiteral("-ts") << copy;
    QProcess lupdate;
    lupdate.start(QStringLiteral(QEL_LUPDATE), arguments);
    QVERIFY2(lupdate.waitForFinished(60000), qPrintable(lupdate.errorString()));
    QCOMPARE(lupdate.exitCode(), 0);

    QFile ts(copy);
    QVERIFY(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString source;
    QStringList missing;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation") && !xml.attributes().value(QLatin1String("type")).isEmpty())
            missing << source;
    }
    QVERIFY(!xml.hasError());
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral("\n"))));
}

void TestResources::qtCatalogueLoads()
{
    QTranslator qt;
    QVERIFY(qt.load(ResourcePaths::QtTranslation));
    QCOMPARE(qt.translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
