#include "campaignrig.h"

CampaignRig::CampaignRig()
    : link(loop.makeService()), engine(link)
{
    // The hex trace of every reply costs more than the rest of the intake.
    link.setTraceEnabled(false);
    link.openPorts(0, 0);
    loop.receiver = [this](const QByteArray &reply) { engine.handleReply(link.takeReply(reply)); };
    QObject::connect(&engine, &UpdateEngine::finished, [this](UpdateOutcome how, const QString &text) {
        outcome = how;
        message = text;
        ++endings;
    });
}

void CampaignRig::start(const QByteArray &image)
{
    outcome.reset();
    message.clear();
    endings = 0;
    ticks = 0;
    engine.start(image);
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
