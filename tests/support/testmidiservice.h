#pragma once

#include "midiservice.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <functional>
#include <mutex>
#include <utility>

// A MIDI service for tests: records what is sent and delivers injected
// messages, from any thread, the way a real service's MIDI thread would.
class TestMidiService : public MidiService
{
public:
    QStringList inNames{QStringLiteral("Test IN")};
    QStringList outNames{QStringLiteral("Test OUT")};
    // When false, send() refuses every message as a failing driver would.
    bool acceptSends = true;
    // Accepted messages, in order.
    QList<QByteArray> sent;
    // Service calls in order: "openIn 0", "openOut 1", "closeIn", "closeOut".
    QStringList calls;
    // Delivered by closeIn() before it returns, as a driver hands back what it still held.
    QList<QByteArray> handBackOnClose;
    // Called with each accepted message; lets a test answer like a device.
    std::function<void(const QByteArray &)> onSend;

    std::optional<QString> inPortName(int index) const override { return nameAt(inNames, index); }
    std::optional<QString> outPortName(int index) const override { return nameAt(outNames, index); }

    bool openIn(int index, ReceiveCallback receive) override
    {
        calls << QStringLiteral("openIn %1").arg(index);
        dropInput();
        if (!nameAt(inNames, index))
            return false;
        const std::lock_guard<std::mutex> lock(mutex);
        callback = std::move(receive);
        return true;
    }

    bool openOut(int index) override
    {
        calls << QStringLiteral("openOut %1").arg(index);
        outOpen = bool(nameAt(outNames, index));
        return outOpen;
    }

    void closeIn() override
    {
        calls << QStringLiteral("closeIn");
        if (isInOpen()) {
            for (const QByteArray &message : std::as_const(handBackOnClose))
                inject(message);
        }
        dropInput();
    }

    void closeOut() override
    {
        calls << QStringLiteral("closeOut");
        outOpen = false;
    }

    bool isInOpen() const override
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return bool(callback);
    }

    bool isOutOpen() const override { return outOpen; }

    bool send(const std::uint8_t *data, std::size_t length) override
    {
        if (!outOpen || !acceptSends)
            return false;
        sent << QByteArray(reinterpret_cast<const char *>(data), qsizetype(length));
        if (onSend)
            onSend(sent.constLast());
        return true;
    }

    // Delivers one message as received on the open input; safe from any
    // thread. False when no input is open.
    bool inject(const QByteArray &message)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!callback)
            return false;
        callback(reinterpret_cast<const std::uint8_t *>(message.constData()), std::size_t(message.size()));
        return true;
    }

private:
    static std::optional<QString> nameAt(const QStringList &names, int index)
    {
        if (index < 0 || index >= names.size())
            return std::nullopt;
        return names.at(index);
    }

    void dropInput()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        callback = nullptr;
    }

    mutable std::mutex mutex;
    ReceiveCallback callback;
    bool outOpen = false;
};
