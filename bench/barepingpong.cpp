#include "barepingpong.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const char ClientName[] = "Qel bench";
const char PeerName[] = "Qel bench peer";
// As deep as the updater's and the simulator's input queues.
constexpr unsigned int InputQueue = 100;
constexpr unsigned int PeerQueue = 1024;
// Far beyond any round trip: no progress for this long means an answer was lost.
constexpr std::chrono::seconds CheckInterval{5};
const QEvent::Type ArrivedType = QEvent::Type(QEvent::registerEventType());

template <typename Port>
std::optional<unsigned int> findPort(Port &port, const std::string &name)
{
    for (unsigned int i = 0; i < port.getPortCount(); ++i)
        if (port.getPortName(i).find(name) != std::string::npos)
            return i;
    return std::nullopt;
}

void send(RtMidiOut &port, const Bytes &message)
{
    port.sendMessage(message.data(), message.size());
}

} // namespace

BarePingPong::BarePingPong()
    : in(RtMidi::UNIX_JACK, ClientName, InputQueue)
    , out(RtMidi::UNIX_JACK, ClientName)
    , peerIn(RtMidi::UNIX_JACK, PeerName, PeerQueue)
    , peerOut(RtMidi::UNIX_JACK, PeerName)
{
    // A watch on progress rather than a time-out restarted per message, which
    // would cost the bare loop a timer round of its own.
    patience.setInterval(CheckInterval);
    connect(&patience, &QTimer::timeout, this, [this] {
        if (next == nextAtCheck)
            loop.quit();
        nextAtCheck = next;
    });
}

BarePingPong::~BarePingPong()
{
    // Closed before destruction: RtMidi's JACK destructor may race the JACK thread.
    in.cancelCallback();
    peerIn.cancelCallback();
    in.closePort();
    peerIn.closePort();
    out.closePort();
    peerOut.closePort();
}

bool BarePingPong::open(QString *error)
{
    try {
        for (RtMidiIn *port : {&in, &peerIn})
            port->ignoreTypes(false, true, true);
        peerIn.setCallback(&BarePingPong::onPeerMessage, this);
        peerIn.openVirtualPort("peer in");
        peerOut.openVirtualPort("peer out");
        const std::optional<unsigned int> outPort = findPort(out, "peer in");
        const std::optional<unsigned int> inPort = findPort(in, "peer out");
        if (!outPort || !inPort) {
            *error = QStringLiteral("the bare ping-pong's peer ports are not listed");
            return false;
        }
        in.setCallback(&BarePingPong::onReply, this);
        in.openPort(*inPort);
        out.openPort(*outPort);
    } catch (const RtMidiError &e) {
        *error = QString::fromStdString(e.getMessage());
        return false;
    }
    return true;
}

std::optional<std::chrono::nanoseconds> BarePingPong::run(const Conversation &conversation)
{
    script = &conversation;
    peerAnswered = 0;
    next = nextAtCheck = 0;
    repliesAwaited = 0;
    complete = false;
    patience.start();
    const auto started = std::chrono::steady_clock::now();
    sendNext();
    if (!complete)
        loop.exec();
    patience.stop();
    if (!complete)
        return std::nullopt;
    return std::chrono::steady_clock::now() - started;
}

bool BarePingPong::event(QEvent *e)
{
    if (e->type() != ArrivedType)
        return QObject::event(e);
    // What answers the last command of a run comes in first; it is no reply here.
    if (trailing > 0)
        --trailing;
    else if (repliesAwaited > 0 && --repliesAwaited == 0)
        sendNext();
    return true;
}

void BarePingPong::onPeerMessage(double, std::vector<unsigned char> *message, void *self)
{
    auto *pingPong = static_cast<BarePingPong *>(self);
    const std::size_t index = pingPong->peerAnswered++;
    if (message && !message->empty() && pingPong->script && index < pingPong->script->size()) {
        for (const Bytes &reply : (*pingPong->script)[index].replies)
            send(pingPong->peerOut, reply);
    }
}

void BarePingPong::onReply(double, std::vector<unsigned char> *message, void *self)
{
    // As the updater's receive path: nothing on the MIDI thread but the hand-over.
    if (message && !message->empty())
        QCoreApplication::postEvent(static_cast<BarePingPong *>(self), new QEvent(ArrivedType));
}

void BarePingPong::sendNext()
{
    if (next >= script->size()) {
        complete = true;
        loop.quit();
        return;
    }
    const Exchange &exchange = (*script)[next++];
    // The last command (Finish) is awaited by nobody: the update ends with its sending.
    const bool last = next == script->size();
    repliesAwaited = last ? 0 : exchange.replies.size();
    if (last)
        trailing += exchange.replies.size();
    send(out, exchange.command);
    if (last) {
        complete = true;
        loop.quit();
    }
}
