#include "discovery.h"

#include "sysex.h"

#include <algorithm>

// One service of the probe: an input and an output of the same index opened
// at once, its answers handed to the discovery with the input they came on.
class Discovery::Probe
{
public:
    Probe(Discovery &owner, std::unique_ptr<MidiService> service)
        : owner(owner), ports(std::move(service))
    {
        ports.setReceiver([this](const std::uint8_t *data, std::size_t length) {
            if (inIndex >= 0)
                this->owner.rounds.takeMessage(inIndex, data, length);
        });
    }
    ~Probe() { ports.closePorts(); }
    Probe(const Probe &) = delete;
    Probe &operator=(const Probe &) = delete;

    // Opens by name: the other probes' own ports may have shifted the indexes.
    void open(const QString &inName, const QString &outName)
    {
        const int in = inName.isEmpty() ? -1 : int(ports.portNames(true).indexOf(inName));
        const int out = outName.isEmpty() ? -1 : int(ports.portNames(false).indexOf(outName));
        ports.openPorts(in, out);
    }
    bool ask()
    {
        const SysExMessage identify = buildIdentify();
        return ports.isOutOpen() && ports.sendSysEx(identify.data(), identify.size());
    }
    void takeWaiting() { ports.takeWaiting(); }

    int inIndex = -1;

private:
    Discovery &owner;
    MidiPorts ports;
};

Discovery::Discovery(ServiceFactory factory, QObject *parent)
    : QObject(parent), makeService(std::move(factory))
{
    connect(&ticker, &QTimer::timeout, this, &Discovery::tick);
}

Discovery::~Discovery() = default;

void Discovery::start()
{
    probes.clear();
    devices.clear();
    std::unique_ptr<MidiService> first = makeService ? makeService() : nullptr;
    if (!first) {
        emit finished(devices);
        return;
    }
    inNames = first->portNames(true, MaxPorts);
    outNames = first->portNames(false, MaxPorts);
    rounds.start(int(inNames.size()), int(outNames.size()));
    // Nobody to ask, or nowhere to hear: nothing is opened.
    if (!rounds.isRunning()) {
        finish();
        return;
    }
    const int count = int(std::max(inNames.size(), outNames.size()));
    for (int k = 0; k < count; ++k) {
        auto probe = std::make_unique<Probe>(*this, k == 0 ? std::move(first) : makeService());
        probe->inIndex = k < inNames.size() ? k : -1;
        probe->open(k < inNames.size() ? inNames.at(k) : QString(), k < outNames.size() ? outNames.at(k) : QString());
        probes.push_back(std::move(probe));
    }
    ask();
}

void Discovery::cancel()
{
    rounds.cancel();
    ticker.stop();
    probes.clear();
}

void Discovery::startTicking()
{
    ticker.start(TickIntervalMs);
}

void Discovery::ask()
{
    // Probe k holds output k.
    for (int out = rounds.nextAsk(); out >= 0; out = rounds.nextAsk())
        probes.at(std::size_t(out))->ask();
}

void Discovery::tick()
{
    if (!rounds.isRunning())
        return;
    // A round's answers count in that round, whatever the loop got to.
    for (const std::unique_ptr<Probe> &probe : probes)
        probe->takeWaiting();
    if (rounds.tick())
        ask();
    else
        finish();
}

void Discovery::finish()
{
    ticker.stop();
    probes.clear();  // every port closed again
    for (const FoundQel &found : rounds.found()) {
        FoundDevice device;
        device.serialNumber = found.serialNumber;
        device.serialText = QString::fromStdString(found.serialText);
        device.firmwareVersion = found.firmwareVersion;
        device.inIndex = found.input;
        device.outIndex = found.output;
        device.inName = inNames.value(found.input);
        device.outName = outNames.value(found.output);
        devices << device;
    }
    emit finished(devices);
}
