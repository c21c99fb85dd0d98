#include "mainwindow.h"

#include "firmwareimage.h"
#include "firmwareversion.h"
#include "portchoice.h"
#include "resourcepaths.h"
#include "sessiontexts.h"
#include "texts.h"
#include "updateduration.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

MainWindow::MainWindow(std::unique_ptr<MidiService> service, Discovery::ServiceFactory probes, QWidget *parent)
    : QMainWindow(parent), session(std::move(service)), probeFactory(std::move(probes))
{
    setupUi(this);
}

void MainWindow::Init()
{
    connect(ConnectButton, &QPushButton::clicked, this, &MainWindow::Connect);
    connect(TransferButton, &QPushButton::clicked, this, &MainWindow::onTransferClicked);
    connect(VerifyCheck, &QCheckBox::toggled, &session, &UpdateSession::setVerify);
    connect(&session, &UpdateSession::connectionChanged, this, &MainWindow::ShowConnectionState);
    connect(&session, &UpdateSession::verdictChanged, this, &MainWindow::ShowIdentity);
    connect(&session, &UpdateSession::transferStateChanged, this, &MainWindow::showTransferState);
    connect(&session, &UpdateSession::traced, this, [this](const QString &line) { pendingLog << line; });
    session.setViewTicks(ViewTicks);
    session.setIdentifyTimeout(IdentifyTimeoutTicks);
    connect(&session, &UpdateSession::identifyTimedOut, this, &MainWindow::showNoAnswer);
    connect(&session, &UpdateSession::progressChanged, this, &MainWindow::showProgress);
    connect(&session, &UpdateSession::finished, this, &MainWindow::showOutcome);

    progressBar->hide();
    TryConText->hide();
    TransferButton->setEnabled(false);
    LogText->setMaximumBlockCount(LogLines);
    log(FirmwareImage::load(session.imagePath()).description());

    // Rows start on ports that look like the device's, else on row 0, until a Qel answers.
    if (probeFactory)
        finder = new PortFinder(probeFactory, MidiInList, MidiOutList, StatusText, this);
    followPorts();

    // Larger than the label on purpose: it is clipped, not scaled.
    IconLabel->setPixmap(QIcon(ResourcePaths::DevicePicture).pixmap(QSize(320, 87)));

    updateTimer = new QTimer(this);
    connect(updateTimer, &QTimer::timeout, this, &MainWindow::update);
    updateTimer->start(TickInterval);
}

bool MainWindow::showPorts(QListWidget *list, const QStringList &names)
{
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->item(i)->text();
    if (shown == names)
        return false;
    const QString selected = list->currentItem() ? list->currentItem()->text() : QString();
    list->clear();
    list->addItems(names);
    list->setCurrentRow(PortChoice::rowFor(names, selected));
    return true;
}

void MainWindow::followPorts()
{
    const bool changed = showPorts(MidiInList, session.portNames(true)) | showPorts(MidiOutList, session.portNames(false));
    if (changed && finder)
        finder->search();
}

void MainWindow::Connect()
{
    if (finder) // its ports may be the ones to open
        finder->stop();
    if (session.connectionState() != UpdateSession::Disconnected)
        session.disconnectDevice();
    else if (!session.connectDevice(MidiInList->currentRow(), MidiOutList->currentRow()))
        log(tr("Could not open the chosen MIDI ports."));
    ShowConnectionState();
}

void MainWindow::ShowConnectionState()
{
    const int state = session.connectionState();
    const bool disconnected = state == Disconnected;
    TryConText->setVisible(state == Connecting);
    progressBar->hide();
    MidiInList->setEnabled(disconnected);
    MidiOutList->setEnabled(disconnected);
    ConnectButton->setText(disconnected ? tr("&Connect") : tr("Dis&connect"));
    if (disconnected) {
        SnEdit->clear();
        VersionEdit->clear();
        StatusText->clear();
    }
    // The device's own reports must not hand the user the controls
    // mid-update; Update turns into Cancel instead. Nor are they handed back
    // while the device is asked which firmware it runs: the ending is not told yet.
    const bool running = session.isUpdating();
    const bool asking = session.afterUpdate() == UpdateSession::AfterUpdate::Asking;
    ConnectButton->setEnabled(!running && !asking);
    TransferButton->setEnabled((state == Connected || running) && !asking);
    TransferButton->setText(running ? tr("&Cancel") : tr("&Update"));
    VerifyCheck->setEnabled(!running && !asking);
}

void MainWindow::ShowIdentity()
{
    SnEdit->setText(session.serialText());
    VersionEdit->setText(QString::fromStdString(FirmwareVersion::text(session.firmwareVersion())));
    StatusText->setText(session.verdict());
}

void MainWindow::showTransferState(bool on)
{
    if (!on) {
        ShowConnectionState();
        return;
    }
    progressBar->setRange(0, qMax(1, session.progress().pagesTotal));
    progressBar->setValue(0);
    progressBar->show();
    ConnectButton->setEnabled(false);
}

void MainWindow::Transfer()
{
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    TransferButton->setEnabled(false);
    ConnectButton->setEnabled(false);
    VerifyCheck->setEnabled(false);
    BlockEdit->clear();
    PageEdit->clear();
    session.startUpdate(); // an image that cannot be read ends at once with a message
    if (session.isUpdating()) {
        TransferButton->setText(tr("&Cancel"));
        TransferButton->setEnabled(true);
        StatusText->clear();
    }
}

void MainWindow::onTransferClicked()
{
    if (session.isUpdating()) {
        cancelQuestion.ask(this, QStringLiteral("CancelQuestion"), tr("Cancel the update"),
                           tr("If you cancel now, the Qel is left without working firmware and must be "
                              "updated again before use.\n\nCancel the update?"),
                           [this] { session.cancelUpdate(); });
    } else if (session.connectionState() == UpdateSession::Connected) {
        startQuestion.ask(this, QStringLiteral("StartQuestion"), tr("Update the Qel"), session.confirmationText(),
                          [this] {
                              if (session.connectionState() == UpdateSession::Connected && !session.isUpdating())
                                  Transfer();
                          });
    }
}

void MainWindow::update()
{
    session.tick();
    log(QString());
    if (finder)
        finder->tick();
    if (session.connectionState() == UpdateSession::Disconnected && --portPollCountdown <= 0) {
        portPollCountdown = PortPollTicks;
        followPorts();
    }
    if (closeCountdown > 0 && --closeCountdown == 0)
        close();
}

void MainWindow::close1()
{
    session.disconnectDevice();
    closeCountdown = CloseDelayTicks;
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    const bool mayClose = !session.isUpdating() || closeConfirmed;
    e->setAccepted(mayClose);
    if (mayClose) {
        session.cancelUpdate();
        return;
    }
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
    if (!line.isEmpty())
        pendingLog << (line.endsWith(QLatin1Char('\n')) ? line.chopped(1) : line);
    // One append, one layout and one repaint for all the lines of a while.
    if (!pendingLog.isEmpty())
        LogText->appendPlainText(pendingLog.join(QLatin1Char('\n')));
    pendingLog.clear();
}

void MainWindow::showProgress(const UpdateSession::Progress &progress)
{
    progressBar->setRange(0, qMax(1, progress.pagesTotal));
    progressBar->setValue(progress.pagesDone);
    // The fields and the status line show the same block and page.
    const QString block = progress.block < 0 ? QString() : QString::number(progress.block);
    const QString page = progress.page < 0 ? QString() : QString::number(progress.page);
    BlockEdit->setText(block);
    PageEdit->setText(page);
    QString status = tr("Block %1, page %2").arg(block, page);
    if (progress.remainingMs != EtaEstimator::Unknown)
        status += QLatin1Char('\n') + Texts::render(UpdateDuration::remainingText(progress.remainingMs));
    StatusText->setText(status);
}

void MainWindow::showNoAnswer()
{
    session.disconnectDevice();
    const QString message = Texts::render(SessionTexts::noAnswer());
    log(message);
    StatusText->setText(message);
}

void MainWindow::showOutcome(UpdateOutcome outcome, const QString &message)
{
    const bool success = outcome == UpdateOutcome::Success;
    log(message);
    // The questions no longer apply once the update is over.
    startQuestion.withdraw();
    cancelQuestion.withdraw();
    ShowConnectionState();
    if (success)
        progressBar->show();
    StatusText->setText(success ? session.verdict()
                        : outcome == UpdateOutcome::Cancelled
                            ? tr("Update cancelled: the Qel must be updated again before use.")
                        : outcome == UpdateOutcome::NotVerified
                            ? tr("Written, but not checked: this Qel cannot read its pages back.")
                            : tr("Update failed."));
    // Written but not checked is no failure, though the user must hear the reason.
    const bool written = success || outcome == UpdateOutcome::NotVerified;
    auto *box = new QMessageBox(success ? QMessageBox::Information : QMessageBox::Warning,
                                written ? tr("Update finished") : tr("Update failed"), message,
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("OutcomeBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
