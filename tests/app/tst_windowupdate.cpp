// A whole update started from the window against the simulated device on its
// own thread, through the real receive path. It waits for a real thread, so
// each wait is bounded.

#include "mainwindow.h"
#include "resourcepaths.h"
#include "simmidiservice.h"

#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

constexpr int ConnectWaitMs = 5000;
constexpr int UpdateWaitMs = 120000;

class TestWindowUpdate : public QObject
{
    Q_OBJECT

private slots:
    void fullImageFromTheWindow();
};

void TestWindowUpdate::fullImageFromTheWindow()
{
    QFile file(ResourcePaths::FirmwareImage);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    auto service = std::make_unique<SimMidiService>(SimDevice());  // block 0 empty: the first list is written
    SimWorker &sim = service->worker();
    MainWindow window(std::move(service));
    window.show();
    window.Init();
    window.ConnectButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.connection(), int(MainWindow::Connected), ConnectWaitMs);
    window.TransferButton->click();
    auto *question = window.findChild<QMessageBox *>(QStringLiteral("StartQuestion"));
    QVERIFY(question);
    // A real event loop: polling would add its own sleep to every exchange.
    QSignalSpy finished(&window.updateSession(), &UpdateSession::finished);
    question->button(QMessageBox::Yes)->click();
    QVERIFY(finished.wait(UpdateWaitMs));
    auto *box = window.findChild<QMessageBox *>(QStringLiteral("OutcomeBox"));
    QVERIFY(box);
    QCOMPARE(box->icon(), QMessageBox::Information);
    QVERIFY2(box->text().contains(QStringLiteral("1.09")), qPrintable(box->text()));

    const int pages = int((image.size() + 2047) / 2048);
    QCOMPARE(window.progressBar->maximum(), pages);
    QCOMPARE(window.progressBar->value(), pages);
    // From block 1, 64 pages a block.
    QCOMPARE(window.BlockEdit->text(), QString::number(1 + (pages - 1) / 64));
    QCOMPARE(window.PageEdit->text(), QString::number((pages - 1) % 64));
    sim.waitIdle();
    sim.withDevice([&](SimDevice &device) {
        QVERIFY(device.violations().empty());
        QCOMPARE(device.image(image.size()), image);
        QCOMPARE(device.finishCount(), 1);
    });
    // The device's transfer-off report gives the controls back, and the
    // identity asked for again shows the new firmware.
    QTRY_VERIFY_WITH_TIMEOUT(window.TransferButton->isEnabled() && window.ConnectButton->isEnabled(), ConnectWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(window.VersionEdit->text(), QStringLiteral("1.09"), ConnectWaitMs);
}

QTEST_MAIN(TestWindowUpdate)
#include "tst_windowupdate.moc"
