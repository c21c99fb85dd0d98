#include "midiports.h"

#include <QAbstractEventDispatcher>

#include <algorithm>
#include <array>
#include <thread>

Q_LOGGING_CATEGORY(lcMidi, "qel.midi")

namespace {

constexpr std::uint8_t SysExStart = 0xF0;
constexpr std::uint8_t SysExEnd = 0xF7;
constexpr std::uint8_t StatusBit = 0x80;

// A status byte inside would end the message early on the wire.
bool isWellFormedSysEx(const std::uint8_t *data, std::size_t length)
{
    return data && length >= 2 && data[0] == SysExStart && data[length - 1] == SysExEnd
           && std::none_of(data + 1, data + length - 1, [](std::uint8_t b) { return b & StatusBit; });
}

} // namespace

MidiPorts::MidiPorts(std::unique_ptr<MidiService> service)
    : midiService(std::move(service)), dispatcher(QAbstractEventDispatcher::instance())
{
    // The loop emits awake() each time it returns from waiting, which a
    // wakeUp() from the MIDI thread makes it do.
    if (dispatcher)
        awakeConnection = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [this] { takeWaiting(); });
}

MidiPorts::~MidiPorts()
{
    closePorts();
    QObject::disconnect(awakeConnection);
}

std::optional<QString> MidiPorts::inPortName(int index) const
{
    return midiService ? midiService->inPortName(index) : std::nullopt;
}

std::optional<QString> MidiPorts::outPortName(int index) const
{
    return midiService ? midiService->outPortName(index) : std::nullopt;
}

QStringList MidiPorts::portNames(bool input, int limit) const
{
    return midiService ? midiService->portNames(input, limit) : QStringList();
}

bool MidiPorts::openPorts(int inIndex, int outIndex)
{
    closePorts();
    closingFlag.store(false);
    if (!midiService)
        return false;
    const bool inOpened = midiService->openIn(inIndex, [this](const std::uint8_t *data, std::size_t length) {
        receive(data, length);
    });
    // The output is opened whatever became of the input.
    const bool outOpened = midiService->openOut(outIndex);
    return inOpened && outOpened;
}

void MidiPorts::closePorts()
{
    if (!midiService)
        return;
    // Set before closing: what the service hands back while closing is not posted.
    if (midiService->isInOpen())
        closingFlag.store(true);
    // Both are harmless when closed, and free a port the service no longer counts as open.
    midiService->closeIn();
    midiService->closeOut();
}

void MidiPorts::setReceiver(Receiver target)
{
    receiver = std::move(target);
}

int MidiPorts::takeWaiting()
{
    // Cleared first: a message pushed from here on wakes the loop again. An
    // exchange, not a store, so that it reads what the MIDI thread's exchange
    // wrote and sees the message pushed before it.
    wakePending.exchange(false);
    int taken = 0;
    // On the stack, so that a receiver that runs an event loop of its own
    // cannot have the bytes it is reading overwritten.
    std::array<std::uint8_t, ReceiveQueue::SlotSize> message;
    std::uint32_t stamp = 0;
    while (const std::size_t length = queue.pop(message.data(), &stamp)) {
        ++taken;
        // Waking this thread may have pre-empted the MIDI thread in the
        // middle of a burst of messages that arrived together, a duplicate
        // among them. Let it finish first, so that what came with this
        // message is stamped before the answer goes out, not after.
        if (queue.empty())
            std::this_thread::yield();
        handing = stamp;
        if (receiver)
            receiver(message.data(), length);
    }
    handing = UINT32_MAX;
    return taken;
}

bool MidiPorts::sendSysEx(const std::uint8_t *data, std::size_t length)
{
    if (!isOutOpen()) {
        qCWarning(lcMidi) << "no MIDI OUT is open; message not sent";
        return false;
    }
    if (!isWellFormedSysEx(data, length)) {
        qCWarning(lcMidi) << "refused a malformed SysEx message of" << length << "bytes";
        return false;
    }
    // Counted before it leaves, so that its answer is stamped with it.
    sent.fetch_add(1, std::memory_order_release);
    return midiService->send(data, length);
}

bool MidiPorts::isInOpen() const
{
    return midiService && midiService->isInOpen();
}

bool MidiPorts::isOutOpen() const
{
    return midiService && midiService->isOutOpen();
}

void MidiPorts::receive(const std::uint8_t *data, std::size_t length)
{
    // Runs on the service's thread, perhaps a real-time one: copy and wake,
    // nothing that allocates or waits. Short messages and the tail pieces of
    // a long SysEx do not start with 0xF0.
    if (closingFlag.load() || length == 0 || data[0] != SysExStart)
        return;
    if (!queue.push(data, length, sent.load(std::memory_order_acquire)))
        return;
    if (!wakePending.exchange(true) && dispatcher)
        dispatcher->wakeUp();
}
