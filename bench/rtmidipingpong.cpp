#include "rtmidipingpong.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const char ClientName[] = "Qel bench";
// As deep as the updater's own input queue.
constexpr unsigned int InputQueue = 100;
// Far beyond any round trip: no progress for this long means an answer was lost.
constexpr std::chrono::seconds CheckInterval{1};
constexpr int ChecksWithoutProgress = 5;

template <typename Port>
std::optional<unsigned int> findPort(Port &port, const QString &name)
{
    for (unsigned int i = 0; i < port.getPortCount(); ++i) {
        if (QString::fromStdString(port.getPortName(i)).contains(name))
            return i;
    }
    return std::nullopt;
}

} // namespace

const int RtMidiPingPong::ArrivedType = QEvent::registerEventType();

RtMidiPingPong::RtMidiPingPong()
    : in(RtMidi::UNIX_JACK, ClientName, InputQueue)
    , out(RtMidi::UNIX_JACK, ClientName)
{
    // A watch on progress rather than a time-out restarted per message, which
    // would cost the bare loop a timer round of its own.
    patience.setInterval(CheckInterval);
    connect(&patience, &QTimer::timeout, this, [this] {
        stalls = next == nextAtCheck ? stalls + 1 : 0;
        nextAtCheck = next;
        if (stalls >= ChecksWithoutProgress)
            loop.quit();
    });
}

RtMidiPingPong::~RtMidiPingPong()
{
    in.cancelCallback();
    in.closePort();
    out.closePort();
}

bool RtMidiPingPong::open(const QString &peerIn, const QString &peerOut, QString *error)
{
    try {
        const std::optional<unsigned int> outPort = findPort(out, peerIn);
        const std::optional<unsigned int> inPort = findPort(in, peerOut);
        if (!outPort || !inPort) {
            *error = QStringLiteral("no JACK ports named %1 and %2").arg(peerIn, peerOut);
            return false;
        }
        in.ignoreTypes(false, true, true);
        in.setCallback(&RtMidiPingPong::onMessage, this);
        in.openPort(*inPort);
        out.openPort(*outPort);
    } catch (const RtMidiError &e) {
        *error = QString::fromStdString(e.getMessage());
        return false;
    }
    return true;
}

std::optional<std::chrono::nanoseconds> RtMidiPingPong::run(const Conversation &conversation)
{
    script = &conversation;
    next = 0;
    repliesAwaited = 0;
    nextAtCheck = 0;
    stalls = 0;
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

bool RtMidiPingPong::event(QEvent *e)
{
    if (e->type() != QEvent::Type(ArrivedType))
        return QObject::event(e);
    // What answers the last command of a run comes in first; it is no reply here.
    if (trailing > 0)
        --trailing;
    else if (repliesAwaited > 0 && --repliesAwaited == 0)
        sendNext();
    return true;
}

void RtMidiPingPong::onMessage(double, std::vector<unsigned char> *message, void *self)
{
    // As the updater's receive path: nothing on the MIDI thread but the hand-over.
    if (message && !message->empty())
        QCoreApplication::postEvent(static_cast<RtMidiPingPong *>(self), new QEvent(QEvent::Type(ArrivedType)));
}

void RtMidiPingPong::sendNext()
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
    out.sendMessage(reinterpret_cast<const unsigned char *>(exchange.command.constData()),
                    std::size_t(exchange.command.size()));
    if (last) {
        complete = true;
        loop.quit();
    }
}
