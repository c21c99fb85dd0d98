#pragma once

#include "conversation.h"
#include "midiservice.h"

#include <QByteArray>

#include <vector>

class MidiPorts;

// A MIDI service that plays the device's part of a recorded update on the
// caller's thread, at no cost of its own: each command is checked against the
// recording and answered with the recorded replies.
class ReplayService : public MidiService
{
public:
    enum class Delivery {
        // Replies wait until deliverTo() hands them to the receiver directly.
        Direct,
        // Each reply goes at once to the receive callback, which posts it
        // through the event loop as a MIDI thread would.
        Posted,
    };

    // The recording must outlive the service.
    ReplayService(const Conversation &conversation, Delivery delivery);

    std::optional<QString> inPortName(int index) const override;
    std::optional<QString> outPortName(int index) const override;
    bool openIn(int index, ReceiveCallback callback) override;
    bool openOut(int index) override;
    void closeIn() override;
    void closeOut() override;
    bool isInOpen() const override { return inOpen; }
    bool isOutOpen() const override { return outOpen; }
    // A command that differs from the recording is taken but not answered.
    bool send(const std::uint8_t *data, std::size_t length) override;

    // Direct delivery: hands each waiting reply to the receive callback and
    // has `ports` pass it on at once, until none is left, including those
    // that answer commands sent meanwhile.
    void deliverTo(MidiPorts &ports);
    // True when every recorded command came, in order and unchanged.
    bool replayedWhole() const { return !strayed && next == conversation.size(); }

private:
    const Conversation &conversation;
    Delivery delivery;
    ReceiveCallback callback;
    // Kept between deliveries so the queue allocates nothing once warm.
    std::vector<const QByteArray *> waiting;
    std::size_t nextWaiting = 0;
    std::size_t next = 0;
    bool strayed = false;
    bool inOpen = false;
    bool outOpen = false;
};
