#include "mainwindow.h"

#include "firmwareversion.h"
#include "midievent.h"
#include "midiservicefactory.h"
#include "portchoice.h"
#include "resourcepaths.h"
#include "updateduration.h"

#include <QCloseEvent>
#include <QFile>
#include <QIcon>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QTimer>

// Every received message as hex; off unless QT_LOGGING_RULES="qel.trace.debug=true".
Q_LOGGING_CATEGORY(lcTrace, "qel.trace", QtWarningMsg)

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(createMidiServiceFromEnvironment(), parent)
{
}

MainWindow::MainWindow(std::unique_ptr<MidiService> service, QWidget *parent)
    : QMainWindow(parent), link(std::move(service)), engine(link),
      imagePath(ResourcePaths::FirmwareImage)
{
    setupUi(this);
}

MainWindow::~MainWindow()
{
    // Stop callbacks before the window they post to goes away.
    link.closePorts();
}

void MainWindow::Init()
{
    connect(ConnectButton, &QPushButton::clicked, this, &MainWindow::Connect);
    connect(TransferButton, &QPushButton::clicked, this, &MainWindow::onTransferClicked);
    connect(&engine, &UpdateEngine::trace, this, &MainWindow::log);
    connect(&engine, &UpdateEngine::blockShown, this,
            [this](int block) { BlockEdit->setText(QString::number(block)); });
    connect(&engine, &UpdateEngine::pageShown, this,
            [this](int page) { PageEdit->setText(QString::number(page)); });
    connect(&engine, &UpdateEngine::progressChanged, this, &MainWindow::showProgress);
    connect(&engine, &UpdateEngine::finished, this, &MainWindow::showOutcome);

    connectionState = Disconnected;
    inPortRow = 0;
    outPortRow = 0;
    link.setReceiver(this);
    link.setTraceEnabled(lcTrace().isDebugEnabled());

    progressBar->hide();
    TryConText->hide();
    TransferButton->setEnabled(false);
    LogText->setMaximumBlockCount(LogLines);

    // Rows start on ports that look like the device's, else on row 0.
    showPorts(MidiInList, link.portNames(true));
    showPorts(MidiOutList, link.portNames(false));

    TransferButton->setText(tr("Update"));
    // Larger than the label on purpose: it is clipped, not scaled.
    IconLabel->setPixmap(QIcon(ResourcePaths::DevicePicture).pixmap(QSize(320, 87)));

    updateTimer = new QTimer(this);
    connect(updateTimer, &QTimer::timeout, this, &MainWindow::update);
    updateTimer->start(TickInterval);
}

void MainWindow::showPorts(QListWidget *list, const QStringList &names)
{
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->item(i)->text();
    if (shown == names)
        return;
    const QString selected = list->currentItem() ? list->currentItem()->text() : QString();
    list->clear();
    list->addItems(names);
    list->setCurrentRow(PortChoice::rowFor(names, selected));
}

void MainWindow::followPorts()
{
    showPorts(MidiInList, link.portNames(true));
    showPorts(MidiOutList, link.portNames(false));
}

void MainWindow::Connect()
{
    if (connectionState == Disconnected) {
        inPortRow = MidiInList->currentRow();
        outPortRow = MidiOutList->currentRow();
        if (link.openPorts(inPortRow, outPortRow)) {
            connectionState = Connecting;
            identifyClock.start();
            link.sendIdentify();
        } else {
            log(tr("Could not open the chosen MIDI ports."));
        }
    } else {
        link.closePorts();
        connectionState = Disconnected;
    }
    ShowConnectionState();
}

void MainWindow::ShowConnectionState()
{
    switch (connectionState) {
    case Disconnected:
        TryConText->hide();
        progressBar->hide();
        MidiInList->setEnabled(true);
        MidiOutList->setEnabled(true);
        ConnectButton->setText(tr("Connect"));
        ConnectButton->setEnabled(true);
        TransferButton->setEnabled(false);
        SnEdit->setText(QString());
        VersionEdit->setText(QString());
        StatusText->clear();
        break;
    case Connecting:
    case Connected:
        TryConText->setVisible(connectionState == Connecting);
        progressBar->hide();
        MidiInList->setEnabled(false);
        MidiOutList->setEnabled(false);
        ConnectButton->setText(tr("Disconnect"));
        ConnectButton->setEnabled(true);
        TransferButton->setEnabled(connectionState == Connected);
        break;
    default:
        return;
    }
    // The device's own reports must not hand the user the controls
    // mid-update; Update turns into Cancel instead.
    const bool running = engine.isRunning();
    TransferButton->setText(running ? tr("Cancel") : tr("Update"));
    if (running) {
        ConnectButton->setEnabled(false);
        TransferButton->setEnabled(true);
    }
}

void MainWindow::ShowIdentity()
{
    shownSerialText = link.serialText();
    shownVersion = link.firmwareVersion();
    SnEdit->setText(shownSerialText);
    VersionEdit->setText(FirmwareVersion::text(shownVersion));
    StatusText->setText(FirmwareVersion::verdict(shownVersion));
}

bool MainWindow::event(QEvent *e)
{
    if (e->type() != MidiEvent::EventType)
        return QWidget::event(e);
    const ReplyCode code = link.takeReply(*static_cast<MidiEvent *>(e));
    if (lcTrace().isDebugEnabled())
        qCDebug(lcTrace).noquote() << tr("e=%1 %2").arg(int(code)).arg(link.traceText());
    dispatch(code);
    return true;
}

void MainWindow::dispatch(ReplyCode code)
{
    switch (code) {
    case ReplyIdentify:
        if (connectionState == Connecting) {
            roundTripUs = identifyClock.nsecsElapsed() / 1000;
            connectionState = Connected;
            ShowConnectionState();
        }
        ShowIdentity();
        break;
    case ReplyTransferOff:
        ShowConnectionState();
        progressBar->hide();
        break;
    case ReplyTransferOn:
        // After a cancel the device's late report must not lock the controls:
        // its transfer-off report will never come.
        if (!engine.isRunning())
            break;
        progressBar->setRange(0, qMax(1, engine.totalPages()));
        progressBar->setValue(0);
        progressBar->show();
        ConnectButton->setEnabled(false);
        break;
    case ReplyReadDefectList:
    case ReplyReadChunk:
    case ReplyEraseBlock:
    case ReplyBeginPage:
    case ReplyPageData:
    case ReplyProgramPage:
    case ReplyResetNand:
        engine.handleReply(code);
        break;
    default:
        break;
    }
}

void MainWindow::Transfer()
{
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    TransferButton->setEnabled(false);
    ConnectButton->setEnabled(false);
    BlockEdit->clear();
    PageEdit->clear();

    QFile file(imagePath);
    QByteArray image;
    if (file.open(QIODevice::ReadOnly))
        image = file.readAll();
    eta.reset();
    updateClock.start();
    engine.start(image); // an empty image ends at once with a message
    if (engine.isRunning()) {
        TransferButton->setText(tr("Cancel"));
        TransferButton->setEnabled(true);
        StatusText->clear();
    }
}

void MainWindow::onTransferClicked()
{
    if (engine.isRunning())
        askToCancelUpdate();
    else if (connectionState == Connected)
        askToStartUpdate();
}

void MainWindow::askToStartUpdate()
{
    const qint64 expected = UpdateDuration::expectedMs(roundTripUs, QFile(imagePath).size());
    startQuestion.ask(this, QStringLiteral("StartQuestion"), tr("Update the Qel"),
                      UpdateDuration::confirmation(shownVersion, expected), [this] {
                          if (connectionState == Connected && !engine.isRunning())
                              Transfer();
                      });
}

void MainWindow::askToCancelUpdate()
{
    cancelQuestion.ask(this, QStringLiteral("CancelQuestion"), tr("Cancel the update"),
                       tr("If you cancel now, the Qel is left without working firmware and must be "
                          "updated again before use.\n\nCancel the update?"),
                       [this] { engine.cancel(); });
}

void MainWindow::update()
{
    engine.tick();
    if (connectionState == Disconnected && --portPollCountdown <= 0) {
        portPollCountdown = PortPollTicks;
        followPorts();
    }
    if (closeCountdown > 0 && --closeCountdown == 0)
        close();
}

void MainWindow::close1()
{
    link.closePorts();
    connectionState = Disconnected;
    closeCountdown = CloseDelayTicks;
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    if (!engine.isRunning() || closeConfirmed) {
        engine.cancel();
        e->accept();
        return;
    }
    e->ignore();
    askToStopUpdate();
}

void MainWindow::askToStopUpdate()
{
    closeQuestion.ask(this, QStringLiteral("CloseQuestion"), tr("Update in progress"),
                      tr("An update is running. If you close now, the Qel is left "
                         "without working firmware and must be updated again before use.\n\n"
                         "Stop the update and close?"),
                      [this] {
                          closeConfirmed = true;
                          close();
                      });
}

void MainWindow::log(const QString &line)
{
    LogText->appendPlainText(line.endsWith(QLatin1Char('\n')) ? line.chopped(1) : line);
}

void MainWindow::showProgress(int done, int total)
{
    progressBar->setRange(0, qMax(1, total));
    progressBar->setValue(done);
    eta.addSample(updateClock.elapsed(), done, total);
    // The block and page as the NAND fields show them.
    QString status = tr("Block %1, page %2").arg(BlockEdit->text(), PageEdit->text());
    if (eta.remainingMs() != EtaEstimator::Unknown)
        status += QLatin1Char('\n') + UpdateDuration::remainingText(eta.remainingMs());
    StatusText->setText(status);
}

void MainWindow::showOutcome(UpdateOutcome outcome, const QString &message)
{
    log(message);
    // The questions no longer apply once the update is over.
    startQuestion.withdraw();
    cancelQuestion.withdraw();
    ShowConnectionState();
    if (outcome == UpdateOutcome::Success) {
        progressBar->show();
        // Ask again, so that the fields show the firmware the device runs now.
        link.sendIdentify();
    }
    auto *box = new QMessageBox(outcome == UpdateOutcome::Success ? QMessageBox::Information : QMessageBox::Warning,
                                outcome == UpdateOutcome::Success ? tr("Update finished") : tr("Update failed"),
                                message, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("OutcomeBox"));
    StatusText->setText(outcome == UpdateOutcome::Success ? tr("Update complete.")
                        : outcome == UpdateOutcome::Cancelled
                            ? tr("Update cancelled: the Qel must be updated again before use.")
                            : tr("Update failed."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
