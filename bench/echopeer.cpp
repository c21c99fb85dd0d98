#include "echopeer.h"

namespace {

const char ClientName[] = "Qel bench echo";
// As deep as the simulator's input queue.
constexpr unsigned int InputQueue = 1024;

} // namespace

EchoPeer::EchoPeer()
    : in(RtMidi::UNIX_JACK, ClientName, InputQueue)
    , out(RtMidi::UNIX_JACK, ClientName)
    , worker(&EchoPeer::work, this)
{
}

EchoPeer::~EchoPeer()
{
    in.cancelCallback();
    in.closePort();
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    worker.join();
    out.closePort();
}

bool EchoPeer::open(const QString &name, QString *error)
{
    try {
        in.ignoreTypes(false, true, true);
        in.setCallback(&EchoPeer::onMessage, this);
        in.openVirtualPort((name + QStringLiteral(" MIDI IN")).toStdString());
        out.openVirtualPort((name + QStringLiteral(" MIDI OUT")).toStdString());
    } catch (const RtMidiError &e) {
        *error = QString::fromStdString(e.getMessage());
        return false;
    }
    return true;
}

void EchoPeer::answer(const Conversation &conversation)
{
    std::lock_guard<std::mutex> lock(mutex);
    queue.clear();
    script = &conversation;
    answered = 0;
}

void EchoPeer::onMessage(double, std::vector<unsigned char> *message, void *self)
{
    if (!message || message->empty())
        return;
    auto *peer = static_cast<EchoPeer *>(self);
    QByteArray bytes(reinterpret_cast<const char *>(message->data()), qsizetype(message->size()));
    {
        std::lock_guard<std::mutex> lock(peer->mutex);
        peer->queue.push_back(std::move(bytes));
    }
    peer->wake.notify_one();
}

void EchoPeer::work()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !queue.empty(); });
        if (stopping)
            return;
        queue.pop_front();
        const Conversation *conversation = script;
        const std::size_t index = answered++;
        lock.unlock();
        if (conversation && index < conversation->size()) {
            for (const QByteArray &reply : (*conversation)[index].replies)
                out.sendMessage(reinterpret_cast<const unsigned char *>(reply.constData()), std::size_t(reply.size()));
        }
        lock.lock();
    }
}
