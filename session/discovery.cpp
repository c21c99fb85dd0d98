#include "discovery.h"

#include "devicelink.h"
#include "reply.h"
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
                this->owner.takeAnswer(inIndex, data, length);
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
    int outIndex = -1;

private:
    Discovery &owner;
    MidiPorts ports;
};

namespace {

int bitsFor(int outputs)
{
    int bits = 0;
    while ((1 << bits) < outputs)
        ++bits;
    return bits;
}

} // namespace

Discovery::Discovery(ServiceFactory factory, QObject *parent)
    : QObject(parent), makeService(std::move(factory))
{
    connect(&ticker, &QTimer::timeout, this, &Discovery::tick);
}

Discovery::~Discovery() = default;

int Discovery::durationTicks(int outputs)
{
    return RoundTicks * (1 + bitsFor(outputs));
}

void Discovery::start()
{
    probes.clear();
    heard.clear();
    devices.clear();
    std::unique_ptr<MidiService> first = makeService ? makeService() : nullptr;
    if (!first) {
        emit finished(devices);
        return;
    }
    inNames = first->portNames(true, MaxPorts);
    outNames = first->portNames(false, MaxPorts);
    running = true;
    // Nobody to ask, or nowhere to hear: nothing is opened.
    if (inNames.isEmpty() || outNames.isEmpty()) {
        finish();
        return;
    }
    const int count = int(std::max(inNames.size(), outNames.size()));
    for (int k = 0; k < count; ++k) {
        auto probe = std::make_unique<Probe>(*this, k == 0 ? std::move(first) : makeService());
        probe->inIndex = k < inNames.size() ? k : -1;
        probe->outIndex = k < outNames.size() ? k : -1;
        probe->open(k < inNames.size() ? inNames.at(k) : QString(), k < outNames.size() ? outNames.at(k) : QString());
        probes.push_back(std::move(probe));
    }
    rounds = 1 + bitsFor(int(outNames.size()));
    round = 0;
    roundTick = 0;
    askRound();
}

void Discovery::cancel()
{
    running = false;
    ticker.stop();
    probes.clear();
}

void Discovery::startTicking()
{
    ticker.start(TickIntervalMs);
}

void Discovery::askRound()
{
    for (const auto &probe : probes) {
        const int out = probe->outIndex;
        if (out >= 0 && (round == 0 || (out >> (round - 1)) & 1))
            probe->ask();
    }
}

void Discovery::takeAnswer(int inIndex, const std::uint8_t *message, std::size_t length)
{
    if (!running)
        return;
    const Reply reply = DeviceLink::takeReply(message, length);
    if (reply.code != ReplyIdentify)
        return;
    auto it = std::find_if(heard.begin(), heard.end(), [&](const Heard &h) {
        return h.inIndex == inIndex && h.serial == reply.serialNumber;
    });
    if (it == heard.end())
        it = heard.insert(heard.end(), Heard{inIndex, reply.serialNumber, reply.firmwareVersion, 0});
    it->rounds |= 1u << round;
}

void Discovery::tick()
{
    if (!running)
        return;
    // A round's answers count in that round, whatever the loop got to.
    for (const std::unique_ptr<Probe> &probe : probes)
        probe->takeWaiting();
    if (++roundTick < RoundTicks) {
        if (roundTick % AskAgainTicks == 0 && roundTick / AskAgainTicks < RoundAsks)
            askRound();
        return;
    }
    roundTick = 0;
    if (++round < rounds)
        askRound();
    else
        finish();
}

void Discovery::finish()
{
    running = false;
    ticker.stop();
    probes.clear();  // every port closed again
    for (const Heard &h : heard) {
        // Only a device that answered everyone is sure to have been asked at all.
        if (!(h.rounds & 1u))
            continue;
        const int out = int(h.rounds >> 1);
        if (out >= outNames.size())
            continue;
        FoundDevice device;
        device.serialNumber = h.serial;
        device.serialText = QString::fromStdString(formatSerial(h.serial));
        device.firmwareVersion = h.version;
        device.inIndex = h.inIndex;
        device.outIndex = out;
        device.inName = inNames.value(h.inIndex);
        device.outName = outNames.value(out);
        devices << device;
    }
    std::sort(devices.begin(), devices.end(), [](const FoundDevice &a, const FoundDevice &b) {
        return a.serialNumber < b.serialNumber || (a.serialNumber == b.serialNumber && a.inIndex < b.inIndex);
    });
    emit finished(devices);
}
