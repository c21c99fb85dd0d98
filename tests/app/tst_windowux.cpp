// What the window adds for its users: the version check and the question
// before writing, the progress line, cancelling, and port lists that follow
// the hardware.

#include "resourcepaths.h"
#include "windowfixture.h"

#include <QFileInfo>

class TestWindowUx : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { fx.reset(); }
    void versionCheckAndQuestion();
    void progressAndCancelMidPage();
    void portListsFollowThePlugs();

private:
    WindowFixture fx;
};

void TestWindowUx::versionCheckAndQuestion()
{
    SimDevice::Identity identity;
    identity.firmwareVersion = 0x0A01;
    fx.device.setIdentity(identity);
    fx.make();
    QVERIFY(fx.connectDevice());
    MainWindow &w = *fx.window;
    QCOMPARE(w.VersionEdit->text(), QStringLiteral("1.10"));
    QVERIFY2(w.StatusText->text().contains(QStringLiteral("downgrade")), qPrintable(w.StatusText->text()));

    // Update asks first, once however often it is pressed; No sends nothing.
    const qsizetype sentBefore = fx.service->sent.size();
    w.TransferButton->click();
    w.TransferButton->click();
    QCOMPARE(w.findChildren<QMessageBox *>().size(), 1);
    const QString text = fx.boxText(QStringLiteral("StartQuestion"));
    QVERIFY2(text.contains(QStringLiteral("1.10")) && text.contains(QStringLiteral("owngrade")), qPrintable(text));
    QVERIFY(fx.answer(QStringLiteral("StartQuestion"), QMessageBox::No));
    QCOMPARE(fx.service->sent.size(), sentBefore);
    QVERIFY(!w.updateSession().isUpdating());

    QVERIFY(fx.startUpdate());
    QCOMPARE(fx.service->sent.size(), sentBefore + 1);
}

void TestWindowUx::progressAndCancelMidPage()
{
    fx.make();
    QVERIFY(fx.connectDevice());
    QVERIFY(fx.startUpdate());
    MainWindow &w = *fx.window;
    const UpdateEngine &engine = w.updateSession().updateEngine();
    QCOMPARE(w.TransferButton->text(), QStringLiteral("Cancel"));

    // Three pages into block 1, then a few pieces into the fourth.
    while (w.progressBar->value() < 3)
        QVERIFY(fx.release());
    QVERIFY(w.progressBar->isVisible());
    QCOMPARE(w.progressBar->maximum(), int((QFileInfo(ResourcePaths::FirmwareImage).size() + 2047) / 2048));
    const QString status = w.StatusText->text();
    QCOMPARE(w.BlockEdit->text(), QStringLiteral("1"));
    QVERIFY2(status.startsWith(QStringLiteral("Block 1, page %1\n").arg(w.PageEdit->text())), qPrintable(status));
    QVERIFY2(status.endsWith(QStringLiteral(" left")), qPrintable(status));
    while (engine.step() != StepSendPage)
        QVERIFY(fx.release());
    for (int piece = 0; piece < 5; ++piece)
        QVERIFY(fx.release());
    QCOMPARE(engine.step(), StepSendPage);

    // Answering No goes on with the update.
    w.TransferButton->click();
    QVERIFY(fx.answer(QStringLiteral("CancelQuestion"), QMessageBox::No));
    QVERIFY(engine.isRunning());
    QVERIFY(fx.release());

    w.TransferButton->click();
    QVERIFY(fx.boxText(QStringLiteral("CancelQuestion")).contains(QStringLiteral("updated again")));
    QVERIFY(fx.answer(QStringLiteral("CancelQuestion"), QMessageBox::Yes));
    const qsizetype sentAtCancel = fx.service->sent.size();
    QVERIFY(!engine.isRunning());
    // The answer to the last piece, and time, move nothing.
    while (fx.release()) {
    }
    QVERIFY(fx.tick(3 * UpdateEngine::ReplyTimeoutTicks));
    QCOMPARE(fx.service->sent.size(), sentAtCancel);

    QVERIFY(fx.boxText(QStringLiteral("OutcomeBox")).contains(QStringLiteral("run again")));
    QVERIFY(w.StatusText->text().contains(QStringLiteral("updated again")));
    // No transfer-off report comes after a cancel; the controls are back all the same.
    QVERIFY(w.ConnectButton->isEnabled() && w.TransferButton->isEnabled());
    QCOMPARE(w.TransferButton->text(), QStringLiteral("Update"));
    QCOMPARE(w.connection(), int(MainWindow::Connected));
}

void TestWindowUx::portListsFollowThePlugs()
{
    // The device's ports are chosen at start, wherever they are listed.
    fx.make({QStringLiteral("Midi Through"), QStringLiteral("USB 1"), QStringLiteral("Qel Rack OUT")},
            {QStringLiteral("Midi Through"), QStringLiteral("Qel Rack IN")});
    MainWindow &w = *fx.window;
    QCOMPARE(w.MidiInList->currentRow(), 2);
    QCOMPARE(w.MidiOutList->currentRow(), 1);
    w.MidiInList->setCurrentRow(1);  // the user prefers USB 1

    // A port plugged in ahead of it: the lists follow within a second, the choice stays.
    fx.service->inNames.prepend(QStringLiteral("New Synth"));
    QVERIFY(fx.tick(MainWindow::PortPollTicks - 1));
    QCOMPARE(w.MidiInList->count(), 3);
    QVERIFY(fx.tick());
    QCOMPARE(rows(w.MidiInList), (QStringList{"New Synth", "Midi Through", "USB 1", "Qel Rack OUT"}));
    QCOMPARE(w.MidiInList->currentItem()->text(), QStringLiteral("USB 1"));
    QCOMPARE(w.MidiOutList->currentItem()->text(), QStringLiteral("Qel Rack IN"));

    // The chosen port unplugged: the selection goes to the device's port,
    // and Connect uses what the lists show now.
    fx.service->inNames.removeAll(QStringLiteral("USB 1"));
    QVERIFY(fx.tick(MainWindow::PortPollTicks));
    QCOMPARE(w.MidiInList->currentItem()->text(), QStringLiteral("Qel Rack OUT"));
    QVERIFY(fx.connectDevice());
    QVERIFY(fx.service->calls.contains(QStringLiteral("openIn 2")));
    QVERIFY(fx.service->calls.contains(QStringLiteral("openOut 1")));

    // While connected the lists stand still.
    fx.service->inNames.clear();
    QVERIFY(fx.tick(3 * MainWindow::PortPollTicks));
    QCOMPARE(w.MidiInList->count(), 3);
}

QTEST_MAIN(TestWindowUx)
#include "tst_windowux.moc"
