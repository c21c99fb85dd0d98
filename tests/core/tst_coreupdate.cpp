// Whole updates of the plain C++ core, the wire format, the engine and the
// device model, without Qt: what the device holds afterwards decides, on both
// readings of what ReadChunk reaches.

#include "corerig.h"
#include "devicereplies.h"

#include <doctest/doctest.h>

#include <functional>
#include <set>
#include <string>

namespace {

using Reach = SimDevice::ReadReach;

constexpr int PageBytes = 2048;
constexpr int ImagePages = 70;  // more than one block, so a block lost moves the rest on
constexpr int MaxTicks = 200000;

const char *reachName(Reach reach)
{
    return reach == Reach::WholeFlash ? "whole flash" : "block 0";
}

struct Case
{
    const char *name;
    std::function<void(SimLoop &)> setUp;
    bool verify;
    // What a device reading the whole flash and one reading block 0 end with.
    UpdateOutcome onWhole;
    UpdateOutcome onBlockZero;
    std::set<int> listed;  // bad blocks the stored list must name afterwards
    int factoryCount;      // the list's factory defect count afterwards; -1: no list
    bool faulty = false;   // the link's faults must have struck
};

bool written(UpdateOutcome outcome)
{
    return outcome == UpdateOutcome::Success || outcome == UpdateOutcome::NotVerified;
}

const Case Cases[] = {
    {"clean", [](SimLoop &l) { l.device.storeListCopies(1, {}, 0); }, false,
     UpdateOutcome::Success, UpdateOutcome::Success, {}, 0},
    {"new flash, no list yet", [](SimLoop &) {}, false,
     UpdateOutcome::Success, UpdateOutcome::Success, {}, 0},
    {"erase fails", [](SimLoop &l) { l.device.storeListCopies(1, {}, 0); l.device.failErase(1); }, false,
     UpdateOutcome::Success, UpdateOutcome::Success, {1}, 0},
    {"program fails", [](SimLoop &l) { l.device.storeListCopies(1, {}, 0); l.device.failProgram(2, 3); }, false,
     UpdateOutcome::Success, UpdateOutcome::Success, {2}, 0},
    {"listed bad blocks kept", [](SimLoop &l) { l.device.storeListCopies(3, {1, 9}, 1); }, false,
     UpdateOutcome::Success, UpdateOutcome::Success, {1, 9}, 1},
    {"factory defects on a new flash, in both parts of the defect list",
     [](SimLoop &l) { l.device.setFactoryDefects({2, 700}); }, false,
     UpdateOutcome::Success, UpdateOutcome::Success, {2, 700}, 2},
    {"too many factory defects",
     [](SimLoop &l) { l.device.setFactoryDefects({2, 3, 5, 7}); }, false,
     UpdateOutcome::FlashUnhealthy, UpdateOutcome::FlashUnhealthy, {}, -1},
    {"lost replies and commands",
     [](SimLoop &l) {
         l.device.storeListCopies(1, {}, 0);
         LinkFaults::Rates rates;
         rates.lose = rates.loseCommand = 0.004;
         l.faults.setRates(rates, 21);
     }, false, UpdateOutcome::Success, UpdateOutcome::Success, {}, 0, true},
    {"verified", [](SimLoop &l) { l.device.storeListCopies(1, {}, 0); }, true,
     UpdateOutcome::Success, UpdateOutcome::NotVerified, {}, 0},
};

} // namespace

TEST_CASE("whole updates on both kinds of device")
{
    const Bytes image = makeImage(ImagePages * PageBytes - 77);
    for (const Case &c : Cases) {
        for (Reach reach : {Reach::WholeFlash, Reach::BlockZero}) {
            const std::string name = c.name;
            const std::string kind = reachName(reach);
            CAPTURE(name);
            CAPTURE(kind);
            CoreRig rig;
            rig.loop.device.setReadReach(reach);
            c.setUp(rig.loop);
            const UpdateOutcome expected = reach == Reach::WholeFlash ? c.onWhole : c.onBlockZero;

            REQUIRE(rig.run(image, c.verify, MaxTicks));
            REQUIRE(rig.outcomes.size() == 1);
            CHECK(rig.outcomes.front() == expected);
            const int struck = rig.loop.faults.count(LinkFaults::Fault::Lose)
                + rig.loop.faults.count(LinkFaults::Fault::LoseCommand);
            CHECK((struck > 0) == c.faulty);
            const SimDevice &device = rig.loop.device;
            CHECK(device.violations().empty());
            if (!device.violations().empty())
                MESSAGE(device.violations().front());

            const auto list = device.storedList();
            if (c.factoryCount < 0) {
                CHECK_FALSE(list);
            } else {
                REQUIRE(list);
                CHECK(list->badBlocks == c.listed);
                CHECK(list->factoryDefects == c.factoryCount);
            }
            std::vector<std::string> headers;
            if (written(expected)) {
                CHECK(device.image(std::int64_t(image.size()), &headers) == image);
                CHECK(headers.empty());
                CHECK(device.finishCount() >= 1);
                CHECK(device.identity().firmwareVersion == 0x0901u);
            } else {
                CHECK(device.image(std::int64_t(image.size())) != image);
            }
        }
    }
}
