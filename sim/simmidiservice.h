#pragma once

#include "midiservice.h"
#include "simworker.h"

#include <QString>

#include <atomic>
#include <mutex>

// The `sim` MIDI service: one simulated device behind one input and one output
// port. Replies come from the device's own thread, as from a real port.
class SimMidiService : public MidiService
{
public:
    // As the updater lists them: the device's MIDI OUT is where replies come in.
    static QString inPort() { return QStringLiteral("Qel (simulated) MIDI OUT"); }
    static QString outPort() { return QStringLiteral("Qel (simulated) MIDI IN"); }

    // A device as shipped: one copy of a list without bad blocks in block 0.
    SimMidiService();
    explicit SimMidiService(SimDevice device, LinkFaults faults = {});
    ~SimMidiService() override;

    std::optional<QString> inPortName(int index) const override;
    std::optional<QString> outPortName(int index) const override;
    bool openIn(int index, ReceiveCallback callback) override;
    bool openOut(int index) override;
    // Must not be called from within the receive callback.
    void closeIn() override;
    void closeOut() override;
    bool isInOpen() const override;
    bool isOutOpen() const override;
    // False once the port has gone away (a Vanish fault).
    bool send(const std::uint8_t *data, std::size_t length) override;

    // The device and its fault plan, for tests and tools.
    SimWorker &worker() { return sim; }

private:
    void deliver(const QByteArray &message);
    bool present() const { return !sim.vanished(); }

    mutable std::mutex callbackMutex;
    ReceiveCallback callback;
    std::atomic<bool> inOpen{false};
    std::atomic<bool> outOpen{false};
    SimWorker sim;  // last: its thread is stopped before the callback goes
};
