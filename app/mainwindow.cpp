#include "mainwindow.h"

#include "midievent.h"
#include "midiservicefactory.h"
#include "resourcepaths.h"

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
    connect(TransferButton, &QPushButton::clicked, this, &MainWindow::Transfer);
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

    fillPortList(MidiInList, true);
    fillPortList(MidiOutList, false);
    MidiInList->setCurrentRow(inPortRow);
    MidiOutList->setCurrentRow(outPortRow);

    TransferButton->setText(tr("Update"));
    // Larger than the label on purpose: it is clipped, not scaled.
    IconLabel->setPixmap(QIcon(ResourcePaths::DevicePicture).pixmap(QSize(320, 87)));

    updateTimer = new QTimer(this);
    connect(updateTimer, &QTimer::timeout, this, &MainWindow::update);
    updateTimer->start(TickInterval);
}

void MainWindow::fillPortList(QListWidget *list, bool input)
{
    for (int i = 0; i < MaxPortsListed; ++i) {
        const auto name = input ? link.inPortName(i) : link.outPortName(i);
        if (!name)
            break;
        list->insertItem(i, *name);
    }
}

void MainWindow::Connect()
{
    if (connectionState == Disconnected) {
        inPortRow = MidiInList->currentRow();
        outPortRow = MidiOutList->currentRow();
        if (link.openPorts(inPortRow, outPortRow)) {
            connectionState = Connecting;
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
    // The device's own reports must not hand the user the controls mid-update.
    if (engine.isRunning()) {
        ConnectButton->setEnabled(false);
        TransferButton->setEnabled(false);
    }
}

void MainWindow::ShowIdentity()
{
    shownSerialText = link.serialText();
    shownVersion = link.firmwareVersion();
    SnEdit->setText(shownSerialText);
    VersionEdit->setText(QString::asprintf("%ld.%02ld", long(shownVersion & 0xFF), long((shownVersion >> 8) & 0xFF)));
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
        progressBar->setRange(0, qMax(1, engine.totalPages()));
        progressBar->setValue(0);
        progressBar->show();
        TransferButton->setEnabled(false);
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
    engine.start(image); // an empty image ends at once with a message
}

void MainWindow::update()
{
    engine.tick();
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
    if (closeQuestion)
        return;
    closeQuestion = new QMessageBox(QMessageBox::Warning, tr("Update in progress"),
                                    tr("An update is running. If you close now, the Qel is left "
                                       "without working firmware and must be updated again before use.\n\n"
                                       "Stop the update and close?"),
                                    QMessageBox::Yes | QMessageBox::No, this);
    closeQuestion->setDefaultButton(QMessageBox::No);
    closeQuestion->setAttribute(Qt::WA_DeleteOnClose);
    connect(closeQuestion, &QMessageBox::finished, this, [this](int result) {
        if (result != QMessageBox::Yes)
            return;
        closeConfirmed = true;
        close();
    });
    closeQuestion->open();
}

void MainWindow::log(const QString &line)
{
    LogText->appendPlainText(line.endsWith(QLatin1Char('\n')) ? line.chopped(1) : line);
}

void MainWindow::showProgress(int done, int total)
{
    progressBar->setRange(0, qMax(1, total));
    progressBar->setValue(done);
}

void MainWindow::showOutcome(UpdateOutcome outcome, const QString &message)
{
    log(message);
    ShowConnectionState();
    if (outcome == UpdateOutcome::Success)
        progressBar->show();
    auto *box = new QMessageBox(outcome == UpdateOutcome::Success ? QMessageBox::Information : QMessageBox::Warning,
                                outcome == UpdateOutcome::Success ? tr("Update finished") : tr("Update failed"),
                                message, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("OutcomeBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
