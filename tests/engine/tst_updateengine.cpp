#include "devicereplies.h"
#include "pageframe.h"
#include "qtbytes.h"
#include "simloop.h"
#include "updateengine.h"

#include <QPoint>
#include <QTest>

#include <algorithm>
#include <map>
#include <utility>
#include <set>

using Blocks = std::set<int>;
using Messages = QList<QByteArray>;
using Pages = QList<QPoint>;                // block, page
using Losses = QList<QPair<Command, int>>;  // command, n-th
Q_DECLARE_METATYPE(Blocks)
Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(LinkFaults::Fault)
Q_DECLARE_METATYPE(UpdateOutcome)
Q_DECLARE_METATYPE(SimDevice::ReadReach)
Q_DECLARE_METATYPE(TraceLine)

namespace {

constexpr int PageBytes = 2048;
constexpr int ReplyTimeout = ReplyTimer::CeilingTicks;  // the longest wait there is
constexpr int ImageSize = 2 * PageBytes + 5;  // three pages, the last one short
constexpr std::int16_t ListedFactory = 9;  // above the limit of 3, which a stored copy is not held to
const Blocks Listed{5};

QByteArray bytes(const SysExMessage &m) { return QByteArray(reinterpret_cast<const char *>(m.data()), qsizetype(m.size())); }
int commandOf(const QByteArray &m) { return m.size() > SysEx::CommandOffset ? quint8(m[SysEx::CommandOffset]) : -1; }
int commandOf(const Bytes &m) { return m.size() > std::size_t(SysEx::CommandOffset) ? m[SysEx::CommandOffset] : -1; }

QByteArray makeImage(int size)
{
    QByteArray image(size, Qt::Uninitialized);
    quint32 x = 0xC0FFEEu;
    for (char &c : image)
        c = char((x = x * 1664525u + 1013904223u) >> 24);
    return image;
}

// An engine on the shared SimLoop, without window or port.
struct Rig : CommandSink, EngineListener
{
    SimLoop loop;
    UpdateEngine engine{*this, *this};
    QList<TraceLine> traces;
    QList<QPair<int, int>> progress;
    QList<UpdateOutcome> outcomes;

    Rig()
    {
        loop.refuseFrom = 100000;  // an engine that talks in circles ends, it does not hang
        loop.receiver = [this](const Bytes &m) {
            Reply reply = decodeReply(m.data(), int(m.size()));
            reply.sentBefore = loop.arrivalStamp();
            engine.handleReply(reply);
        };
    }
    bool send(const SysExMessage &m) override { return loop.send(m.data(), m.size()); }
    std::uint32_t sentCount() const override { return std::uint32_t(loop.sentCount()); }
    void traced(const TraceLine &line) override { traces << line; }
    void blockShown(int) override {}
    void pageShown(int) override {}
    void progressChanged(int done, int total) override { progress << qMakePair(done, total); }
    void finished(const Ending &ending) override { outcomes << ending.outcome; }
    SimDevice &device() { return loop.device; }
    Messages sent() const
    {
        Messages all;
        for (const Bytes &m : loop.sent())
            all << toQByteArray(m);
        return all;
    }
    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            loop.tick();
            engine.tick();
        }
    }
    // Starts an update and lets up to `maxTicks` pass; false if it still runs.
    bool run(const QByteArray &image, int maxTicks = 0, bool verify = false)
    {
        engine.start(reinterpret_cast<const std::uint8_t *>(image.constData()), std::size_t(image.size()), verify);
        return drive(maxTicks);
    }
    bool drive(int maxTicks)
    {
        loop.pump();
        for (int t = 0; engine.isRunning() && t < maxTicks; ++t) {
            tick();
            loop.pump();
        }
        return !engine.isRunning();
    }
};

// The exact commands an update must send, built with the protocol's builders.
struct Script
{
    QByteArray image;
    Messages m;
    bool probed = false;  // the first data page was read back, to see whether such reads work

    Script &add(const SysExMessage &message) { m << bytes(message); return *this; }
    Script &reset() { return add(buildResetNand(1, 9, std::uint32_t(image.size()))).add(buildReadChunk(0, 0)); }
    // Probes pages 1.. of block 0, reads copies newest-first down to `newest`
    // (twice each) and probes the page after the used ones again.
    Script &findCopy(int used, int newest)
    {
        for (int page = 1; page <= std::min(used, 63); ++page)
            add(buildReadChunk(page * 8, 0));
        for (int page = used - 1; page >= newest; --page)
            for (int piece = 0; piece < 8; ++piece)
                add(buildReadChunk(page * 8, std::uint8_t(piece % 4)));
        return used < 64 ? add(buildReadChunk(used * 8, 0)) : *this;
    }
    Script &readDefects()
    {
        for (int part = 0; part < 4; ++part)
            add(buildReadDefectList(std::uint8_t(part % 2)));
        return *this;
    }
    Script &erase(int block) { return add(buildEraseBlock(std::uint32_t(block))); }
    // A failed erase with a good block after it: a read of another type goes between.
    Script &failedErase(int block) { return erase(block).add(buildReadDefectList(0)); }
    Script &page(int block, int page, const PageFrame &frame)
    {
        add(buildBeginPage(std::uint32_t(block), std::uint8_t(page)));
        for (int piece = 0; piece < PageFrame::Pieces; ++piece)
            add(buildPageData(frame.bytes.data() + PageFrame::pieceOffset(piece), PageFrame::pieceLength(piece)));
        return add(buildProgramPage());
    }
    // Reads the first `chunks` chunks of a page back.
    Script &readBack(int block, int page, int chunks)
    {
        for (int piece = 0; piece < 4 * chunks; ++piece)
            add(buildReadChunk((block * 64 + page) * 8 + piece / 4, std::uint8_t(piece % 4)));
        return *this;
    }
    // Erases `block` and writes pages 0..last-1 of image block `imageBlock`
    // into it; the first page programmed is read back once.
    Script &dataBlock(int block, int imageBlock, int last, bool lastFails = false)
    {
        erase(block);
        for (int p = 0; p < last; ++p) {
            PageFrame frame;
            buildDataFrame(frame, imageBlock, p, reinterpret_cast<const std::uint8_t *>(image.constData()), image.size());
            page(block, p, frame);
            if (!(lastFails && p == last - 1) && !std::exchange(probed, true))
                readBack(block, p, 8);
        }
        return *this;
    }
    Script &listPage(int at, const Blocks &bad, int factory)
    {
        BadBlockList list;
        for (int b : bad)
            list.markBad(b);
        PageFrame frame;
        buildBblFrame(frame, list.data(), BadBlockList::BlockCount, std::int16_t(factory));
        return page(0, at, frame).readBack(0, at, 1);
    }
    Script &finish() { return add(buildFinish()); }
};

// Loses (or holds back) the replies to the listed sends of each command.
SimLoop::FateRule lose(const Losses &lost, SimLoop::Fate fate = SimLoop::Fate::Lose)
{
    return [lost, fate, seen = std::map<int, int>()](const Bytes &m, int) mutable {
        return lost.contains(qMakePair(Command(commandOf(m)), ++seen[commandOf(m)])) ? fate : SimLoop::Fate::Deliver;
    };
}

// A page of block 0 that a power cut left half programmed: in use, but without its markers.
QByteArray tornPage()
{
    QByteArray frame(PageFrame::Size, char(0xFF));
    frame[0] = char(PageFrame::ListMarker);
    frame[PageFrame::frameOffset(0)] = char(0x25);
    frame[PageFrame::frameOffset(2)] = char(0x01);
    return frame;
}

} // namespace

class TestUpdateEngine : public QObject
{
    Q_OBJECT

private slots:
    void cleanUpdate();
    void scenarios_data();
    void scenarios();
    void lostAnswerInEveryStep_data();
    void lostAnswerInEveryStep();
    void repeatedLosses_data();
    void repeatedLosses();
    void carelessDevice_data();
    void carelessDevice();
    void replyTimer_data();
    void replyTimer();
    void faultyReplies_data();
    void faultyReplies();
    void endings_data();
    void endings();
    void probe_data();
    void probe();
    void verifyOnEachDevice_data();
    void verifyOnEachDevice();
    void duplicatedAckAndLostPiece_data();
    void duplicatedAckAndLostPiece();
    void lostProgramOfErasedPage_data();
    void lostProgramOfErasedPage();
    void listCopyFailures_data();
    void listCopyFailures();
    void endingWhileBlockZeroHoldsNoList_data();
    void endingWhileBlockZeroHoldsNoList();
};

// Whole pages only, into a second block: no all-0xFF page may follow the last.
void TestUpdateEngine::cleanUpdate()
{
    Rig rig;
    rig.device().storeListCopies(1, {}, 0);
    const QByteArray image = makeImage(65 * PageBytes);
    rig.run(image);

    Script expected{image, {}};
    QCOMPARE(rig.sent(), expected.reset().findCopy(1, 0).dataBlock(1, 0, 64).dataBlock(2, 1, 1).finish().m);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(toQByteArray(rig.device().image(image.size())), image);
    QCOMPARE(rig.device().listCopies(), 1);  // unchanged list: no closing copy
    QVERIFY(rig.device().violations().empty());
    QCOMPARE(rig.progress.size(), 66);
    QCOMPARE(rig.progress.last(), qMakePair(65, 65));
    for (const TraceLine &line : {TraceLine{TraceKind::ResetNand}, {TraceKind::ReadBbl}, {TraceKind::FoundBbls, 1},
                                  {TraceKind::ReadLastBbl}, {TraceKind::EraseBlockOk, 2}, {TraceKind::WriteDataPage},
                                  {TraceKind::WritePage, 63}, {TraceKind::Finish}})
        QVERIFY2(rig.traces.contains(line), qPrintable(QString::number(int(line.kind))));
}

void TestUpdateEngine::scenarios_data()
{
    QTest::addColumn<int>("copies");        // intact copies of Listed in block 0
    QTest::addColumn<bool>("torn");         // a torn page follows them
    QTest::addColumn<Blocks>("factory");    // what the defect list reports
    QTest::addColumn<Blocks>("eraseFaults");
    QTest::addColumn<Pages>("programFaults");
    QTest::addColumn<UpdateOutcome>("outcome");
    QTest::addColumn<Blocks>("bad");        // the stored list in the end
    QTest::addColumn<int>("listPage");      // where it is; -1: none
    QTest::addColumn<TraceLine>("trace");   // a line the run must show
    QTest::addColumn<Messages>("commands"); // when given, exactly these

    const auto ok = UpdateOutcome::Success;
    const auto row = [](const char *name) { return &QTest::newRow(name); };
    const auto script = [] { return Script{makeImage(ImageSize), {}}.reset(); };
    *row("empty block 0") << 0 << false << Blocks{1, 1000} << Blocks{} << Pages{} << ok << Blocks{1, 1000} << 0
                          << TraceLine{TraceKind::DefectListContains, 2}
                          << script().findCopy(0, 0).readDefects().erase(0).listPage(0, {1, 1000}, 2)
                                 .dataBlock(2, 0, 3).finish().m;
    *row("empty block 0, closing copy in page 1") << 0 << false << Blocks{1, 1000} << Blocks{2} << Pages{} << ok
                          << Blocks{1, 2, 1000} << 1 << TraceLine{TraceKind::WritingFirstBbl}
                          << script().findCopy(0, 0).readDefects().erase(0).listPage(0, {1, 1000}, 2)
                                 .failedErase(2).dataBlock(3, 0, 3).listPage(1, {1, 2, 1000}, 2).finish().m;
    *row("3 factory defects pass") << 0 << false << Blocks{1, 2, 3} << Blocks{} << Pages{} << ok << Blocks{1, 2, 3}
                                   << 0 << TraceLine{TraceKind::EraseBlockOk, 4} << Messages{};
    *row("4 factory defects stop") << 0 << false << Blocks{1, 2, 3, 4} << Blocks{} << Pages{}
                                   << UpdateOutcome::FlashUnhealthy << Blocks{} << -1
                                   << TraceLine{TraceKind::TooManyFactoryDefects}
                                   << script().findCopy(0, 0).readDefects().m;
    *row("63 copies, a page fails") << 63 << false << Blocks{} << Blocks{} << Pages{{1, 0}} << ok << Blocks{1, 5}
                                    << 63 << TraceLine{TraceKind::BlockMarkedBad, 1} << Messages{};
    *row("64 copies, unchanged") << 64 << false << Blocks{} << Blocks{} << Pages{} << ok << Listed << 63
                                 << TraceLine{TraceKind::FoundBbls, 64} << Messages{};
    *row("64 copies, block 0 full") << 64 << false << Blocks{} << Blocks{} << Pages{{1, 0}} << ok << Blocks{1, 5}
                                    << 0 << TraceLine{TraceKind::EraseBblBlock}
                                    << script().findCopy(64, 63).dataBlock(1, 0, 1, true).dataBlock(2, 0, 3).erase(0)
                                           .listPage(0, {1, 5}, ListedFactory).finish().m;
    *row("newest copy torn") << 3 << true << Blocks{} << Blocks{1} << Pages{} << ok << Blocks{1, 5} << 4
                             << TraceLine{TraceKind::BblPageTorn, 3}
                             << script().findCopy(4, 2).failedErase(1).dataBlock(2, 0, 3)
                                    .listPage(4, {1, 5}, ListedFactory).finish().m;
    *row("only copy torn") << 0 << true << Blocks{9} << Blocks{1} << Pages{} << ok << Blocks{1, 9} << 1
                           << TraceLine{TraceKind::BblPageTorn, 0}
                           << script().findCopy(1, 0).readDefects().erase(0).listPage(0, {9}, 1)
                                  .failedErase(1).dataBlock(2, 0, 3).listPage(1, {1, 9}, 1).finish().m;
    *row("a page fails, then the next erase") << 1 << false << Blocks{} << Blocks{2} << Pages{{1, 1}} << ok
                                              << Blocks{1, 2, 5} << 1 << TraceLine{TraceKind::EraseBlockFail, 2} << Messages{};
    *row("the image's last page fails") << 1 << false << Blocks{} << Blocks{} << Pages{{1, 2}} << ok
                                        << Blocks{1, 5} << 1 << TraceLine{TraceKind::ProgramFail} << Messages{};
    Blocks all, lowest;
    for (int b = 1; b < 1024; ++b) {
        all.insert(b);
        if (lowest.size() < std::size_t(PageFrame::MaxListEntries))
            lowest.insert(b);
    }
    *row("no good block left") << 1 << false << Blocks{} << all << Pages{} << UpdateOutcome::NoSpace << lowest << 1
                               << TraceLine{TraceKind::NotEnoughSpace} << Messages{};
}

void TestUpdateEngine::scenarios()
{
    QFETCH(int, copies);
    QFETCH(bool, torn);
    QFETCH(Blocks, factory);
    QFETCH(Blocks, eraseFaults);
    QFETCH(Pages, programFaults);
    QFETCH(UpdateOutcome, outcome);
    QFETCH(Blocks, bad);
    QFETCH(int, listPage);
    QFETCH(TraceLine, trace);
    QFETCH(Messages, commands);

    Rig rig;
    SimDevice &device = rig.device();
    if (copies)
        device.storeListCopies(copies, Listed, ListedFactory);
    if (torn)
        QVERIFY(device.storeRawPage(0, copies, toBytes(tornPage())));
    device.setFactoryDefects(factory);
    for (int block : eraseFaults)
        device.failErase(block);
    for (const QPoint &at : programFaults)
        device.failProgram(at.x(), at.y());
    const QByteArray image = makeImage(ImageSize);
    QVERIFY(rig.run(image));

    if (!commands.isEmpty())
        QCOMPARE(rig.sent(), commands);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{outcome});
    QVERIFY(rig.traces.contains(trace));
    if (outcome == UpdateOutcome::NoSpace)
        QCOMPARE(rig.traces.constLast(), trace);  // after "*** Finish***"
    QVERIFY(device.violations().empty());
    // Pages of block 0 are used in a run from page 0, the newest copy last.
    QCOMPARE(device.listCopies(), listPage + 1);
    for (int p = 0; p <= listPage; ++p)
        QCOMPARE(quint8(device.pageFrame(0, p).at(0)), PageFrame::ListMarker);
    if (listPage < 0)
        return;
    const auto stored = device.storedList();
    QVERIFY(stored);
    QCOMPARE(stored->badBlocks, bad);
    QCOMPARE(stored->page, listPage);
    QCOMPARE(int(stored->factoryDefects), copies ? int(ListedFactory) : int(factory.size()));
    if (outcome == UpdateOutcome::Success)
        QCOMPARE(toQByteArray(device.image(ImageSize)), image);
}

void TestUpdateEngine::lostAnswerInEveryStep_data()
{
    QTest::addColumn<int>("copies");       // 0: block 0 empty
    QTest::addColumn<int>("failingErase"); // so a closing copy falls due; 0: none
    QTest::addColumn<Command>("lost");
    QTest::addColumn<int>("nth");
    QTest::addColumn<bool>("late");        // the answer comes after all, once the wait ran out
    QTest::addColumn<int>("extra");        // commands beyond a clean run
    QTest::addColumn<SimDevice::ReadReach>("reach");

    const int fence = 1;
    const int page = 1 + PageFrame::Pieces + 1;
    for (const auto reach : {SimDevice::ReadReach::WholeFlash, SimDevice::ReadReach::BlockZero})
    for (const bool late : {false, true}) {
        const bool whole = reach == SimDevice::ReadReach::WholeFlash;
        // Where pages cannot be read back, nothing checks a page written again,
        // and a page whose program went unanswered costs its whole block.
        const int readBack = whole ? 32 : 0;
        const int lostProgram = whole ? fence + readBack : fence + 1 + 2 * page;
        const auto row = [late, whole](const char *name) {
            return &QTest::addRow("%s device, %s, %s", whole ? "whole-flash" : "block-0", name, late ? "late" : "lost");
        };
        *row("ResetNand") << 1 << 0 << Command::ResetNand << 1 << late << 1 << reach;
        *row("probe of block 0") << 1 << 0 << Command::ReadChunk << 2 << late << fence + 1 << reach;
        *row("reading the copy") << 1 << 0 << Command::ReadChunk << 4 << late << fence + 1 << reach;
        *row("defect list") << 0 << 0 << Command::ReadDefectList << 2 << late << fence + 1 << reach;
        *row("erase of block 0") << 0 << 0 << Command::EraseBlock << 1 << late << fence + 1 << reach;
        // The page again from its BeginPage; a copy is read back in any case.
        *row("first copy, last piece") << 0 << 0 << Command::PageData << 33 << late << fence + 1 + 33 << reach;
        *row("first copy, program") << 0 << 0 << Command::ProgramPage << 1 << late << fence << reach;
        *row("data erase") << 1 << 0 << Command::EraseBlock << 1 << late << fence + 1 << reach;
        *row("data begin") << 1 << 0 << Command::BeginPage << 2 << late << fence + 1 + readBack << reach;
        *row("data piece") << 1 << 0 << Command::PageData << 40 << late << fence + 1 + 7 + readBack << reach;
        *row("data program, last page") << 1 << 0 << Command::ProgramPage << 2 << late << lostProgram << reach;
        *row("closing copy, program") << 1 << 1 << Command::ProgramPage << 3 << late << fence << reach;
        *row("erase of a full block 0") << 64 << 1 << Command::EraseBlock << 3 << late << fence + 1 << reach;
        // The device's transfer-off report after Finish: Finish goes again.
        *row("the report after Finish") << 1 << 0 << Command::Finish << 1 << late << 1 << reach;
    }
}

// A lost or late answer costs the fewest commands that are safe: the wait
// runs out, a read of another type fences off whatever is still on its way,
// and only the command or the page concerned goes again.
void TestUpdateEngine::lostAnswerInEveryStep()
{
    QFETCH(int, copies);
    QFETCH(int, failingErase);
    QFETCH(Command, lost);
    QFETCH(int, nth);
    QFETCH(bool, late);
    QFETCH(int, extra);
    QFETCH(SimDevice::ReadReach, reach);

    const QByteArray image = makeImage(2 * PageBytes - 1);
    const auto setUp = [&](Rig &rig) {
        rig.device().setReadReach(reach);
        if (copies)
            rig.device().storeListCopies(copies, {}, 0);
        if (failingErase)
            rig.device().failErase(failingErase);
    };
    Rig clean;
    setUp(clean);
    QVERIFY(clean.run(image));

    Rig rig;
    setUp(rig);
    rig.loop.fate = lose({{lost, nth}}, SimLoop::Fate::Hold);
    rig.run(image);
    QVERIFY(rig.engine.isRunning());
    const int sentBefore = rig.sent().size();
    const int wait = rig.engine.replyTimeout();
    QVERIFY(wait >= ReplyTimer::FloorTicks && wait <= ReplyTimer::CeilingTicks);
    rig.tick(wait - 1);
    QCOMPARE(rig.sent().size(), sentBefore);
    rig.tick();
    QCOMPARE(rig.sent().size(), sentBefore + 1);
    if (late)
        rig.loop.releaseHeld();
    QVERIFY(rig.drive(10 * ReplyTimeout));
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(toQByteArray(rig.device().image(image.size())), image);
    QVERIFY(rig.device().violations().empty());
    QCOMPARE(rig.sent().size(), clean.sent().size() + extra);
    QCOMPARE(rig.engine.retryCount(), 1);

    // The next update starts clean: nothing of this one's losses carries over.
    rig.traces.clear();
    QVERIFY(rig.run(image));
    QCOMPARE(rig.outcomes.last(), UpdateOutcome::Success);
    QCOMPARE(rig.engine.retryCount(), 0);
    QVERIFY(!rig.traces.contains(TraceLine{TraceKind::AnswerLost, int(lost)}));
}

void TestUpdateEngine::repeatedLosses_data()
{
    QTest::addColumn<Losses>("lost");
    QTest::addColumn<int>("silentFrom");  // every answer from this command on is lost; -1: none
    QTest::addColumn<UpdateOutcome>("outcome");

    QTest::newRow("silent device") << Losses{} << 20 << UpdateOutcome::DeviceSilent;
    QTest::newRow("lost again while asking again")
        << Losses{{Command::ProgramPage, 1}, {Command::ReadDefectList, 1}, {Command::ReadChunk, 20}} << -1
        << UpdateOutcome::Success;
    // Page 1's answer is lost at every try but the last one allowed.
    Losses progress;
    for (int n = 2; n <= RestartBudget::MaxRestartsInARow; ++n)
        progress << qMakePair(Command::BeginPage, n);
    QTest::newRow("a page through at the last try") << progress << -1 << UpdateOutcome::Success;
    Losses always;
    for (int n = 2; n <= RestartBudget::MaxRestartsInARow + 5; ++n)
        always << qMakePair(Command::BeginPage, n);
    QTest::newRow("the same page lost for good") << always << -1 << UpdateOutcome::Stalled;
}

void TestUpdateEngine::repeatedLosses()
{
    QFETCH(Losses, lost);
    QFETCH(int, silentFrom);
    QFETCH(UpdateOutcome, outcome);

    Rig rig;
    rig.device().storeListCopies(1, {}, 0);
    rig.loop.fate = [rule = lose(lost), silentFrom](const Bytes &m, int index) mutable {
        return silentFrom >= 0 && index >= silentFrom ? SimLoop::Fate::Lose : rule(m, index);
    };
    const QByteArray image = makeImage(2 * PageBytes);
    QVERIFY(rig.run(image, 100 * ReplyTimeout));
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{outcome});
    if (outcome == UpdateOutcome::Success)
        QCOMPARE(toQByteArray(rig.device().image(image.size())), image);
    if (silentFrom >= 0) {
        // Asked again behind the same fence, each wait twice the last, and
        // given up only once nothing came for the longest wait there is.
        const Messages fences = rig.sent().mid(silentFrom + 1);
        QVERIFY(fences.size() >= CommandLink::MaxTimeoutsInARow - 1);
        QCOMPARE(fences.count(fences.first()), fences.size());
        QVERIFY(rig.loop.ticks() >= CommandLink::QuietTicks);
        QVERIFY(rig.loop.ticks() < 2 * CommandLink::QuietTicks);
    }
}

void TestUpdateEngine::carelessDevice_data()
{
    QTest::addColumn<bool>("keepsBuffer");   // a second BeginPage keeps the page buffer
    QTest::addColumn<QPoint>("storesWrong"); // block, page; (0, 0): none
    QTest::addColumn<int>("duplicatedRead"); // the nth ReadChunk answer comes twice; 0: none
    QTest::addColumn<bool>("verify");
    QTest::addColumn<TraceLine>("trace");
    QTest::addColumn<int>("blockRestarts");

    // Two lost answers: page 1's seventh piece, then a piece of block 2.
    QTest::newRow("keeps the page buffer: whole blocks from then on")
        << true << QPoint() << 0 << false << TraceLine{TraceKind::PageReadBackWrong, 1} << 2;
    QTest::newRow("a duplicated read-back answer is read again")
        << false << QPoint() << 15 << false << TraceLine{TraceKind::PageRestarted, 1} << 0;
    QTest::newRow("verify finds a page stored wrong")
        << false << QPoint(1, 1) << 0 << true << TraceLine{TraceKind::VerifyFailed, 1} << 0;
}

// What the device does not report is found by reading back, and the image
// still ends up whole.
void TestUpdateEngine::carelessDevice()
{
    QFETCH(bool, keepsBuffer);
    QFETCH(QPoint, storesWrong);
    QFETCH(int, duplicatedRead);
    QFETCH(bool, verify);
    QFETCH(TraceLine, trace);
    QFETCH(int, blockRestarts);

    Rig rig;
    rig.device().storeListCopies(1, {}, 0);
    rig.device().keepBufferOnRepeatedBeginPage(keepsBuffer);
    if (!storesWrong.isNull())
        rig.device().storeWrong(storesWrong.x(), storesWrong.y());
    if (duplicatedRead)
        rig.loop.faults.inject(LinkFaults::Fault::Duplicate, DeviceReply::answerType(Command::ReadChunk), duplicatedRead);
    if (!verify)
        rig.loop.fate = lose({{Command::PageData, 40}, {Command::PageData, 66 * 35}}, SimLoop::Fate::Lose);
    const QByteArray image = makeImage(70 * PageBytes);
    QVERIFY(rig.run(image, 10 * ReplyTimeout, verify));
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(toQByteArray(rig.device().image(image.size())), image);
    QVERIFY(rig.traces.contains(trace));
    int restarts = 0;
    for (const TraceLine &line : rig.traces)
        restarts += line.kind == TraceKind::BlockRestarted ? 1 : 0;
    QCOMPARE(restarts, blockRestarts);
    if (verify) {
        QCOMPARE(rig.device().storedList()->badBlocks, (Blocks{1}));
        QCOMPARE(rig.progress.last(), qMakePair(2 * 70, 2 * 70));
    }
}

void TestUpdateEngine::replyTimer_data()
{
    QTest::addColumn<QList<int>>("readChunk");  // answer times, in ticks
    QTest::addColumn<QList<int>>("erase");
    QTest::addColumn<int>("readTimeout");
    QTest::addColumn<int>("eraseTimeout");

    const int floor = ReplyTimer::FloorTicks;
    const int ceiling = ReplyTimer::CeilingTicks;
    QTest::newRow("nothing known yet") << QList<int>{} << QList<int>{} << ceiling << ceiling;
    QTest::newRow("fast answers: the floor") << QList<int>(20, 0) << QList<int>{} << floor << floor;
    QTest::newRow("a slow link") << QList<int>(20, 9) << QList<int>{} << 40 << 40;
    QTest::newRow("each command its own") << QList<int>(20, 0) << QList<int>(10, 20) << floor << 84;
    QList<int> rareSlow(200, 1);
    rareSlow[7] = 60;
    QTest::newRow("one slow answer in 200 does not count") << rareSlow << QList<int>{} << 8 << 8;
    QTest::newRow("never past the ceiling") << QList<int>{} << QList<int>(10, 900) << ceiling << ceiling;
}

void TestUpdateEngine::replyTimer()
{
    QFETCH(QList<int>, readChunk);
    QFETCH(QList<int>, erase);
    ReplyTimer timer;
    for (int ticks : readChunk)
        timer.record(Command::ReadChunk, ticks);
    for (int ticks : erase)
        timer.record(Command::EraseBlock, ticks);
    QTEST(timer.timeoutFor(Command::ReadChunk), "readTimeout");
    QTEST(timer.timeoutFor(Command::EraseBlock), "eraseTimeout");
}

void TestUpdateEngine::faultyReplies_data()
{
    QTest::addColumn<LinkFaults::Fault>("fault");
    QTest::addColumn<Command>("answering");
    QTest::addColumn<int>("nth");

    const auto dup = LinkFaults::Fault::Duplicate;
    const auto cut = LinkFaults::Fault::CutShort;
    // A clean search: three probes, the newest copy twice, the probe after it again.
    QTest::newRow("duplicated probe of a used page") << dup << Command::ReadChunk << 1;
    QTest::newRow("duplicated probe of the empty page") << dup << Command::ReadChunk << 3;
    QTest::newRow("duplicated piece of the copy") << dup << Command::ReadChunk << 6;
    QTest::newRow("duplicated end of the first reading") << dup << Command::ReadChunk << 7;
    QTest::newRow("duplicated second reading") << dup << Command::ReadChunk << 11;
    QTest::newRow("duplicated erase failure") << dup << Command::EraseBlock << 2;
    QTest::newRow("duplicated program failure") << dup << Command::ProgramPage << 2;
    QTest::newRow("duplicated piece acknowledged") << dup << Command::PageData << 5;
    QTest::newRow("erase failure cut short") << cut << Command::EraseBlock << 2;
    QTest::newRow("program failure cut short") << cut << Command::ProgramPage << 2;
}

// A repeated or truncated answer is never taken for another one, and a
// failure never reads as success. The stored list is long enough that a
// piece of it read in the wrong place changes which blocks count as bad.
void TestUpdateEngine::faultyReplies()
{
    QFETCH(LinkFaults::Fault, fault);
    QFETCH(Command, answering);
    QFETCH(int, nth);

    Rig rig;
    Blocks listed;
    for (int b = 10; b < 1000; b += 10)
        listed.insert(b);
    rig.device().storeListCopies(2, listed, 1);
    rig.device().failProgram(1, 1);
    rig.device().failErase(2);
    const auto type = DeviceReply::answerType(answering);
    int seen = 0;
    if (fault == LinkFaults::Fault::Duplicate)
        rig.loop.faults.inject(fault, type, nth);
    else  // cut just before the status byte: the type survives, the verdict does not
        rig.loop.responder = [&rig, &seen, type, nth](const Bytes &command) {
            auto replies = rig.device().handle(command);
            for (Bytes &reply : replies)
                if (commandOf(reply) == type && ++seen == nth) {
                    reply.resize(SysEx::CommandOffset + 1);
                    reply.push_back(SysEx::End);
                }
            return replies;
        };
    const QByteArray image = makeImage(3 * PageBytes);
    QVERIFY(rig.run(image, 10 * ReplyTimeout));
    QCOMPARE(fault == LinkFaults::Fault::Duplicate ? rig.loop.faults.count(fault) : int(seen >= nth), 1);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    listed.insert({1, 2});
    QCOMPARE(rig.device().storedList()->badBlocks, listed);
    QCOMPARE(toQByteArray(rig.device().image(image.size())), image);
    QVERIFY(rig.device().violations().empty());
}

void TestUpdateEngine::endings_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("refuseFrom");  // the port refuses this message and later ones
    QTest::addColumn<bool>("cancel");     // while the answer to piece 2 of page 0 is held back
    QTest::addColumn<UpdateOutcome>("outcome");
    QTest::addColumn<int>("sent");

    constexpr int none = SimLoop::NoLimit;
    QTest::newRow("no image") << 0 << none << false << UpdateOutcome::NoImage << 0;
    QTest::newRow("cancelled") << PageBytes << none << true << UpdateOutcome::Cancelled << 12 + 2 + 3;
    QTest::newRow("port refuses ResetNand") << PageBytes << 0 << false << UpdateOutcome::PortLost << 0;
    QTest::newRow("port refuses a probe") << PageBytes << 1 << false << UpdateOutcome::PortLost << 1;
    QTest::newRow("port refuses a piece") << PageBytes << 20 << false << UpdateOutcome::PortLost << 20;
    QTest::newRow("port refuses Finish") << PageBytes << 12 + 36 << false << UpdateOutcome::PortLost << 12 + 36;
}

// Every ending is reported once, and nothing is sent after it: not on a
// late reply, a stray ResetNand answer or a tick.
void TestUpdateEngine::endings()
{
    QFETCH(int, size);
    QFETCH(int, refuseFrom);
    QFETCH(bool, cancel);
    QFETCH(UpdateOutcome, outcome);
    QFETCH(int, sent);

    Rig rig;
    rig.device().storeListCopies(1, {}, 0);
    if (refuseFrom != SimLoop::NoLimit)
        rig.loop.refuseFrom = refuseFrom;
    rig.loop.fate = lose({{Command::PageData, 3}}, SimLoop::Fate::Hold);
    rig.run(makeImage(size));
    if (cancel)
        rig.engine.cancel();
    rig.loop.releaseHeld();
    rig.loop.pump();
    Reply strayReset;
    strayReset.code = ReplyResetNand;
    rig.engine.handleReply(strayReset);
    rig.tick(3 * ReplyTimeout);
    QCOMPARE(rig.sent().size(), sent);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{outcome});
}

namespace {

const QList<SimDevice::ReadReach> BothKinds{SimDevice::ReadReach::WholeFlash, SimDevice::ReadReach::BlockZero};

const char *kindName(SimDevice::ReadReach reach)
{
    switch (reach) {
    case SimDevice::ReadReach::WholeFlash: return "whole-flash";
    case SimDevice::ReadReach::BlockZero: return "block-0";
    case SimDevice::ReadReach::BlockZeroAliased: return "block-0 aliased";
    case SimDevice::ReadReach::BlockZeroSilent: return "block-0 silent";
    }
    return "";
}

QString firstViolation(const SimDevice &device)
{
    return device.violations().empty() ? QString() : toQString(device.violations().front());
}

int countOf(const QList<TraceLine> &traces, TraceKind kind)
{
    return int(std::count_if(traces.begin(), traces.end(), [kind](const TraceLine &l) { return l.kind == kind; }));
}

} // namespace

void TestUpdateEngine::probe_data()
{
    QTest::addColumn<SimDevice::ReadReach>("reach");
    QTest::addColumn<bool>("works");
    QTest::newRow("reads match") << SimDevice::ReadReach::WholeFlash << true;
    QTest::newRow("reads erased") << SimDevice::ReadReach::BlockZero << false;
    QTest::newRow("reads other data") << SimDevice::ReadReach::BlockZeroAliased << false;
    QTest::newRow("reads unanswered") << SimDevice::ReadReach::BlockZeroSilent << false;
}

// Whether data pages read back is found out once, on the first page, and a
// "no" costs nothing: no page or block written again, nothing marked bad.
void TestUpdateEngine::probe()
{
    QFETCH(SimDevice::ReadReach, reach);
    QFETCH(bool, works);

    Rig rig;
    rig.device().setReadReach(reach);
    rig.device().storeListCopies(1, {}, 0);
    const QByteArray image = makeImage(70 * PageBytes);
    QVERIFY(rig.run(image, 10 * ReplyTimeout));
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(rig.engine.deviceTraits().readBack,
             works ? DeviceTraits::ReadBack::Works : DeviceTraits::ReadBack::Unavailable);
    QCOMPARE(countOf(rig.traces, works ? TraceKind::ReadBackWorks : TraceKind::ReadBackUnavailable), 1);
    for (TraceKind kind : {TraceKind::PageRestarted, TraceKind::BlockRestarted, TraceKind::PageReadBackWrong,
                           TraceKind::BlockMarkedBad, TraceKind::VerifyFailed})
        QCOMPARE(countOf(rig.traces, kind), 0);
    QCOMPARE(toQByteArray(rig.device().image(image.size())), image);
    QCOMPARE(rig.device().listCopies(), 1);
    QVERIFY(rig.device().violations().empty());
}

void TestUpdateEngine::verifyOnEachDevice_data()
{
    QTest::addColumn<SimDevice::ReadReach>("reach");
    QTest::addColumn<bool>("storesWrong");  // the device stores page 1 of block 1 one bit off
    QTest::addColumn<UpdateOutcome>("outcome");
    QTest::addColumn<Blocks>("bad");        // the stored list in the end
    for (const auto reach : {SimDevice::ReadReach::WholeFlash, SimDevice::ReadReach::BlockZero,
                             SimDevice::ReadReach::BlockZeroAliased, SimDevice::ReadReach::BlockZeroSilent}) {
        const bool whole = reach == SimDevice::ReadReach::WholeFlash;
        const auto outcome = whole ? UpdateOutcome::Success : UpdateOutcome::NotVerified;
        QTest::addRow("%s device", kindName(reach)) << reach << false << outcome << Listed;
        // What cannot be read back is never marked bad on a reading.
        QTest::addRow("%s device, a page stored wrong", kindName(reach))
            << reach << true << outcome << (whole ? Blocks{1, 5} : Listed);
    }
}

void TestUpdateEngine::verifyOnEachDevice()
{
    QFETCH(SimDevice::ReadReach, reach);
    QFETCH(bool, storesWrong);
    QFETCH(UpdateOutcome, outcome);
    QFETCH(Blocks, bad);

    Rig rig;
    rig.device().setReadReach(reach);
    rig.device().storeListCopies(1, Listed, 0);
    if (storesWrong)
        rig.device().storeWrong(1, 1);
    const QByteArray image = makeImage(70 * PageBytes);
    QVERIFY(rig.run(image, 10 * ReplyTimeout, true));
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{outcome});
    QCOMPARE(rig.device().storedList()->badBlocks, bad);
    QCOMPARE(rig.device().listCopies(), bad == Listed ? 1 : 2);
    if (outcome == UpdateOutcome::Success || !storesWrong)
        QCOMPARE(toQByteArray(rig.device().image(image.size())), image);
    QCOMPARE(countOf(rig.traces, TraceKind::VerifyPages), outcome == UpdateOutcome::Success ? 1 : 0);
}

void TestUpdateEngine::duplicatedAckAndLostPiece_data()
{
    QTest::addColumn<SimDevice::ReadReach>("reach");
    QTest::addColumn<int>("nth");  // the nth piece's answer comes twice, and piece nth + 1 is lost
    for (const auto reach : BothKinds)
        for (int nth : {1, 20, 32, 40, 66})
            QTest::addRow("%s device, piece %d", kindName(reach), nth) << reach << nth;
}

// Answers carry no sequence number: a second copy of one acknowledgement
// looks like the answer to the next piece, whose command may be the one the
// link lost. A frame missing a piece must never be programmed.
void TestUpdateEngine::duplicatedAckAndLostPiece()
{
    QFETCH(SimDevice::ReadReach, reach);
    QFETCH(int, nth);

    Rig rig;
    rig.device().setReadReach(reach);
    rig.device().storeListCopies(1, {}, 0);
    rig.loop.faults.inject(LinkFaults::Fault::Duplicate, DeviceReply::answerType(Command::PageData), nth);
    rig.loop.faults.inject(LinkFaults::Fault::LoseCommand, int(Command::PageData), nth + 1);
    const QByteArray image = makeImage(3 * PageBytes);
    QVERIFY(rig.run(image, 10 * ReplyTimeout));
    QCOMPARE(rig.loop.faults.count(LinkFaults::Fault::LoseCommand), 1);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QVERIFY2(rig.device().violations().empty(), qPrintable(firstViolation(rig.device())));
    QCOMPARE(rig.device().storedList()->badBlocks, Blocks{});
    QCOMPARE(toQByteArray(rig.device().image(image.size())), image);
}

void TestUpdateEngine::lostProgramOfErasedPage_data()
{
    QTest::addColumn<SimDevice::ReadReach>("reach");
    for (const auto reach : BothKinds)
        QTest::addRow("%s device", kindName(reach)) << reach;
}

// A page of nothing but 0xFF reads back the same programmed or not: when
// its ProgramPage answer is lost, only erasing the block makes it safe.
void TestUpdateEngine::lostProgramOfErasedPage()
{
    QFETCH(SimDevice::ReadReach, reach);

    Rig rig;
    rig.device().setReadReach(reach);
    rig.device().storeListCopies(1, {}, 0);
    QByteArray image = makeImage(3 * PageBytes);
    image.replace(PageBytes, PageBytes, QByteArray(PageBytes, char(0xFF)));
    rig.loop.fate = lose({{Command::ProgramPage, 2}});
    QVERIFY(rig.run(image, 10 * ReplyTimeout));
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QVERIFY2(rig.device().violations().empty(), qPrintable(firstViolation(rig.device())));
    QCOMPARE(countOf(rig.traces, TraceKind::BlockRestarted), 1);
    QCOMPARE(toQByteArray(rig.device().image(image.size())), image);
}

void TestUpdateEngine::listCopyFailures_data()
{
    QTest::addColumn<int>("copies");          // intact copies of Listed; the closing copy goes after them
    QTest::addColumn<QPoint>("storesWrong");  // page of block 0 stored one bit off; (0, 0): none
    QTest::addColumn<int>("failingPage");     // page of block 0 whose program fails; -1: none
    QTest::addColumn<UpdateOutcome>("outcome");
    QTest::addColumn<int>("listPage");        // where the newest copy is in the end
    QTest::addColumn<Blocks>("bad");

    const Blocks closing{1, 5};
    QTest::newRow("a copy read back wrong: the next page") << 2 << QPoint(0, 2) << -1 << UpdateOutcome::Success
                                                            << 3 << closing;
    // A page left erased cannot be passed: every search would stop at it.
    QTest::newRow("a copy that fails: the older one stands") << 2 << QPoint() << 2 << UpdateOutcome::ListWriteFailed
                                                              << 1 << Listed;
    QTest::newRow("block 0 full, copy read back wrong") << 64 << QPoint(0, 0) << -1 << UpdateOutcome::Success << 1
                                                         << closing;
    QTest::newRow("block 0 full, copy fails: the device needs service") << 64 << QPoint() << 0
                                                                         << UpdateOutcome::ListLost << -1 << Blocks{};
}

void TestUpdateEngine::listCopyFailures()
{
    QFETCH(int, copies);
    QFETCH(QPoint, storesWrong);
    QFETCH(int, failingPage);
    QFETCH(UpdateOutcome, outcome);
    QFETCH(int, listPage);
    QFETCH(Blocks, bad);

    Rig rig;
    rig.device().storeListCopies(copies, Listed, 0);
    rig.device().failErase(1);
    if (!storesWrong.isNull() || storesWrong == QPoint(0, 0))
        rig.device().storeWrong(storesWrong.x(), storesWrong.y());
    if (failingPage >= 0)
        rig.device().failProgram(0, failingPage);
    const QByteArray image = makeImage(2 * PageBytes);
    QVERIFY(rig.run(image, 10 * ReplyTimeout));
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{outcome});
    QVERIFY(rig.device().violations().empty());
    const auto stored = rig.device().storedList();
    QCOMPARE(stored.has_value(), listPage >= 0);
    if (!stored)
        return;
    QCOMPARE(stored->page, listPage);
    QCOMPARE(stored->badBlocks, bad);
    QCOMPARE(rig.device().listCopies(), listPage + 1);
}

void TestUpdateEngine::endingWhileBlockZeroHoldsNoList_data()
{
    QTest::addColumn<int>("at");       // the ending comes after this many answers with block 0 erased
    QTest::addColumn<int>("ending");   // 0: cancel, 1: the port went away, 2: the device falls silent
    // Erase, BeginPage, 33 pieces, ProgramPage, four pieces read back: the
    // answer to the last piece ends the wait.
    const int answers = 1 + 1 + PageFrame::Pieces + 1 + 4 - 1;  // the last one stores the copy
    for (int at = 0; at < answers; ++at) {
        QTest::addRow("cancel after answer %d", at) << at << 0;
        QTest::addRow("port gone after answer %d", at) << at << 1;
    }
    for (int at : {0, 20, answers - 1})
        QTest::addRow("silent after answer %d", at) << at << 2;
}

// From the erase of a full block 0 until the new copy is in, the device holds
// no list: an ending waits for the copy, and silence is told as the device
// needing service.
void TestUpdateEngine::endingWhileBlockZeroHoldsNoList()
{
    QFETCH(int, at);
    QFETCH(int, ending);

    Rig rig;
    rig.device().storeListCopies(64, Listed, 0);
    rig.device().failErase(1);
    int heard = 0;
    bool silent = false;
    rig.loop.receiver = [&](const Bytes &m) {
        if (silent)
            return;
        Reply reply = decodeReply(m.data(), int(m.size()));
        reply.sentBefore = rig.loop.arrivalStamp();
        const bool holding = rig.engine.holdingForList();
        rig.engine.handleReply(reply);
        if (!holding || heard++ != at)
            return;
        if (ending == 0)
            rig.engine.cancel();
        else if (ending == 1)
            rig.engine.portGone();
        else
            silent = true;
    };
    const QByteArray image = makeImage(2 * PageBytes);
    QVERIFY(rig.run(image, 100 * ReplyTimeout));
    QVERIFY(heard > at);
    if (ending == 2) {
        QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::ListLost});
        QVERIFY(rig.loop.ticks() >= CommandLink::HoldFactor * CommandLink::QuietTicks);
        return;
    }
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{ending == 0 ? UpdateOutcome::Cancelled : UpdateOutcome::PortGone});
    QCOMPARE(countOf(rig.traces, TraceKind::EndHeldForList), 1);
    const auto stored = rig.device().storedList();
    QVERIFY(stored);
    QCOMPARE(stored->badBlocks, (Blocks{1, 5}));
    QVERIFY(rig.device().violations().empty());
    // Nothing more once the copy is in: not even Finish.
    QCOMPARE(commandOf(rig.sent().constLast()), int(Command::ReadChunk));
}

QTEST_GUILESS_MAIN(TestUpdateEngine)
#include "tst_updateengine.moc"
