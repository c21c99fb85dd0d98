#include "inlinebench.h"

#include "figures.h"
#include "headlessupdate.h"
#include "malloccounter.h"
#include "replayservice.h"
#include "simloop.h"

#include <QCoreApplication>

using namespace Figures;

namespace {

constexpr double OwnWorkCeilingUs = 5.0;

// As the sim service ships it: one copy of a list without bad blocks.
void ship(SimDevice &device)
{
    device.storeListCopies(1, {}, 0);
}

// One update against the same-thread loop's device; nothing when it did not end well.
std::optional<HeadlessUpdate::Result> runOnLoop(SimLoop &loop, const ImageFile &image)
{
    HeadlessUpdate update(loop.makeService());
    update.openPorts(0, 0);
    update.start(image.path());
    // Each reply takes the receive path, its queue included, and is handed
    // on at once rather than when the event loop comes round.
    MidiPorts &ports = update.session().deviceLink().ports();
    while (!update.isFinished() && loop.pump() > 0)
        ports.takeWaiting();
    if (!update.isFinished() || update.result().outcome != UpdateOutcome::Success || !loop.device.violations().empty())
        return std::nullopt;
    return update.result();
}

std::optional<HeadlessUpdate::Result> runReplay(const Conversation &conversation, const ImageFile &image,
                                                ReplayService::Delivery delivery, std::uint64_t *allocations = nullptr)
{
    auto owned = std::make_unique<ReplayService>(conversation, delivery);
    ReplayService *service = owned.get();
    HeadlessUpdate update(std::move(owned));
    update.openPorts(0, 0);
    if (delivery == ReplayService::Delivery::Posted) {
        update.run(image.path());
    } else {
        const std::uint64_t before = MallocCounter::allocations();
        update.start(image.path());
        service->deliverTo(update.session().deviceLink().ports());
        if (allocations)
            *allocations = MallocCounter::allocations() - before;
    }
    if (!update.isFinished() || !service->replayedWhole())
        return std::nullopt;
    return update.result();
}

std::chrono::nanoseconds deviceAlone(const Conversation &conversation)
{
    SimDevice device;
    ship(device);
    std::size_t replies = 0;
    const auto started = std::chrono::steady_clock::now();
    for (const Exchange &exchange : conversation)
        replies += device.handle(exchange.command).size();
    const auto elapsed = std::chrono::steady_clock::now() - started;
    if (replies == 0)
        say(QStringLiteral("  (the device answered nothing)"));
    return elapsed;
}

void line(const QString &what, const std::vector<double> &perExchange, const QString &note = QString())
{
    say(QStringLiteral("  %1 %2 us/exchange (best %3)%4")
            .arg(what, -44)
            .arg(median(perExchange), 6, 'f', 3)
            .arg(best(perExchange), 0, 'f', 3)
            .arg(note.isEmpty() ? QString() : QStringLiteral("  ") + note));
}

} // namespace

Conversation recordUpdate(const ImageFile &image)
{
    Conversation conversation;
    SimLoop loop;
    ship(loop.device);
    loop.recordSent = false;
    loop.responder = [&loop, &conversation](const QByteArray &command) {
        std::vector<QByteArray> replies = loop.device.handle(command);
        conversation.push_back({command, replies});
        return replies;
    };
    if (!runOnLoop(loop, image)) {
        say(QStringLiteral("recording the update failed"));
        return {};
    }
    return conversation;
}

void runInlineBench(const ImageFile &image, const Conversation &conversation, int rounds)
{
    const int exchanges = exchangeCount(conversation);
    say(QStringLiteral("\nThe tool's own work: the device answers at once on the same thread "
                       "(%1 exchanges, median of %2 rounds)")
            .arg(exchanges).arg(rounds));

    std::vector<double> live, device, own, replayed, posted;
    std::uint64_t allocations = 0;
    for (int round = 0; round < rounds; ++round) {
        SimLoop loop;
        ship(loop.device);
        loop.recordSent = false;
        const auto liveRun = runOnLoop(loop, image);
        const double deviceUs = perExchangeUs(deviceAlone(conversation), exchanges);
        const auto replayRun = runReplay(conversation, image, ReplayService::Delivery::Direct, &allocations);
        const auto postedRun = runReplay(conversation, image, ReplayService::Delivery::Posted);
        if (!liveRun || !replayRun || !postedRun) {
            say(QStringLiteral("  an update did not run as recorded; no figures"));
            return;
        }
        live.push_back(perExchangeUs(liveRun->elapsed, exchanges));
        device.push_back(deviceUs);
        own.push_back(live.back() - deviceUs);
        replayed.push_back(perExchangeUs(replayRun->elapsed, exchanges));
        posted.push_back(perExchangeUs(postedRun->elapsed, exchanges));
    }
    line(QStringLiteral("live device on the same-thread sim loop:"), live);
    line(QStringLiteral("the device alone, on the recorded commands:"), device);
    line(QStringLiteral("live - device (tool and loop plumbing):"), own);
    line(QStringLiteral("the tool alone, on the recorded replies:"), replayed,
         QStringLiteral("target <= %1 us: %2").arg(OwnWorkCeilingUs).arg(verdict(median(replayed), OwnWorkCeilingUs)));
    line(QStringLiteral("the same, replies posted through the event loop:"), posted);
    say(QStringLiteral("  heap allocations of the tool alone: %1 per exchange, the copy of each reply and "
                       "its event included (%2 in all)")
            .arg(double(allocations) / exchanges, 0, 'f', 3)
            .arg(allocations));
}
