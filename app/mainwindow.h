#pragma once

#include "portfinder.h"
#include "question.h"
#include "ui_mainwindow.h"
#include "updatesession.h"

#include <QMainWindow>

#include <memory>

class MidiService;
class QTimer;

// The updater's only window: the form, showing one UpdateSession and
// forwarding the user's choices to it.
class MainWindow : public QMainWindow, public Ui_MainWindow
{
    Q_OBJECT

public:
    enum ConnectionState {
        Disconnected = UpdateSession::Disconnected,
        Connecting = UpdateSession::Connecting,
        Connected = UpdateSession::Connected,
    };

    static constexpr int MaxPortsListed = MidiPorts::MaxPortsListed;
    static constexpr int TickInterval = UpdateSession::TickIntervalMs;
    static constexpr int CloseDelayTicks = 500 / TickInterval;   // close1() closes the window half a second later
    static constexpr int LogLines = 1000;       // the log pane keeps the newest lines only
    static constexpr int PortPollTicks = 1000 / TickInterval;    // port lists follow the hardware once a second
    static constexpr int ViewTicks = 50 / TickInterval;          // progress and log lines 20 times a second
    // Connect gives up, and says so, when Identify asked again went unanswered this long.
    static constexpr int IdentifyTimeoutTicks = 3000 / TickInterval;

    // The session, a member, closes its ports before the window goes away.
    // With `probes`, the window looks for the Qel on every port pair.
    explicit MainWindow(std::unique_ptr<MidiService> service, Discovery::ServiceFactory probes = {},
                        QWidget *parent = nullptr);

    // Start-up initialisation, called once after the window is shown and sized.
    void Init();

    int connection() const { return session.connectionState(); }
    UpdateSession &updateSession() { return session; }
    QTimer *tickTimer() const { return updateTimer; }

public slots:
    void Connect();
    void Transfer();
    void close1();
    // One tick of the reply time-out; hides QWidget::update() on purpose so
    // that the tick timer reaches this slot.
    void update();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void ShowConnectionState();
    void ShowIdentity();
    void showTransferState(bool on);
    // Refills `list` only when the names changed, keeping the selection by
    // name; true when they changed.
    bool showPorts(QListWidget *list, const QStringList &names);
    void followPorts();
    // Appends the session's trace lines held so far, then `line` unless empty.
    void log(const QString &line);
    void showProgress(const UpdateSession::Progress &progress);
    void showOutcome(UpdateOutcome outcome, const QString &message);
    void showNoAnswer();
    // Update asks before writing; while writing, the same button cancels.
    void onTransferClicked();

    UpdateSession session;
    Discovery::ServiceFactory probeFactory;
    PortFinder *finder = nullptr;
    QTimer *updateTimer = nullptr;
    int closeCountdown = 0;
    QStringList pendingLog;
    bool closeConfirmed = false;
    int portPollCountdown = PortPollTicks;
    Question startQuestion;
    Question cancelQuestion;
    Question closeQuestion;
};
