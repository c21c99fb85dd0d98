#include "interruptsweep.h"

#include "campaignrig.h"
#include "qtbytes.h"
#include "replytimer.h"

namespace {

constexpr int ListBlock = 0;
constexpr int PagesPerBlock = 64;
constexpr int MaxTicks = 2 * ReplyTimer::CeilingTicks;  // nothing is lost: no update waits that long

// Empty when the device holds the image and a list it can boot with.
QString problem(CampaignRig &rig, const QByteArray &image, std::int16_t factory)
{
    if (!rig.outcome)
        return QStringLiteral("did not end");
    if (*rig.outcome != UpdateOutcome::Success)
        return QStringLiteral("ended with: ") + rig.message;
    const SimDevice &device = rig.loop.device;
    if (!device.violations().empty())
        return QStringLiteral("device: ") + toQString(device.violations().front());
    std::vector<std::string> headers;
    if (toQByteArray(device.image(image.size(), &headers)) != image || !headers.empty())
        return QStringLiteral("the device holds another image");
    const auto list = device.storedList();
    if (!list)
        return QStringLiteral("no list in block 0");
    if (list->factoryDefects != factory)
        return QStringLiteral("factory count %1, expected %2").arg(list->factoryDefects).arg(factory);
    for (int b = 0; b < SimNand::Blocks; ++b)
        if (rig.engine.badBlocks().isBad(b) != (list->badBlocks.count(b) != 0))
            return QStringLiteral("block %1 is listed otherwise than the engine knew it").arg(b);
    bool gap = false;
    for (int page = 0; page < PagesPerBlock; ++page) {
        const bool used = device.pageWritten(ListBlock, page);
        if (used && gap)
            return QStringLiteral("block 0 page %1 is used after an empty page").arg(page);
        gap = gap || !used;
    }
    return {};
}

} // namespace

InterruptSweep::InterruptSweep(Scenario scenario)
    : scenario(std::move(scenario))
{
    this->scenario.rates = LinkFaults::Rates();
}

InterruptSweep::Result InterruptSweep::run()
{
    Result result;
    std::int16_t factory = 0;
    {
        CampaignRig whole;
        scenario.apply(whole.loop);
        const auto before = whole.loop.device.storedList();
        factory = before ? before->factoryDefects : std::int16_t(scenario.factoryDefects.size());
        whole.start(scenario.image);
        whole.drive(MaxTicks);
        const QString why = problem(whole, scenario.image, factory);
        if (!why.isEmpty()) {
            result.failures << QStringLiteral("uncut update: ") + why;
            return result;
        }
        result.exchanges = whole.loop.sentCount() - 1;  // Finish has no answer
    }

    for (int cut = 1; cut <= result.exchanges; ++cut) {
        CampaignRig first;
        scenario.apply(first.loop);
        first.loop.refuseFrom = cut;  // the power goes once `cut` exchanges are through
        first.start(scenario.image);
        first.drive(MaxTicks);

        CampaignRig fresh;
        fresh.loop.device = first.loop.device;
        fresh.loop.device.clearViolations();
        fresh.start(scenario.image);
        fresh.drive(MaxTicks);
        ++result.cuts;
        const QString why = problem(fresh, scenario.image, factory);
        if (!why.isEmpty())
            result.failures << QStringLiteral("cut after exchange %1: %2").arg(cut).arg(why);
    }
    return result;
}
