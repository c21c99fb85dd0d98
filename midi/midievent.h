#pragma once

#include <QByteArray>
#include <QEvent>

// One received SysEx message on its way from the MIDI thread to the window.
class MidiEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = QEvent::User; // 1000

    explicit MidiEvent(QByteArray message)
        : QEvent(EventType), message(std::move(message)) {}

    // The bytes as received, at most MidiPorts::ReceiveBufferSize of them.
    const QByteArray message;
};
