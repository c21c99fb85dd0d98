// The form as uic builds it, before any controller code touches it.

#include "ui_mainwindow.h"

#include <QMainWindow>
#include <QStatusBar>
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
    void properties();
    void texts_data();
    void texts();

private:
    QMainWindow *window_ = nullptr;
    Ui_MainWindow ui;
};

void TestForm::init()
{
    window_ = new QMainWindow;
    ui.setupUi(window_);
}

void TestForm::cleanup()
{
    delete window_;
    window_ = nullptr;
}

void TestForm::widgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");

    const QRect central;  // placed by the main window, not by the form
    QTest::newRow("centralwidget") << "QWidget" << "MainWindow" << central;
    QTest::newRow("groupBox") << "QGroupBox" << "centralwidget" << QRect(10, 230, 171, 81);
    QTest::newRow("SnEdit") << "QLineEdit" << "groupBox" << QRect(70, 20, 91, 21);
    QTest::newRow("label") << "QLabel" << "groupBox" << QRect(10, 20, 51, 21);
    QTest::newRow("VersionEdit") << "QLineEdit" << "groupBox" << QRect(70, 50, 91, 21);
    QTest::newRow("label_2") << "QLabel" << "groupBox" << QRect(10, 50, 51, 21);
    QTest::newRow("groupBox_3") << "QGroupBox" << "centralwidget" << QRect(10, 90, 251, 131);
    QTest::newRow("MidiInList") << "QListWidget" << "groupBox_3" << QRect(10, 20, 231, 101);
    QTest::newRow("groupBox_4") << "QGroupBox" << "centralwidget" << QRect(270, 90, 241, 131);
    QTest::newRow("MidiOutList") << "QListWidget" << "groupBox_4" << QRect(10, 20, 221, 101);
    QTest::newRow("ConnectButton") << "QPushButton" << "centralwidget" << QRect(200, 240, 75, 23);
    QTest::newRow("TryConText") << "QLabel" << "centralwidget" << QRect(370, 240, 91, 21);
    QTest::newRow("TransferButton") << "QPushButton" << "centralwidget" << QRect(280, 240, 75, 23);
    QTest::newRow("progressBar") << "QProgressBar" << "centralwidget" << QRect(200, 280, 311, 23);
    QTest::newRow("IconLabel") << "QLabel" << "centralwidget" << QRect(110, 0, 311, 81);
    QTest::newRow("LogText") << "QPlainTextEdit" << "centralwidget" << QRect(523, 110, 361, 191);
    QTest::newRow("groupBox_2") << "QGroupBox" << "centralwidget" << QRect(520, 10, 171, 81);
    QTest::newRow("label_3") << "QLabel" << "groupBox_2" << QRect(10, 20, 51, 21);
    QTest::newRow("label_4") << "QLabel" << "groupBox_2" << QRect(10, 50, 51, 21);
    QTest::newRow("BlockEdit") << "QLineEdit" << "groupBox_2" << QRect(70, 20, 41, 22);
    QTest::newRow("PageEdit") << "QLineEdit" << "groupBox_2" << QRect(70, 50, 41, 22);
}

void TestForm::widgets()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);

    const auto found = window_->findChildren<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QVERIFY(widget->parent());
    QCOMPARE(widget->parent()->objectName(), parentName);
    if (geometry.isValid())
        QCOMPARE(widget->geometry(), geometry);
}

void TestForm::window()
{
    QCOMPARE(window_->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window_->size(), QSize(900, 322));
    QCOMPARE(window_->centralWidget(), ui.centralwidget);
    QVERIFY(!window_->menuWidget());
    QVERIFY(!window_->findChild<QStatusBar *>());

    for (QWidget *w : {static_cast<QWidget *>(window_), static_cast<QWidget *>(ui.SnEdit)}) {
        const QSizePolicy policy = w->sizePolicy();
        QCOMPARE(policy.horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(policy.verticalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(policy.horizontalStretch(), 0);
        QCOMPARE(policy.verticalStretch(), 0);
    }
}

void TestForm::properties()
{
    // Only the two identity fields get a font of their own.
    const QList<QWidget *> form = {
        ui.centralwidget, ui.groupBox, ui.SnEdit, ui.label, ui.VersionEdit, ui.label_2,
        ui.groupBox_3, ui.MidiInList, ui.groupBox_4, ui.MidiOutList, ui.ConnectButton,
        ui.TryConText, ui.TransferButton, ui.progressBar, ui.IconLabel, ui.LogText,
        ui.groupBox_2, ui.label_3, ui.label_4, ui.BlockEdit, ui.PageEdit};
    for (QWidget *w : form) {
        const bool small = w == ui.SnEdit || w == ui.VersionEdit;
        QCOMPARE(w->testAttribute(Qt::WA_SetFont), small);
        if (small)
            QCOMPARE(w->font().pointSize(), 8);
    }
    for (QLineEdit *edit : {ui.SnEdit, ui.VersionEdit, ui.BlockEdit, ui.PageEdit}) {
        QVERIFY(edit->isReadOnly());
        QVERIFY(edit->isEnabled());
        QVERIFY(edit->text().isEmpty());
    }
    for (QLabel *label : {ui.label, ui.label_2, ui.label_3, ui.label_4}) {
        QCOMPARE(int(label->alignment()), 0x82);
        QVERIFY(label->wordWrap());
    }
    QVERIFY(!ui.TryConText->wordWrap());
    QCOMPARE(ui.progressBar->value(), 24);
    QCOMPARE(ui.progressBar->minimum(), 0);
    QCOMPARE(ui.progressBar->maximum(), 100);
    QVERIFY(ui.LogText->toPlainText().isEmpty());
}

void TestForm::texts_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("expected");

    QTest::newRow("MainWindow") << QByteArray("windowTitle") << "Qel Update";
    QTest::newRow("groupBox") << QByteArray("title") << "Qel information";
    QTest::newRow("label") << QByteArray("text") << "SN:";
    QTest::newRow("label_2") << QByteArray("text") << "Version:";
    QTest::newRow("groupBox_3") << QByteArray("title") << "MIDI IN port";
    QTest::newRow("groupBox_4") << QByteArray("title") << "MIDI OUT port";
    QTest::newRow("ConnectButton") << QByteArray("text") << "Connect";
    QTest::newRow("TryConText") << QByteArray("text") << "try to connect...";
    QTest::newRow("TransferButton") << QByteArray("text") << "Transfer";
    QTest::newRow("IconLabel") << QByteArray("text") << "TextLabel";
    QTest::newRow("groupBox_2") << QByteArray("title") << "NAND Information";
    QTest::newRow("label_3") << QByteArray("text") << "Block:";
    QTest::newRow("label_4") << QByteArray("text") << "Page:";
}

void TestForm::texts()
{
    QFETCH(QByteArray, property);
    QFETCH(QString, expected);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QObject *widget = name == window_->objectName() ? window_ : window_->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->property(property.constData()).toString(), expected);
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
