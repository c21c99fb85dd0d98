// UpdateSession on the same-thread simulated device: whole updates, two
// sessions side by side, and what the session itself makes of the device's
// messages. Nothing runs by itself: the test hands the wire over and ticks.

#include "devicereplies.h"
#include "qtbytes.h"
#include "simloop.h"
#include "simloopservice.h"
#include "updatesession.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
    void viewsFollowAtTheTick();
    void identifyTimeout_data();
    void identifyTimeout();
    void identityOnlyFromIdentifyReplies_data();
    void identityOnlyFromIdentifyReplies();
    void expectedDuration_data();
    void expectedDuration();
    void portGone_data();
    void portGone();

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

// Replies move the update on at once; what the views show comes with the next
// tick, all of it at once, and only when there is something new.
void TestSession::viewsFollowAtTheTick()
{
    Rig rig;
    QVERIFY(rig.connect());
    rig.start(imageFile(20 * 2048, 5));
    QList<int> pagesShown;
    connect(&rig.session, &UpdateSession::progressChanged, this,
            [&](const UpdateSession::Progress &p) { pagesShown << p.pagesDone; });
    QSignalSpy traced(&rig.session, &UpdateSession::traced);
    for (int i = 0; i < 200; ++i)
        QVERIFY(rig.step());
    QCOMPARE(rig.session.counters().exchanges, 200);
    QVERIFY(pagesShown.isEmpty() && traced.isEmpty());
    rig.session.tick();
    QCOMPARE(pagesShown, QList<int>{rig.session.progress().pagesDone});
    QVERIFY(pagesShown.constFirst() > 0);
    QVERIFY(!traced.isEmpty());
    const qsizetype lines = traced.size();
    rig.session.tick();
    QCOMPARE(pagesShown.size(), 1);
    QCOMPARE(traced.size(), lines);

    // A view that asks for fewer updates gets them every so many ticks.
    rig.session.setViewTicks(3);
    for (int tick = 1; tick <= 6; ++tick) {
        for (int i = 0; i < 40; ++i)  // more than a page each time
            QVERIFY(rig.step());
        rig.session.tick();
        QCOMPARE(pagesShown.size(), 1 + tick / 3);
    }
}

void TestSession::identifyTimeout_data()
{
    QTest::addColumn<int>("timeout");      // ticks; 0 waits for ever
    QTest::addColumn<int>("answerAfter");  // ticks before the answer is handed over; 0: never
    QTest::addColumn<int>("timeouts");
    QTest::newRow("silent") << 3 << 0 << 1;
    QTest::newRow("silent, no time-out set") << 0 << 0 << 0;
    QTest::newRow("answered in time") << 3 << 2 << 0;
    QTest::newRow("answered too late") << 3 << 3 << 1;
}

void TestSession::identifyTimeout()
{
    QFETCH(int, timeout);
    QFETCH(int, answerAfter);
    QFETCH(int, timeouts);
    Rig rig;
    rig.session.setIdentifyTimeout(timeout);
    QSignalSpy timedOut(&rig.session, &UpdateSession::identifyTimedOut);
    QVERIFY(rig.session.connectDevice(0, 0));
    for (int tick = 1; tick <= 10; ++tick) {
        rig.session.tick();
        if (tick == answerAfter)
            QVERIFY(rig.step());
    }
    QCOMPARE(timedOut.size(), timeouts);
    QCOMPARE(rig.session.connectionState(), answerAfter ? UpdateSession::Connected : UpdateSession::Connecting);
}

void TestSession::identityOnlyFromIdentifyReplies_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("disconnectFirst");
    QTest::addColumn<QString>("serial");
    const QString kept = QStringLiteral("586-638-764");
    QTest::newRow("another device") << QByteArray::fromHex("f00011220b000000002001127f") << false << kept;
    QTest::newRow("unknown type") << QByteArray::fromHex("f00011220a0000000035f7") << false << kept;
    QTest::newRow("cut short") << QByteArray::fromHex("f000") << false << kept;
    const QByteArray other = toQByteArray(DeviceReply::identity(42, 0x0A02, "Qel"));
    QTest::newRow("a new identity") << other << false << "040-000-020";
    QTest::newRow("after Disconnect") << other << true << "";
}

void TestSession::identityOnlyFromIdentifyReplies()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, disconnectFirst);
    QFETCH(QString, serial);
    Rig rig;
    QVERIFY(rig.connect());
    if (disconnectFirst)
        rig.session.disconnectDevice();
    QSignalSpy identified(&rig.session, &UpdateSession::identified);
    rig.session.takeMessage(message);
    QCOMPARE(rig.session.serialText(), serial);
    QCOMPARE(identified.size(), serial == QLatin1String("040-000-020") ? 1 : 0);
}

void TestSession::expectedDuration_data()
{
    QTest::addColumn<bool>("verify");
    QTest::addColumn<int>("lost");  // the message whose answer is lost; -1: none
    QTest::newRow("writing") << false << -1;
    QTest::newRow("writing and reading back") << true << -1;
    QTest::newRow("a timed read's answer lost") << false << 3;
}

// On a link where every byte takes as long, the duration named before writing
// is the one the update then takes.
void TestSession::expectedDuration()
{
    QFETCH(bool, verify);
    QFETCH(int, lost);
    constexpr qint64 UsPerByte = 320;  // a serial MIDI cable
    Rig rig;
    qint64 nowUs = 0;
    rig.session.setClock([&nowUs] { return nowUs; });
    rig.loop.responder = [&](const Bytes &command) {
        const std::vector<Bytes> replies = rig.loop.device.handle(command);
        nowUs += UsPerByte * qint64(command.size());
        for (const Bytes &reply : replies)
            nowUs += UsPerByte * qint64(reply.size());
        return replies;
    };
    rig.loop.fate = [lost](const Bytes &, int index) {
        return index == lost ? SimLoop::Fate::Lose : SimLoop::Fate::Deliver;
    };
    QVERIFY(rig.connect());
    while (rig.step()) {
    }
    // A lost answer is asked again after its time-out.
    for (int tick = 0; tick < UpdateSession::ProbeTimeoutTicks && rig.session.isMeasuring(); ++tick) {
        rig.session.tick();
        while (rig.step()) {
        }
    }
    QVERIFY(!rig.session.isMeasuring());
    const QString image = imageFile(3 * 64 * 2048, 5);
    rig.session.setImagePath(image);
    rig.session.setVerify(verify);
    const qint64 expectedMs = rig.session.expectedDurationMs();
    const qint64 startUs = nowUs;
    rig.update(image);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    const qint64 tookMs = (nowUs - startUs) / 1000;
    // Within a fifth either way.
    QVERIFY2(qAbs(expectedMs - tookMs) * 5 <= tookMs,
             qPrintable(QStringLiteral("%1 ms named, %2 ms taken").arg(expectedMs).arg(tookMs)));
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

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
