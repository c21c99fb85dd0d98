#pragma once

#include "linkfaults.h"
#include "midiservice.h"
#include "simdevice.h"
#include "simworker.h"

#include <QString>

#include <memory>
#include <mutex>
#include <vector>

// Simulated devices, each on a thread of its own behind a port pair, shared by
// every `sim` service that looks at them: like a real MIDI system, several
// services may listen to one device's output at once.
class SimWorld
{
public:
    static constexpr int MaxDevices = 16;

    struct Member
    {
        SimDevice device;
        LinkFaults faults;
    };

    // One open input on a device: replies reach the callback until close() returns.
    class Inlet
    {
    public:
        explicit Inlet(MidiService::ReceiveCallback callback) : receive(std::move(callback)) {}
        void deliver(const Bytes &message);
        // Waits for a callback under way; none starts afterwards.
        void close();

    private:
        std::mutex mutex;
        MidiService::ReceiveCallback receive;
    };

    explicit SimWorld(std::vector<Member> members);
    // Saves the images when asked to (see saveImagesAtEnd()).
    ~SimWorld();
    SimWorld(const SimWorld &) = delete;
    SimWorld &operator=(const SimWorld &) = delete;

    int deviceCount() const { return int(devices.size()); }
    // As the updater lists them: a device's MIDI OUT is where its replies come in.
    // A lone device keeps the plain names; several are numbered from 1.
    QString inPortName(int device) const;
    QString outPortName(int device) const;
    // False once the device's ports went away (a Vanish fault).
    bool present(int device) const;
    // The device behind the index-th port still present, or -1; ports that
    // went away drop out of the numbering, as on a real MIDI system.
    int deviceAt(int index) const;

    // Replies of `device` go to `callback`, from its thread, until stopListening()
    // returns; nothing when the device is not there.
    std::shared_ptr<Inlet> listen(int device, MidiService::ReceiveCallback callback);
    void stopListening(int device, const std::shared_ptr<Inlet> &inlet);
    void post(int device, Bytes command);

    SimWorker &worker(int device) { return *devices.at(std::size_t(device))->worker; }

    // When the world goes, each device writes the image it would boot, as
    // long as its last ResetNand announced (empty when none came), to
    // `dir`/qel-<serial>.bin: what a process wrote is there to compare after it ended.
    void saveImagesAtEnd(const QString &dir) { saveDir = dir; }

private:
    struct Device
    {
        std::mutex inletMutex;
        std::vector<std::shared_ptr<Inlet>> inlets;
        std::vector<std::shared_ptr<Inlet>> delivering;  // only the worker thread touches it
        std::unique_ptr<SimWorker> worker;  // last: its thread stops before the inlets go
    };
    void deliver(Device &device, const Bytes &message);

    std::vector<std::unique_ptr<Device>> devices;
    QString saveDir;
};
