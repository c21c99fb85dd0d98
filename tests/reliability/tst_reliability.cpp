#include "campaign.h"
#include "interruptsweep.h"

#include <QTest>

#include <optional>

namespace {

constexpr std::uint32_t CampaignSeed = 20261206;
constexpr int CampaignRuns = 300;
constexpr int PageBytes = 2048;

// A period prime to the page size, so that no two pages are alike.
QByteArray image(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i % 251);
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(Scenario)
Q_DECLARE_METATYPE(SimDevice::ReadReach)

class TestReliability : public QObject
{
    Q_OBJECT

private slots:
    void campaign_data()
    {
        QTest::addColumn<SimDevice::ReadReach>("reach");
        QTest::newRow("whole-flash device") << SimDevice::ReadReach::WholeFlash;
        QTest::newRow("block-0 device") << SimDevice::ReadReach::BlockZero;
    }
    void campaign()
    {
        QFETCH(SimDevice::ReadReach, reach);
        Campaign campaign(CampaignSeed, CampaignRuns, reach);
        QStringList broken;
        std::optional<RunReport> failed;  // the first clean failure, to replay
        campaign.onRun = [&](const Scenario &scenario, const RunReport &report) {
            if (!report.violations.isEmpty())
                broken << scenario.describe() + QStringLiteral("\n  ") + report.violations.join(QStringLiteral("\n  "));
            else if (!failed && !report.succeeded())
                failed = report;
        };
        const Campaign::Summary summary = campaign.run();
        qInfo("%s\n%s\n%s", qPrintable(summary.outcomeLine()), qPrintable(summary.lossLine()), qPrintable(summary.line()));
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QLatin1Char('\n'))));
        QCOMPARE(summary.runs, CampaignRuns);
        // The faults must bite, yet most updates get through.
        QVERIFY(failed && summary.successes > CampaignRuns / 2);
        // What a campaign reports must come back when its run seed is replayed.
        const RunReport again = CampaignRun(Scenario::draw(failed->seed, reach)).run();
        QCOMPARE(again.outcome, failed->outcome);
        QCOMPARE(again.ticks, failed->ticks);
        QCOMPARE(again.messages, failed->messages);
    }

    void interruptedUpdates_data()
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
    void interruptedUpdates()
    {
        QFETCH(Scenario, scenario);
        const InterruptSweep::Result result = InterruptSweep(scenario).run();
        QVERIFY2(result.failures.isEmpty(), qPrintable(result.failures.join(QLatin1Char('\n'))));
        QVERIFY(result.exchanges > 100);
        QCOMPARE(result.cuts, result.exchanges);
    }
};

QTEST_GUILESS_MAIN(TestReliability)
#include "tst_reliability.moc"
