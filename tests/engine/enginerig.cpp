#include "enginerig.h"

#include <memory>

namespace {

class RigService : public MidiService
{
public:
    explicit RigService(EngineRig &rig) : rig(rig) {}

    std::optional<QString> inPortName(int index) const override { return portName(index); }
    std::optional<QString> outPortName(int index) const override { return portName(index); }
    bool openIn(int index, ReceiveCallback) override { return inOpen = index == 0; }
    bool openOut(int index) override { return outOpen = index == 0; }
    void closeIn() override { inOpen = false; }
    void closeOut() override { outOpen = false; }
    bool isInOpen() const override { return inOpen; }
    bool isOutOpen() const override { return outOpen; }
    bool send(const std::uint8_t *data, std::size_t length) override { return rig.onSend(data, length); }

private:
    static std::optional<QString> portName(int index)
    {
        return index == 0 ? std::optional<QString>(QStringLiteral("Rig")) : std::nullopt;
    }

    EngineRig &rig;
    bool inOpen = false;
    bool outOpen = false;
};

} // namespace

EngineRig::EngineRig()
    : link(std::make_unique<RigService>(*this)), engine(link)
{
    responder = [this](const QByteArray &command) { return device.handle(command); };
    link.openPorts(0, 0);
    QObject::connect(&engine, &UpdateEngine::trace, [this](const QString &line) { traces << line; });
    QObject::connect(&engine, &UpdateEngine::progressChanged,
                     [this](int done, int total) { progress << qMakePair(done, total); });
    QObject::connect(&engine, &UpdateEngine::blockShown, [this](int block) { blocksShown << block; });
    QObject::connect(&engine, &UpdateEngine::pageShown, [this](int page) { pagesShown << page; });
    QObject::connect(&engine, &UpdateEngine::finished, [this](UpdateOutcome outcome, const QString &message) {
        outcomes << outcome;
        messages << message;
    });
}

void EngineRig::run(const QByteArray &image)
{
    engine.start(image);
    pump();
}

void EngineRig::pump()
{
    while (!queue.empty()) {
        const QByteArray reply = queue.front();
        queue.pop_front();
        feed(reply);
    }
}

void EngineRig::tick(int count)
{
    for (int i = 0; i < count; ++i)
        engine.tick();
}

void EngineRig::feed(const QByteArray &reply)
{
    engine.handleReply(link.takeReply(reply));
}

void EngineRig::releaseHeld()
{
    queue.insert(queue.begin(), held.begin(), held.end());
    held.clear();
}

bool EngineRig::onSend(const std::uint8_t *data, std::size_t length)
{
    const int index = int(sent.size());
    if ((refuseFrom >= 0 && index >= refuseFrom) || index >= MaxMessages)
        return false;
    const QByteArray command(reinterpret_cast<const char *>(data), qsizetype(length));
    sent << command;
    const std::vector<QByteArray> replies = responder(command);
    const Fate what = fate ? fate(command, index) : Fate::Deliver;
    if (what == Fate::Deliver)
        queue.insert(queue.end(), replies.begin(), replies.end());
    else if (what == Fate::Hold)
        held.insert(held.end(), replies.begin(), replies.end());
    return true;
}
