#pragma once

#include "devicelink.h"
#include "ui_mainwindow.h"

#include <QMainWindow>

#include <memory>

class MidiService;

// The updater's only window: the form, and the controller behind it.
class MainWindow : public QMainWindow, public Ui_MainWindow
{
    Q_OBJECT

public:
    // Talks to the MIDI service that QEL_MIDI_API names.
    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(std::unique_ptr<MidiService> service, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up initialisation, called once after the window is shown and sized.
    void Init();

public slots:
    void Connect();
    void Transfer();
    void close1();
    // One tick of the reply time-out; hides QWidget::update() on purpose so
    // that the tick timer reaches this slot.
    void update();

private:
    DeviceLink link;
};
