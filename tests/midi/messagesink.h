#pragma once

#include "midiports.h"

#include <QByteArray>
#include <QList>
#include <QThread>

// Stands in for the session: keeps every message the ports hand on, and
// whether each came on the thread that made the ports.
struct MessageSink
{
    explicit MessageSink(MidiPorts &ports)
    {
        ports.setReceiver([this](const std::uint8_t *data, std::size_t length) {
            messages << QByteArray(reinterpret_cast<const char *>(data), qsizetype(length));
            allOnOwnThread = allOnOwnThread && QThread::currentThread() == owner;
        });
    }

    QList<QByteArray> messages;
    bool allOnOwnThread = true;
    QThread *owner = QThread::currentThread();
};
