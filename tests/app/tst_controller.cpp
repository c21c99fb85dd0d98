// The window as a controller: port lists, connecting, identity, the dispatch
// of replies, the tick timer, closing. Replies are made by hand.

#include "sysex.h"
#include "windowfixture.h"

class TestController : public QObject
{
    Q_OBJECT

private slots:
    void init() { fx.make(); }
    void cleanup() { fx.reset(); }
    void portLists_data();
    void portLists();
    void silentDeviceKeepsTryingUntilDisconnect();
    void identityOutsideConnectingOnlyFillsTheFields();
    void transferReportsMatterOnlyDuringAnUpdate();
    void versionText_data();
    void versionText();
    void malformedRepliesChangeNothing();
    void tickTimerReachesTheEngine();
    void close1ClosesPortsNowAndWindowFiveTicksLater();
    void closingDuringAnUpdateAsksFirst();
    void unreadableImageIsReported();

private:
    WindowFixture fx;
};

void TestController::portLists_data()
{
    QTest::addColumn<int>("ports");
    QTest::addColumn<int>("listed");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("afterConnect");
    QTest::newRow("120 ports") << 120 << MainWindow::MaxPortsListed << 0 << int(MainWindow::Connecting);
    QTest::newRow("none") << 0 << 0 << -1 << int(MainWindow::Disconnected);
}

void TestController::portLists()
{
    QFETCH(int, ports);
    QFETCH(int, listed);
    QFETCH(int, row);
    QFETCH(int, afterConnect);
    QStringList names;
    for (int i = 0; i < ports; ++i)
        names << QStringLiteral("port %1").arg(i);
    fx.make(names, names);
    QCOMPARE(rows(fx.window->MidiInList), names.first(listed));
    QCOMPARE(rows(fx.window->MidiOutList), names.first(listed));
    QCOMPARE(fx.window->MidiInList->currentRow(), row);
    QCOMPARE(fx.window->MidiOutList->currentRow(), row);

    fx.window->ConnectButton->click();
    QVERIFY(fx.service->calls.contains(QStringLiteral("openIn %1").arg(row)));
    QVERIFY(fx.service->calls.contains(QStringLiteral("openOut %1").arg(row)));
    QCOMPARE(fx.window->connection(), afterConnect);
    // Identify goes out only over ports that opened.
    QCOMPARE(fx.service->sent.size(), listed ? 1 : 0);
}

void TestController::silentDeviceKeepsTryingUntilDisconnect()
{
    MainWindow &w = *fx.window;
    w.ConnectButton->click();
    const auto identify = buildIdentify();
    QCOMPARE(fx.service->sent, QList<QByteArray>{QByteArray(reinterpret_cast<const char *>(identify.data()),
                                                            qsizetype(identify.size()))});
    QVERIFY(w.TryConText->isVisible());
    QVERIFY(!w.MidiInList->isEnabled() && !w.MidiOutList->isEnabled());
    QCOMPARE(w.ConnectButton->text(), QStringLiteral("Disconnect"));
    QVERIFY(!w.TransferButton->isEnabled());
    fx.tick(100);  // no time-out while connecting
    QCOMPARE(w.connection(), int(MainWindow::Connecting));

    w.ConnectButton->click();
    QCOMPARE(w.connection(), int(MainWindow::Disconnected));
    QVERIFY(!fx.service->isInOpen() && !fx.service->isOutOpen());
    QVERIFY(w.TryConText->isHidden());
    QVERIFY(w.MidiInList->isEnabled() && w.MidiOutList->isEnabled());
    QCOMPARE(w.ConnectButton->text(), QStringLiteral("Connect"));
    QCOMPARE(fx.service->sent.size(), 1);
}

void TestController::identityOutsideConnectingOnlyFillsTheFields()
{
    MainWindow &w = *fx.window;
    fx.connectDevice();
    QVERIFY(w.TransferButton->isEnabled());
    QVERIFY(w.TryConText->isHidden());
    QCOMPARE(w.SnEdit->text(), QStringLiteral("586-638-764"));
    fx.deliver(DeviceReply::identity(42, 0x0A02, QStringLiteral("Qel")));
    QCOMPARE(w.SnEdit->text(), QStringLiteral("040-000-020"));
    QCOMPARE(w.connection(), int(MainWindow::Connected));

    // A reply already on its way when the user disconnects still arrives:
    // it fills the two fields and changes nothing else.
    QVERIFY(fx.service->inject(DeviceReply::identity(0, 0x0001, QStringLiteral("Qel"))));
    w.ConnectButton->click();
    QCOMPARE(w.SnEdit->text(), QString());
    fx.flush();
    QCOMPARE(w.connection(), int(MainWindow::Disconnected));
    QCOMPARE(w.SnEdit->text(), QStringLiteral("000-000-000"));
    QCOMPARE(w.ConnectButton->text(), QStringLiteral("Connect"));
    QVERIFY(!w.TransferButton->isEnabled());

    // The device's transfer-off report while disconnected empties them again.
    w.ConnectButton->click();
    QVERIFY(fx.service->inject(DeviceReply::identity(0, 0x0001, QStringLiteral("Qel"))));
    QVERIFY(fx.service->inject(DeviceReply::transferState(false)));
    w.ConnectButton->click();
    fx.flush();
    QCOMPARE(w.SnEdit->text(), QString());
    QCOMPARE(w.VersionEdit->text(), QString());
}

void TestController::transferReportsMatterOnlyDuringAnUpdate()
{
    MainWindow &w = *fx.window;
    fx.connectDevice();
    // Without an update of ours (a cancelled one, say) the device's report
    // must not lock the controls: no transfer-off report would free them.
    fx.deliver(DeviceReply::transferState(true));
    QVERIFY(w.progressBar->isHidden());
    QVERIFY(w.TransferButton->isEnabled() && w.ConnectButton->isEnabled());

    fx.startUpdate();
    fx.deliver(DeviceReply::transferState(true));
    QVERIFY(w.progressBar->isVisible());
    QVERIFY(!w.ConnectButton->isEnabled());
    // A transfer-off report mid-update hands back nothing but Cancel.
    fx.deliver(DeviceReply::transferState(false));
    QVERIFY(w.progressBar->isHidden());
    QVERIFY(!w.ConnectButton->isEnabled());
    QVERIFY(w.TransferButton->isEnabled());
    QCOMPARE(w.TransferButton->text(), QStringLiteral("Cancel"));
}

void TestController::versionText_data()
{
    QTest::addColumn<uint>("word");
    QTest::addColumn<QString>("text");
    QTest::newRow("1.09") << 0x0901u << "1.09";
    QTest::newRow("2.10") << 0x0A02u << "2.10";
    QTest::newRow("1.00") << 0x0001u << "1.00";
    QTest::newRow("255.63") << 0x3FFFu << "255.63";
}

void TestController::versionText()
{
    QFETCH(uint, word);
    QFETCH(QString, text);
    fx.window->ConnectButton->click();
    fx.deliver(DeviceReply::identity(1, word, QStringLiteral("Qel")));
    QCOMPARE(fx.window->VersionEdit->text(), text);
}

void TestController::malformedRepliesChangeNothing()
{
    fx.connectDevice();
    fx.deliver(QByteArray::fromHex("f00011220b000000002001127f"));  // another device
    fx.deliver(QByteArray::fromHex("f00011220a0000000035f7"));      // an unknown type
    fx.deliver(QByteArray::fromHex("f000"));                        // cut short
    QCOMPARE(fx.window->SnEdit->text(), QStringLiteral("586-638-764"));
    QCOMPARE(fx.window->connection(), int(MainWindow::Connected));
    QVERIFY(fx.window->TransferButton->isEnabled());
}

void TestController::tickTimerReachesTheEngine()
{
    QCOMPARE(fx.window->tickTimer()->interval(), MainWindow::TickInterval);
    QVERIFY(fx.window->tickTimer()->isActive());
    fx.connectDevice();
    fx.startUpdate();  // ResetNand goes out; the device stays silent
    const int armed = fx.window->updateEngine().replyTimeout();
    QVERIFY(armed > 0);
    fx.tick();
    QCOMPARE(fx.window->updateEngine().replyTimeout(), armed - 1);
}

void TestController::close1ClosesPortsNowAndWindowFiveTicksLater()
{
    fx.connectDevice();
    QVERIFY(QMetaObject::invokeMethod(fx.window.get(), "close1"));
    QVERIFY(!fx.service->isInOpen() && !fx.service->isOutOpen());
    QCOMPARE(fx.window->connection(), int(MainWindow::Disconnected));
    fx.tick(MainWindow::CloseDelayTicks - 1);
    QVERIFY(fx.window->isVisible());
    fx.tick();
    QVERIFY(!fx.window->isVisible());
}

void TestController::closingDuringAnUpdateAsksFirst()
{
    fx.connectDevice();
    fx.startUpdate();
    QVERIFY(!fx.window->close());
    QVERIFY(fx.box(QStringLiteral("CloseQuestion"))->text().contains(QStringLiteral("updated again")));
    fx.answer(QStringLiteral("CloseQuestion"), QMessageBox::No);
    QVERIFY(fx.window->isVisible());
    QVERIFY(fx.window->updateEngine().isRunning());

    QVERIFY(!fx.window->close());
    const qsizetype sentBefore = fx.service->sent.size();
    fx.answer(QStringLiteral("CloseQuestion"), QMessageBox::Yes);
    QVERIFY(!fx.window->isVisible());
    QVERIFY(!fx.window->updateEngine().isRunning());
    QCOMPARE(fx.service->sent.size(), sentBefore);
}

void TestController::unreadableImageIsReported()
{
    fx.connectDevice();
    fx.window->setImagePath(QStringLiteral(":/no/such/image.bin"));
    const qsizetype sentBefore = fx.service->sent.size();
    fx.startUpdate();
    QCOMPARE(fx.service->sent.size(), sentBefore);
    QMessageBox *outcome = fx.box(QStringLiteral("OutcomeBox"));
    QVERIFY(outcome);
    QVERIFY(outcome->text().contains(QStringLiteral("could not be read")));
    QVERIFY(fx.window->TransferButton->isEnabled() && fx.window->ConnectButton->isEnabled());
}

QTEST_MAIN(TestController)
#include "tst_controller.moc"
