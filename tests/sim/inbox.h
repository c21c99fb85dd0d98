#pragma once

#include "devicebytes.h"
#include "midiservice.h"
#include "reply.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// A received message decoded as the updater decodes it.
inline Reply decoded(const QByteArray &message)
{
    return decodeReply(reinterpret_cast<const std::uint8_t *>(message.constData()), int(message.size()));
}

inline Reply decoded(const Bytes &message)
{
    return decodeReply(message.data(), int(message.size()));
}

// Collects what a MIDI service delivers, from whatever thread it calls on.
class Inbox
{
public:
    // How long a test waits for another thread before it calls that a failure.
    static constexpr std::chrono::seconds Patience{5};

    MidiService::ReceiveCallback callback()
    {
        return [this](const std::uint8_t *data, std::size_t length) {
            const std::lock_guard<std::mutex> lock(mutex);
            messages.append(QByteArray(reinterpret_cast<const char *>(data), qsizetype(length)));
            onOwnThread = onOwnThread || std::this_thread::get_id() == owner;
            arrived.notify_all();
        };
    }
    // False when fewer than `count` messages came within Patience.
    bool waitFor(int count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, Patience, [&] { return messages.size() >= count; });
    }
    QList<QByteArray> received()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }
    // True when something came and none of it on the thread that made the inbox.
    bool onlyOtherThreads()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return !messages.isEmpty() && !onOwnThread;
    }

private:
    const std::thread::id owner = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable arrived;
    QList<QByteArray> messages;
    bool onOwnThread = false;
};
