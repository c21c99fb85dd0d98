#pragma once

#include "midiservice.h"
#include "simworld.h"

#include <QString>

#include <atomic>
#include <memory>

// The `sim` MIDI service: a view of simulated devices, each behind one input
// and one output port. Replies come from the device's own thread, as from a
// real port; several services on one world hear the same devices.
class SimMidiService : public MidiService
{
public:
    // The port names of a lone device, as the updater lists them.
    static QString inPort() { return QStringLiteral("Qel (simulated) MIDI OUT"); }
    static QString outPort() { return QStringLiteral("Qel (simulated) MIDI IN"); }

    // A world of one device as shipped: one copy of a list without bad blocks in block 0.
    SimMidiService();
    // A world of this one device.
    explicit SimMidiService(SimDevice device, LinkFaults faults = {});
    explicit SimMidiService(std::shared_ptr<SimWorld> world);
    ~SimMidiService() override;

    std::optional<QString> inPortName(int index) const override;
    std::optional<QString> outPortName(int index) const override;
    bool openIn(int index, ReceiveCallback callback) override;
    bool openOut(int index) override;
    // Must not be called from within a receive callback.
    void closeIn() override;
    void closeOut() override;
    bool isInOpen() const override;
    bool isOutOpen() const override;
    // False once the port has gone away (a Vanish fault).
    bool send(const std::uint8_t *data, std::size_t length) override;

    // The first device and its fault plan, for tests and tools.
    SimWorker &worker() { return shared->worker(0); }
    // The devices it shows, to open more services on.
    const std::shared_ptr<SimWorld> &world() const { return shared; }

private:
    std::shared_ptr<SimWorld> shared;
    std::shared_ptr<SimWorld::Inlet> inlet;
    // Devices, not port indices: those shift when a port goes away.
    std::atomic<int> inDevice{-1};
    std::atomic<int> outDevice{-1};
};
