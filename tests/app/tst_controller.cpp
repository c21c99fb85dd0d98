// The window on a scripted MIDI service, driven without a clock: a simulated
// device answers each send onto a wire, the test hands the replies over one at
// a time and fires the tick timer itself.

#include "devicereplies.h"
#include "mainwindow.h"
#include "qtbytes.h"
#include "resourcepaths.h"
#include "simdevice.h"
#include "simsetup.h"
#include "simworld.h"
#include "testmidiservice.h"
#include "translations.h"

#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <deque>

class TestController : public QObject
{
    Q_OBJECT

private slots:
    void init() { make(); }
    void cleanup()
    {
        QCoreApplication::removeTranslator(&appTranslator);
        QCoreApplication::removeTranslator(&qtTranslator);
    }
    void portLists_data();
    void portLists();
    void portListsFollowThePlugs();
    void lookFromStartToDisconnect();
    void noAnswerIsTold();
    void updateAndCancel();
    void ticksAndClosing();
    void outcome_data();
    void outcome();
    void statusAgreesWithTheFields();
    void findsTheQels_data();
    void findsTheQels();
    void tabOrder_data();
    void tabOrder();
    void mnemonics_data();
    void mnemonics();

private:
    std::unique_ptr<MainWindow> window;
    TestMidiService *service = nullptr;  // owned by the window's session
    SimDevice device;
    std::deque<QByteArray> wire;
    QTemporaryDir dir;
    QTranslator appTranslator;
    QTranslator qtTranslator;

    // An image file of so many pages; the built-in one takes seconds to write.
    QString pagesImage(int pages)
    {
        QFile file(dir.filePath(QStringLiteral("image%1.bin").arg(pages)));
        const bool written = file.open(QIODevice::WriteOnly) && file.write(QByteArray(pages * 2048, '\x5a')) > 0;
        return written ? file.fileName() : QString();
    }

    void make(QStringList in = {QStringLiteral("Qel IN")}, QStringList out = {QStringLiteral("Qel OUT")})
    {
        window.reset();
        wire.clear();
        device = SimDevice();
        device.storeListCopies(1, {}, 0);
        auto midi = std::make_unique<TestMidiService>();
        midi->inNames = std::move(in);
        midi->outNames = std::move(out);
        midi->onSend = [this](const QByteArray &message) {
            for (const Bytes &reply : device.handle(toBytes(message)))
                wire.push_back(toQByteArray(reply));
        };
        service = midi.get();
        window = std::make_unique<MainWindow>(std::move(midi));
        window->show();
        window->Init();
    }

    // Helpers that can fail return false. This one hands `message`, or else
    // the oldest reply on the wire, to the input port.
    bool release(QByteArray message = {})
    {
        if (message.isEmpty() && !wire.empty()) {
            message = wire.front();
            wire.pop_front();
        }
        if (message.isEmpty() || !service->inject(message))
            return false;
        window->updateSession().deviceLink().ports().takeWaiting();
        return true;
    }

    // Fires the window's own timer, as its interval would.
    void tick(int count = 1)
    {
        while (count-- > 0)
            QMetaObject::invokeMethod(window->tickTimer(), "timeout");
    }

    // The message box of that name on view; null when there is none.
    QMessageBox *box(const QString &name) const
    {
        auto *found = window->findChild<QMessageBox *>(name);
        return found && found->isVisible() ? found : nullptr;
    }
    bool boxSays(const QString &name, const QString &part) const { return box(name) && box(name)->text().contains(part); }

    bool answer(const QString &name, QMessageBox::StandardButton button)
    {
        QMessageBox *question = box(name);
        if (!question)
            return false;
        question->button(button)->click();
        // The answered box is gone before the next one is looked for.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return true;
    }

    bool connectDevice()
    {
        window->ConnectButton->click();
        return release() && window->connection() == MainWindow::Connected;
    }

    // Key events reach shortcuts in the active window only.
    bool activate()
    {
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    // A mnemonic presses a button and clicks it when its animation timer
    // fires; the test fires it now, as it fires the tick timer.
    void endButtonAnimations()
    {
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
            for (const auto &timer : QAbstractEventDispatcher::instance()->registeredTimers(button)) {
                QTimerEvent event(timer.timerId);
                QCoreApplication::sendEvent(button, &event);
            }
        }
    }

    bool startUpdate()
    {
        window->TransferButton->click();
        return answer(QStringLiteral("StartQuestion"), QMessageBox::Yes) && window->updateSession().isUpdating();
    }
};

void TestController::portLists_data()
{
    QTest::addColumn<QStringList>("ins");
    QTest::addColumn<QStringList>("outs");
    QTest::addColumn<int>("inRow");
    QTest::addColumn<int>("outRow");
    QStringList many;
    for (int i = 0; i < 120; ++i)
        many << QStringLiteral("port %1").arg(i);
    QTest::newRow("the device's, wherever listed") << QStringList{"Midi Through", "USB 1", "QEL Rack OUT"}
                                                    << QStringList{"Midi Through", "Qel Rack IN"} << 2 << 1;
    QTest::newRow("120, none the device's") << many << many << 0 << 0;
    QTest::newRow("none") << QStringList() << QStringList() << -1 << -1;
}

void TestController::portLists()
{
    QFETCH(QStringList, ins);
    QFETCH(QStringList, outs);
    QFETCH(int, inRow);
    QFETCH(int, outRow);
    make(ins, outs);
    MainWindow &w = *window;
    QCOMPARE(w.MidiInList->count(), qMin(int(ins.size()), MainWindow::MaxPortsListed));
    QCOMPARE(w.MidiInList->currentRow(), inRow);
    QCOMPARE(w.MidiOutList->currentRow(), outRow);

    w.ConnectButton->click();
    QVERIFY(service->calls.contains(QStringLiteral("openIn %1").arg(inRow)));
    QVERIFY(service->calls.contains(QStringLiteral("openOut %1").arg(outRow)));
    // Identify goes out only over ports that opened.
    QCOMPARE(w.connection(), int(inRow < 0 ? MainWindow::Disconnected : MainWindow::Connecting));
    QCOMPARE(service->sent.size(), inRow < 0 ? 0 : 1);
    QCOMPARE(w.LogText->toPlainText().contains(QStringLiteral("Could not open")), inRow < 0);
}

void TestController::portListsFollowThePlugs()
{
    make({QStringLiteral("Midi Through"), QStringLiteral("USB 1"), QStringLiteral("Qel OUT")});
    MainWindow &w = *window;
    w.MidiInList->setCurrentRow(1);  // the user prefers USB 1
    // A port plugged in ahead of it: the lists follow, the choice stays.
    service->inNames.prepend(QStringLiteral("USB 10"));
    tick(MainWindow::PortPollTicks);
    QCOMPARE(w.MidiInList->item(0)->text(), QStringLiteral("USB 10"));
    QCOMPARE(w.MidiInList->currentItem()->text(), QStringLiteral("USB 1"));
    // The chosen port unplugged: back to the device's, which Connect uses.
    service->inNames.removeAll(QStringLiteral("USB 1"));
    tick(MainWindow::PortPollTicks);
    QCOMPARE(w.MidiInList->currentItem()->text(), QStringLiteral("Qel OUT"));
    QVERIFY(connectDevice());
    QVERIFY(service->calls.contains(QStringLiteral("openIn 2")));
    // While connected the lists stand still.
    service->inNames.clear();
    tick(3 * MainWindow::PortPollTicks);
    QCOMPARE(w.MidiInList->count(), 3);
}

// A Qel that never answers, however often it is asked, is named as such and
// the ports are let go.
void TestController::noAnswerIsTold()
{
    MainWindow &w = *window;
    w.ConnectButton->click();
    wire.clear();  // every answer lost
    tick(MainWindow::IdentifyTimeoutTicks - 1);
    QCOMPARE(w.connection(), int(MainWindow::Connecting));
    tick();
    QCOMPARE(w.connection(), int(MainWindow::Disconnected));
    QVERIFY(w.StatusText->text().contains(QStringLiteral("did not answer")));
    QVERIFY(w.LogText->toPlainText().contains(QStringLiteral("did not answer")));
    QVERIFY(w.MidiInList->isEnabled() && w.ConnectButton->isEnabled());
    const auto identifies = std::count_if(service->sent.begin(), service->sent.end(), [](const QByteArray &m) {
        return m.size() > SysEx::CommandOffset && m[SysEx::CommandOffset] == char(Command::Identify);
    });
    QVERIFY(identifies > 1);
}

void TestController::lookFromStartToDisconnect()
{
    MainWindow &w = *window;
    QVERIFY(w.progressBar->isHidden() && w.TryConText->isHidden() && !w.TransferButton->isEnabled());

    w.ConnectButton->click();  // the answer stays on the wire for now
    QVERIFY(w.TryConText->isVisible() && !w.TransferButton->isEnabled());
    QVERIFY(!w.MidiInList->isEnabled() && !w.MidiOutList->isEnabled());
    QCOMPARE(w.ConnectButton->text(), QStringLiteral("Dis&connect"));
    tick(MainWindow::IdentifyTimeoutTicks - 1);  // Identify asked again meanwhile, the first answer still comes
    QCOMPARE(w.connection(), int(MainWindow::Connecting));

    QVERIFY(release());
    QCOMPARE(w.connection(), int(MainWindow::Connected));
    QVERIFY(w.TryConText->isHidden() && w.TransferButton->isEnabled());
    QCOMPARE(w.SnEdit->text(), QStringLiteral("586-638-764"));
    QCOMPARE(w.VersionEdit->text(), QStringLiteral("1.08"));
    QVERIFY(w.StatusText->text().contains(QStringLiteral("1.08")));

    // Update asks first, once however often it is pressed; No sends nothing.
    const qsizetype sentBefore = service->sent.size();
    w.TransferButton->click();
    w.TransferButton->click();
    QCOMPARE(w.findChildren<QMessageBox *>().size(), 1);
    QVERIFY(answer(QStringLiteral("StartQuestion"), QMessageBox::No));
    QVERIFY(service->sent.size() == sentBefore && !w.updateSession().isUpdating());

    w.ConnectButton->click();
    QCOMPARE(w.connection(), int(MainWindow::Disconnected));
    QVERIFY(!service->isInOpen() && !service->isOutOpen());
    QVERIFY(w.MidiInList->isEnabled() && w.MidiOutList->isEnabled() && !w.TransferButton->isEnabled());
    QCOMPARE(w.ConnectButton->text(), QStringLiteral("&Connect"));
    QVERIFY(w.SnEdit->text().isEmpty() && w.VersionEdit->text().isEmpty() && w.StatusText->text().isEmpty());
}

void TestController::updateAndCancel()
{
    MainWindow &w = *window;
    QVERIFY(connectDevice());
    // Without an update of ours (a cancelled one, say) the device's report
    // must not lock the controls: no transfer-off report would free them.
    QVERIFY(release(toQByteArray(DeviceReply::transferState(true))));
    QVERIFY(w.progressBar->isHidden() && w.ConnectButton->isEnabled());

    QVERIFY(startUpdate() && !w.ConnectButton->isEnabled());
    // The widgets follow at the tick, not with each reply.
    while (w.progressBar->value() < 3) {
        QVERIFY(release());
        tick();
    }
    QVERIFY(w.progressBar->isVisible());
    QCOMPARE(w.progressBar->maximum(), int((QFileInfo(ResourcePaths::FirmwareImage).size() + 2047) / 2048));
    const QString status = w.StatusText->text();
    QCOMPARE(w.BlockEdit->text(), QStringLiteral("1"));
    QVERIFY2(status.startsWith(QStringLiteral("Block 1, page %1\n").arg(w.PageEdit->text())), qPrintable(status));
    QVERIFY2(status.endsWith(QStringLiteral(" left")), qPrintable(status));
    // A transfer-off report mid-update hands back nothing but Cancel.
    QVERIFY(release(toQByteArray(DeviceReply::transferState(false))));
    QVERIFY(!w.ConnectButton->isEnabled() && w.TransferButton->isEnabled());
    QCOMPARE(w.TransferButton->text(), QStringLiteral("&Cancel"));

    // Answering No goes on with the update.
    w.TransferButton->click();
    QVERIFY(answer(QStringLiteral("CancelQuestion"), QMessageBox::No));
    QVERIFY(w.updateSession().isUpdating() && release());

    w.TransferButton->click();
    QVERIFY(boxSays(QStringLiteral("CancelQuestion"), QStringLiteral("updated again")));
    QVERIFY(answer(QStringLiteral("CancelQuestion"), QMessageBox::Yes));
    const qsizetype sentAtCancel = service->sent.size();
    // The answer to the last message, and time, move nothing.
    while (release()) {
    }
    tick(3 * ReplyTimer::CeilingTicks);
    QCOMPARE(service->sent.size(), sentAtCancel);

    QVERIFY(boxSays(QStringLiteral("OutcomeBox"), QStringLiteral("run again")));
    QVERIFY(w.StatusText->text().contains(QStringLiteral("updated again")));
    // No transfer-off report comes after a cancel; the controls are back all the same.
    QVERIFY(w.ConnectButton->isEnabled() && w.TransferButton->isEnabled());
    QCOMPARE(w.TransferButton->text(), QStringLiteral("&Update"));
}

void TestController::ticksAndClosing()
{
    MainWindow &w = *window;
    QCOMPARE(w.tickTimer()->interval(), MainWindow::TickInterval);
    QVERIFY(connectDevice() && startUpdate());  // ResetNand's answer stays on the wire
    const UpdateEngine &engine = w.updateSession().updateEngine();
    const int armed = engine.replyTimeout();
    tick();
    QCOMPARE(engine.replyTimeout(), armed - 1);

    // Closing mid-update asks first.
    const QString name = QStringLiteral("CloseQuestion");
    QVERIFY(!w.close() && boxSays(name, QStringLiteral("updated again")));
    QVERIFY(answer(name, QMessageBox::No));
    QVERIFY(w.isVisible() && w.updateSession().isUpdating());
    QVERIFY(!w.close());
    const qsizetype sentBefore = service->sent.size();
    QVERIFY(answer(name, QMessageBox::Yes));
    QVERIFY(!w.isVisible() && !w.updateSession().isUpdating());
    while (release()) {
    }
    QCOMPARE(service->sent.size(), sentBefore);
}

void TestController::outcome_data()
{
    QTest::addColumn<QString>("image");   // empty: the built-in one; "10": one of 10 pages
    QTest::addColumn<bool>("unhealthy");  // a new flash with four factory-bad blocks
    QTest::addColumn<QString>("messageHas");
    QTest::addColumn<QString>("statusHas");
    QTest::addColumn<int>("reportedAfter");  // the version the Qel answers with after the update; -1: none
    const QString restart = QStringLiteral("1.09 was written. The Qel starts it after it is switched off and on.");
    QTest::newRow("unreadable image") << ":/no/such/image.bin" << false << "could not be read" << "Update failed."
                                      << 0x0901;
    QTest::newRow("unhealthy flash") << "" << true << "4 blocks that were faulty" << "Update failed." << 0x0901;
    const QString runs = QStringLiteral("The update is complete: the device now carries firmware 1.09.");
    QTest::newRow("written, runs 1.09") << "" << false << runs << runs << 0x0901;
    QTest::newRow("written, still runs 1.08") << "10" << false << restart << restart << 0x0801;
    QTest::newRow("written, no answer after") << "10" << false << restart << restart << -1;
}

void TestController::outcome()
{
    QFETCH(QString, image);
    QFETCH(bool, unhealthy);
    QFETCH(QString, messageHas);
    QFETCH(QString, statusHas);
    QFETCH(int, reportedAfter);
    const bool success = (image.isEmpty() || image == QLatin1String("10")) && !unhealthy;
    // The Identify after the update (the first message is one) has that answer.
    service->onSend = [this, reportedAfter, answer = service->onSend](const QByteArray &message) {
        const bool after = message == service->sent.constFirst() && device.finishCount() > 0;
        if (after && reportedAfter >= 0)
            device.setIdentity({123456789, std::uint32_t(reportedAfter), "Qel"});
        if (!after || reportedAfter >= 0)
            answer(message);
    };
    if (unhealthy) {
        device.eraseAll();
        device.setFactoryDefects({7, 8, 9, 10});
    }
    MainWindow &w = *window;
    QVERIFY(connectDevice());
    if (!image.isEmpty())
        w.updateSession().setImagePath(image == QLatin1String("10") ? pagesImage(10) : image);
    w.TransferButton->click();
    QVERIFY(answer(QStringLiteral("StartQuestion"), QMessageBox::Yes));
    while (release()) {
    }
    // A success is told once the device has said which firmware it runs, and
    // the controls wait for that.
    const bool waits = success && reportedAfter < 0;
    QCOMPARE(box(QStringLiteral("OutcomeBox")) == nullptr, waits);
    QCOMPARE(w.TransferButton->isEnabled() || w.ConnectButton->isEnabled(), !waits);
    tick(UpdateSession::AfterUpdateAnswerTicks);
    QMessageBox *shown = box(QStringLiteral("OutcomeBox"));
    QVERIFY(shown);
    QVERIFY2(shown->text().contains(messageHas), qPrintable(shown->text()));
    QCOMPARE(shown->icon(), success ? QMessageBox::Information : QMessageBox::Warning);
    QVERIFY(w.LogText->toPlainText().contains(messageHas));
    // One ending: the dialog, the log's last line and the status line say the same.
    if (success) {
        QCOMPARE(w.StatusText->text(), shown->text());
        QCOMPARE(w.LogText->toPlainText().section(QLatin1Char('\n'), -1), shown->text());
    }
    QCOMPARE(shown->text().contains(QStringLiteral("now carries")), reportedAfter == 0x0901 && success);
    QVERIFY2(w.StatusText->text().contains(statusHas), qPrintable(w.StatusText->text()));
    QVERIFY(!w.StatusText->text().contains(QStringLiteral("recommended")));
    QVERIFY(w.TransferButton->isEnabled() && w.ConnectButton->isEnabled());
    QCOMPARE(w.TransferButton->text(), QStringLiteral("&Update"));
    // An unhealthy flash is left unwritten.
    QCOMPARE(bool(device.storedList()), !unhealthy);
    QCOMPARE(device.finishCount(), int(success));
    QVERIFY(device.violations().empty());
    // After a success the identity is asked for again.
    QCOMPARE(w.VersionEdit->text(), QLatin1String(success && reportedAfter == 0x0901 ? "1.09" : "1.08"));
    QCOMPARE(w.progressBar->value() == w.progressBar->maximum(), success);
}

// Through a program failure, which moves the image block to the next good
// block from its page 0, the status line names the block and page the fields show.
void TestController::statusAgreesWithTheFields()
{
    device.failProgram(1, 5);
    MainWindow &w = *window;
    w.updateSession().setImagePath(pagesImage(10));
    QStringList disagreements;
    QStringList blocks;
    QObject scope;
    connect(&w.updateSession(), &UpdateSession::progressChanged, &scope, [&] {
        const QString fields = QStringLiteral("Block %1, page %2").arg(w.BlockEdit->text(), w.PageEdit->text());
        if (w.StatusText->text().section(QLatin1Char('\n'), 0, 0) != fields)
            disagreements << fields + QStringLiteral(" | ") + w.StatusText->text();
        if (blocks.isEmpty() || blocks.constLast() != w.BlockEdit->text())
            blocks << w.BlockEdit->text();
    });
    QVERIFY(connectDevice() && startUpdate());
    while (release())
        tick();
    QCOMPARE(disagreements, QStringList());
    QCOMPARE(blocks.mid(0, 3), (QStringList{"", "1", "2"}));
}

void TestController::findsTheQels_data()
{
    QTest::addColumn<int>("devices");
    QTest::addColumn<bool>("userPicks");  // the user clicks the last row while it asks
    QTest::addColumn<int>("row");         // chosen in both lists
    QTest::addColumn<QString>("status");

    QTest::newRow("one Qel") << 1 << false << 0
                             << "Qel 586-638-764 found on Qel (simulated) MIDI OUT and Qel (simulated) MIDI IN.";
    QTest::newRow("three: the first by serial")
        << 3 << false << 1 << "3 Qels found; Qel 596-638-774 on Qel (simulated) 2 MIDI OUT and Qel (simulated) 2 MIDI IN is chosen.";
    QTest::newRow("the user's choice stays") << 3 << true << 2 << "";
}

// The window asks every port pair at start and preselects the Qel that
// answers, unless the user chose first.
void TestController::findsTheQels()
{
    QFETCH(int, devices);
    QFETCH(bool, userPicks);
    qputenv("QEL_SIM_DEVICES", QByteArray::number(devices));
    const auto world = createSimWorldFromEnvironment();
    qunsetenv("QEL_SIM_DEVICES");
    if (devices > 1) {
        // The device on the first pair comes last by serial, so that the choice shows.
        world->worker(0).withDevice([](SimDevice &d) { d.setIdentity({999999999u, 0x0801u, "Qel"}); });
    }
    window = std::make_unique<MainWindow>(createSimService(world), [world] { return createSimService(world); });
    window->show();
    window->Init();
    QListWidget *in = window->MidiInList;
    if (userPicks)
        QTest::mouseClick(in->viewport(), Qt::LeftButton, {}, in->visualItemRect(in->item(2)).center());
    for (int t = 0; t <= Discovery::durationTicks(devices); ++t) {
        for (int k = 0; k < devices; ++k)
            world->worker(k).waitIdle();
        QCoreApplication::sendPostedEvents();
        tick();
    }
    QTEST(window->StatusText->text(), "status");
    QTEST(in->currentRow(), "row");
    QCOMPARE(window->MidiOutList->currentRow(), userPicks ? 0 : in->currentRow());
}

void TestController::tabOrder_data()
{
    QTest::addColumn<bool>("connected");
    // From the focus the window opens with (or Connect), Tab by Tab, round to it again.
    QTest::addColumn<QStringList>("stops");
    const QStringList fields{"LogText", "SnEdit", "VersionEdit", "BlockEdit", "PageEdit"};
    // Update is disabled before Connect, the port lists after it.
    QTest::newRow("at start") << false
                              << QStringList{"MidiInList", "MidiOutList", "ConnectButton", "VerifyCheck"} + fields
                                     + QStringList{"MidiInList"};
    QTest::newRow("connected") << true
                               << QStringList{"ConnectButton", "VerifyCheck", "TransferButton"} + fields
                                      + QStringList{"ConnectButton"};
}

void TestController::tabOrder()
{
    QFETCH(bool, connected);
    QFETCH(QStringList, stops);
    QVERIFY(activate());
    if (connected) {
        QVERIFY(connectDevice());
        window->ConnectButton->setFocus();
    }
    auto focusName = [this] { return window->focusWidget() ? window->focusWidget()->objectName() : QString(); };
    // Each stop has a name a screen reader speaks: its text, a buddy's, or its own.
    QStringList unnamed;
    auto spokenName = [&] {
        QAccessibleInterface *widget = QAccessible::queryAccessibleInterface(window->focusWidget());
        if (!widget || widget->text(QAccessible::Name).isEmpty())
            unnamed << focusName();
    };
    QStringList visited{focusName()};
    spokenName();
    while (visited.size() < stops.size()) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        visited << focusName();
        spokenName();
    }
    QCOMPARE(visited, stops);
    QCOMPARE(unnamed, QStringList());
    // Shift+Tab walks the same way back.
    QStringList back{focusName()};
    while (back.size() < stops.size()) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        back << focusName();
    }
    std::reverse(back.begin(), back.end());
    QCOMPARE(back, stops);
}

void TestController::mnemonics_data()
{
    QTest::addColumn<bool>("german");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("key");           // with Alt
    QTest::addColumn<QString>("reaction");  // the connection, then "asks" and "verify" when so
    QTest::addColumn<QString>("focus");     // where a label's or a group's mnemonic leads; empty for buttons

    QTest::newRow("Alt+C connects") << false << false << int(Qt::Key_C) << "Connecting" << "";
    QTest::newRow("Alt+C disconnects") << false << true << int(Qt::Key_C) << "Disconnected" << "";
    QTest::newRow("Alt+U asks before writing") << false << true << int(Qt::Key_U) << "Connected asks" << "";
    QTest::newRow("Alt+U, not connected") << false << false << int(Qt::Key_U) << "Disconnected" << "MidiInList";
    QTest::newRow("Alt+V verifies") << false << false << int(Qt::Key_V) << "Disconnected verify" << "";
    QTest::newRow("Alt+O, the MIDI OUT list") << false << false << int(Qt::Key_O) << "Disconnected" << "MidiOutList";
    QTest::newRow("Alt+E, the version") << false << false << int(Qt::Key_E) << "Disconnected" << "VersionEdit";
    QTest::newRow("German: Alt+V connects") << true << false << int(Qt::Key_V) << "Connecting" << "";
    QTest::newRow("German: Alt+U asks") << true << true << int(Qt::Key_U) << "Connected asks" << "";
    QTest::newRow("German: Alt+P verifies") << true << false << int(Qt::Key_P) << "Disconnected verify" << "";
    QTest::newRow("German: Alt+T, the page") << true << false << int(Qt::Key_T) << "Disconnected" << "PageEdit";
}

void TestController::mnemonics()
{
    QFETCH(bool, german);
    QFETCH(bool, connected);
    QFETCH(int, key);
    QFETCH(QString, focus);
    if (german) {
        Translations::installGerman(appTranslator, qtTranslator);
        make();
    }
    QVERIFY(activate());
    QVERIFY(!connected || connectDevice());
    window->MidiInList->setFocus();
    QTest::keyClick(window.get(), Qt::Key(key), Qt::AltModifier);
    if (!focus.isEmpty())
        QCOMPARE(window->focusWidget()->objectName(), focus);
    endButtonAnimations();
    QStringList reaction{QVariant::fromValue(UpdateSession::ConnectionState(window->connection())).toString()};
    if (box(QStringLiteral("StartQuestion")))
        reaction << QStringLiteral("asks");
    if (window->updateSession().verify())
        reaction << QStringLiteral("verify");
    QTEST(reaction.join(QLatin1Char(' ')), "reaction");
}

QTEST_MAIN(TestController)
#include "tst_controller.moc"
