#include "campaign.h"
#include "devicelink.h"
#include "devicereplies.h"
#include "interruptsweep.h"
#include "simloop.h"

#include <QTest>

namespace {

constexpr std::uint32_t CampaignSeed = 20261206;
constexpr int CampaignRuns = 300;
constexpr int PageBytes = 2048;

QByteArray image(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + 7) >> 3);
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestReliability : public QObject
{
    Q_OBJECT

private slots:
    void campaign();
    void replayIsRepeatable();
    void interruptedUpdates_data();
    void interruptedUpdates();
    void replyDataLength_data();
    void replyDataLength();
};

void TestReliability::campaign()
{
    Campaign campaign(CampaignSeed, CampaignRuns);
    QStringList broken;
    campaign.onRun = [&broken](const Scenario &scenario, const RunReport &report) {
        if (!report.violations.isEmpty())
            broken << scenario.describe() + QStringLiteral("\n  ") + report.violations.join(QStringLiteral("\n  "));
    };
    const Campaign::Summary summary = campaign.run();
    qInfo("%s", qPrintable(summary.outcomeLine()));
    qInfo("%s", qPrintable(summary.line()));
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QLatin1Char('\n'))));
    QCOMPARE(summary.runs, CampaignRuns);
    // The faults must bite, yet most updates get through.
    QVERIFY(summary.cleanFailures > 0);
    QVERIFY(summary.successes > CampaignRuns / 2);
}

void TestReliability::replayIsRepeatable()
{
    const Scenario scenario = Scenario::draw(Campaign::runSeed(CampaignSeed, 3));
    const RunReport first = CampaignRun(scenario).run();
    const RunReport again = CampaignRun(Scenario::draw(scenario.seed)).run();
    QCOMPARE(again.outcome, first.outcome);
    QCOMPARE(again.ticks, first.ticks);
    QCOMPARE(again.messages, first.messages);
    QVERIFY(first.messages > 0);
}

void TestReliability::interruptedUpdates_data()
{
    QTest::addColumn<Scenario>("scenario");

    Scenario withList;
    withList.image = image(4 * PageBytes - 100);
    withList.listCopies = 2;
    withList.listedBad = {6, 40};
    withList.listedFactory = 1;
    withList.programFaults = {{1, 2}};  // block 1 goes bad under the image
    QTest::newRow("list in block 0, a page fails") << withList;

    Scenario unused;
    unused.image = image(3 * PageBytes);
    unused.factoryDefects = {3};
    unused.eraseFaults = {1};
    QTest::newRow("unused flash, an erase fails") << unused;
}

void TestReliability::interruptedUpdates()
{
    QFETCH(Scenario, scenario);
    const InterruptSweep::Result result = InterruptSweep(scenario).run();
    QVERIFY2(result.failures.isEmpty(), qPrintable(result.failures.join(QLatin1Char('\n'))));
    QVERIFY(result.exchanges > 100);
    QCOMPARE(result.cuts, result.exchanges);
    qInfo("%d cuts, each followed by a fresh update that succeeded", result.cuts);
}

void TestReliability::replyDataLength_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("length");

    std::array<std::uint8_t, 64> bytes{};
    bytes.fill(0xA5);
    const QByteArray chunk = DeviceReply::data(DeviceReply::answerType(Command::ReadChunk), bytes.data(), bytes.size());
    const QByteArray erase = DeviceReply::status(DeviceReply::answerType(Command::EraseBlock), DeviceReply::StatusFail);
    const auto cut = [](const QByteArray &m, int keep) { return m.left(keep) + QByteArray(1, char(0xF7)); };

    QTest::newRow("whole data reply") << chunk << 64;
    QTest::newRow("data reply one byte short") << cut(chunk, chunk.size() - 2) << 60;
    QTest::newRow("data reply without groups") << cut(chunk, 11) << 0;
    QTest::newRow("status reply") << erase << 1;
    QTest::newRow("status cut off") << cut(erase, 10) << 0;
    QTest::newRow("bare reply") << DeviceReply::bare(DeviceReply::answerType(Command::BeginPage)) << 0;
    QTest::newRow("foreign head") << QByteArray::fromHex("f00011220b000000002902f7") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void TestReliability::replyDataLength()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, length);
    SimLoop loop;
    DeviceLink link(loop.makeService());
    // A whole reply first, so a stale length would show.
    std::array<std::uint8_t, 64> bytes{};
    link.takeReply(DeviceReply::data(DeviceReply::answerType(Command::ReadDefectList), bytes.data(), bytes.size()));
    QCOMPARE(link.replyDataLength(), 64);
    link.takeReply(reply);
    QCOMPARE(link.replyDataLength(), length);
}

QTEST_GUILESS_MAIN(TestReliability)
#include "tst_reliability.moc"
