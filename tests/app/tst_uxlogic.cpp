// The window's and the command line's plain helpers: the time-left estimate
// on a simulated link whose clock the test drives, the version check, the
// choice of ports, and the texts for durations.

#include "devicelink.h"
#include "etaestimator.h"
#include "firmwareversion.h"
#include "pageframe.h"
#include "portchoice.h"
#include "simloop.h"
#include "updateduration.h"
#include "updateengine.h"

#include <QTest>

namespace {

constexpr qint64 LatencyMs = 3;  // per exchange, fixed

// One update through the simulated device; every message sent costs one
// exchange of LatencyMs. Keeps, per progress report, the estimate and the
// time that really was left.
struct Run : EngineListener
{
    const SimLoop *loop = nullptr;
    EtaEstimator eta;
    QList<int> done, sentAt;
    QList<qint64> estimate, real;
    int total = 0;
    bool succeeded = false;

    void traced(const TraceLine &) override {}
    void blockShown(int) override {}
    void pageShown(int) override {}
    void progressChanged(int pagesDone, int pagesTotal) override
    {
        eta.addSample(loop->sentCount() * LatencyMs, pagesDone, pagesTotal);
        total = pagesTotal;
        done << pagesDone;
        estimate << eta.remainingMs();
        sentAt << loop->sentCount();
    }
    void finished(const Ending &ending) override { succeeded = ending.outcome == UpdateOutcome::Success; }
};

Run runUpdate(int pages, int failBlock, int failPage)
{
    std::vector<std::uint8_t> image(pages * PageFrame::DataSize - 100);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = std::uint8_t(i * 13 + i / 2048);
    SimLoop loop;
    loop.device.storeListCopies(1, {}, 0);
    if (failBlock >= 0)
        loop.device.failProgram(failBlock, failPage);
    DeviceLink link(loop.makeService());
    link.ports().openPorts(0, 0);
    Run run;
    run.loop = &loop;
    UpdateEngine engine(link, run);
    loop.receiver = [&](const QByteArray &m) { engine.handleReply(link.takeReply(m)); };
    engine.start(image.data(), image.size());
    for (int guard = 0; engine.isRunning() && guard < 100; ++guard) {
        loop.pump();
        loop.tick();
        engine.tick();
    }
    for (int sent : std::as_const(run.sentAt))
        run.real << (loop.sentCount() - sent) * LatencyMs;
    return run;
}

} // namespace

class TestUxLogic : public QObject
{
    Q_OBJECT

private slots:
    void estimateSettles_data();
    void estimateSettles();
    void versionOrder_data();
    void versionOrder();
    void portRow_data();
    void portRow();
    void durationTexts_data();
    void durationTexts();
};

void TestUxLogic::estimateSettles_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("failBlock");
    QTest::addColumn<int>("failPage");
    QTest::newRow("clean") << 5 * 64 + 17 << -1 << -1;
    // Block 3 fails on its page 40: the image block is written again from its
    // page 0 into block 4, so progress drops back by 39 pages.
    QTest::newRow("block written again") << 6 * 64 << 3 << 40;
}

void TestUxLogic::estimateSettles()
{
    QFETCH(int, pages);
    QFETCH(int, failBlock);
    QFETCH(int, failPage);
    const Run run = runUpdate(pages, failBlock, failPage);
    QVERIFY(run.succeeded);
    QCOMPARE(run.estimate.constLast(), 0);
    qsizetype from = 0;
    if (failBlock >= 0) {
        from = std::adjacent_find(run.done.begin(), run.done.end(), std::greater<int>()) - run.done.begin() + 1;
        QVERIFY(from < run.done.size());
        QCOMPARE(run.done.at(from - 1) - run.done.at(from), 39);
    }
    // Past the first tenth, and before the closing list copy, which no rate foresees.
    qint64 previous = -1;
    for (qsizetype i = from; i < run.done.size(); ++i) {
        const int done = run.done.at(i);
        if (done * 10 < run.total || done * 10 > run.total * 9)
            continue;
        const qint64 estimate = run.estimate.at(i);
        const qint64 real = run.real.at(i);
        QVERIFY2(qAbs(estimate - real) * 10 <= real,
                 qPrintable(QStringLiteral("page %1: %2 ms estimated, %3 ms left").arg(done).arg(estimate).arg(real)));
        // Steady: it only goes down as pages go by.
        QVERIFY2(previous < 0 || estimate <= previous, qPrintable(QStringLiteral("rose at page %1").arg(done)));
        previous = estimate;
    }
    QVERIFY(previous >= 0);
}

void TestUxLogic::versionOrder_data()
{
    QTest::addColumn<uint>("word");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("verdictHas");
    using O = FirmwareVersion::Order;
    QTest::newRow("1.08") << 0x0801u << "1.08" << int(O::Older) << "older";
    QTest::newRow("1.09") << 0x0901u << "1.09" << int(O::Same) << "up to date";
    QTest::newRow("1.10") << 0x0A01u << "1.10" << int(O::Newer) << "downgrade";
    // The minor number is in the high byte: 2.00 is newer than 1.63.
    QTest::newRow("2.00") << 0x0002u << "2.00" << int(O::Newer) << "downgrade";
    QTest::newRow("1.63") << 0x3F01u << "1.63" << int(O::Newer) << "downgrade";
}

void TestUxLogic::versionOrder()
{
    QFETCH(uint, word);
    QFETCH(QString, text);
    QFETCH(int, order);
    QFETCH(QString, verdictHas);
    QCOMPARE(FirmwareVersion::text(word), text);
    QCOMPARE(int(FirmwareVersion::compareWithCarried(word)), order);
    QVERIFY(FirmwareVersion::verdict(word).contains(verdictHas));
    QVERIFY(FirmwareVersion::verdict(word).contains(text));
    // The question before writing names both versions, a downgrade as one.
    const QString question = UpdateDuration::confirmation(word, 151000);
    QVERIFY2(question.contains(text) && question.contains(QStringLiteral("1.09")), qPrintable(question));
    QVERIFY(question.contains(QStringLiteral("about 3 min")) && question.contains(QStringLiteral("connected and powered")));
    QCOMPARE(question.contains(QStringLiteral("owngrade")), order == int(FirmwareVersion::Order::Newer));
}

void TestUxLogic::portRow_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("row");
    const QStringList mixed{"Midi Through", "USB MIDI 1", "QEL Rack OUT", "Qel two"};
    QTest::newRow("empty list") << QStringList() << "USB MIDI 1" << -1;
    QTest::newRow("selection kept where it moved") << mixed << "USB MIDI 1" << 1;
    QTest::newRow("selection gone: first Qel-like") << mixed << "Gone" << 2;
    QTest::newRow("nothing chosen yet: Qel-like") << mixed << "" << 2;
    QTest::newRow("name must match whole") << QStringList{"USB MIDI 10", "USB MIDI 1"} << "USB MIDI 1" << 1;
}

void TestUxLogic::portRow()
{
    QFETCH(QStringList, names);
    QFETCH(QString, selected);
    QFETCH(int, row);
    QCOMPARE(PortChoice::rowFor(names, selected), row);
}

void TestUxLogic::durationTexts_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("remaining");
    QTest::newRow("none") << qint64(0) << "less than a minute" << "a few seconds left";
    QTest::newRow("9.2 s") << qint64(9200) << "less than a minute" << "about 10 s left";
    QTest::newRow("1 min") << qint64(60000) << "less than a minute" << "about 1 min 0 s left";
    QTest::newRow("2 min 31 s") << qint64(151000) << "about 3 min" << "about 2 min 40 s left";
    QTest::newRow("42 min 29 s") << qint64(2549000) << "about 43 min" << "about 42 min left";
}

void TestUxLogic::durationTexts()
{
    QFETCH(qint64, ms);
    QFETCH(QString, expected);
    QFETCH(QString, remaining);
    QCOMPARE(UpdateDuration::expectedText(ms), expected);
    QCOMPARE(UpdateDuration::remainingText(ms), remaining);
    // 1913 pages of 35 exchanges, 30 erases, and the set-up, at 1 ms each.
    QCOMPARE(UpdateDuration::expectedMs(1000, 3915900), 1913 * 35 + 30 + 16);
}

QTEST_GUILESS_MAIN(TestUxLogic)
#include "tst_uxlogic.moc"
