#include "replayservice.h"

#include "midiports.h"

#include <cstring>
#include <memory>

namespace {

const QString PortName = QStringLiteral("Recorded device");

} // namespace

ReplayService::ReplayService(const Conversation &conversation, Delivery delivery)
    : conversation(conversation), delivery(delivery)
{
}

std::optional<QString> ReplayService::inPortName(int index) const
{
    return index == 0 ? std::optional<QString>(PortName) : std::nullopt;
}

std::optional<QString> ReplayService::outPortName(int index) const
{
    return inPortName(index);
}

bool ReplayService::openIn(int index, ReceiveCallback receive)
{
    callback = std::move(receive);
    inOpen = index == 0;
    return inOpen;
}

bool ReplayService::openOut(int index)
{
    outOpen = index == 0;
    return outOpen;
}

void ReplayService::closeIn()
{
    inOpen = false;
    callback = nullptr;
}

void ReplayService::closeOut()
{
    outOpen = false;
}

bool ReplayService::send(const std::uint8_t *data, std::size_t length)
{
    if (!outOpen)
        return false;
    if (strayed || next >= conversation.size())
        return true;
    const Exchange &exchange = conversation[next];
    if (std::size_t(exchange.command.size()) != length || std::memcmp(exchange.command.constData(), data, length) != 0) {
        strayed = true;
        return true;
    }
    ++next;
    for (const QByteArray &reply : exchange.replies) {
        if (delivery == Delivery::Direct)
            waiting.push_back(&reply);
        else if (inOpen && callback)
            callback(reinterpret_cast<const std::uint8_t *>(reply.constData()), std::size_t(reply.size()));
    }
    return true;
}

void ReplayService::deliverTo(MidiPorts &ports)
{
    while (nextWaiting < waiting.size()) {
        const QByteArray &reply = *waiting[nextWaiting++];
        if (inOpen && callback)
            callback(reinterpret_cast<const std::uint8_t *>(reply.constData()), std::size_t(reply.size()));
        ports.takeWaiting();
    }
    waiting.clear();
    nextWaiting = 0;
}
