// The window class: its meta-object surface and what Init() leaves on view.

#include "mainwindow.h"
#include "midiservicefactory.h"

#include <QMetaMethod>
#include <QTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void slotsAndCasts();
    void initLeavesDisconnectedLook();
    void pictureIsClippedNotScaled();

private:
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    window = std::make_unique<MainWindow>(createMidiService(QStringLiteral("sim")));
}

void TestMainWindow::cleanup()
{
    window.reset();
}

void TestMainWindow::slotsAndCasts()
{
    const QMetaObject *meta = window->metaObject();
    QCOMPARE(meta->className(), "MainWindow");
    QCOMPARE(meta->superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());

    const QList<QByteArray> expected = {"Connect()", "Transfer()", "close1()", "update()"};
    QCOMPARE(meta->methodCount() - meta->methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod slot = meta->method(meta->methodOffset() + i);
        QCOMPARE(slot.methodSignature(), expected.at(i));
        QCOMPARE(slot.methodType(), QMetaMethod::Slot);
        QCOMPARE(slot.access(), QMetaMethod::Public);
    }

    QObject *object = window.get();
    QCOMPARE(object->qt_metacast("MainWindow"), static_cast<void *>(window.get()));
    QCOMPARE(object->qt_metacast("Ui_MainWindow"),
             static_cast<void *>(static_cast<Ui_MainWindow *>(window.get())));
    QCOMPARE(object->qt_metacast("QMainWindow"),
             static_cast<void *>(static_cast<QMainWindow *>(window.get())));
}

void TestMainWindow::initLeavesDisconnectedLook()
{
    window->Init();
    QVERIFY(window->progressBar->isHidden());
    QVERIFY(window->TryConText->isHidden());
    QVERIFY(!window->TransferButton->isEnabled());
    QCOMPARE(window->TransferButton->text(), QStringLiteral("Update"));
    QVERIFY(window->ConnectButton->isEnabled());
    QCOMPARE(window->ConnectButton->text(), QStringLiteral("Connect"));
    QVERIFY(window->MidiInList->isEnabled());
    QVERIFY(window->MidiOutList->isEnabled());
    QVERIFY(window->SnEdit->text().isEmpty());
    QVERIFY(window->VersionEdit->text().isEmpty());
}

void TestMainWindow::pictureIsClippedNotScaled()
{
    window->Init();
    const QPixmap picture = window->IconLabel->pixmap();
    QCOMPARE(picture.size(), QSize(320, 87));
    QVERIFY(!window->IconLabel->hasScaledContents());
    QCOMPARE(window->IconLabel->geometry(), QRect(110, 0, 311, 81));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
