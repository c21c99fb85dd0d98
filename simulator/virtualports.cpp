#include "virtualports.h"

#include <RtMidi.h>

namespace {

constexpr unsigned int InputQueue = 1024;
const char ClientName[] = "Qel simulator";

} // namespace

VirtualPorts::VirtualPorts() = default;

VirtualPorts::~VirtualPorts()
{
    // Closed before destruction: JACK's thread may otherwise still touch the port.
    closeIn();
    closeOut();
}

bool VirtualPorts::open(const QString &api, const QString &name, Receiver onReceive)
{
    receiver = std::move(onReceive);
    const RtMidi::Api chosen = api.isEmpty() ? RtMidi::UNSPECIFIED
                                             : RtMidi::getCompiledApiByName(api.toStdString());
    if (!api.isEmpty() && chosen == RtMidi::UNSPECIFIED) {
        onError(RtMidiError::INVALID_PARAMETER, "no MIDI system called " + api.toStdString(), this);
        return false;
    }
    onJack = chosen == RtMidi::UNIX_JACK;
    if (onJack)
        jackWatch.attach();
    try {
        in = std::make_unique<RtMidiIn>(chosen, ClientName, InputQueue);
        out = std::make_unique<RtMidiOut>(chosen, ClientName);
    } catch (const RtMidiError &e) {
        onError(e.getType(), e.getMessage(), this);
        return false;
    }
    const auto errorHandler = [](RtMidiError::Type type, const std::string &text, void *self) {
        onError(type, text, self);
    };
    in->setErrorCallback(errorHandler, this);
    out->setErrorCallback(errorHandler, this);
    in->ignoreTypes(false, true, true);  // SysEx is dropped unless asked for
    in->setCallback(&VirtualPorts::onMessage, this);
    in->openVirtualPort((name + QStringLiteral(" MIDI IN")).toStdString());
    out->openVirtualPort((name + QStringLiteral(" MIDI OUT")).toStdString());
    // Also what orders the ports above before the replies the receiver sends on.
    gate.open();
    return error().isEmpty();
}

void VirtualPorts::closeIn()
{
    gate.close();
    if (!in)
        return;
    in->closePort();
    in.reset();
}

void VirtualPorts::closeOut()
{
    if (!out)
        return;
    out->closePort();
    if (onJack)
        jackWatch.waitForCycleEnd();
    out.reset();
}

void VirtualPorts::send(const QByteArray &message)
{
    if (out && !message.isEmpty())
        out->sendMessage(reinterpret_cast<const unsigned char *>(message.constData()), std::size_t(message.size()));
}

QString VirtualPorts::error() const
{
    std::lock_guard<std::mutex> lock(errorMutex);
    return lastError;
}

QString VirtualPorts::apiName() const
{
    if (!out)
        return {};
    return QString::fromStdString(RtMidi::getApiName(out->getCurrentApi()));
}

void VirtualPorts::onMessage(double, std::vector<unsigned char> *message, void *self)
{
    auto *ports = static_cast<VirtualPorts *>(self);
    if (!message || message->empty())
        return;
    ports->gate.pass([&] {
        if (ports->receiver)
            ports->receiver(QByteArray(reinterpret_cast<const char *>(message->data()), int(message->size())));
    });
}

void VirtualPorts::onError(int type, const std::string &text, void *self)
{
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING)
        return;
    auto *ports = static_cast<VirtualPorts *>(self);
    std::lock_guard<std::mutex> lock(ports->errorMutex);
    if (ports->lastError.isEmpty())
        ports->lastError = QString::fromStdString(text);
}
