// What the window adds for its users: the version check and the question
// before writing, the progress line, cancelling, and port lists that follow
// the hardware. A simulated device answers one reply at a time as the test
// releases them.

#include "windowfixture.h"

class TestWindowUx : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fx.reset(); }
    void versionCheckAndQuestion_data();
    void versionCheckAndQuestion();
    void progressAndCancelMidPage();
    void portListsFollowThePlugs();

private:
    void makeWindow(QStringList in = {QStringLiteral("Qel IN")}, QStringList out = {QStringLiteral("Qel OUT")})
    {
        fx.make(std::move(in), std::move(out), true);
    }

    WindowFixture fx;
};

void TestWindowUx::versionCheckAndQuestion_data()
{
    QTest::addColumn<uint>("version");
    QTest::addColumn<QString>("statusHas");
    QTest::addColumn<bool>("downgrade");
    QTest::newRow("older") << 0x0801u << "older than 1.09" << false;
    QTest::newRow("same") << 0x0901u << "already up to date" << false;
    QTest::newRow("newer") << 0x0A01u << "downgrade" << true;
}

void TestWindowUx::versionCheckAndQuestion()
{
    QFETCH(uint, version);
    QFETCH(QString, statusHas);
    QFETCH(bool, downgrade);
    SimDevice::Identity identity;
    identity.firmwareVersion = version;
    fx.device.setIdentity(identity);
    makeWindow();
    fx.connectDevice();
    MainWindow &w = *fx.window;
    QVERIFY2(w.StatusText->text().contains(statusHas), qPrintable(w.StatusText->text()));

    // Update asks first; No sends nothing.
    const qsizetype sentBefore = fx.service->sent.size();
    w.TransferButton->click();
    const QString text = fx.box(QStringLiteral("StartQuestion"))->text();
    QVERIFY2(text.contains(w.VersionEdit->text()) && text.contains(QStringLiteral("1.09")), qPrintable(text));
    QCOMPARE(text.contains(QStringLiteral("owngrade")), downgrade);
    // The duration comes from a measured round trip, so only its presence is
    // checked here; its wording is pinned by the duration table.
    QVERIFY(text.contains(QStringLiteral("less than a minute")) || text.contains(QStringLiteral(" min")));
    QVERIFY(text.contains(QStringLiteral("connected and powered")));
    // A second click while it is open asks no second question.
    w.TransferButton->click();
    QCOMPARE(w.findChildren<QMessageBox *>().size(), 1);
    fx.answer(QStringLiteral("StartQuestion"), QMessageBox::No);
    QCOMPARE(fx.service->sent.size(), sentBefore);
    QVERIFY(!w.updateEngine().isRunning());

    fx.startUpdate();
    QVERIFY(w.updateEngine().isRunning());
    QCOMPARE(fx.service->sent.size(), sentBefore + 1);
}

void TestWindowUx::progressAndCancelMidPage()
{
    makeWindow();
    fx.connectDevice();
    fx.startUpdate();
    MainWindow &w = *fx.window;
    QCOMPARE(w.TransferButton->text(), QStringLiteral("Cancel"));

    // Three pages into block 1, then a few pieces into the fourth.
    int guard = 0;
    while (w.progressBar->value() < 3 && guard++ < 1000)
        QVERIFY(fx.release());
    QVERIFY(w.progressBar->isVisible());
    const QString status = w.StatusText->text();
    QCOMPARE(w.BlockEdit->text(), QStringLiteral("1"));
    QVERIFY2(status.startsWith(QStringLiteral("Block 1, page %1").arg(w.PageEdit->text())), qPrintable(status));
    QVERIFY2(status.contains(QStringLiteral("left")), qPrintable(status));
    while (w.updateEngine().step() != StepSendPage && guard++ < 1000)
        QVERIFY(fx.release());
    for (int piece = 0; piece < 5; ++piece)
        QVERIFY(fx.release());
    QCOMPARE(w.updateEngine().step(), StepSendPage);

    // Answering No goes on with the update.
    w.TransferButton->click();
    fx.answer(QStringLiteral("CancelQuestion"), QMessageBox::No);
    QVERIFY(w.updateEngine().isRunning());
    QVERIFY(fx.release());

    w.TransferButton->click();
    QVERIFY(fx.box(QStringLiteral("CancelQuestion"))->text().contains(QStringLiteral("updated again")));
    fx.answer(QStringLiteral("CancelQuestion"), QMessageBox::Yes);
    const qsizetype sentAtCancel = fx.service->sent.size();
    QVERIFY(!w.updateEngine().isRunning());
    // The answer to the last piece, and time, move nothing.
    while (fx.release()) {
    }
    fx.tick(3 * UpdateEngine::ReplyTimeoutTicks);
    QCOMPARE(fx.service->sent.size(), sentAtCancel);

    QVERIFY(fx.box(QStringLiteral("OutcomeBox"))->text().contains(QStringLiteral("run again")));
    QVERIFY(w.StatusText->text().contains(QStringLiteral("updated again")));
    // No transfer-off report comes after a cancel; the controls are back all the same.
    QVERIFY(w.ConnectButton->isEnabled() && w.TransferButton->isEnabled());
    QCOMPARE(w.TransferButton->text(), QStringLiteral("Update"));
    QCOMPARE(w.connection(), int(MainWindow::Connected));
}

void TestWindowUx::portListsFollowThePlugs()
{
    // The device's ports are chosen at start, wherever they are listed.
    makeWindow({QStringLiteral("Midi Through"), QStringLiteral("USB 1"), QStringLiteral("Qel Rack OUT")},
               {QStringLiteral("Midi Through"), QStringLiteral("Qel Rack IN")});
    MainWindow &w = *fx.window;
    QCOMPARE(w.MidiInList->currentRow(), 2);
    QCOMPARE(w.MidiOutList->currentRow(), 1);
    w.MidiInList->setCurrentRow(1);  // the user prefers USB 1

    // A port plugged in ahead of it: the lists follow within a second, the choice stays.
    fx.service->inNames.prepend(QStringLiteral("New Synth"));
    fx.tick(MainWindow::PortPollTicks - 1);
    QCOMPARE(w.MidiInList->count(), 3);
    fx.tick();
    QCOMPARE(rows(w.MidiInList), (QStringList{"New Synth", "Midi Through", "USB 1", "Qel Rack OUT"}));
    QCOMPARE(w.MidiInList->currentItem()->text(), QStringLiteral("USB 1"));
    QCOMPARE(w.MidiOutList->currentItem()->text(), QStringLiteral("Qel Rack IN"));

    // The chosen port unplugged: the selection goes to the device's port.
    fx.service->inNames.removeAll(QStringLiteral("USB 1"));
    fx.tick(MainWindow::PortPollTicks);
    QCOMPARE(w.MidiInList->currentItem()->text(), QStringLiteral("Qel Rack OUT"));
    // Connect uses what the lists show now.
    w.ConnectButton->click();
    QVERIFY(fx.service->calls.contains(QStringLiteral("openIn 2")));
    QVERIFY(fx.service->calls.contains(QStringLiteral("openOut 1")));

    // While connected the lists stand still.
    QVERIFY(fx.release());
    fx.service->inNames.clear();
    fx.tick(3 * MainWindow::PortPollTicks);
    QCOMPARE(w.MidiInList->count(), 3);
}

QTEST_MAIN(TestWindowUx)
#include "tst_windowux.moc"
