#include "devicelink.h"
#include "devicereplies.h"
#include "pageframe.h"
#include "simloop.h"
#include "updateengine.h"

#include <QPoint>
#include <QTest>

#include <map>
#include <set>

using Blocks = std::set<int>;
using Messages = QList<QByteArray>;
using Pages = QList<QPoint>;                // block, page
using Losses = QList<QPair<Command, int>>;  // command, n-th
Q_DECLARE_METATYPE(Blocks)
Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(LinkFaults::Fault)
Q_DECLARE_METATYPE(UpdateOutcome)

namespace {

constexpr int PageBytes = 2048;
constexpr int ReplyTimeout = UpdateEngine::ReplyTimeoutTicks;
constexpr std::int16_t ListedFactory = 9;  // above the limit of 3, which a stored copy is not held to
const Blocks Listed{5};

QByteArray bytes(const SysExMessage &m) { return QByteArray(reinterpret_cast<const char *>(m.data()), qsizetype(m.size())); }
int commandOf(const QByteArray &m) { return m.size() > SysEx::CommandOffset ? quint8(m[SysEx::CommandOffset]) : -1; }

QByteArray makeImage(int size)
{
    QByteArray image(size, Qt::Uninitialized);
    quint32 x = 0xC0FFEEu;
    for (char &c : image) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    return image;
}

// An engine on the shared SimLoop, without window or port.
struct Rig
{
    SimLoop loop;
    DeviceLink link{loop.makeService()};
    UpdateEngine engine{link};
    QStringList traces;
    QList<QPair<int, int>> progress;
    QList<UpdateOutcome> outcomes;
    QStringList messages;

    Rig()
    {
        loop.refuseFrom = 100000;  // an engine that talks in circles ends, it does not hang
        loop.receiver = [this](const QByteArray &m) { engine.handleReply(link.takeReply(m)); };
        link.openPorts(0, 0);
        QObject::connect(&engine, &UpdateEngine::trace, [this](const QString &line) { traces << line; });
        QObject::connect(&engine, &UpdateEngine::progressChanged, [this](int d, int t) { progress << qMakePair(d, t); });
        QObject::connect(&engine, &UpdateEngine::finished, [this](UpdateOutcome o, const QString &m) {
            outcomes << o;
            messages << m;
        });
    }
    SimDevice &device() { return loop.device; }
    const Messages &sent() const { return loop.sent(); }
    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            loop.tick();
            engine.tick();
        }
    }
    void run(const QByteArray &image)
    {
        engine.start(image);
        loop.pump();
    }
    bool runToEnd(const QByteArray &image, int maxTicks)
    {
        run(image);
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
    // Erases `block` and writes pages 0..last-1 of image block `imageBlock` into it.
    Script &dataBlock(int block, int imageBlock, int last)
    {
        erase(block);
        for (int p = 0; p < last; ++p) {
            PageFrame frame;
            buildDataFrame(frame, imageBlock, p, reinterpret_cast<const std::uint8_t *>(image.constData()), image.size());
            page(block, p, frame);
        }
        return *this;
    }
    Script &listPage(int at, const Blocks &bad, int factory)
    {
        std::array<std::uint8_t, 1024> table{};
        for (int b : bad)
            table[std::size_t(b)] = 1;
        PageFrame frame;
        buildBblFrame(frame, table.data(), int(table.size()), std::int16_t(factory));
        return page(0, at, frame);
    }
    Script &finish() { return add(buildFinish()); }
};

// Empty when equal, else where the two first differ.
QString difference(const Messages &actual, const Messages &expected)
{
    const auto describe = [](const QByteArray &m) {
        return QStringLiteral("cmd %1 [%2]").arg(commandOf(m)).arg(QString::fromLatin1(m.mid(10, 6).toHex(' ')));
    };
    for (int i = 0; i < std::min(actual.size(), expected.size()); ++i)
        if (actual[i] != expected[i])
            return QStringLiteral("message %1: sent %2, expected %3").arg(i).arg(describe(actual[i]), describe(expected[i]));
    if (actual.size() != expected.size())
        return QStringLiteral("sent %1 messages, expected %2").arg(actual.size()).arg(expected.size());
    return {};
}
#define COMPARE_SENT(actual, expected) QVERIFY2(difference(actual, expected).isEmpty(), qPrintable(difference(actual, expected)))

// Loses (or holds back) the replies to the listed sends of each command.
SimLoop::FateRule lose(const Losses &lost, SimLoop::Fate fate = SimLoop::Fate::Lose)
{
    return [lost, fate, seen = std::map<int, int>()](const QByteArray &m, int) mutable {
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
    void timeoutInEveryStep_data();
    void timeoutInEveryStep();
    void repeatedTimeouts_data();
    void repeatedTimeouts();
    void lateReplyAfterRetryIsIgnored();
    void faultyReplies_data();
    void faultyReplies();
    void strayRepliesChangeNothing();
    void refusedSendStops_data();
    void refusedSendStops();
    void cancelAndNoImageSendNothingMore();
};

// Whole pages only, into a second block: no all-0xFF page may follow the last.
void TestUpdateEngine::cleanUpdate()
{
    Rig rig;
    rig.device().storeListCopies(1, {}, 0);
    const QByteArray image = makeImage(65 * PageBytes);
    rig.run(image);

    Script expected{image, {}};
    COMPARE_SENT(rig.sent(), expected.reset().findCopy(1, 0).dataBlock(1, 0, 64).dataBlock(2, 1, 1).finish().m);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QVERIFY(rig.messages.first().contains(QLatin1String("1.09")));
    QCOMPARE(rig.device().image(image.size()), image);
    QCOMPARE(rig.device().listCopies(), 1);  // unchanged list: no closing copy
    QVERIFY(rig.device().violations().empty());
    QCOMPARE(rig.progress.size(), 66);
    QCOMPARE(rig.progress.last(), qMakePair(65, 65));
    for (const char *line : {"Reset NAND", "read BBL\n", "found 1 BBL's", "read last BBL", "Erase block 2 ok",
                             "Write Data Page", "write page 63", "*** Finish***"})
        QVERIFY2(rig.traces.contains(QLatin1String(line)), line);
}

void TestUpdateEngine::scenarios_data()
{
    QTest::addColumn<int>("copies");        // intact copies of Listed in block 0
    QTest::addColumn<bool>("torn");         // a torn page follows them
    QTest::addColumn<Blocks>("factory");    // what the defect list reports
    QTest::addColumn<Blocks>("eraseFaults");
    QTest::addColumn<Pages>("programFaults");
    QTest::addColumn<int>("size");
    QTest::addColumn<UpdateOutcome>("outcome");
    QTest::addColumn<Blocks>("bad");        // the stored list in the end
    QTest::addColumn<int>("listPage");      // where it is; -1: none
    QTest::addColumn<QString>("trace");     // a line the run must show
    QTest::addColumn<Messages>("commands"); // when given, exactly these

    const auto ok = UpdateOutcome::Success;
    const auto row = [](const char *name) { return &QTest::newRow(name); };
    const QByteArray small = makeImage(PageBytes + 5);
    *row("empty block 0") << 0 << false << Blocks{1, 1000} << Blocks{} << Pages{} << int(small.size()) << ok
                          << Blocks{1, 1000} << 0 << "DefectList contains 2 blocks"
                          << Script{small, {}}.reset().findCopy(0, 0).readDefects().erase(0).listPage(0, {1, 1000}, 2)
                                 .dataBlock(2, 0, 2).finish().m;
    *row("empty block 0, closing copy in page 1") << 0 << false << Blocks{1, 1000} << Blocks{2} << Pages{}
                          << int(small.size()) << ok << Blocks{1, 2, 1000} << 1 << "writing BBL to block 0 page 0"
                          << Script{small, {}}.reset().findCopy(0, 0).readDefects().erase(0).listPage(0, {1, 1000}, 2)
                                 .failedErase(2).dataBlock(3, 0, 2).listPage(1, {1, 2, 1000}, 2).finish().m;
    *row("3 factory defects pass") << 0 << false << Blocks{1, 2, 3} << Blocks{} << Pages{} << 100 << ok
                                   << Blocks{1, 2, 3} << 0 << "Erase block 4 ok" << Messages{};
    *row("4 factory defects stop") << 0 << false << Blocks{1, 2, 3, 4} << Blocks{} << Pages{} << 100
                                   << UpdateOutcome::FlashUnhealthy << Blocks{} << -1
                                   << "more than 3 factory defects, Flash not healthy! Aborting"
                                   << Script{makeImage(100), {}}.reset().findCopy(0, 0).readDefects().m;
    *row("1 copy, a page fails") << 1 << false << Blocks{} << Blocks{} << Pages{{1, 0}} << PageBytes << ok
                                 << Blocks{1, 5} << 1 << "Block 1 is marked as bad" << Messages{};
    *row("63 copies") << 63 << false << Blocks{} << Blocks{} << Pages{{1, 0}} << PageBytes << ok << Blocks{1, 5}
                      << 63 << "found 63 BBL's" << Messages{};
    *row("64 copies, unchanged") << 64 << false << Blocks{} << Blocks{} << Pages{} << PageBytes << ok << Listed
                                 << 63 << "found 64 BBL's" << Messages{};
    const QByteArray page = makeImage(PageBytes);
    *row("64 copies, block 0 full") << 64 << false << Blocks{} << Blocks{} << Pages{{1, 0}} << PageBytes << ok
                                    << Blocks{1, 5} << 0 << "erase block 0 (BBL block)"
                                    << Script{page, {}}.reset().findCopy(64, 63).dataBlock(1, 0, 1).dataBlock(2, 0, 1)
                                           .erase(0).listPage(0, {1, 5}, ListedFactory).finish().m;
    *row("newest copy torn") << 3 << true << Blocks{} << Blocks{1} << Pages{} << PageBytes << ok << Blocks{1, 5} << 4
                             << "BBL page 3 is torn, skipped"
                             << Script{page, {}}.reset().findCopy(4, 2).failedErase(1).dataBlock(2, 0, 1)
                                    .listPage(4, {1, 5}, ListedFactory).finish().m;
    *row("only copy torn") << 0 << true << Blocks{9} << Blocks{1} << Pages{} << PageBytes << ok << Blocks{1, 9} << 1
                           << "BBL page 0 is torn, skipped"
                           << Script{page, {}}.reset().findCopy(1, 0).readDefects().erase(0).listPage(0, {9}, 1)
                                  .failedErase(1).dataBlock(2, 0, 1).listPage(1, {1, 9}, 1).finish().m;
    *row("erase fails in 1 and 2") << 1 << false << Blocks{} << Blocks{1, 2} << Pages{} << 2 * PageBytes << ok
                                   << Blocks{1, 2, 5} << 1 << "Erase block 2 FAIL" << Messages{};
    *row("a page fails, then the next erase") << 1 << false << Blocks{} << Blocks{2} << Pages{{1, 1}}
                                              << 3 * PageBytes << ok << Blocks{1, 2, 5} << 1 << "FAIL!" << Messages{};
    *row("the image's last page fails") << 1 << false << Blocks{} << Blocks{} << Pages{{2, 1}} << 66 * PageBytes - 9
                                        << ok << Blocks{2, 5} << 1 << "Block 2 is marked as bad" << Messages{};
    Blocks all, lowest;
    for (int b = 1; b < 1024; ++b) {
        all.insert(b);
        if (lowest.size() < std::size_t(PageFrame::MaxListEntries))
            lowest.insert(b);
    }
    *row("no good block left") << 1 << false << Blocks{} << all << Pages{} << PageBytes << UpdateOutcome::NoSpace
                               << lowest << 1 << "Error: not enough space in NAND, all 1024 blocks written"
                               << Messages{};
}

void TestUpdateEngine::scenarios()
{
    QFETCH(int, copies);
    QFETCH(bool, torn);
    QFETCH(Blocks, factory);
    QFETCH(Blocks, eraseFaults);
    QFETCH(Pages, programFaults);
    QFETCH(int, size);
    QFETCH(UpdateOutcome, outcome);
    QFETCH(Blocks, bad);
    QFETCH(int, listPage);
    QFETCH(QString, trace);
    QFETCH(Messages, commands);

    Rig rig;
    SimDevice &device = rig.device();
    if (copies)
        device.storeListCopies(copies, Listed, ListedFactory);
    if (torn)
        QVERIFY(device.storeRawPage(0, copies, tornPage()));
    device.setFactoryDefects(factory);
    for (int block : eraseFaults)
        device.failErase(block);
    for (const QPoint &at : programFaults)
        device.failProgram(at.x(), at.y());
    const QByteArray image = makeImage(size);
    QVERIFY(rig.runToEnd(image, 0));

    if (!commands.isEmpty())
        COMPARE_SENT(rig.sent(), commands);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{outcome});
    QVERIFY2(rig.traces.contains(trace), qPrintable(trace));
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
        QCOMPARE(device.image(size), image);
}

void TestUpdateEngine::timeoutInEveryStep_data()
{
    QTest::addColumn<int>("copies");       // 0: block 0 empty
    QTest::addColumn<int>("failingErase"); // so a closing copy falls due; 0: none
    QTest::addColumn<Command>("lost");
    QTest::addColumn<int>("nth");
    QTest::addColumn<bool>("retried");

    QTest::newRow("ResetNand") << 1 << 0 << Command::ResetNand << 1 << false;
    QTest::newRow("probe of block 0") << 1 << 0 << Command::ReadChunk << 2 << false;
    QTest::newRow("reading the copy") << 1 << 0 << Command::ReadChunk << 4 << false;
    QTest::newRow("defect list") << 0 << 0 << Command::ReadDefectList << 2 << false;
    QTest::newRow("erase of block 0") << 0 << 0 << Command::EraseBlock << 1 << false;
    QTest::newRow("first copy, begin") << 0 << 0 << Command::BeginPage << 1 << false;
    QTest::newRow("first copy, piece") << 0 << 0 << Command::PageData << 33 << false;
    QTest::newRow("first copy, program") << 0 << 0 << Command::ProgramPage << 1 << false;
    QTest::newRow("data erase") << 1 << 0 << Command::EraseBlock << 1 << true;
    QTest::newRow("data begin") << 1 << 0 << Command::BeginPage << 2 << true;
    QTest::newRow("data piece") << 1 << 0 << Command::PageData << 40 << true;
    QTest::newRow("data program, last page") << 1 << 0 << Command::ProgramPage << 2 << true;
    QTest::newRow("closing copy, begin") << 1 << 1 << Command::BeginPage << 3 << false;
    QTest::newRow("closing copy, program") << 1 << 1 << Command::ProgramPage << 3 << false;
    QTest::newRow("erase of a full block 0") << 64 << 1 << Command::EraseBlock << 3 << false;
}

// Only a data step is retried, by erasing its block again, exactly when the
// time-out runs out; anywhere else a missing reply means a silent device.
void TestUpdateEngine::timeoutInEveryStep()
{
    QFETCH(int, copies);
    QFETCH(int, failingErase);
    QFETCH(Command, lost);
    QFETCH(int, nth);
    QFETCH(bool, retried);

    Rig rig;
    if (copies)
        rig.device().storeListCopies(copies, {}, 0);
    if (failingErase)
        rig.device().failErase(failingErase);
    rig.loop.fate = lose({{lost, nth}});
    const QByteArray image = makeImage(2 * PageBytes - 1);
    rig.run(image);
    QVERIFY(rig.engine.isRunning());
    const int sentBefore = rig.sent().size();
    const int block = rig.engine.currentBlock();

    rig.tick(ReplyTimeout - 1);
    QCOMPARE(rig.sent().size(), sentBefore);
    QVERIFY(rig.outcomes.isEmpty());
    rig.tick();
    if (!retried) {
        QCOMPARE(rig.sent().size(), sentBefore);
        QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::DeviceSilent});
        QCOMPARE(rig.engine.retryCount(), 0);
        return;
    }
    QCOMPARE(rig.sent().size(), sentBefore + 1);
    QCOMPARE(rig.sent().last(), bytes(buildEraseBlock(std::uint32_t(block))));
    QCOMPARE(rig.engine.retryCount(), 1);
    rig.loop.pump();
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(rig.device().image(image.size()), image);
    QVERIFY(rig.traces.contains("(1 retries)"));
}

void TestUpdateEngine::repeatedTimeouts_data()
{
    QTest::addColumn<Losses>("lost");
    QTest::addColumn<UpdateOutcome>("outcome");
    QTest::addColumn<int>("retries");

    QTest::newRow("the retry's erase is awaited too")
        << Losses{{Command::ProgramPage, 1}, {Command::EraseBlock, 2}} << UpdateOutcome::Success << 2;
    Losses begins;
    for (int n = 1; n <= UpdateEngine::MaxTimeoutsInARow; ++n)
        begins << qMakePair(Command::BeginPage, n);
    QTest::newRow("five in a row stop") << begins << UpdateOutcome::DeviceSilent << UpdateEngine::MaxTimeoutsInARow - 1;
    // Page 1's answer is lost five times, but page 0 is programmed in between.
    Losses secondPage;
    for (int n = 2; n <= 10; n += 2)
        secondPage << qMakePair(Command::ProgramPage, n);
    QTest::newRow("a programmed page breaks the row") << secondPage << UpdateOutcome::Success << 5;
    // Lost at every attempt: page 0 keeps breaking the row, so the count per
    // image block has to end it.
    Losses always;
    for (int n = 2; n <= 4 * UpdateEngine::MaxTimeoutsPerImageBlock; n += 2)
        always << qMakePair(Command::ProgramPage, n);
    QTest::newRow("the same page lost for good") << always << UpdateOutcome::DeviceSilent
                                                 << UpdateEngine::MaxTimeoutsPerImageBlock - 1;
}

void TestUpdateEngine::repeatedTimeouts()
{
    QFETCH(Losses, lost);
    QFETCH(UpdateOutcome, outcome);
    QFETCH(int, retries);

    Rig rig;
    rig.device().storeListCopies(1, {}, 0);
    rig.loop.fate = lose(lost);
    const QByteArray image = makeImage(2 * PageBytes);
    QVERIFY(rig.runToEnd(image, 2 * ReplyTimeout * int(lost.size())));
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{outcome});
    QCOMPARE(rig.engine.retryCount(), retries);
    if (outcome == UpdateOutcome::Success)
        QCOMPARE(rig.device().image(image.size()), image);
}

// The acknowledgement of piece 4 comes after the retry's erase went out; the
// block is still rewritten from page 0.
void TestUpdateEngine::lateReplyAfterRetryIsIgnored()
{
    Rig rig;
    rig.device().storeListCopies(1, {}, 0);
    rig.loop.fate = lose({{Command::PageData, 5}}, SimLoop::Fate::Hold);
    const QByteArray image = makeImage(2 * PageBytes);
    rig.run(image);
    rig.tick(ReplyTimeout);
    rig.loop.releaseHeld();
    rig.loop.pump();

    Script expected{image, {}};
    expected.reset().findCopy(1, 0).dataBlock(1, 0, 1);
    expected.m = expected.m.mid(0, expected.m.size() - 29);  // BeginPage and pieces 0..4 went out
    COMPARE_SENT(rig.sent(), expected.dataBlock(1, 0, 2).finish().m);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
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
    QTest::newRow("duplicated second reading") << dup << Command::ReadChunk << 11;
    QTest::newRow("duplicated erase failure") << dup << Command::EraseBlock << 2;
    QTest::newRow("duplicated program failure") << dup << Command::ProgramPage << 2;
    QTest::newRow("duplicated piece acknowledged") << dup << Command::PageData << 5;
    QTest::newRow("erase failure cut short") << cut << Command::EraseBlock << 2;
    QTest::newRow("program failure cut short") << cut << Command::ProgramPage << 2;
}

// A repeated or truncated answer is never taken for another one: the update
// ends as a clean one would, or waits for the time-out; a failure never reads
// as success.
void TestUpdateEngine::faultyReplies()
{
    QFETCH(LinkFaults::Fault, fault);
    QFETCH(Command, answering);
    QFETCH(int, nth);

    for (std::uint32_t seed = 0; seed < 8; ++seed) {  // the seed picks where a reply is cut
        Rig rig;
        rig.device().storeListCopies(2, {5, 700}, 1);
        rig.device().failProgram(1, 1);
        rig.device().failErase(2);
        rig.loop.faults.setRates({}, seed);
        rig.loop.faults.inject(fault, DeviceReply::answerType(answering), nth);
        const QByteArray image = makeImage(3 * PageBytes);
        QVERIFY(rig.runToEnd(image, 10 * ReplyTimeout));
        QCOMPARE(rig.loop.faults.count(fault), 1);
        QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
        QCOMPARE(rig.device().storedList()->badBlocks, (Blocks{1, 2, 5, 700}));
        QCOMPARE(rig.device().image(image.size()), image);
        QVERIFY(rig.device().violations().empty());
        if (fault == LinkFaults::Fault::Duplicate)
            break;
    }
}

// Replies that fit no waiting step, sent ahead of every real answer and after
// the end, change nothing that is sent.
void TestUpdateEngine::strayRepliesChangeNothing()
{
    const auto setUp = [](Rig &rig) {
        rig.device().setFactoryDefects({3});
        rig.device().failErase(1);
    };
    const QByteArray image = makeImage(2 * PageBytes);
    Rig clean;
    setUp(clean);
    clean.run(image);

    Rig noisy;
    setUp(noisy);
    const std::uint8_t none[64] = {};
    noisy.loop.responder = [&noisy, &none](const QByteArray &command) {
        std::vector<QByteArray> out{QByteArray(), QByteArray::fromHex("f00011"), DeviceReply::bare(0x55)};
        for (auto c : {Command::ReadDefectList, Command::ReadChunk, Command::EraseBlock, Command::BeginPage,
                       Command::PageData, Command::ProgramPage, Command::ResetNand}) {
            const auto type = DeviceReply::answerType(c);
            if (type != DeviceReply::answerType(Command(commandOf(command))))
                out.push_back(c == Command::ReadChunk || c == Command::ReadDefectList ? DeviceReply::data(type, none, 64)
                                                                                     : DeviceReply::status(type, 0));
        }
        const auto real = noisy.device().handle(command);
        out.insert(out.end(), real.begin(), real.end());
        return out;
    };
    noisy.run(image);
    COMPARE_SENT(noisy.sent(), clean.sent());
    QCOMPARE(noisy.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(noisy.device().storedList()->badBlocks, (Blocks{1, 3}));

    noisy.engine.handleReply(ReplyEraseBlock);
    noisy.engine.handleReply(ReplyResetNand);
    noisy.tick(2 * ReplyTimeout);
    QCOMPARE(noisy.sent().size(), clean.sent().size());
}

void TestUpdateEngine::refusedSendStops_data()
{
    QTest::addColumn<int>("refuseFrom");
    QTest::newRow("ResetNand") << 0;
    QTest::newRow("a probe") << 1;
    QTest::newRow("the first erase") << 12;
    QTest::newRow("a piece") << 20;
    QTest::newRow("Finish") << 12 + 36;
}

void TestUpdateEngine::refusedSendStops()
{
    QFETCH(int, refuseFrom);
    Rig rig;
    rig.device().storeListCopies(1, {}, 0);
    rig.loop.refuseFrom = refuseFrom;
    rig.run(makeImage(PageBytes));
    rig.tick(3 * ReplyTimeout);
    QCOMPARE(rig.sent().size(), refuseFrom);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::PortLost});
}

void TestUpdateEngine::cancelAndNoImageSendNothingMore()
{
    Rig rig;
    rig.run(QByteArray());
    QVERIFY(rig.sent().isEmpty());
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::NoImage});

    rig.device().storeListCopies(1, {}, 0);
    rig.loop.fate = lose({{Command::PageData, 3}}, SimLoop::Fate::Hold);
    rig.run(makeImage(PageBytes));
    const int sentBefore = rig.sent().size();
    rig.engine.cancel();
    rig.loop.releaseHeld();
    rig.loop.pump();
    rig.tick(2 * ReplyTimeout);
    QCOMPARE(rig.sent().size(), sentBefore);
    QCOMPARE(rig.outcomes, (QList<UpdateOutcome>{UpdateOutcome::NoImage, UpdateOutcome::Cancelled}));
}

QTEST_GUILESS_MAIN(TestUpdateEngine)
#include "tst_updateengine.moc"
