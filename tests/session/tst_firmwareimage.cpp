// The image is checked before anything is sent: the built-in one against the
// digest taken when it was built in, a file of the user's for what it is.

#include "firmwareimage.h"
#include "resourcepaths.h"
#include "testmidiservice.h"
#include "updatesession.h"

#include <QProcess>
#include <QResource>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

constexpr qint64 FlashBytes = 1023LL * 64 * 2048;

class TestFirmwareImage : public QObject
{
    Q_OBJECT

private slots:
    void file_data();
    void file();
    // Last: it replaces the built-in image for the rest of the program.
    void damagedBuiltInSendsNothing();

private:
    QTemporaryDir dir;
};

void TestFirmwareImage::file_data()
{
    QTest::addColumn<qint64>("size"); // -1: no such file, and the reason is named
    QTest::addColumn<QString>("problemHas");
    QTest::newRow("readable") << qint64(3 * 2048 + 5) << "";
    QTest::newRow("fills the flash") << FlashBytes << "";
    QTest::newRow("a byte too large") << FlashBytes + 1 << "flash can hold";
    QTest::newRow("empty") << qint64(0) << "is empty";
    QTest::newRow("missing") << qint64(-1) << "";
}

void TestFirmwareImage::file()
{
    QFETCH(qint64, size);
    QFETCH(QString, problemHas);
    QFile file(dir.filePath(QString::fromLatin1(QTest::currentDataTag())));
    const QByteArray head(qMin(size, qint64(4096)), 'q');
    if (size >= 0) // sparse after the head
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(head) == head.size() && file.resize(size));
    file.close();
    if (!file.open(QIODevice::ReadOnly))
        problemHas = file.errorString();
    const FirmwareImage image = FirmwareImage::loadFile(file.fileName());
    QVERIFY2(problemHas.isEmpty() ? image.problem.isEmpty()
                                  : image.problem.contains(problemHas) && image.problem.contains(file.fileName()),
             qPrintable(image.problem));
    QVERIFY(problemHas.isEmpty() ? image.bytes.size() == size && image.bytes.startsWith(head) : image.bytes.isEmpty());
}

void TestFirmwareImage::damagedBuiltInSendsNothing()
{
    auto owned = std::make_unique<TestMidiService>();
    TestMidiService &wire = *owned;
    UpdateSession session(std::move(owned));
    QSignalSpy finished(&session, &UpdateSession::finished);
    QVERIFY(session.connectDevice(0, 0));
    // The image as built in passes, and the update begins.
    session.startUpdate();
    QVERIFY(session.isUpdating());
    session.cancelUpdate();

    // The same resource with one byte flipped after its digest was taken.
    QFile builtIn(ResourcePaths::FirmwareImage);
    QVERIFY(builtIn.open(QIODevice::ReadOnly));
    QByteArray bytes = builtIn.readAll();
    bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x10);
    const QByteArray qrc = "<RCC><qresource prefix=\"/data\"><file alias=\"resourcesNAND_FINAL109.bin\">"
                           "damaged.bin</file></qresource></RCC>";
    QFile damaged(dir.filePath(QStringLiteral("damaged.bin")));
    QFile list(dir.filePath(QStringLiteral("damaged.qrc")));
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(bytes) == bytes.size()
            && list.open(QIODevice::WriteOnly) && list.write(qrc) == qrc.size());
    damaged.close();
    list.close();
    const QString rcc = dir.filePath(QStringLiteral("damaged.rcc"));
    QCOMPARE(QProcess::execute(QStringLiteral(QEL_RCC), {"--binary", "--no-compress", list.fileName(), "-o", rcc}), 0);
    Q_CLEANUP_RESOURCE(resources);
    QVERIFY(QResource::registerResource(rcc));
    const auto unregister = qScopeGuard([&rcc] { QResource::unregisterResource(rcc); });

    wire.sent.clear();
    finished.clear();
    session.startUpdate();
    QCOMPARE(wire.sent, QList<QByteArray>());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().value<UpdateOutcome>(), UpdateOutcome::NoImage);
    QVERIFY2(finished.first().last().toString().contains(QLatin1String("updater is damaged")), "wrong message");
}

QTEST_GUILESS_MAIN(TestFirmwareImage)
#include "tst_firmwareimage.moc"
