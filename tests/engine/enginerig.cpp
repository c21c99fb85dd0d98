#include "enginerig.h"

EngineRig::EngineRig()
    : device(loop.device), link(loop.makeService()), engine(link), responder(loop.responder),
      fate(loop.fate), refuseFrom(loop.refuseFrom), sent(loop.sent())
{
    refuseFrom = MaxMessages;
    loop.receiver = [this](const QByteArray &message) { feed(message); };
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

bool EngineRig::runToEnd(const QByteArray &image, int maxTicks)
{
    run(image);
    for (int ticks = 0; engine.isRunning() && ticks < maxTicks; ++ticks) {
        tick();
        pump();
    }
    return !engine.isRunning();
}

void EngineRig::tick(int count)
{
    for (int i = 0; i < count; ++i) {
        loop.tick();
        engine.tick();
    }
}

void EngineRig::feed(const QByteArray &reply)
{
    engine.handleReply(link.takeReply(reply));
}
