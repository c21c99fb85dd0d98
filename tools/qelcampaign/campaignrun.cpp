#include "campaignrun.h"

#include "campaignrig.h"
#include "pageframe.h"
#include "qtbytes.h"
#include "sysex.h"

#include <algorithm>

namespace {

constexpr int Blocks = 1024;
constexpr int PagesPerBlock = 64;
constexpr int ListBlock = 0;
constexpr int ReadPieces = 4;
constexpr int StatusOffset = SysEx::ArgumentOffset;
constexpr std::uint8_t FailStatus = 2;
constexpr int MessagesPerPage = 35;
constexpr int MessageAllowanceFactor = 20;
constexpr int MessageAllowanceFixed = 4000;

int command(const Bytes &m) { return m.size() > std::size_t(SysEx::CommandOffset) ? m[SysEx::CommandOffset] : -1; }
// Argument `i` after the 0x7F marker.
int arg(const Bytes &m, int i)
{
    const std::size_t at = std::size_t(SysEx::ArgumentOffset + 1 + i);
    return at < m.size() ? m[at] : 0;
}
std::uint8_t replyType(Command c) { return std::uint8_t(SysEx::ReplyTypeBase + std::uint8_t(c)); }

QString setText(const std::set<int> &set)
{
    QStringList list;
    for (int b : set)
        list << QString::number(b);
    return QLatin1Char('[') + list.join(QLatin1Char(',')) + QLatin1Char(']');
}

bool isListPage(const Bytes &frame)
{
    return frame.size() == std::size_t(PageFrame::Size) && frame[0] == PageFrame::ListMarker
        && frame[std::size_t(PageFrame::frameOffset(0))] == PageFrame::ListMarker
        && frame[std::size_t(PageFrame::frameOffset(1))] == PageFrame::ListMarker;
}

} // namespace

CampaignRun::CampaignRun(Scenario scenario)
    : scenario(std::move(scenario))
{
}

RunReport CampaignRun::run()
{
    RunReport report;
    report.seed = scenario.seed;
    CampaignRig rig;
    SimDevice &device = rig.loop.device;
    scenario.apply(rig.loop);

    const auto before = device.storedList();
    const std::set<int> knownBad = before ? before->badBlocks : scenario.factoryDefects;
    const int pages = int((scenario.image.size() + PageFrame::DataSize - 1) / PageFrame::DataSize);
    const int imageBlocks = (pages + PagesPerBlock - 1) / PagesPerBlock;
    const int messageCap = MessageAllowanceFactor * (pages * MessagesPerPage + MessageAllowanceFixed);
    rig.loop.refuseFrom = messageCap;

    QStringList &problems = report.violations;
    // Blocks whose erase or program status the link garbled: a good block may
    // rightly have been taken for bad there.
    std::set<int> garbledStatus;
    int openBlock = -1;
    int openPage = -1;
    int statusBlock = -1;
    bool lastReplyFailed = false;

    rig.loop.responder = [&](const Bytes &message) {
        const int c = command(message);
        if (c == int(Command::EraseBlock)) {
            const int block = arg(message, 0) | (arg(message, 1) << 7);
            if (block >= Blocks)
                problems << QStringLiteral("EraseBlock %1 lies outside the flash").arg(block);
            if (block == ListBlock && device.storedList() && device.listCopies() < PagesPerBlock)
                problems << QStringLiteral("block 0 erased while it held a copy of the list and had room");
        } else if (c == int(Command::BeginPage)) {
            openBlock = arg(message, 0) | (arg(message, 1) << 7);
            openPage = arg(message, 2);
            if (openBlock >= Blocks || openPage >= PagesPerBlock)
                problems << QStringLiteral("BeginPage block %1 page %2 lies outside the flash").arg(openBlock).arg(openPage);
            else if (openBlock != ListBlock && (rig.engine.badBlocks().isBad(openBlock) || knownBad.count(openBlock)))
                problems << QStringLiteral("a page goes into block %1, known to be bad").arg(openBlock);
        } else if (c == int(Command::ReadChunk)) {
            const int address = arg(message, 0) | (arg(message, 1) << 7) | (arg(message, 2) << 14);
            if (address / PageFrame::Chunks / PagesPerBlock >= Blocks || arg(message, 3) >= ReadPieces)
                problems << QStringLiteral("ReadChunk %1 piece %2 lies outside the flash").arg(address).arg(arg(message, 3));
        }

        std::vector<Bytes> replies = device.handle(message);

        lastReplyFailed = false;
        statusBlock = -1;
        if ((c == int(Command::EraseBlock) || c == int(Command::ProgramPage)) && !replies.empty()) {
            lastReplyFailed = replies.front().size() > std::size_t(StatusOffset)
                && replies.front()[StatusOffset] == FailStatus;
            statusBlock = c == int(Command::EraseBlock) ? arg(message, 0) | (arg(message, 1) << 7) : openBlock;
        }
        if (c == int(Command::ProgramPage) && openBlock == ListBlock && device.pageWritten(ListBlock, openPage)
            && !isListPage(device.pageFrame(ListBlock, openPage)))
            problems << QStringLiteral("page %1 of block 0 was programmed with something not a list").arg(openPage);
        return replies;
    };
    rig.loop.faults.onFault = [&](LinkFaults::Fault fault, std::uint8_t type) {
        if (fault != LinkFaults::Fault::Corrupt
            || (type != replyType(Command::EraseBlock) && type != replyType(Command::ProgramPage)))
            return;
        garbledStatus.insert(statusBlock);
        if (lastReplyFailed)
            report.statusGarbled = true;
    };

    rig.start(scenario.image, scenario.verify);
    const int maxTicks = TickAllowanceFixed + TickAllowancePerImageBlock * imageBlocks;
    const bool ended = rig.drive(maxTicks);
    report.ticks = rig.ticks;
    report.messages = rig.loop.sentCount();
    report.outcome = rig.outcome;
    report.answersLost = rig.recovery.answersLost;
    report.pagesRestarted = rig.recovery.pagesRestarted;
    report.blocksRestarted = rig.recovery.blocksRestarted;
    report.readBackWrong = rig.recovery.readBackWrong;

    if (!ended)
        problems << QStringLiteral("still running after %1 ticks").arg(maxTicks);
    if (rig.endings != 1)
        problems << QStringLiteral("the end was reported %1 times").arg(rig.endings);
    if (ended && rig.message.isEmpty())
        problems << QStringLiteral("the user was told nothing");
    if (report.messages >= messageCap)
        problems << QStringLiteral("runaway: %1 messages sent").arg(report.messages);
    for (const std::string &line : device.violations())
        problems << QStringLiteral("device: ") + toQString(line);

    // Block 0: used pages form a run from page 0, so the next search finds them all.
    bool gap = false;
    for (int page = 0; page < PagesPerBlock; ++page) {
        const bool used = device.pageWritten(ListBlock, page);
        if (used && gap) {
            problems << QStringLiteral("block 0 page %1 is used after an empty page").arg(page);
            break;
        }
        gap = gap || !used;
    }

    const auto after = device.storedList();
    const std::int16_t factory = before ? before->factoryDefects : std::int16_t(scenario.factoryDefects.size());
    const BadBlockList &engineList = rig.engine.badBlocks();
    std::set<int> engineBad;
    for (int b = 0; b < Blocks; ++b)
        if (engineList.isBad(b))
            engineBad.insert(b);
    // Only the fault plan makes a block bad: a failure the updater provoked
    // (a page programmed twice, a short frame) is no reason.
    std::set<int> mayBeListed = knownBad;
    mayBeListed.insert(scenario.factoryDefects.begin(), scenario.factoryDefects.end());
    mayBeListed.insert(scenario.eraseFaults.begin(), scenario.eraseFaults.end());
    for (const auto &fault : scenario.programFaults)
        mayBeListed.insert(fault.first);
    mayBeListed.insert(garbledStatus.begin(), garbledStatus.end());

    if (before && !after)
        problems << QStringLiteral("the list in block 0 was lost");
    if (after) {
        if (after->factoryDefects != factory)
            problems << QStringLiteral("factory count %1 stored, %2 expected").arg(after->factoryDefects).arg(factory);
        std::set<int> kept = after->badBlocks;
        if (before)
            kept.insert(before->badBlocks.begin(), before->badBlocks.end());
        if (Scenario::lowestStored(kept) != after->badBlocks)
            problems << QStringLiteral("old marks dropped: list %1, before %2")
                            .arg(setText(after->badBlocks), before ? setText(before->badBlocks) : QString());
        // Factory marks too, as far as the 101 lowest reach.
        std::set<int> withFactory = after->badBlocks;
        withFactory.insert(scenario.factoryDefects.begin(), scenario.factoryDefects.end());
        if (!before && Scenario::lowestStored(withFactory) != after->badBlocks)
            problems << QStringLiteral("factory defects %1 missing from the list %2")
                            .arg(setText(scenario.factoryDefects), setText(after->badBlocks));
        if (!std::includes(mayBeListed.begin(), mayBeListed.end(), after->badBlocks.begin(), after->badBlocks.end()))
            problems << QStringLiteral("list %1 names blocks the fault plan did not make bad").arg(setText(after->badBlocks));
    }

    const bool written = rig.outcome == UpdateOutcome::Success || rig.outcome == UpdateOutcome::NotVerified;
    // An image of nothing but 0xFF pages gives nothing to tell reading back by.
    const bool readable = scenario.image.count(char(0xFF)) != scenario.image.size();
    if (rig.outcome == UpdateOutcome::NotVerified
        && (!scenario.verify || (scenario.reach == SimDevice::ReadReach::WholeFlash && readable)))
        problems << QStringLiteral("not verified, though %1").arg(scenario.verify ? QStringLiteral("the device reads every page")
                                                                                  : QStringLiteral("nobody asked"));
    if (scenario.verify && rig.outcome == UpdateOutcome::Success && scenario.reach != SimDevice::ReadReach::WholeFlash)
        problems << QStringLiteral("called verified, though the device cannot read its pages back");
    if (written) {
        if (!after)
            problems << QStringLiteral("success without a list in block 0");
        else if (after->badBlocks != Scenario::lowestStored(engineBad))
            problems << QStringLiteral("success, but the list %1 is not the one used %2")
                            .arg(setText(after->badBlocks), setText(engineBad));
        std::vector<std::string> headers;
        const QByteArray stored = toQByteArray(device.image(scenario.image.size(), &headers));
        if ((stored != scenario.image || !headers.empty()) && !report.statusGarbled)
            problems << QStringLiteral("success, but the device holds another image%1")
                            .arg(headers.empty() ? QString() : QStringLiteral(": ") + toQString(headers.front()));
        if (device.finishCount() < 1)
            problems << QStringLiteral("success without Finish");
    } else if (rig.outcome == UpdateOutcome::FlashUnhealthy && (before || scenario.factoryDefects.size() <= 3)) {
        problems << QStringLiteral("flash called unhealthy with %1 factory defects").arg(scenario.factoryDefects.size());
    }
    return report;
}
