#include "campaignrig.h"

#include "sessiontexts.h"
#include "texts.h"

CampaignRig::CampaignRig()
{
    loop.receiver = [this](const Bytes &message) {
        Reply reply = decodeReply(message.data(), int(message.size()));
        reply.sentBefore = loop.arrivalStamp();
        engine.handleReply(reply);
    };
}

bool CampaignRig::send(const SysExMessage &message)
{
    return loop.send(message.data(), message.size());
}

std::uint32_t CampaignRig::sentCount() const
{
    return std::uint32_t(loop.sentCount());
}

void CampaignRig::traced(const TraceLine &line)
{
    if (onTrace)
        onTrace(line);
    switch (line.kind) {
    case TraceKind::AnswerLost: ++recovery.answersLost; break;
    case TraceKind::PageRestarted: ++recovery.pagesRestarted; break;
    case TraceKind::BlockRestarted: ++recovery.blocksRestarted; break;
    case TraceKind::PageReadBackWrong: ++recovery.readBackWrong; break;
    default: break;
    }
}

void CampaignRig::finished(const Ending &ending)
{
    outcome = ending.outcome;
    message = Texts::render(SessionTexts::outcomeMessage(ending));
    ++endings;
}

void CampaignRig::start(const QByteArray &image, bool verify)
{
    outcome.reset();
    message.clear();
    endings = 0;
    ticks = 0;
    recovery = {};
    engine.start(reinterpret_cast<const std::uint8_t *>(image.constData()), std::size_t(image.size()), verify);
}

bool CampaignRig::drive(int maxTicks)
{
    for (;;) {
        loop.pump();
        if (!engine.isRunning())
            break;
        if (ticks >= maxTicks)
            return false;
        ++ticks;
        loop.tick();
        engine.tick();
    }
    loop.pump();  // what the device still says after the end changes nothing
    return true;
}
