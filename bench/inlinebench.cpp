#include "inlinebench.h"

#include "figures.h"
#include "headlessupdate.h"
#include "simloop.h"
#include "simloopservice.h"

using namespace Figures;

namespace {

constexpr double OwnWorkCeilingUs = 5.0;

// The update against a loop on the same thread whose device is `responder`,
// each reply through the receive path, its queue included; the time it took,
// or nothing when it did not end well.
std::optional<std::chrono::nanoseconds> runOnLoop(const ImageFile &image, SimLoop::Responder responder)
{
    SimLoop loop;
    loop.recordSent = false;
    loop.responder = std::move(responder);
    HeadlessUpdate update(makeSimLoopService(loop));
    update.openPorts(0, 0);
    MidiPorts &ports = update.session().deviceLink().ports();
    update.start(image.path());
    while (!update.isFinished() && loop.pump() > 0)
        ports.takeWaiting();
    if (!update.isFinished() || update.result().outcome != UpdateOutcome::Success)
        return std::nullopt;
    return update.result().elapsed;
}

} // namespace

Conversation recordUpdate(const ImageFile &image)
{
    Conversation conversation;
    SimDevice device;
    // As the sim service ships it: one copy of a list without bad blocks.
    device.storeListCopies(1, {}, 0);
    const auto recorded = runOnLoop(image, [&](const Bytes &command) {
        conversation.push_back({command, device.handle(command)});
        return conversation.back().replies;
    });
    if (!recorded || !device.violations().empty()) {
        say(QStringLiteral("recording the update failed"));
        return {};
    }
    return conversation;
}

void runInlineBench(const ImageFile &image, const Conversation &conversation, int rounds)
{
    const int exchanges = exchangeCount(conversation);
    say(QStringLiteral("\nThe tool's own work: the recorded replies handed back at once on the same thread "
                       "(%1 exchanges, %2 rounds)")
            .arg(exchanges).arg(rounds));
    std::vector<double> own;
    for (int round = 0; round < rounds; ++round) {
        std::size_t next = 0;
        bool strayed = false;
        const auto elapsed = runOnLoop(image, [&](const Bytes &command) {
            strayed = strayed || next >= conversation.size() || conversation[next].command != command;
            return strayed ? std::vector<Bytes>() : conversation[next++].replies;
        });
        if (!elapsed || strayed) {
            say(QStringLiteral("  the update did not run as recorded; no figures"));
            return;
        }
        own.push_back(perExchangeUs(*elapsed, exchanges));
    }
    say(QStringLiteral("  %1 us/exchange (median), the loop's hand-over included; target <= %2 us: %3")
            .arg(median(own), 0, 'f', 3)
            .arg(OwnWorkCeilingUs)
            .arg(verdict(median(own), OwnWorkCeilingUs)));
}
