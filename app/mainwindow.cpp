#include "mainwindow.h"

#include "midiservicefactory.h"
#include "resourcepaths.h"

#include <QPixmap>

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(createMidiServiceFromEnvironment(), parent)
{
}

MainWindow::MainWindow(std::unique_ptr<MidiService> service, QWidget *parent)
    : QMainWindow(parent), link(std::move(service))
{
    setupUi(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::Init()
{
    progressBar->hide();
    TryConText->hide();
    TransferButton->setEnabled(false);
    TransferButton->setText(tr("Update"));
    // Larger than the label on purpose: it is clipped, not scaled.
    IconLabel->setPixmap(QPixmap(ResourcePaths::DevicePicture));
}

void MainWindow::Connect()
{
}

void MainWindow::Transfer()
{
}

void MainWindow::close1()
{
}

void MainWindow::update()
{
}
