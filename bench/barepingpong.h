#pragma once

#include "conversation.h"

#include <RtMidi.h>

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <optional>

// The bare RtMidi ping-pong over JACK: sends the commands of a recorded
// update, each once every answer to the one before is in, to a peer of its
// own that answers the i-th message with the device's replies to the i-th
// command. Between the MIDI thread and the next send there is only an event
// posted to this thread, the one hand-over the updater makes too; nothing is
// decoded, and the device's own work is left out.
class BarePingPong : public QObject
{
public:
    // Throws RtMidiError when JACK cannot be reached.
    BarePingPong();
    ~BarePingPong() override;

    bool open(QString *error);
    // The time for the commands of `conversation`, which must outlive the
    // run; nothing when an answer went missing.
    std::optional<std::chrono::nanoseconds> run(const Conversation &conversation);

protected:
    bool event(QEvent *event) override;

private:
    static void onPeerMessage(double stamp, std::vector<unsigned char> *message, void *pingPong);
    static void onReply(double stamp, std::vector<unsigned char> *message, void *pingPong);
    void sendNext();

    RtMidiIn in;
    RtMidiOut out;
    RtMidiIn peerIn;
    RtMidiOut peerOut;
    QEventLoop loop;
    QTimer patience;
    const Conversation *script = nullptr;
    std::atomic<std::size_t> peerAnswered{0};
    std::size_t next = 0;
    std::size_t nextAtCheck = 0;
    std::size_t repliesAwaited = 0;
    std::size_t trailing = 0;  // answers to a finished run's last command, still on their way
    bool complete = false;
};
