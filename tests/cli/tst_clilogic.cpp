// Choosing ports from what the user typed, and the progress line.

#include "portpicker.h"
#include "progressline.h"

#include <QTest>

class TestCliLogic : public QObject
{
    Q_OBJECT

private slots:
    void pickPort_data();
    void pickPort();
    void progressLine();
};

void TestCliLogic::pickPort_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("errorHas");
    const QStringList ports{"Midi Through Port-0", "USB MIDI Interface", "Qel Rack MIDI OUT", "USB Keys"};
    QTest::newRow("by number") << ports << "1" << 1 << 0 << "";
    QTest::newRow("number past the end") << ports << "4" << -1 << int(ExitUsage) << "0 to 3";
    QTest::newRow("part of a name, any case") << ports << "through" << 0 << 0 << "";
    QTest::newRow("ambiguous lists the matches") << ports << "usb" << -1 << int(ExitUsage)
                                                 << "\"USB MIDI Interface\", \"USB Keys\"";
    QTest::newRow("whole name beats a part") << QStringList{"Synth 10", "Synth 1"} << "synth 1" << 1 << 0 << "";
    QTest::newRow("no match lists the ports") << ports << "piano" << -1 << int(ExitUsage) << "\"USB Keys\"";
    QTest::newRow("nothing typed: the Qel") << ports << "" << 2 << 0 << "";
    QTest::newRow("nothing typed, no Qel") << QStringList{"A", "B"} << " " << -1 << int(ExitUsage) << "\"A\", \"B\"";
    QTest::newRow("no ports") << QStringList() << "0" << -1 << int(ExitNoDevice) << "No MIDI IN port";
}

void TestCliLogic::pickPort()
{
    QFETCH(QStringList, names);
    QFETCH(QString, wanted);
    QFETCH(int, index);
    QFETCH(int, failure);
    QFETCH(QString, errorHas);
    const PortPicker::Pick pick = PortPicker::pick(names, wanted, QStringLiteral("MIDI IN"));
    QCOMPARE(pick.index, index);
    QCOMPARE(int(pick.failure), failure);
    QVERIFY2(pick.error.contains(errorHas), qPrintable(pick.error));
    QCOMPARE(pick.error.isEmpty(), index >= 0);
}

void TestCliLogic::progressLine()
{
    // Before the first page no block or page is named.
    QCOMPARE(ProgressLine::render(0, 1913, -1, -1, QString()), "[" + QString(ProgressLine::BarWidth, '-') + "]   0%");
    QCOMPARE(ProgressLine::render(957, 1913, 15, 60, QStringLiteral("about 20 s left")),
             QStringLiteral("[###############---------------]  50%  Block 15, page 60  about 20 s left"));
    QCOMPARE(ProgressLine::percent(5, 0), 0);
    QCOMPARE(ProgressLine::percent(7, 5), 100);
}

QTEST_GUILESS_MAIN(TestCliLogic)
#include "tst_clilogic.moc"
