// UpdateSession on the same-thread simulated device: whole updates, two
// sessions side by side, ports that leave, and the conversation's words in
// the user's language. What the conversation itself makes of the device's
// messages is tested without Qt (tests/core/tst_conversation.cpp). Nothing
// runs by itself: the test hands the wire over and ticks.

#include "devicereplies.h"
#include "qtbytes.h"
#include "resourcepaths.h"
#include "simloop.h"
#include "simloopservice.h"
#include "updatesession.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

namespace {

// A session on a device of its own, and what its signals said, in order
// (progress without the time left, which the clock decides).
struct Rig
{
    SimLoop loop;
    UpdateSession session{makeSimLoopService(loop)};
    QStringList log;
    QList<UpdateOutcome> outcomes;

    Rig()
    {
        loop.device.storeListCopies(1, {}, 0);
        QObject::connect(&session, &UpdateSession::progressChanged, [this](const UpdateSession::Progress &p) {
            log << QStringLiteral("%1/%2 %3:%4").arg(p.pagesDone).arg(p.pagesTotal).arg(p.block).arg(p.page);
        });
        QObject::connect(&session, &UpdateSession::traced, [this](const QString &line) { log << line; });
        QObject::connect(&session, &UpdateSession::transferStateChanged, [this](bool on) { log << (on ? "on" : "off"); });
        QObject::connect(&session, &UpdateSession::finished, [this](UpdateOutcome outcome, const QString &text) {
            outcomes << outcome;
            log << text;
        });
    }
    // Hands over what is on the wire now; false when nothing was.
    bool step()
    {
        const bool any = loop.pump() > 0;
        session.deviceLink().ports().takeWaiting();
        return any;
    }
    bool connect() { return session.connectDevice(0, 0) && step() && session.connectionState() == UpdateSession::Connected; }
    void start(const QString &image)
    {
        log.clear();
        session.setImagePath(image);
        session.startUpdate();
    }
    QStringList update(const QString &image)
    {
        for (start(image); step();) {
        }
        return log;
    }
};

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void twoUpdatesInARow();
    void twoSessionsSideBySide();
    void portGone_data();
    void portGone();
    void wordsInTheUserLanguage();

private:
    // Writes an image file and keeps its bytes under its name.
    QString imageFile(int size, int seed)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * seed + i / 2048);
        QFile file(dir.filePath(QStringLiteral("image%1.bin").arg(seed)));
        written[file.fileName()] = bytes;
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == size ? file.fileName() : QString();
    }

    QTemporaryDir dir;
    QHash<QString, QByteArray> written;
};

void TestSession::twoUpdatesInARow()
{
    Rig rig;
    QVERIFY(rig.connect());
    // Outside an update a transfer-on report (a late one after a cancel) is not passed on.
    rig.session.takeMessage(toQByteArray(DeviceReply::transferState(true)));
    rig.session.takeMessage(toQByteArray(DeviceReply::transferState(false)));
    QCOMPARE(rig.log, QStringList{QStringLiteral("off")});
    const QString image = imageFile(3 * 2048 + 100, 13);
    const QStringList first = rig.update(image);
    QVERIFY(first.contains(QStringLiteral("on")));
    // The identity is asked for again: the device runs the new firmware.
    QCOMPARE(rig.session.firmwareVersion(), 0x0901u);
    QCOMPARE(rig.update(image), first);
    QCOMPARE(rig.outcomes, (QList<UpdateOutcome>{UpdateOutcome::Success, UpdateOutcome::Success}));
    QVERIFY2(first.contains(QStringLiteral("4/4 1:3")), qPrintable(first.join(QLatin1Char('|'))));
    QCOMPARE(toQByteArray(rig.loop.device.image(written[image].size())), written[image]);
    QVERIFY(rig.loop.device.violations().empty());
}

void TestSession::twoSessionsSideBySide()
{
    const QString images[] = {imageFile(2 * 2048 + 5, 11), imageFile(65 * 2048, 7)};
    QStringList alone[2];
    Rig rigs[2];
    for (int i = 0; i < 2; ++i) {
        Rig rig;
        QVERIFY(rig.connect() && rigs[i].connect());
        alone[i] = rig.update(images[i]);
        rigs[i].start(images[i]);
    }
    // Turn about, one hand-over each.
    while (rigs[0].step() | rigs[1].step()) {
    }
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(rigs[i].outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
        QCOMPARE(rigs[i].log, alone[i]);
        const QByteArray &image = written[images[i]];
        QCOMPARE(toQByteArray(rigs[i].loop.device.image(image.size())), image);
    }
}

void TestSession::portGone_data()
{
    QTest::addColumn<bool>("unplugged");
    QTest::addColumn<UpdateOutcome>("outcome");
    QTest::addColumn<int>("withinTicks");
    QTest::newRow("unplugged: named within a second") << true << UpdateOutcome::PortGone << UpdateSession::PortCheckTicks;
    QTest::newRow("still listed: silent") << false << UpdateOutcome::DeviceSilent << 4 * CommandLink::QuietTicks;
}

// An interface unplugged mid-update: its ports leave the list and nothing
// more comes, though sends are still taken.
void TestSession::portGone()
{
    QFETCH(bool, unplugged);
    QFETCH(int, withinTicks);
    Rig rig;
    QVERIFY(rig.connect());
    rig.loop.fate = [](const Bytes &, int index) { return index >= 60 ? SimLoop::Fate::Lose : SimLoop::Fate::Deliver; };
    rig.start(imageFile(20 * 2048, 3));
    rig.step();
    rig.loop.portsListed = !unplugged;
    int ticks = 0;
    for (; rig.outcomes.isEmpty() && ticks < withinTicks; ++ticks) {
        rig.session.tick();
        rig.step();
    }
    QTEST(rig.outcomes.value(0), "outcome");
}

// The conversation's phrases, nested and joined ones too, through the catalogue.
void TestSession::wordsInTheUserLanguage()
{
    QTranslator german;
    QVERIFY(german.load(ResourcePaths::AppTranslation));
    QCoreApplication::installTranslator(&german);
    Rig rig;
    rig.session.setClock([] { return qint64(0); });  // no time passes: a duration of a few seconds
    QVERIFY(rig.connect());
    QCOMPARE(rig.session.verdict(), QStringLiteral("Firmware 1.08 ist älter als 1.09: Ein Update wird empfohlen."));
    rig.session.setImagePath(imageFile(3 * 2048, 17));
    QCOMPARE(rig.session.confirmationText(),
             QStringLiteral("Das Qel von Firmware 1.08 auf 1.09 aktualisieren?\n\nDas dauert wenige Sekunden. "
                            "Das Qel muss verbunden und eingeschaltet bleiben, bis das Update abgeschlossen ist; "
                            "nach einem unterbrochenen Update startet es nicht mehr."));
    rig.update(rig.session.imagePath());
    QCOMPARE(rig.log.constLast(), QStringLiteral("Das Update ist abgeschlossen: Auf dem Gerät ist jetzt die Firmware 1.09."));
    QCoreApplication::removeTranslator(&german);
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
