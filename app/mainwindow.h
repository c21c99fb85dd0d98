#pragma once

#include "devicelink.h"
#include "etaestimator.h"
#include "question.h"
#include "ui_mainwindow.h"
#include "updateengine.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMainWindow>

#include <memory>

class MidiService;
class QTimer;

Q_DECLARE_LOGGING_CATEGORY(lcTrace)

// The updater's only window: the form, and the controller behind it.
class MainWindow : public QMainWindow, public Ui_MainWindow
{
    Q_OBJECT

public:
    enum ConnectionState { Disconnected = 0, Connecting = 1, Connected = 2 };

    static constexpr int MaxPortsListed = MidiPorts::MaxPortsListed;
    static constexpr int TickInterval = 100;    // ms; time-outs are counted in these ticks
    static constexpr int CloseDelayTicks = 5;   // close1() closes the window half a second later
    static constexpr int LogLines = 1000;       // the log pane keeps the newest lines only
    static constexpr int PortPollTicks = 10;    // port lists follow the hardware once a second

    // Talks to the MIDI service that QEL_MIDI_API names.
    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(std::unique_ptr<MidiService> service, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up initialisation, called once after the window is shown and sized.
    void Init();

    int connection() const { return connectionState; }
    DeviceLink &deviceLink() { return link; }
    UpdateEngine &updateEngine() { return engine; }
    QTimer *tickTimer() const { return updateTimer; }
    // The flash image to write; a test may point it at a smaller file.
    void setImagePath(const QString &path) { imagePath = path; }

public slots:
    void Connect();
    void Transfer();
    void close1();
    // One tick of the reply time-out; hides QWidget::update() on purpose so
    // that the tick timer reaches this slot.
    void update();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void ShowConnectionState();
    void ShowIdentity();
    void dispatch(ReplyCode code);
    // Refills `list` only when the names changed, keeping the selection by name.
    void showPorts(QListWidget *list, const QStringList &names);
    void followPorts();
    void log(const QString &line);
    void showProgress(int done, int total);
    void showOutcome(UpdateOutcome outcome, const QString &message);
    // Update asks before writing; while writing, the same button cancels.
    void onTransferClicked();
    void askToStartUpdate();
    void askToCancelUpdate();
    void askToStopUpdate();

    DeviceLink link;
    int connectionState = Disconnected;
    int inPortRow = 0;
    int outPortRow = 0;
    std::uint32_t shownVersion = 0;
    QString shownSerialText;
    UpdateEngine engine;
    QString imagePath;
    QTimer *updateTimer = nullptr;
    int closeCountdown = 0;
    bool closeConfirmed = false;
    int portPollCountdown = PortPollTicks;
    // Identify's round trip at Connect: the measure for the expected duration.
    QElapsedTimer identifyClock;
    qint64 roundTripUs = 0;
    QElapsedTimer updateClock;
    EtaEstimator eta;
    Question startQuestion;
    Question cancelQuestion;
    Question closeQuestion;
};
