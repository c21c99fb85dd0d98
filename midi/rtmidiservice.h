#pragma once

#include "callbackgate.h"
#include "jackserverwatch.h"
#include "midiservice.h"

#include <RtMidi.h>

#include <memory>
#include <optional>
#include <vector>

// The MIDI service on RtMidi. No RtMidi error escapes: a missing MIDI system,
// a bad index or a refused send becomes no ports or a false result, and the
// reason goes to the lcMidi logging category.
// Use one JACK-backed instance per process (see JackServerWatch::serverGone).
class RtMidiService : public MidiService
{
public:
    // apiName: "alsa", "jack", "winmm" or "core" (any case); empty for RtMidi's default.
    explicit RtMidiService(const QString &apiName = QString());
    ~RtMidiService() override;
    RtMidiService(const RtMidiService &) = delete;
    RtMidiService &operator=(const RtMidiService &) = delete;

    // UNSPECIFIED for an empty name, nothing for a name we do not know.
    static std::optional<RtMidi::Api> apiFromName(const QString &name);

    // False when no MIDI system could be set up; every port operation then fails.
    bool isAvailable() const { return input && output; }

    std::optional<QString> inPortName(int index) const override;
    std::optional<QString> outPortName(int index) const override;
    QStringList portNames(bool inputs, int limit) const override;
    bool openIn(int index, ReceiveCallback callback) override;
    bool openOut(int index) override;
    void closeIn() override;
    void closeOut() override;
    bool isInOpen() const override;
    bool isOutOpen() const override;
    bool send(const std::uint8_t *data, std::size_t length) override;

private:
    static void onError(RtMidiError::Type type, const std::string &text, void *service);
    static void onMessage(double timeStamp, std::vector<unsigned char> *message, void *service);

    static std::vector<std::string> allPortNames(RtMidi &port);
    static std::vector<std::string> ownPortNames(RtMidi *port, const std::vector<std::string> &before);
    static std::optional<unsigned int> rtMidiIndex(RtMidi &port, const std::vector<std::string> &own, int index);
    static std::optional<QString> portName(RtMidi &port, const std::vector<std::string> &own, int index);
    bool jackServerUsable(RtMidi::Api api) const;
    bool jackServerGone(RtMidi::Api api) const;

    std::unique_ptr<RtMidiIn> input;
    std::unique_ptr<RtMidiOut> output;
    RtMidi::Api inApi = RtMidi::UNSPECIFIED;
    RtMidi::Api outApi = RtMidi::UNSPECIFIED;
    // Attaching happens from const queries too; it changes nothing they report.
    mutable JackServerWatch jackWatch;
    // Our own open ports, as the other direction lists them. They are left
    // out of every list, so an index means the same once our ports are open.
    std::vector<std::string> ownInPorts;
    std::vector<std::string> ownOutPorts;

    // Set while the gate is closed; the MIDI thread reaches it through the gate only.
    ReceiveCallback callback;
    CallbackGate gate;
};
