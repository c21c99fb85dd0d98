// The real window over a real MIDI stack: a private JACK server, the
// stand-alone simulator on its virtual ports, and the updater on RtMidi.

#include "mainwindow.h"
#include "midiservicechoice.h"
#include "privatejackserver.h"
#include "simulatorprocess.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int StartMs = 5000;
constexpr int UpdateMs = 60000;
const QString PortName = QStringLiteral("QelE2E");
// A second Qel beside it, with a serial of its own.
const QString OtherPortName = QStringLiteral("QelE2F");
constexpr unsigned OtherSerial = 4242;

} // namespace

class TestJackUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void findsBothOverJack();
    void connectAndUpdateOverJack();

private:
    // Period of 1024 frames: short enough for a quick run, long enough that a
    // busy machine misses no cycle.
    PrivateJackServer jack{QStringLiteral("qel-e2e"), 1024};
    SimulatorProcess simulator{QStringLiteral(QEL_SIMULATOR_PATH), PortName};
    SimulatorProcess other{QStringLiteral(QEL_SIMULATOR_PATH), OtherPortName};
    QTemporaryDir dir;
};

void TestJackUpdate::initTestCase()
{
    QEL_START_JACK(jack);
    QVERIFY(dir.isValid());
    for (const QString &whyNot :
         {simulator.start({QStringLiteral("--version"), QStringLiteral("1.08"), QStringLiteral("--save-image"),
                           dir.filePath(QStringLiteral("held.bin"))}),
          other.start({QStringLiteral("--serial"), QString::number(OtherSerial)})})
        QVERIFY2(whyNot.isEmpty(), qPrintable(whyNot));
}

// Both Qels are found by asking, each on its own pair, however JACK lists the ports.
void TestJackUpdate::findsBothOverJack()
{
    Discovery discovery(midiServiceMaker(QStringLiteral("jack")));
    QSignalSpy finished(&discovery, &Discovery::finished);
    discovery.start();
    discovery.startTicking();
    QVERIFY(finished.wait(StartMs));
    const QList<FoundDevice> found = discovery.found();
    QCOMPARE(found.size(), 2);
    QCOMPARE(found.at(0).serialNumber, OtherSerial);
    QCOMPARE(found.at(1).serialText, QStringLiteral("586-638-764"));
    for (const auto &[device, sim] : {std::pair(found.at(0), &other), std::pair(found.at(1), &simulator)}) {
        QVERIFY2(device.inName.contains(sim->inPort()), qPrintable(device.inName));
        QVERIFY2(device.outName.contains(sim->outPort()), qPrintable(device.outName));
    }
}

void TestJackUpdate::cleanupTestCase()
{
    simulator.stop();
    other.stop();
    jack.stop();
}

void TestJackUpdate::connectAndUpdateOverJack()
{
    QByteArray image(3 * 2048 + 100, Qt::Uninitialized);
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 13 + 5) & 0xFF);
    QFile imageFile(dir.filePath(QStringLiteral("image.bin")));
    QVERIFY(imageFile.open(QIODevice::WriteOnly) && imageFile.write(image) == image.size());
    imageFile.close();

    {
        MainWindow window(midiServiceMaker(QStringLiteral("jack"))());
        window.show();
        window.Init();
        // The simulator's output is the updater's input, and the other way round.
        const auto in = window.MidiInList->findItems(simulator.inPort(), Qt::MatchContains);
        const auto out = window.MidiOutList->findItems(simulator.outPort(), Qt::MatchContains);
        QVERIFY(!in.isEmpty() && !out.isEmpty());
        window.MidiInList->setCurrentItem(in.first());
        window.MidiOutList->setCurrentItem(out.first());
        window.Connect();
        QTRY_COMPARE_WITH_TIMEOUT(window.connection(), int(MainWindow::Connected), StartMs);
        QCOMPARE(window.SnEdit->text(), QStringLiteral("586-638-764"));
        QCOMPARE(window.VersionEdit->text(), QStringLiteral("1.08"));

        window.updateSession().setImagePath(imageFile.fileName());
        QSignalSpy finished(&window.updateSession(), &UpdateSession::finished);
        window.Transfer();
        QVERIFY(finished.wait(UpdateMs));
        QCOMPARE(finished.first().first().value<UpdateOutcome>(), UpdateOutcome::Success);
        // The device reports the transfer off, and the controls come back.
        QTRY_VERIFY_WITH_TIMEOUT(window.TransferButton->isEnabled(), StartMs);
        window.Connect();
    }

    const QString output = simulator.stop();
    QVERIFY2(output.contains(QStringLiteral("1 finished transfers, 0 violations")), qPrintable(output));
    QFile held(dir.filePath(QStringLiteral("held.bin")));
    QVERIFY(held.open(QIODevice::ReadOnly));
    QCOMPARE(held.readAll(), image);
}

QTEST_MAIN(TestJackUpdate)
#include "tst_jackupdate.moc"
