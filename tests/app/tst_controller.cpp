// The window as a controller: port lists, connecting, identity, the dispatch
// of replies, closing. Driven through a scripted MIDI service; nothing waits
// on the clock, the tick timer is fired by hand.

#include "devicereplies.h"
#include "mainwindow.h"
#include "midievent.h"
#include "sysex.h"
#include "testmidiservice.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

QStringList names(const QString &stem, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << stem.arg(i);
    return list;
}

QStringList rows(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

} // namespace

class TestController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void portListsStopAtHundredAndAtAGap();
    void noPortsStaysDisconnected();
    void silentDeviceKeepsTryingUntilDisconnect();
    void connectUsesTheRowsCurrentAtTheClick();
    void identityWhileConnectingConnects();
    void identityInOtherStatesOnlyFillsTheFields();
    void transferReportsMatterOnlyDuringAnUpdate();
    void versionText_data();
    void versionText();
    void foreignAndUnknownMessagesChangeNothing();
    void tickTimerReachesTheEngine();
    void close1ClosesPortsNowAndWindowFiveTicksLater();
    void closingDuringAnUpdateAsksFirst();
    void unreadableImageIsReported();

private:
    void makeWindow(QStringList in = {QStringLiteral("Test IN")},
                    QStringList out = {QStringLiteral("Test OUT")});
    void deliver(const QByteArray &message);
    void connectAndIdentify();
    void tick(int count = 1);
    void answer(const QString &question, QMessageBox::StandardButton button);
    void startUpdate();

    std::unique_ptr<MainWindow> window;
    TestMidiService *service = nullptr; // owned by the window's link
};

void TestController::init()
{
    makeWindow();
}

void TestController::cleanup()
{
    window.reset();
    service = nullptr;
}

void TestController::makeWindow(QStringList in, QStringList out)
{
    window.reset();
    auto midi = std::make_unique<TestMidiService>();
    midi->inNames = std::move(in);
    midi->outNames = std::move(out);
    service = midi.get();
    window = std::make_unique<MainWindow>(std::move(midi));
    window->show();
    window->Init();
}

void TestController::deliver(const QByteArray &message)
{
    QVERIFY(service->inject(message));
    QCoreApplication::sendPostedEvents(window.get(), MidiEvent::EventType);
}

void TestController::connectAndIdentify()
{
    window->ConnectButton->click();
    deliver(DeviceReply::identity(123456789, 0x0901, QStringLiteral("Qel")));
    QCOMPARE(window->connection(), int(MainWindow::Connected));
}

void TestController::tick(int count)
{
    // Fires the window's own timer, as its interval would.
    for (int i = 0; i < count; ++i)
        QVERIFY(QMetaObject::invokeMethod(window->tickTimer(), "timeout"));
}

void TestController::answer(const QString &question, QMessageBox::StandardButton button)
{
    auto *box = window->findChild<QMessageBox *>(question);
    QVERIFY2(box, qPrintable(question));
    box->button(button)->click();
    // The answered box is gone before the next question is looked for.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestController::startUpdate()
{
    window->TransferButton->click();
    answer(QStringLiteral("StartQuestion"), QMessageBox::Yes);
}

void TestController::portListsStopAtHundredAndAtAGap()
{
    makeWindow(names(QStringLiteral("in %1"), 120), names(QStringLiteral("out %1"), 3));
    QCOMPARE(window->MidiInList->count(), MainWindow::MaxPortsListed);
    QCOMPARE(rows(window->MidiInList).constLast(), QStringLiteral("in 99"));
    QCOMPARE(rows(window->MidiOutList), names(QStringLiteral("out %1"), 3));
    QCOMPARE(window->MidiInList->currentRow(), 0);
    QCOMPARE(window->MidiOutList->currentRow(), 0);
}

void TestController::noPortsStaysDisconnected()
{
    makeWindow({}, {});
    QCOMPARE(window->MidiInList->count(), 0);
    QCOMPARE(window->MidiInList->currentRow(), -1);
    window->ConnectButton->click();
    QCOMPARE(service->calls.mid(service->calls.indexOf(QStringLiteral("openIn -1"))).first(2),
             (QStringList{QStringLiteral("openIn -1"), QStringLiteral("openOut -1")}));
    QCOMPARE(window->connection(), int(MainWindow::Disconnected));
    QCOMPARE(window->ConnectButton->text(), QStringLiteral("Connect"));
    QVERIFY(service->sent.isEmpty());
}

void TestController::silentDeviceKeepsTryingUntilDisconnect()
{
    window->ConnectButton->click();
    QCOMPARE(window->connection(), int(MainWindow::Connecting));
    QCOMPARE(service->sent, QList<QByteArray>{QByteArray(reinterpret_cast<const char *>(buildIdentify().data()),
                                                         qsizetype(buildIdentify().size()))});
    QVERIFY(window->TryConText->isVisible());
    QVERIFY(!window->MidiInList->isEnabled());
    QVERIFY(!window->MidiOutList->isEnabled());
    QCOMPARE(window->ConnectButton->text(), QStringLiteral("Disconnect"));
    QVERIFY(!window->TransferButton->isEnabled());
    tick(100); // no time-out while connecting
    QCOMPARE(window->connection(), int(MainWindow::Connecting));

    window->ConnectButton->click();
    QCOMPARE(window->connection(), int(MainWindow::Disconnected));
    QVERIFY(!service->isInOpen() && !service->isOutOpen());
    QVERIFY(window->TryConText->isHidden());
    QVERIFY(window->MidiInList->isEnabled());
    QCOMPARE(window->ConnectButton->text(), QStringLiteral("Connect"));
    QCOMPARE(service->sent.size(), 1);
}

void TestController::connectUsesTheRowsCurrentAtTheClick()
{
    makeWindow(names(QStringLiteral("in %1"), 3), names(QStringLiteral("out %1"), 3));
    window->MidiInList->setCurrentRow(2);
    window->MidiOutList->setCurrentRow(1);
    window->ConnectButton->click();
    QVERIFY(service->calls.contains(QStringLiteral("openIn 2")));
    QVERIFY(service->calls.contains(QStringLiteral("openOut 1")));
}

void TestController::identityWhileConnectingConnects()
{
    connectAndIdentify();
    QVERIFY(window->TransferButton->isEnabled());
    QVERIFY(window->TryConText->isHidden());
    QCOMPARE(window->SnEdit->text(), QStringLiteral("586-638-764"));
    QCOMPARE(window->VersionEdit->text(), QStringLiteral("1.09"));
}

void TestController::identityInOtherStatesOnlyFillsTheFields()
{
    connectAndIdentify();
    deliver(DeviceReply::identity(42, 0x0A02, QStringLiteral("Qel")));
    QCOMPARE(window->SnEdit->text(), QStringLiteral("040-000-020"));
    QCOMPARE(window->VersionEdit->text(), QStringLiteral("2.10"));
    QCOMPARE(window->connection(), int(MainWindow::Connected));
    QVERIFY(window->TransferButton->isEnabled());

    // A reply already on its way when the user disconnects still arrives:
    // it fills the two fields and changes nothing else.
    QVERIFY(service->inject(DeviceReply::identity(0, 0x0001, QStringLiteral("Qel"))));
    window->ConnectButton->click();
    QCOMPARE(window->SnEdit->text(), QString());
    QCoreApplication::sendPostedEvents(window.get(), MidiEvent::EventType);
    QCOMPARE(window->connection(), int(MainWindow::Disconnected));
    QCOMPARE(window->SnEdit->text(), QStringLiteral("000-000-000"));
    QCOMPARE(window->VersionEdit->text(), QStringLiteral("1.00"));
    QCOMPARE(window->ConnectButton->text(), QStringLiteral("Connect"));
    QVERIFY(!window->TransferButton->isEnabled());
    QVERIFY(window->MidiInList->isEnabled());

    // The device's transfer-off report while disconnected empties them again.
    window->ConnectButton->click();
    QVERIFY(service->inject(DeviceReply::identity(0, 0x0001, QStringLiteral("Qel"))));
    QVERIFY(service->inject(DeviceReply::transferState(false)));
    window->ConnectButton->click();
    QCoreApplication::sendPostedEvents(window.get(), MidiEvent::EventType);
    QCOMPARE(window->SnEdit->text(), QString());
    QCOMPARE(window->VersionEdit->text(), QString());
    QVERIFY(window->progressBar->isHidden());
}

void TestController::transferReportsMatterOnlyDuringAnUpdate()
{
    connectAndIdentify();
    // Without an update of ours (a cancelled one, say) the device's report
    // must not lock the controls: no transfer-off report would free them.
    deliver(DeviceReply::transferState(true));
    QVERIFY(window->progressBar->isHidden());
    QVERIFY(window->TransferButton->isEnabled());
    QVERIFY(window->ConnectButton->isEnabled());

    startUpdate();
    deliver(DeviceReply::transferState(true));
    QVERIFY(window->progressBar->isVisible());
    QVERIFY(!window->ConnectButton->isEnabled());
    QVERIFY(window->TransferButton->isEnabled());
    QCOMPARE(window->TransferButton->text(), QStringLiteral("Cancel"));
    // A transfer-off report mid-update hands back nothing but Cancel.
    deliver(DeviceReply::transferState(false));
    QVERIFY(window->progressBar->isHidden());
    QVERIFY(!window->ConnectButton->isEnabled());
    QCOMPARE(window->TransferButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(window->SnEdit->text(), QStringLiteral("586-638-764"));
}

void TestController::versionText_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("text");
    QTest::newRow("1.09") << 0x0901 << "1.09";
    QTest::newRow("2.10") << 0x0A02 << "2.10";
    QTest::newRow("1.00") << 0x0001 << "1.00";
    QTest::newRow("255.63") << 0x3FFF << "255.63";
}

void TestController::versionText()
{
    QFETCH(int, word);
    QFETCH(QString, text);
    window->ConnectButton->click();
    deliver(DeviceReply::identity(1, std::uint32_t(word), QStringLiteral("Qel")));
    QCOMPARE(window->VersionEdit->text(), text);
}

void TestController::foreignAndUnknownMessagesChangeNothing()
{
    connectAndIdentify();
    deliver(QByteArray::fromHex("f00011220b000000002001127f"));   // another device
    deliver(QByteArray::fromHex("f00011220a0000000035f7"));       // an unknown type
    deliver(QByteArray::fromHex("f000"));                         // cut short
    QCOMPARE(window->SnEdit->text(), QStringLiteral("586-638-764"));
    QCOMPARE(window->connection(), int(MainWindow::Connected));
    QVERIFY(window->TransferButton->isEnabled());
}

void TestController::tickTimerReachesTheEngine()
{
    QCOMPARE(window->tickTimer()->interval(), MainWindow::TickInterval);
    QVERIFY(window->tickTimer()->isActive());
    connectAndIdentify();
    startUpdate(); // ResetNand goes out; the device stays silent
    QVERIFY(window->updateEngine().isRunning());
    const int armed = window->updateEngine().replyTimeout();
    QVERIFY(armed > 0);
    tick();
    QCOMPARE(window->updateEngine().replyTimeout(), armed - 1);
}

void TestController::close1ClosesPortsNowAndWindowFiveTicksLater()
{
    connectAndIdentify();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "close1"));
    QVERIFY(!service->isInOpen() && !service->isOutOpen());
    QCOMPARE(window->connection(), int(MainWindow::Disconnected));
    QCOMPARE(window->ConnectButton->text(), QStringLiteral("Disconnect")); // look kept until it closes
    tick(MainWindow::CloseDelayTicks - 1);
    QVERIFY(window->isVisible());
    tick();
    QVERIFY(!window->isVisible());
}

void TestController::closingDuringAnUpdateAsksFirst()
{
    connectAndIdentify();
    startUpdate();
    QVERIFY(!window->close());
    auto *question = window->findChild<QMessageBox *>(QStringLiteral("CloseQuestion"));
    QVERIFY(question);
    QVERIFY(question->text().contains(QStringLiteral("updated again")));
    answer(QStringLiteral("CloseQuestion"), QMessageBox::No);
    QVERIFY(window->isVisible());
    QVERIFY(window->updateEngine().isRunning());

    QVERIFY(!window->close());
    const int sentBefore = int(service->sent.size());
    answer(QStringLiteral("CloseQuestion"), QMessageBox::Yes);
    QVERIFY(!window->isVisible());
    QVERIFY(!window->updateEngine().isRunning());
    QCOMPARE(int(service->sent.size()), sentBefore);
}

void TestController::unreadableImageIsReported()
{
    connectAndIdentify();
    window->setImagePath(QStringLiteral(":/no/such/image.bin"));
    const int sentBefore = int(service->sent.size());
    startUpdate();
    QCOMPARE(int(service->sent.size()), sentBefore);
    auto *box = window->findChild<QMessageBox *>(QStringLiteral("OutcomeBox"));
    QVERIFY(box);
    QVERIFY(box->text().contains(QStringLiteral("could not be read")));
    QVERIFY(window->TransferButton->isEnabled());
    QVERIFY(window->ConnectButton->isEnabled());
}

QTEST_MAIN(TestController)
#include "tst_controller.moc"
