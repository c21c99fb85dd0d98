#pragma once

#include "conversation.h"

#include <RtMidi.h>

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

// The bare RtMidi ping-pong: sends the commands of a recorded update, each
// once every answer to the one before is in. Between the MIDI thread and the
// next send there is only an event posted to this thread, the one hand-over
// the updater makes too; nothing is decoded.
class RtMidiPingPong : public QObject
{
public:
    RtMidiPingPong();
    ~RtMidiPingPong() override;

    // Connects to the peer's ports, found by a part of their names.
    bool open(const QString &peerIn, const QString &peerOut, QString *error);
    // The time for the commands of `conversation`; nothing when an answer went missing.
    std::optional<std::chrono::nanoseconds> run(const Conversation &conversation);

protected:
    bool event(QEvent *event) override;

private:
    static void onMessage(double stamp, std::vector<unsigned char> *message, void *pingPong);
    void sendNext();

    static const int ArrivedType;

    RtMidiIn in;
    RtMidiOut out;
    QEventLoop loop;
    QTimer patience;
    const Conversation *script = nullptr;
    std::size_t next = 0;
    std::size_t nextAtCheck = 0;
    int stalls = 0;
    std::size_t repliesAwaited = 0;
    std::size_t trailing = 0;  // answers to a finished run's last command, still on their way
    bool complete = false;
};
