// The window as a controller of its session: port lists, its look from start
// to disconnect, the device's transfer reports, the tick timer, closing.

#include "devicereplies.h"
#include "windowfixture.h"

class TestController : public QObject
{
    Q_OBJECT

private slots:
    void init() { fx.make(); }
    void cleanup() { fx.reset(); }
    void portLists_data();
    void portLists();
    void lookFromStartToDisconnect();
    void transferReportsMatterOnlyDuringAnUpdate();
    void tickTimerReachesTheSession();
    void close1ClosesPortsNowAndWindowFiveTicksLater();
    void closingDuringAnUpdateAsksFirst();
    void failuresAreReported_data();
    void failuresAreReported();

private:
    WindowFixture fx;
};

void TestController::portLists_data()
{
    QTest::addColumn<int>("ports");
    QTest::addColumn<int>("listed");
    QTest::addColumn<int>("row");
    QTest::newRow("120 ports, no Qel's") << 120 << int(MainWindow::MaxPortsListed) << 0;
    QTest::newRow("none") << 0 << 0 << -1;
}

void TestController::portLists()
{
    QFETCH(int, ports);
    QFETCH(int, listed);
    QFETCH(int, row);
    QStringList names;
    for (int i = 0; i < ports; ++i)
        names << QStringLiteral("port %1").arg(i);
    fx.make(names, names);
    MainWindow &w = *fx.window;
    QCOMPARE(rows(w.MidiInList), names.first(listed));
    QCOMPARE(rows(w.MidiOutList), names.first(listed));
    QCOMPARE(w.MidiInList->currentRow(), row);
    QCOMPARE(w.MidiOutList->currentRow(), row);

    w.ConnectButton->click();
    QVERIFY(fx.service->calls.contains(QStringLiteral("openIn %1").arg(row)));
    QVERIFY(fx.service->calls.contains(QStringLiteral("openOut %1").arg(row)));
    // Identify goes out only over ports that opened.
    QCOMPARE(w.connection(), int(listed ? MainWindow::Connecting : MainWindow::Disconnected));
    QCOMPARE(fx.service->sent.size(), listed ? 1 : 0);
    QCOMPARE(w.LogText->toPlainText().contains(QStringLiteral("Could not open")), !listed);
}

void TestController::lookFromStartToDisconnect()
{
    MainWindow &w = *fx.window;
    // As Init() leaves it.
    QVERIFY(w.progressBar->isHidden() && w.TryConText->isHidden() && !w.TransferButton->isEnabled());
    QVERIFY(w.ConnectButton->isEnabled() && w.MidiInList->isEnabled() && w.MidiOutList->isEnabled());
    QCOMPARE(w.TransferButton->text(), QStringLiteral("Update"));
    // Typing into these would show values the device never sent.
    for (QLineEdit *edit : {w.SnEdit, w.VersionEdit, w.BlockEdit, w.PageEdit})
        QVERIFY(edit->isReadOnly());
    // The picture is clipped to its label, not scaled.
    QCOMPARE(w.IconLabel->pixmap().size(), QSize(320, 87));
    QVERIFY(!w.IconLabel->hasScaledContents());

    w.ConnectButton->click();  // the answer stays on the wire for now
    QVERIFY(w.TryConText->isVisible());
    QVERIFY(!w.MidiInList->isEnabled() && !w.MidiOutList->isEnabled() && !w.TransferButton->isEnabled());
    QCOMPARE(w.ConnectButton->text(), QStringLiteral("Disconnect"));
    QVERIFY(fx.tick(100));  // the window sets no time-out
    QCOMPARE(w.connection(), int(MainWindow::Connecting));

    QVERIFY(fx.release());
    QCOMPARE(w.connection(), int(MainWindow::Connected));
    QVERIFY(w.TryConText->isHidden() && w.TransferButton->isEnabled());
    QCOMPARE(w.SnEdit->text(), QStringLiteral("586-638-764"));
    QCOMPARE(w.VersionEdit->text(), QStringLiteral("1.08"));

    w.ConnectButton->click();
    QCOMPARE(w.connection(), int(MainWindow::Disconnected));
    QVERIFY(!fx.service->isInOpen() && !fx.service->isOutOpen());
    QVERIFY(w.MidiInList->isEnabled() && w.MidiOutList->isEnabled() && !w.TransferButton->isEnabled());
    QCOMPARE(w.ConnectButton->text(), QStringLiteral("Connect"));
    QVERIFY(w.SnEdit->text().isEmpty() && w.VersionEdit->text().isEmpty() && w.StatusText->text().isEmpty());
}

void TestController::transferReportsMatterOnlyDuringAnUpdate()
{
    MainWindow &w = *fx.window;
    QVERIFY(fx.connectDevice());
    // Without an update of ours (a cancelled one, say) the device's report
    // must not lock the controls: no transfer-off report would free them.
    QVERIFY(fx.deliver(DeviceReply::transferState(true)));
    QVERIFY(w.progressBar->isHidden());
    QVERIFY(w.TransferButton->isEnabled() && w.ConnectButton->isEnabled());

    QVERIFY(fx.startUpdate());
    QVERIFY(!w.ConnectButton->isEnabled());
    QVERIFY(fx.release() && fx.release());  // ResetNand's answer and the transfer-on report
    QVERIFY(w.progressBar->isVisible());
    // A transfer-off report mid-update hands back nothing but Cancel.
    QVERIFY(fx.deliver(DeviceReply::transferState(false)));
    QVERIFY(w.progressBar->isHidden());
    QVERIFY(!w.ConnectButton->isEnabled() && w.TransferButton->isEnabled());
    QCOMPARE(w.TransferButton->text(), QStringLiteral("Cancel"));
}

void TestController::tickTimerReachesTheSession()
{
    QCOMPARE(fx.window->tickTimer()->interval(), MainWindow::TickInterval);
    QVERIFY(fx.window->tickTimer()->isActive());
    QVERIFY(fx.connectDevice());
    QVERIFY(fx.startUpdate());  // ResetNand's answer stays on the wire
    const UpdateEngine &engine = fx.window->updateSession().updateEngine();
    const int armed = engine.replyTimeout();
    QVERIFY(armed > 0);
    QVERIFY(fx.tick());
    QCOMPARE(engine.replyTimeout(), armed - 1);
}

void TestController::close1ClosesPortsNowAndWindowFiveTicksLater()
{
    QVERIFY(fx.connectDevice());
    QVERIFY(QMetaObject::invokeMethod(fx.window.get(), "close1"));
    QVERIFY(!fx.service->isInOpen() && !fx.service->isOutOpen());
    QCOMPARE(fx.window->connection(), int(MainWindow::Disconnected));
    QVERIFY(fx.tick(MainWindow::CloseDelayTicks - 1));
    QVERIFY(fx.window->isVisible());
    QVERIFY(fx.tick());
    QVERIFY(!fx.window->isVisible());
}

void TestController::closingDuringAnUpdateAsksFirst()
{
    const QString name = QStringLiteral("CloseQuestion");
    QVERIFY(fx.connectDevice());
    QVERIFY(fx.startUpdate());
    QVERIFY(!fx.window->close());
    QVERIFY(fx.boxText(name).contains(QStringLiteral("updated again")));
    QVERIFY(fx.answer(name, QMessageBox::No));
    QVERIFY(fx.window->isVisible() && fx.window->updateSession().isUpdating());

    QVERIFY(!fx.window->close());
    const qsizetype sentBefore = fx.service->sent.size();
    QVERIFY(fx.answer(name, QMessageBox::Yes));
    QVERIFY(!fx.window->isVisible() && !fx.window->updateSession().isUpdating());
    while (fx.release()) {
    }
    QCOMPARE(fx.service->sent.size(), sentBefore);
}

void TestController::failuresAreReported_data()
{
    QTest::addColumn<QString>("image");   // empty: the built-in one
    QTest::addColumn<bool>("unhealthy");  // a new flash with four factory-bad blocks
    QTest::addColumn<QString>("messageHas");
    QTest::addColumn<QString>("logHas");
    QTest::newRow("unreadable image") << ":/no/such/image.bin" << false << "could not be read" << "could not be read";
    QTest::newRow("unhealthy flash") << "" << true << "4 blocks that were faulty"
                                     << "more than 3 factory defects, Flash not healthy! Aborting";
}

void TestController::failuresAreReported()
{
    QFETCH(QString, image);
    QFETCH(bool, unhealthy);
    QFETCH(QString, messageHas);
    QFETCH(QString, logHas);
    if (unhealthy) {
        fx.device.eraseAll();
        fx.device.setFactoryDefects({7, 8, 9, 10});
    }
    MainWindow &w = *fx.window;
    QVERIFY(fx.connectDevice());
    if (!image.isEmpty())
        w.updateSession().setImagePath(image);
    const qsizetype sentBefore = fx.service->sent.size();
    w.TransferButton->click();
    QVERIFY(fx.answer(QStringLiteral("StartQuestion"), QMessageBox::Yes));
    while (fx.release()) {
    }
    QMessageBox *outcome = fx.box(QStringLiteral("OutcomeBox"));
    QVERIFY(outcome);
    QVERIFY2(outcome->text().contains(messageHas), qPrintable(outcome->text()));
    QCOMPARE(outcome->icon(), QMessageBox::Warning);
    QVERIFY(w.LogText->toPlainText().contains(logHas));
    QCOMPARE(w.StatusText->text(), QStringLiteral("Update failed."));
    QVERIFY(w.TransferButton->isEnabled() && w.ConnectButton->isEnabled());
    QCOMPARE(w.TransferButton->text(), QStringLiteral("Update"));
    // An image that cannot be read sends nothing; an unhealthy flash is left unwritten.
    QCOMPARE(fx.service->sent.size() > sentBefore, unhealthy);
    QCOMPARE(bool(fx.device.storedList()), !unhealthy);
}

QTEST_MAIN(TestController)
#include "tst_controller.moc"
