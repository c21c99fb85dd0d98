#pragma once

// One window on a scripted MIDI service, driven without a clock: the test
// delivers replies and fires the tick timer itself.

#include "devicereplies.h"
#include "mainwindow.h"
#include "midievent.h"
#include "simdevice.h"
#include "testmidiservice.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <deque>

struct WindowFixture
{
    std::unique_ptr<MainWindow> window;
    TestMidiService *service = nullptr;  // owned by the window's link
    // With `answering`, a simulated device answers each send into `wire`,
    // and release() hands the replies over one at a time.
    SimDevice device;
    std::deque<QByteArray> wire;

    void make(QStringList in = {QStringLiteral("Test IN")}, QStringList out = {QStringLiteral("Test OUT")},
              bool answering = false)
    {
        window.reset();
        device.storeListCopies(1, {}, 0);
        auto midi = std::make_unique<TestMidiService>();
        midi->inNames = std::move(in);
        midi->outNames = std::move(out);
        if (answering) {
            midi->onSend = [this](const QByteArray &message) {
                for (QByteArray &reply : device.handle(message))
                    wire.push_back(std::move(reply));
            };
        }
        service = midi.get();
        window = std::make_unique<MainWindow>(std::move(midi));
        window->show();
        window->Init();
    }

    void reset()
    {
        window.reset();
        service = nullptr;
        wire.clear();
        device = SimDevice();
    }

    // Hands the window what its MIDI thread has posted.
    void flush() { QCoreApplication::sendPostedEvents(window.get(), MidiEvent::EventType); }

    void deliver(const QByteArray &message)
    {
        QVERIFY(service->inject(message));
        flush();
    }

    // Delivers the oldest device reply still on its way; false when none is.
    bool release()
    {
        if (wire.empty() || !service->inject(wire.front()))
            return false;
        wire.pop_front();
        flush();
        return true;
    }

    void connectDevice()
    {
        window->ConnectButton->click();
        if (service->onSend)
            QVERIFY(release());
        else
            deliver(DeviceReply::identity(123456789, 0x0901, QStringLiteral("Qel")));
        QCOMPARE(window->connection(), int(MainWindow::Connected));
    }

    // Fires the window's own timer, as its interval would.
    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            QVERIFY(QMetaObject::invokeMethod(window->tickTimer(), "timeout"));
    }

    QMessageBox *box(const QString &name) const { return window->findChild<QMessageBox *>(name); }

    void answer(const QString &name, QMessageBox::StandardButton button)
    {
        QMessageBox *question = box(name);
        QVERIFY2(question, qPrintable(name));
        question->button(button)->click();
        // The answered box is gone before the next one is looked for.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void startUpdate()
    {
        window->TransferButton->click();
        answer(QStringLiteral("StartQuestion"), QMessageBox::Yes);
    }
};

inline QStringList rows(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}
