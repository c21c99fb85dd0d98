// What the window adds for its users: the version check and the question
// before writing, the progress line, cancelling, and port lists that follow
// the hardware. A simulated device answers on the test's own thread, one
// reply at a time as the test releases them; the tick timer is fired by hand.

#include "mainwindow.h"
#include "midievent.h"
#include "simdevice.h"
#include "testmidiservice.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <deque>

namespace {

QStringList rows(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

} // namespace

class TestWindowUx : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void versionCheckAndQuestion_data();
    void versionCheckAndQuestion();
    void progressAndCancelMidPage();
    void portListsFollowThePlugs();

private:
    void makeWindow(QStringList in = {QStringLiteral("Qel IN")}, QStringList out = {QStringLiteral("Qel OUT")});
    void connectDevice();
    // Delivers the oldest reply still on its way; false when none is.
    bool release();
    void tick(int count = 1);
    QMessageBox *question(const QString &name);
    void answer(const QString &name, QMessageBox::StandardButton button);

    std::unique_ptr<MainWindow> window;
    TestMidiService *service = nullptr;  // owned by the window's link
    SimDevice device;
    std::deque<QByteArray> wire;
};

void TestWindowUx::cleanup()
{
    window.reset();
    wire.clear();
    device = SimDevice();
}

void TestWindowUx::makeWindow(QStringList in, QStringList out)
{
    device.storeListCopies(1, {}, 0);
    auto midi = std::make_unique<TestMidiService>();
    midi->inNames = std::move(in);
    midi->outNames = std::move(out);
    midi->onSend = [this](const QByteArray &message) {
        for (QByteArray &reply : device.handle(message))
            wire.push_back(std::move(reply));
    };
    service = midi.get();
    window = std::make_unique<MainWindow>(std::move(midi));
    window->show();
    window->Init();
}

void TestWindowUx::connectDevice()
{
    window->ConnectButton->click();
    QVERIFY(release());
    QCOMPARE(window->connection(), int(MainWindow::Connected));
}

bool TestWindowUx::release()
{
    if (wire.empty())
        return false;
    const QByteArray reply = wire.front();
    wire.pop_front();
    if (!service->inject(reply))
        return false;
    QCoreApplication::sendPostedEvents(window.get(), MidiEvent::EventType);
    return true;
}

void TestWindowUx::tick(int count)
{
    for (int i = 0; i < count; ++i)
        QVERIFY(QMetaObject::invokeMethod(window->tickTimer(), "timeout"));
}

QMessageBox *TestWindowUx::question(const QString &name)
{
    return window->findChild<QMessageBox *>(name);
}

void TestWindowUx::answer(const QString &name, QMessageBox::StandardButton button)
{
    QMessageBox *box = question(name);
    QVERIFY2(box, qPrintable(name));
    box->button(button)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

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
    device.setIdentity(identity);
    makeWindow();
    connectDevice();
    QVERIFY2(window->StatusText->text().contains(statusHas), qPrintable(window->StatusText->text()));

    // Update asks first; No sends nothing.
    const auto sentBefore = service->sent.size();
    window->TransferButton->click();
    QMessageBox *box = question(QStringLiteral("StartQuestion"));
    QVERIFY(box);
    const QString text = box->text();
    QVERIFY2(text.contains(window->VersionEdit->text()) && text.contains(QStringLiteral("1.09")), qPrintable(text));
    QCOMPARE(text.contains(QStringLiteral("owngrade")), downgrade);
    QVERIFY(text.contains(QStringLiteral("less than a minute")));
    QVERIFY(text.contains(QStringLiteral("connected and powered")));
    // A second click while it is open asks no second question.
    window->TransferButton->click();
    QCOMPARE(window->findChildren<QMessageBox *>().size(), 1);
    answer(QStringLiteral("StartQuestion"), QMessageBox::No);
    QCOMPARE(service->sent.size(), sentBefore);
    QVERIFY(!window->updateEngine().isRunning());

    window->TransferButton->click();
    answer(QStringLiteral("StartQuestion"), QMessageBox::Yes);
    QVERIFY(window->updateEngine().isRunning());
    QCOMPARE(service->sent.size(), sentBefore + 1);
}

void TestWindowUx::progressAndCancelMidPage()
{
    makeWindow();
    connectDevice();
    window->TransferButton->click();
    answer(QStringLiteral("StartQuestion"), QMessageBox::Yes);
    QCOMPARE(window->TransferButton->text(), QStringLiteral("Cancel"));
    QVERIFY(!window->ConnectButton->isEnabled());

    // Three pages into block 1, then a few pieces into the fourth.
    int guard = 0;
    while (window->progressBar->value() < 3 && guard++ < 1000)
        QVERIFY(release());
    QVERIFY(window->progressBar->isVisible());
    QCOMPARE(window->progressBar->text(), QStringLiteral("0%"));
    const QString status = window->StatusText->text();
    QCOMPARE(window->BlockEdit->text(), QStringLiteral("1"));
    QVERIFY2(status.startsWith(QStringLiteral("Block 1, page %1").arg(window->PageEdit->text())), qPrintable(status));
    QVERIFY2(status.contains(QStringLiteral("left")), qPrintable(status));
    while (window->updateEngine().step() != StepSendPage && guard++ < 1000)
        QVERIFY(release());
    for (int piece = 0; piece < 5; ++piece)
        QVERIFY(release());
    QCOMPARE(window->updateEngine().step(), StepSendPage);
    // The device's transfer-on report came long ago: it must not take Cancel away.
    QVERIFY(window->TransferButton->isEnabled());

    // Answering No goes on with the update.
    window->TransferButton->click();
    answer(QStringLiteral("CancelQuestion"), QMessageBox::No);
    QVERIFY(window->updateEngine().isRunning());
    QVERIFY(release());

    window->TransferButton->click();
    QVERIFY(question(QStringLiteral("CancelQuestion"))->text().contains(QStringLiteral("updated again")));
    answer(QStringLiteral("CancelQuestion"), QMessageBox::Yes);
    const auto sentAtCancel = service->sent.size();
    QVERIFY(!window->updateEngine().isRunning());
    // The answer to the last piece, and time, move nothing.
    while (release()) {
    }
    tick(3 * UpdateEngine::ReplyTimeoutTicks);
    QCOMPARE(service->sent.size(), sentAtCancel);

    auto *outcome = window->findChild<QMessageBox *>(QStringLiteral("OutcomeBox"));
    QVERIFY(outcome);
    QVERIFY2(outcome->text().contains(QStringLiteral("run again")), qPrintable(outcome->text()));
    QVERIFY(window->StatusText->text().contains(QStringLiteral("updated again")));
    // No transfer-off report comes after a cancel; the controls are back all the same.
    QVERIFY(window->ConnectButton->isEnabled());
    QVERIFY(window->TransferButton->isEnabled());
    QCOMPARE(window->TransferButton->text(), QStringLiteral("Update"));
    QCOMPARE(window->connection(), int(MainWindow::Connected));
}

void TestWindowUx::portListsFollowThePlugs()
{
    // The device's ports are chosen at start, wherever they are listed.
    makeWindow({QStringLiteral("Midi Through"), QStringLiteral("USB 1"), QStringLiteral("Qel Rack OUT")},
               {QStringLiteral("Midi Through"), QStringLiteral("Qel Rack IN")});
    QCOMPARE(window->MidiInList->currentRow(), 2);
    QCOMPARE(window->MidiOutList->currentRow(), 1);
    window->MidiInList->setCurrentRow(1);  // the user prefers USB 1

    // A port plugged in ahead of it: the lists follow within a second, the choice stays.
    service->inNames.prepend(QStringLiteral("New Synth"));
    tick(MainWindow::PortPollTicks - 1);
    QCOMPARE(window->MidiInList->count(), 3);
    tick();
    QCOMPARE(rows(window->MidiInList), (QStringList{"New Synth", "Midi Through", "USB 1", "Qel Rack OUT"}));
    QCOMPARE(window->MidiInList->currentItem()->text(), QStringLiteral("USB 1"));
    QCOMPARE(window->MidiOutList->currentItem()->text(), QStringLiteral("Qel Rack IN"));

    // The chosen port unplugged: the selection goes to the device's port.
    service->inNames.removeAll(QStringLiteral("USB 1"));
    tick(MainWindow::PortPollTicks);
    QCOMPARE(window->MidiInList->count(), 3);
    QCOMPARE(window->MidiInList->currentItem()->text(), QStringLiteral("Qel Rack OUT"));
    // Connect uses what the lists show now.
    window->ConnectButton->click();
    QVERIFY(service->calls.contains(QStringLiteral("openIn 2")));
    QVERIFY(service->calls.contains(QStringLiteral("openOut 1")));

    // While connected the lists stand still.
    QVERIFY(release());
    service->inNames.clear();
    tick(3 * MainWindow::PortPollTicks);
    QCOMPARE(window->MidiInList->count(), 3);
}

QTEST_MAIN(TestWindowUx)
#include "tst_windowux.moc"
