// Whole updates started from the window against the simulated device on its
// own thread, through the real receive path. These wait for a real thread, so
// each wait is bounded.

#include "mainwindow.h"
#include "resourcepaths.h"
#include "simmidiservice.h"

#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int UpdateWaitMs = 120000;

QByteArray resourceImage()
{
    QFile file(ResourcePaths::FirmwareImage);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestWindowUpdate : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { window.reset(); }
    void fullImageFromTheWindow();
    void unhealthyFlashIsReportedAndControlsReturn();

private:
    SimMidiService &start(SimDevice device);
    QMessageBox *waitForOutcome();
    void startUpdate();

    std::unique_ptr<MainWindow> window;
    SimMidiService *sim = nullptr; // owned by the window's link
};

SimMidiService &TestWindowUpdate::start(SimDevice device)
{
    auto service = std::make_unique<SimMidiService>(std::move(device));
    sim = service.get();
    window = std::make_unique<MainWindow>(std::move(service));
    window->show();
    window->Init();
    window->ConnectButton->click();
    [&] { QTRY_COMPARE_WITH_TIMEOUT(window->connection(), int(MainWindow::Connected), 5000); }();
    return *sim;
}

void TestWindowUpdate::startUpdate()
{
    window->TransferButton->click();
    window->findChild<QMessageBox *>(QStringLiteral("StartQuestion"))->button(QMessageBox::Yes)->click();
    QVERIFY(window->updateEngine().isRunning());
}

QMessageBox *TestWindowUpdate::waitForOutcome()
{
    // A real event loop: polling would add its own sleep to every exchange.
    QSignalSpy finished(&window->updateEngine(), &UpdateEngine::finished);
    if (!finished.wait(UpdateWaitMs))
        return nullptr;
    return window->findChild<QMessageBox *>(QStringLiteral("OutcomeBox"));
}

void TestWindowUpdate::fullImageFromTheWindow()
{
    const QByteArray image = resourceImage();
    QCOMPARE(image.size(), 3915900);
    start(SimDevice());
    startUpdate();
    QMessageBox *box = waitForOutcome();
    QVERIFY(box);
    QVERIFY2(box->text().contains(QStringLiteral("1.09")), qPrintable(box->text()));

    const int pages = int((image.size() + 2047) / 2048);
    QCOMPARE(window->progressBar->maximum(), pages);
    QCOMPARE(window->progressBar->value(), pages);
    // 1913 pages fill 29 blocks and 57 pages of a 30th, from block 1.
    QCOMPARE(window->BlockEdit->text(), QStringLiteral("30"));
    QCOMPARE(window->PageEdit->text(), QStringLiteral("56"));
    sim->worker().waitIdle();
    sim->worker().withDevice([&](SimDevice &device) {
        QVERIFY(device.violations().empty());
        QCOMPARE(device.image(image.size()), image);
        QCOMPARE(device.finishCount(), 1);
    });
    // The device's transfer-off report gives the controls back.
    QTRY_VERIFY_WITH_TIMEOUT(window->TransferButton->isEnabled(), 5000);
    QVERIFY(window->ConnectButton->isEnabled());
}

void TestWindowUpdate::unhealthyFlashIsReportedAndControlsReturn()
{
    SimDevice device;
    device.eraseAll();
    device.setFactoryDefects({7, 8, 9, 10});
    start(std::move(device));
    startUpdate();
    QMessageBox *box = waitForOutcome();
    QVERIFY(box);
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QVERIFY2(box->text().contains(QStringLiteral("faulty")), qPrintable(box->text()));
    QVERIFY(window->TransferButton->isEnabled() && window->ConnectButton->isEnabled());
    QVERIFY(window->LogText->toPlainText().contains(
        QStringLiteral("more than 3 factory defects, Flash not healthy! Aborting")));
    sim->worker().waitIdle();
    sim->worker().withDevice([](SimDevice &device) { QVERIFY(!device.storedList()); });
}

QTEST_MAIN(TestWindowUpdate)
#include "tst_windowupdate.moc"
