#pragma once

// One window on a scripted MIDI service, driven without a clock: a simulated
// device answers each send onto a wire, the test hands the replies over one at
// a time and fires the tick timer itself. Helpers that can fail return false,
// for the calling test to QVERIFY.

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
    TestMidiService *service = nullptr;  // owned by the window's session
    SimDevice device;
    std::deque<QByteArray> wire;

    void make(QStringList in = {QStringLiteral("Qel IN")}, QStringList out = {QStringLiteral("Qel OUT")})
    {
        window.reset();
        device.storeListCopies(1, {}, 0);
        auto midi = std::make_unique<TestMidiService>();
        midi->inNames = std::move(in);
        midi->outNames = std::move(out);
        midi->onSend = [this](const QByteArray &message) {
            for (QByteArray &reply : device.handle(message))
                wire.push_back(std::move(reply));
        };
        service = midi.get();
        window = std::make_unique<MainWindow>(std::move(midi));
        window->show();
        window->Init();
    }

    void reset() { *this = WindowFixture(); }

    // As received on the input port and dispatched; false when it is closed.
    bool deliver(const QByteArray &message)
    {
        if (!service->inject(message))
            return false;
        QCoreApplication::sendPostedEvents(window.get(), MidiEvent::EventType);
        return true;
    }

    // The oldest reply still on the wire; false when none is.
    bool release()
    {
        if (wire.empty())
            return false;
        const QByteArray message = wire.front();
        wire.pop_front();
        return deliver(message);
    }

    bool connectDevice()
    {
        window->ConnectButton->click();
        return release() && window->connection() == MainWindow::Connected;
    }

    // Fires the window's own timer, as its interval would.
    bool tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            if (!QMetaObject::invokeMethod(window->tickTimer(), "timeout"))
                return false;
        }
        return true;
    }

    // The message box of that name on view; null when there is none.
    QMessageBox *box(const QString &name) const
    {
        auto *found = window->findChild<QMessageBox *>(name);
        return found && found->isVisible() ? found : nullptr;
    }
    QString boxText(const QString &name) const { return box(name) ? box(name)->text() : QString(); }

    bool answer(const QString &name, QMessageBox::StandardButton button)
    {
        QMessageBox *question = box(name);
        if (!question)
            return false;
        question->button(button)->click();
        // The answered box is gone before the next one is looked for.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return true;
    }

    bool startUpdate()
    {
        window->TransferButton->click();
        return answer(QStringLiteral("StartQuestion"), QMessageBox::Yes) && window->updateSession().isUpdating();
    }
};

inline QStringList rows(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}
