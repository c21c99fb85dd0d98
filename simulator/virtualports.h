#pragma once

#include "callbackgate.h"
#include "jackserverwatch.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class RtMidiIn;
class RtMidiOut;

// The simulator's two virtual MIDI ports. Its input is what the updater lists
// as an output, and the other way round.
class VirtualPorts
{
public:
    // Called on the MIDI system's thread with each message received.
    using Receiver = std::function<void(QByteArray message)>;

    VirtualPorts();
    ~VirtualPorts();
    VirtualPorts(const VirtualPorts &) = delete;
    VirtualPorts &operator=(const VirtualPorts &) = delete;

    // Opens "<name> MIDI IN" and "<name> MIDI OUT" on `api` (empty: RtMidi's
    // choice). False, with the reason in error(), when the MIDI system refuses.
    // Messages reach the receiver only once both ports are open.
    bool open(const QString &api, const QString &name, Receiver receiver);
    // Stops the receiver first, so no message arrives once this returns.
    void closeIn();
    void closeOut();
    void send(const QByteArray &message);
    QString error() const;
    QString apiName() const;

private:
    static void onMessage(double stamp, std::vector<unsigned char> *message, void *self);
    static void onError(int type, const std::string &text, void *self);

    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;
    Receiver receiver;
    // RtMidi's own callback stays set: cancelling it while the port is open
    // races JACK's thread, which may then call a null callback.
    CallbackGate gate;
    // On JACK: tells when a process cycle that saw the output open is over.
    JackServerWatch jackWatch;
    bool onJack = false;
    mutable std::mutex errorMutex;
    QString lastError;
};
