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
        const std::lock_guard<std::mutex> lock(mutex);
        callback = nameAt(inNames, index) ? std::move(receive) : nullptr;
        return bool(callback);
    }
    bool openOut(int index) override
    {
        calls << QStringLiteral("openOut %1").arg(index);
        return outOpen = bool(nameAt(outNames, index));
    }
    void closeIn() override
    {
        calls << QStringLiteral("closeIn");
        for (const QByteArray &message : std::as_const(handBackOnClose))
            inject(message);
        const std::lock_guard<std::mutex> lock(mutex);
        callback = nullptr;
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
        if (callback)
            callback(reinterpret_cast<const std::uint8_t *>(message.constData()), std::size_t(message.size()));
        return bool(callback);
    }

private:
    static std::optional<QString> nameAt(const QStringList &names, int index)
    {
        return index >= 0 && index < names.size() ? std::optional<QString>(names.at(index)) : std::nullopt;
    }

    mutable std::mutex mutex;
    ReceiveCallback callback;
    bool outOpen = false;
};
