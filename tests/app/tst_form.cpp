// The form as uic builds it, and what the window's Init() leaves on view.

#include "mainwindow.h"
#include "midiservicefactory.h"

#include <QTest>

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void widgets_data();
    void widgets();
    void window();
    void initLeavesDisconnectedLook();

private:
    std::unique_ptr<QMainWindow> window_;
    Ui_MainWindow ui;
};

void TestForm::init()
{
    window_ = std::make_unique<QMainWindow>();
    ui.setupUi(window_.get());
}

void TestForm::cleanup()
{
    window_.reset();
}

void TestForm::widgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");  // title of a group box, text of the rest

    const QRect central;  // placed by the main window, not by the form
    const QString none;
    QTest::newRow("centralwidget") << "QWidget" << "MainWindow" << central << none;
    QTest::newRow("groupBox") << "QGroupBox" << "centralwidget" << QRect(10, 230, 171, 81) << "Qel information";
    QTest::newRow("SnEdit") << "QLineEdit" << "groupBox" << QRect(70, 20, 91, 21) << none;
    QTest::newRow("label") << "QLabel" << "groupBox" << QRect(10, 20, 51, 21) << "SN:";
    QTest::newRow("VersionEdit") << "QLineEdit" << "groupBox" << QRect(70, 50, 91, 21) << none;
    QTest::newRow("label_2") << "QLabel" << "groupBox" << QRect(10, 50, 51, 21) << "Version:";
    QTest::newRow("groupBox_3") << "QGroupBox" << "centralwidget" << QRect(10, 90, 251, 131) << "MIDI IN port";
    QTest::newRow("MidiInList") << "QListWidget" << "groupBox_3" << QRect(10, 20, 231, 101) << none;
    QTest::newRow("groupBox_4") << "QGroupBox" << "centralwidget" << QRect(270, 90, 241, 131) << "MIDI OUT port";
    QTest::newRow("MidiOutList") << "QListWidget" << "groupBox_4" << QRect(10, 20, 221, 101) << none;
    QTest::newRow("ConnectButton") << "QPushButton" << "centralwidget" << QRect(200, 240, 75, 23) << "Connect";
    QTest::newRow("TryConText") << "QLabel" << "centralwidget" << QRect(370, 240, 91, 21) << "try to connect...";
    QTest::newRow("TransferButton") << "QPushButton" << "centralwidget" << QRect(280, 240, 75, 23) << "Transfer";
    QTest::newRow("progressBar") << "QProgressBar" << "centralwidget" << QRect(200, 280, 311, 23) << none;
    QTest::newRow("IconLabel") << "QLabel" << "centralwidget" << QRect(110, 0, 311, 81) << "TextLabel";
    QTest::newRow("LogText") << "QPlainTextEdit" << "centralwidget" << QRect(523, 110, 361, 191) << none;
    QTest::newRow("groupBox_2") << "QGroupBox" << "centralwidget" << QRect(520, 10, 171, 81) << "NAND Information";
    QTest::newRow("label_3") << "QLabel" << "groupBox_2" << QRect(10, 20, 51, 21) << "Block:";
    QTest::newRow("label_4") << "QLabel" << "groupBox_2" << QRect(10, 50, 51, 21) << "Page:";
    QTest::newRow("BlockEdit") << "QLineEdit" << "groupBox_2" << QRect(70, 20, 41, 22) << none;
    QTest::newRow("PageEdit") << "QLineEdit" << "groupBox_2" << QRect(70, 50, 41, 22) << none;
}

void TestForm::widgets()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    const auto found = window_->findChildren<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QVERIFY(widget->parent());
    QCOMPARE(widget->parent()->objectName(), parentName);
    if (geometry.isValid())
        QCOMPARE(widget->geometry(), geometry);
    if (!text.isEmpty()) {
        const char *property = qobject_cast<QGroupBox *>(widget) ? "title" : "text";
        QCOMPARE(widget->property(property).toString(), text);
    }
}

void TestForm::window()
{
    QCOMPARE(window_->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window_->windowTitle(), QStringLiteral("Qel Update"));
    for (QWidget *w : {static_cast<QWidget *>(window_.get()), static_cast<QWidget *>(ui.SnEdit)}) {
        QCOMPARE(w->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(w->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    }
    // The user reads these; typing into them would show values the device never sent.
    for (QLineEdit *edit : {ui.SnEdit, ui.VersionEdit, ui.BlockEdit, ui.PageEdit})
        QVERIFY(edit->isReadOnly());
}

void TestForm::initLeavesDisconnectedLook()
{
    MainWindow window(createMidiService(QStringLiteral("sim")));
    window.Init();
    QVERIFY(window.progressBar->isHidden());
    QVERIFY(window.TryConText->isHidden());
    QVERIFY(!window.TransferButton->isEnabled());
    QCOMPARE(window.TransferButton->text(), QStringLiteral("Update"));
    QVERIFY(window.ConnectButton->isEnabled());
    QVERIFY(window.MidiInList->isEnabled() && window.MidiOutList->isEnabled());
    // The picture is clipped to its label, not scaled.
    QCOMPARE(window.IconLabel->pixmap().size(), QSize(320, 87));
    QVERIFY(!window.IconLabel->hasScaledContents());
    QCOMPARE(window.IconLabel->geometry(), QRect(110, 0, 311, 81));
    // Slots other code and the timer reach by name.
    for (const char *slot : {"Connect()", "Transfer()", "close1()", "update()"})
        QVERIFY2(window.metaObject()->indexOfSlot(slot) >= window.metaObject()->methodOffset(), slot);
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
