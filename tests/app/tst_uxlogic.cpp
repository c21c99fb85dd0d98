// The window's and the command line's plain helpers: the time-left estimate,
// the version check and the texts for durations.

#include "etaestimator.h"
#include "firmwareversion.h"
#include "updateduration.h"

#include <QPoint>
#include <QTest>

namespace {

// Progress reports (x: ms since the start, y: pages done) from `from` to `to`
// pages, one every `msPerPage`, after those already in `samples`.
QList<QPoint> pages(QList<QPoint> samples, int from, int to, int msPerPage)
{
    int ms = samples.isEmpty() ? 0 : samples.constLast().x() + msPerPage;
    for (int done = from; done <= to; ++done, ms += msPerPage)
        samples << QPoint(ms, done);
    return samples;
}

} // namespace

class TestUxLogic : public QObject
{
    Q_OBJECT

private slots:
    void estimate_data();
    void estimate();
    void versionOrder_data();
    void versionOrder();
    void durationTexts_data();
    void durationTexts();
};

void TestUxLogic::estimate_data()
{
    QTest::addColumn<QList<QPoint>>("samples");  // of 300 pages
    QTest::addColumn<qint64>("remainingMs");
    QTest::newRow("no rate yet") << QList<QPoint>{{0, 0}} << EtaEstimator::Unknown;
    QTest::newRow("steady") << pages({}, 0, 100, 10) << qint64(200 * 10);
    QTest::newRow("the last block's rate") << pages(pages({}, 0, 100, 50), 101, 200, 10) << qint64(100 * 10);
    // Block 3 failed on its page 40: written again from its page 0 elsewhere,
    // which drops progress back; the estimate goes on from there.
    QTest::newRow("block written again") << pages(pages({}, 0, 100, 10), 61, 161, 10) << qint64(139 * 10);
}

void TestUxLogic::estimate()
{
    QFETCH(QList<QPoint>, samples);
    QFETCH(qint64, remainingMs);
    EtaEstimator eta;
    eta.addSample(0, 0, 300);
    eta.addSample(10, 50, 300);
    eta.reset();  // the previous update's rate counts for nothing
    for (const QPoint &sample : std::as_const(samples))
        eta.addSample(sample.x(), sample.y(), 300);
    QCOMPARE(eta.remainingMs(), remainingMs);
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
    QVERIFY(FirmwareVersion::verdict(word).contains(verdictHas) && FirmwareVersion::verdict(word).contains(text));
    // The question before writing names both versions, a downgrade as one.
    const QString question = UpdateDuration::confirmation(word, 151000);
    QVERIFY2(question.contains(text) && question.contains(QStringLiteral("1.09")), qPrintable(question));
    QVERIFY(question.contains(QStringLiteral("about 3 min")) && question.contains(QStringLiteral("connected and powered")));
    QCOMPARE(question.contains(QStringLiteral("owngrade")), order == int(FirmwareVersion::Order::Newer));
}

void TestUxLogic::durationTexts_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("spoken");  // the question's words; the time left adds " left"
    QTest::newRow("none") << qint64(0) << "a few seconds";
    QTest::newRow("9.2 s") << qint64(9200) << "about 10 s";
    QTest::newRow("44 s") << qint64(44000) << "about 40 s";
    QTest::newRow("115 s, not 120 s") << qint64(115000) << "about 2 min";
    QTest::newRow("2 min 31 s") << qint64(151000) << "about 3 min";
    QTest::newRow("42 min 29 s") << qint64(2549000) << "about 42 min";
}

void TestUxLogic::durationTexts()
{
    QFETCH(qint64, ms);
    QFETCH(QString, spoken);
    QCOMPARE(UpdateDuration::expectedText(ms), spoken);
    QCOMPARE(UpdateDuration::remainingText(ms), spoken + QStringLiteral(" left"));
    // 1913 pages of 35 exchanges, 30 erases, and the set-up, at 1 ms each.
    QCOMPARE(UpdateDuration::expectedMs(1000, 3915900), 1913 * 35 + 30 + 16);
}

QTEST_GUILESS_MAIN(TestUxLogic)
#include "tst_uxlogic.moc"
