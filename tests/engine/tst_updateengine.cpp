#include "devicereplies.h"
#include "enginerig.h"
#include "pageframe.h"
#include "sysex.h"

#include <QTest>

#include <map>
#include <set>

using Blocks = std::set<int>;
using Messages = QList<QByteArray>;
using Losses = QList<QPair<Command, int>>; // command, n-th
Q_DECLARE_METATYPE(Blocks)
Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(UpdateOutcome)

namespace {

constexpr int PageBytes = 2048;
constexpr int ReplyTimeout = UpdateEngine::ReplyTimeoutTicks;

QByteArray bytes(const SysExMessage &m)
{
    return QByteArray(reinterpret_cast<const char *>(m.data()), qsizetype(m.size()));
}

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

int commandOf(const QByteArray &m) { return m.size() > SysEx::CommandOffset ? quint8(m[SysEx::CommandOffset]) : -1; }
bool isCommand(const QByteArray &m, Command c) { return commandOf(m) == int(c); }

QByteArray reply(std::uint8_t type, std::uint8_t byte10 = 0)
{
    return QByteArray::fromHex("f00011220a00000000") + QByteArray(1, char(type)) + QByteArray(1, char(byte10))
        + QByteArray(1, char(0xF7));
}

QByteArray dataReply(std::uint8_t type)
{
    return QByteArray::fromHex("f00011220a00000000") + QByteArray(1, char(type)) + QByteArray(81, 0)
        + QByteArray(1, char(0xF7));
}

// The exact commands an update must send, built with the protocol's builders.
struct Script
{
    QByteArray image;
    Messages m;

    Script &add(const SysExMessage &message) { m << bytes(message); return *this; }
    Script &reset() { return add(buildResetNand(1, 9, std::uint32_t(image.size()))); }
    // Probes pages 0.. of block 0, reads the newest of `used` copies twice
    // and probes the page after it again.
    Script &findCopy(int used, int newest = -1)
    {
        for (int page = 0; page <= std::min(used, 63); ++page)
            add(buildReadChunk(page * 8, 0));
        for (int page = used - 1; page >= (newest < 0 ? used - 1 : newest); --page)
            readTwice(page);
        return used < 64 ? add(buildReadChunk(used * 8, 0)) : *this;
    }
    Script &readTwice(int page)
    {
        for (int pass = 0; pass < 2; ++pass)
            for (int piece = 0; piece < 4; ++piece)
                add(buildReadChunk(page * 8, std::uint8_t(piece)));
        return *this;
    }
    // Page 0 empty, and again; then both parts of the defect list, twice.
    Script &readDefects()
    {
        add(buildReadChunk(0, 0)).add(buildReadChunk(0, 0));
        return add(buildReadDefectList(0)).add(buildReadDefectList(1)).add(buildReadDefectList(0)).add(buildReadDefectList(1));
    }
    Script &erase(int block) { return add(buildEraseBlock(std::uint32_t(block))); }
    // A failed erase with a good block after it: a read of another type goes between.
    Script &failedErase(int block) { return erase(block).add(buildReadDefectList(0)); }
    Script &pieces(const PageFrame &frame)
    {
        for (int piece = 0; piece < PageFrame::Pieces; ++piece)
            add(buildPageData(frame.bytes.data() + PageFrame::pieceOffset(piece), PageFrame::pieceLength(piece)));
        return add(buildProgramPage());
    }
    Script &dataPage(int block, int imageBlock, int page)
    {
        PageFrame frame;
        buildDataFrame(frame, imageBlock, page, reinterpret_cast<const std::uint8_t *>(image.constData()), image.size());
        return add(buildBeginPage(std::uint32_t(block), std::uint8_t(page))).pieces(frame);
    }
    // Erases `block` and writes pages first..last-1 of image block `imageBlock` into it.
    Script &dataBlock(int block, int imageBlock, int last, int first = 0)
    {
        erase(block);
        for (int page = first; page < last; ++page)
            dataPage(block, imageBlock, page);
        return *this;
    }
    Script &listPage(int page, const Blocks &bad, int factory)
    {
        std::array<std::uint8_t, 1024> table{};
        for (int b : bad)
            table[std::size_t(b)] = 1;
        PageFrame frame;
        buildBblFrame(frame, table.data(), int(table.size()), std::int16_t(factory));
        return add(buildBeginPage(0, std::uint8_t(page))).pieces(frame);
    }
    Script &finish() { return add(buildFinish()); }
};

QString describe(const QByteArray &m)
{
    return QStringLiteral("cmd %1 [%2]").arg(commandOf(m)).arg(QString::fromLatin1(m.mid(10, 6).toHex(' ')));
}

// Empty when equal, else where and how the two first differ.
QString difference(const Messages &actual, const Messages &expected)
{
    for (int i = 0; i < std::min(actual.size(), expected.size()); ++i)
        if (actual[i] != expected[i])
            return QStringLiteral("message %1: sent %2, expected %3").arg(i).arg(describe(actual[i]), describe(expected[i]));
    if (actual.size() != expected.size())
        return QStringLiteral("sent %1 messages, expected %2").arg(actual.size()).arg(expected.size());
    return {};
}

#define COMPARE_SENT(actual, expected)                                                          \
    do {                                                                                        \
        const QString why = difference(actual, expected);                                       \
        QVERIFY2(why.isEmpty(), qPrintable(why));                                               \
    } while (false)

// Block 0 must hold nothing but list copies.
bool onlyListPagesInBlockZero(const SimDevice &device)
{
    for (int page = 0; page < SimDevice::PagesPerBlock; ++page)
        if (device.pageWritten(0, page) && quint8(device.pageFrame(0, page).at(0)) != PageFrame::ListMarker)
            return false;
    return true;
}

// Loses the reply to the n-th (from 1) message of one command.
EngineRig::FateRule lose(Command command, int n, EngineRig::Fate fate = EngineRig::Fate::Lose)
{
    return [command, n, fate, seen = 0](const QByteArray &message, int) mutable {
        return isCommand(message, command) && ++seen == n ? fate : EngineRig::Fate::Deliver;
    };
}

} // namespace

class TestUpdateEngine : public QObject
{
    Q_OBJECT

private slots:
    void cleanUpdate_data();
    void cleanUpdate();
    void emptyBlockZero_data();
    void emptyBlockZero();
    void copiesInUse_data();
    void copiesInUse();
    void factoryDefectLimit_data();
    void factoryDefectLimit();
    void dataFailures_data();
    void dataFailures();
    void noGoodBlockLeft_data();
    void noGoodBlockLeft();
    void timeoutInEveryStep_data();
    void timeoutInEveryStep();
    void repeatedTimeouts_data();
    void repeatedTimeouts();
    void lateReplyAfterRetryIsIgnored();
    void tornCopies_data();
    void tornCopies();
    void duplicatedAnswers_data();
    void duplicatedAnswers();
    void cutShortReplies_data();
    void cutShortReplies();
    void strayRepliesChangeNothing();
    void refusedSendStops_data();
    void refusedSendStops();
    void noImageSendsNothing();
    void cancelStopsSending();
};

void TestUpdateEngine::cleanUpdate_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("partial last page") << 3 * PageBytes + 100;
    QTest::newRow("whole pages") << 2 * PageBytes;
    QTest::newRow("one byte") << 1;
    QTest::newRow("into a second block") << 65 * PageBytes + 1;
}

void TestUpdateEngine::cleanUpdate()
{
    QFETCH(int, size);
    EngineRig rig;
    rig.device.storeListCopies(1, {}, 0);
    const QByteArray image = makeImage(size);
    const int pages = (size + PageBytes - 1) / PageBytes;
    rig.run(image);

    Script expected{image, {}};
    expected.reset().findCopy(1).dataBlock(1, 0, std::min(pages, 64));
    if (pages > 64)
        expected.dataBlock(2, 1, pages - 64);
    expected.finish();
    COMPARE_SENT(rig.sent, expected.m);

    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QVERIFY(rig.messages.first().contains(QLatin1String("1.09")));
    QVERIFY(!rig.engine.isRunning());
    QCOMPARE(rig.device.image(size), image);
    QVERIFY(!rig.device.pageWritten(1 + pages / 64, pages % 64)); // nothing after the image's last page
    QCOMPARE(rig.device.listCopies(), 1);       // unchanged list: no closing copy
    const auto &violations = rig.device.violations();
    QVERIFY2(violations.empty(), violations.empty() ? "" : qPrintable(violations.front()));
    QCOMPARE(rig.progress.first(), qMakePair(0, pages));
    QCOMPARE(rig.progress.last(), qMakePair(pages, pages));
    QCOMPARE(rig.progress.size(), pages + 1);
    for (const char *line : {"Reset NAND", "read BBL\n", "found 1 BBL's", "read last BBL", "Erase block 1 ok",
                             "Write Data Page", "write page 0", "*** Finish***"})
        QVERIFY2(rig.traces.contains(QLatin1String(line)), line);
    QVERIFY(rig.blocksShown.contains(1));
}

void TestUpdateEngine::emptyBlockZero_data()
{
    QTest::addColumn<int>("failingErase");
    QTest::newRow("list unchanged") << 0;
    QTest::newRow("closing copy in page 1") << 2;
}

void TestUpdateEngine::emptyBlockZero()
{
    QFETCH(int, failingErase);
    EngineRig rig;
    rig.device.setFactoryDefects({1, 1000});
    if (failingErase)
        rig.device.failErase(failingErase);
    const QByteArray image = makeImage(PageBytes + 5);
    rig.run(image);

    Script expected{image, {}};
    expected.reset().readDefects().erase(0).listPage(0, {1, 1000}, 2);
    Blocks bad{1, 1000};
    if (failingErase) {
        expected.failedErase(2).dataBlock(3, 0, 2).listPage(1, {1, 2, 1000}, 2);
        bad.insert(2);
    } else {
        expected.dataBlock(2, 0, 2);
    }
    COMPARE_SENT(rig.sent, expected.finish().m);

    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    const auto stored = rig.device.storedList();
    QVERIFY(stored);
    QCOMPARE(stored->badBlocks, bad);
    QCOMPARE(int(stored->factoryDefects), 2);
    QCOMPARE(stored->page, failingErase ? 1 : 0);
    QCOMPARE(rig.device.image(image.size()), image);
    QVERIFY(onlyListPagesInBlockZero(rig.device));
    for (const char *line : {"no BBL found, NAND is unused", "read defective list", "DefectList contains 2 blocks",
                             "erase block 0 (BBL block)", "writing BBL to block 0 page 0", "Write BBL Page 0"})
        QVERIFY2(rig.traces.contains(QLatin1String(line)), line);
}

void TestUpdateEngine::copiesInUse_data()
{
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("blockFails");
    QTest::newRow("1 copy") << 1 << true;
    QTest::newRow("2 copies") << 2 << true;
    QTest::newRow("63 copies") << 63 << true;
    QTest::newRow("64 copies, unchanged") << 64 << false;
    QTest::newRow("64 copies, block 0 full") << 64 << true;
}

void TestUpdateEngine::copiesInUse()
{
    QFETCH(int, copies);
    QFETCH(bool, blockFails);
    EngineRig rig;
    rig.device.storeListCopies(copies, {5}, 2);
    if (blockFails)
        rig.device.failProgram(1, 0);
    const QByteArray image = makeImage(PageBytes);
    rig.run(image);

    Script expected{image, {}};
    expected.reset().findCopy(copies).erase(1);
    if (blockFails) {
        expected.dataPage(1, 0, 0).dataBlock(2, 0, 1);
        if (copies == 64)
            expected.erase(0);
        expected.listPage(copies % 64, {1, 5}, 2);
    } else {
        expected.dataPage(1, 0, 0);
    }
    COMPARE_SENT(rig.sent, expected.finish().m);

    QVERIFY(rig.traces.contains(QStringLiteral("found %1 BBL's").arg(copies)));
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    const auto stored = rig.device.storedList();
    QVERIFY(stored);
    QCOMPARE(stored->badBlocks, (blockFails ? Blocks{1, 5} : Blocks{5}));
    QCOMPARE(stored->page, blockFails ? copies % 64 : copies - 1);
    QCOMPARE(rig.device.listCopies(), blockFails ? copies % 64 + 1 : copies);
    QCOMPARE(rig.device.image(image.size()), image);
    QVERIFY(onlyListPagesInBlockZero(rig.device));
}

void TestUpdateEngine::factoryDefectLimit_data()
{
    QTest::addColumn<Blocks>("defects");
    QTest::newRow("3 defects") << Blocks{1, 2, 3};
    QTest::newRow("4 defects") << Blocks{1, 2, 3, 4};
}

void TestUpdateEngine::factoryDefectLimit()
{
    QFETCH(Blocks, defects);
    EngineRig rig;
    rig.device.setFactoryDefects(defects);
    const QByteArray image = makeImage(100);
    rig.run(image);

    Script expected{image, {}};
    expected.reset().readDefects();
    if (defects.size() > 3) {
        COMPARE_SENT(rig.sent, expected.m);
        QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::FlashUnhealthy});
        QVERIFY(rig.traces.contains("more than 3 factory defects, Flash not healthy! Aborting"));
        QCOMPARE(rig.device.listCopies(), 0);
        rig.tick(3 * ReplyTimeout);
        rig.feed(dataReply(0x28));
        QCOMPARE(rig.sent.size(), expected.m.size());
        return;
    }
    expected.erase(0).listPage(0, defects, 3).dataBlock(4, 0, 1).finish();
    COMPARE_SENT(rig.sent, expected.m);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(rig.device.image(image.size()), image);
}

void TestUpdateEngine::dataFailures_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<Blocks>("failingErase");
    QTest::addColumn<QPoint>("failingProgram"); // block, page; block 0: none
    QTest::addColumn<Messages>("writes");       // what follows the list search
    QTest::addColumn<Blocks>("bad");

    const QByteArray two = makeImage(2 * PageBytes);
    QTest::newRow("erase fails in 1 and 2")
        << int(two.size()) << Blocks{1, 2} << QPoint()
        << Script{two, {}}.failedErase(1).failedErase(2).dataBlock(3, 0, 2).listPage(1, {1, 2}, 0).m << Blocks{1, 2};
    const QByteArray three = makeImage(3 * PageBytes);
    QTest::newRow("program fails on page 1")
        << int(three.size()) << Blocks{} << QPoint(1, 1)
        << Script{three, {}}.dataBlock(1, 0, 2).dataBlock(2, 0, 3).listPage(1, {1}, 0).m << Blocks{1};
    QTest::newRow("program fails, then the next erase")
        << int(three.size()) << Blocks{2} << QPoint(1, 0)
        << Script{three, {}}.dataBlock(1, 0, 1).failedErase(2).dataBlock(3, 0, 3).listPage(1, {1, 2}, 0).m << Blocks{1, 2};
    const QByteArray longer = makeImage(66 * PageBytes - 9);
    QTest::newRow("program fails on the image's last page")
        << int(longer.size()) << Blocks{} << QPoint(2, 1)
        << Script{longer, {}}.dataBlock(1, 0, 64).dataBlock(2, 1, 2).dataBlock(3, 1, 2).listPage(1, {2}, 0).m
        << Blocks{2};
}

void TestUpdateEngine::dataFailures()
{
    QFETCH(int, size);
    QFETCH(Blocks, failingErase);
    QFETCH(QPoint, failingProgram);
    QFETCH(Messages, writes);
    QFETCH(Blocks, bad);

    EngineRig rig;
    rig.device.storeListCopies(1, {}, 0);
    for (int block : failingErase)
        rig.device.failErase(block);
    if (failingProgram.x())
        rig.device.failProgram(failingProgram.x(), failingProgram.y());
    const QByteArray image = makeImage(size);
    rig.run(image);

    Script expected{image, {}};
    expected.reset().findCopy(1).m << writes;
    COMPARE_SENT(rig.sent, expected.finish().m);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(rig.device.storedList()->badBlocks, bad);
    QCOMPARE(rig.device.image(size), image);
    QCOMPARE(rig.progress.last(), qMakePair(rig.engine.totalPages(), rig.engine.totalPages()));
    if (failingProgram.x())
        QVERIFY(rig.traces.contains(QStringLiteral("Block %1 is marked as bad").arg(failingProgram.x())));
}

void TestUpdateEngine::noGoodBlockLeft_data()
{
    QTest::addColumn<bool>("programFails");
    QTest::newRow("erase fails in 1023") << false;
    QTest::newRow("program fails in 1023") << true;
}

void TestUpdateEngine::noGoodBlockLeft()
{
    QFETCH(bool, programFails);
    EngineRig rig;
    rig.device.storeListCopies(1, {}, 0);
    for (int block = 1; block < (programFails ? 1023 : 1024); ++block)
        rig.device.failErase(block);
    if (programFails)
        rig.device.failProgram(1023, 0);
    const QByteArray image = makeImage(PageBytes);
    rig.run(image);

    Script expected{image, {}};
    expected.reset().findCopy(1);
    Blocks all;
    for (int block = 1; block < 1024; ++block) {
        if (block < 1023)
            expected.failedErase(block);
        else
            expected.erase(block);
        all.insert(block);
    }
    if (programFails)
        expected.dataPage(1023, 0, 0);
    expected.listPage(1, all, 0).finish();
    COMPARE_SENT(rig.sent, expected.m);

    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::NoSpace});
    QCOMPARE(rig.traces.mid(rig.traces.indexOf("*** Finish***")),
             QStringList({"*** Finish***", "Error: not enough space in NAND, all 1024 blocks written"}));
    QCOMPARE(rig.device.storedList()->badBlocks.size(), std::size_t(101));
    QVERIFY(onlyListPagesInBlockZero(rig.device));
}

void TestUpdateEngine::timeoutInEveryStep_data()
{
    QTest::addColumn<int>("copies");      // 0: block 0 empty
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
    QTest::newRow("data program") << 1 << 0 << Command::ProgramPage << 1 << true;
    QTest::newRow("data program, last page") << 1 << 0 << Command::ProgramPage << 2 << true;
    QTest::newRow("closing copy, begin") << 1 << 1 << Command::BeginPage << 3 << false;
    QTest::newRow("closing copy, piece") << 1 << 1 << Command::PageData << 70 << false;
    QTest::newRow("closing copy, program") << 1 << 1 << Command::ProgramPage << 3 << false;
    QTest::newRow("erase of a full block 0") << 64 << 1 << Command::EraseBlock << 3 << false;
}

void TestUpdateEngine::timeoutInEveryStep()
{
    QFETCH(int, copies);
    QFETCH(int, failingErase);
    QFETCH(Command, lost);
    QFETCH(int, nth);
    QFETCH(bool, retried);

    EngineRig rig;
    if (copies)
        rig.device.storeListCopies(copies, {}, 0);
    if (failingErase)
        rig.device.failErase(failingErase);
    rig.fate = lose(lost, nth);
    const QByteArray image = makeImage(2 * PageBytes - 1);
    rig.run(image);
    QVERIFY(rig.engine.isRunning());
    const int sentBefore = rig.sent.size();
    const int block = rig.engine.currentBlock();

    rig.tick(ReplyTimeout - 1);
    QCOMPARE(rig.sent.size(), sentBefore);
    QVERIFY(rig.outcomes.isEmpty());
    rig.tick();

    if (!retried) {
        QCOMPARE(rig.sent.size(), sentBefore);
        QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::DeviceSilent});
        QVERIFY(!rig.messages.first().isEmpty());
        QCOMPARE(rig.engine.retryCount(), 0);
        return;
    }
    QCOMPARE(rig.sent.size(), sentBefore + 1);
    QCOMPARE(rig.sent.last(), bytes(buildEraseBlock(std::uint32_t(block))));
    QCOMPARE(rig.engine.retryCount(), 1);
    rig.pump();
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(rig.device.image(image.size()), image);
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
    // Page 1 is lost at every attempt: page 0 keeps breaking the row, so the
    // count per image block has to end it.
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

    EngineRig rig;
    rig.device.storeListCopies(1, {}, 0);
    rig.fate = [lost, seen = std::map<int, int>()](const QByteArray &m, int) mutable {
        const QPair<Command, int> key(Command(commandOf(m)), ++seen[commandOf(m)]);
        return lost.contains(key) ? EngineRig::Fate::Lose : EngineRig::Fate::Deliver;
    };
    const QByteArray image = makeImage(2 * PageBytes);
    rig.run(image);
    for (int timeouts = 0; rig.outcomes.isEmpty() && timeouts < 2 * lost.size(); ++timeouts) {
        rig.tick(ReplyTimeout);
        rig.pump();
    }
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{outcome});
    QCOMPARE(rig.engine.retryCount(), retries);
    if (outcome == UpdateOutcome::Success) {
        QCOMPARE(rig.device.image(image.size()), image);
        QVERIFY(rig.traces.contains(QStringLiteral("(%1 retries)").arg(retries)));
    }
}

// A page of block 0 that a power cut left half programmed: in use, but
// without its markers.
QByteArray tornPage()
{
    QByteArray frame(PageFrame::Size, char(0xFF));
    frame[0] = char(PageFrame::ListMarker);
    frame[PageFrame::frameOffset(0)] = char(0x25);
    frame[PageFrame::frameOffset(2)] = char(0x01);
    return frame;
}

void TestUpdateEngine::tornCopies_data()
{
    QTest::addColumn<int>("copies");   // intact copies of {7} before the torn page
    QTest::addColumn<Blocks>("bad");   // the list in the end
    QTest::addColumn<int>("listPage"); // where it went

    QTest::newRow("newest copy torn") << 3 << Blocks{1, 7} << 4;
    QTest::newRow("only copy torn") << 0 << Blocks{1, 9} << 1;
}

void TestUpdateEngine::tornCopies()
{
    QFETCH(int, copies);
    QFETCH(Blocks, bad);
    QFETCH(int, listPage);

    EngineRig rig;
    if (copies)
        rig.device.storeListCopies(copies, {7}, 0);
    QVERIFY(rig.device.storeRawPage(0, copies, tornPage()));
    rig.device.setFactoryDefects({9});
    rig.device.failErase(1);  // so a closing copy falls due
    const QByteArray image = makeImage(PageBytes);
    QVERIFY(rig.runToEnd(image, 0));

    Script expected{image, {}};
    expected.reset();
    if (copies) {
        expected.findCopy(copies + 1, copies - 1);
    } else {
        expected.findCopy(1, 0).add(buildReadDefectList(0)).add(buildReadDefectList(1))
            .add(buildReadDefectList(0)).add(buildReadDefectList(1)).erase(0).listPage(0, {9}, 1);
    }
    expected.failedErase(1).dataBlock(2, 0, 1).listPage(listPage, bad, copies ? 0 : 1).finish();
    COMPARE_SENT(rig.sent, expected.m);
    QVERIFY(rig.traces.contains(QStringLiteral("BBL page %1 is torn, skipped").arg(copies)));
    QCOMPARE(rig.device.storedList()->badBlocks, bad);
    QCOMPARE(rig.device.storedList()->page, listPage);
    QCOMPARE(rig.device.image(image.size()), image);
}

void TestUpdateEngine::duplicatedAnswers_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("nth");

    // A clean run reads block 0 with 12 ReadChunk answers: three probes, the
    // newest copy twice, the probe after it again.
    for (int nth = 1; nth <= 12; ++nth)
        QTest::addRow("ReadChunk answer %d", nth) << int(DeviceReply::answerType(Command::ReadChunk)) << nth;
    // Block 1 fails its page 1, block 2 its erase.
    QTest::newRow("erase failure") << int(DeviceReply::answerType(Command::EraseBlock)) << 2;
    QTest::newRow("program failure") << int(DeviceReply::answerType(Command::ProgramPage)) << 2;
    QTest::newRow("piece acknowledged") << int(DeviceReply::answerType(Command::PageData)) << 5;
}

// A duplicated answer must not be taken for the next one in a way that
// changes what is written.
void TestUpdateEngine::duplicatedAnswers()
{
    QFETCH(int, type);
    QFETCH(int, nth);

    EngineRig rig;
    rig.device.storeListCopies(2, {5, 700}, 1);
    rig.device.failProgram(1, 1);
    rig.device.failErase(2);
    rig.loop.faults.inject(LinkFaults::Fault::Duplicate, type, nth);
    const QByteArray image = makeImage(3 * PageBytes);
    QVERIFY(rig.runToEnd(image, 10 * ReplyTimeout));

    QCOMPARE(rig.loop.faults.count(LinkFaults::Fault::Duplicate), 1);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(rig.device.storedList()->badBlocks, (Blocks{1, 2, 5, 700}));
    QCOMPARE(rig.device.storedList()->factoryDefects, std::int16_t(1));
    QCOMPARE(rig.device.image(image.size()), image);
    QVERIFY(rig.device.violations().empty());
}

void TestUpdateEngine::cutShortReplies_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("nth");

    QTest::newRow("probe of block 0") << int(DeviceReply::answerType(Command::ReadChunk)) << 2;
    QTest::newRow("piece of the copy") << int(DeviceReply::answerType(Command::ReadChunk)) << 5;
    QTest::newRow("erase failure") << int(DeviceReply::answerType(Command::EraseBlock)) << 1;
    QTest::newRow("program failure") << int(DeviceReply::answerType(Command::ProgramPage)) << 1;
}

// However a reply is cut, its step either acts on what it really said or
// waits for the time-out; a failure never reads as success.
void TestUpdateEngine::cutShortReplies()
{
    QFETCH(int, type);
    QFETCH(int, nth);

    for (std::uint32_t seed = 0; seed < 24; ++seed) {
        EngineRig rig;
        rig.device.storeListCopies(1, {5}, 0);
        rig.device.failErase(1);
        rig.device.failProgram(2, 0);
        rig.loop.faults.setRates({}, seed);  // the seed picks where the reply is cut
        rig.loop.faults.inject(LinkFaults::Fault::CutShort, type, nth);
        const QByteArray image = makeImage(PageBytes);
        QVERIFY(rig.runToEnd(image, 10 * ReplyTimeout));

        const auto outcome = rig.outcomes.value(0);
        QVERIFY2(outcome == UpdateOutcome::Success || outcome == UpdateOutcome::DeviceSilent,
                 qPrintable(rig.messages.value(0)));
        if (outcome == UpdateOutcome::Success) {
            QCOMPARE(rig.device.storedList()->badBlocks, (Blocks{1, 2, 5}));
            QCOMPARE(rig.device.image(image.size()), image);
        } else {
            QCOMPARE(rig.device.storedList()->badBlocks, Blocks{5});  // nothing written yet
        }
    }
}

void TestUpdateEngine::lateReplyAfterRetryIsIgnored()
{
    EngineRig rig;
    rig.device.storeListCopies(1, {}, 0);
    rig.fate = lose(Command::PageData, 5, EngineRig::Fate::Hold);
    const QByteArray image = makeImage(2 * PageBytes);
    rig.run(image);
    rig.tick(ReplyTimeout);
    rig.releaseHeld(); // arrives in StepEraseBlock, ahead of the erase's answer
    rig.pump();

    Script expected{image, {}};
    expected.reset().findCopy(1).erase(1).dataPage(1, 0, 0);
    expected.m = expected.m.mid(0, expected.m.size() - 29); // BeginPage and pieces 0..4 went out
    expected.dataBlock(1, 0, 2).finish();
    COMPARE_SENT(rig.sent, expected.m);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(rig.device.image(image.size()), image);
}

void TestUpdateEngine::strayRepliesChangeNothing()
{
    const auto setUp = [](EngineRig &rig) {
        rig.device.setFactoryDefects({3});
        rig.device.failErase(1);
    };
    const QByteArray image = makeImage(2 * PageBytes);
    EngineRig clean;
    setUp(clean);
    clean.run(image);

    // Before each real answer, replies that fit no step waiting for it.
    EngineRig noisy;
    setUp(noisy);
    const QList<QByteArray> junk{QByteArray(), QByteArray::fromHex("f00011"), reply(0x55),
                                 reply(0x43, 0), reply(0x43, 1),
                                 QByteArray::fromHex("f00011220b000000002e00f7")};
    noisy.responder = [&noisy, junk](const QByteArray &command) {
        std::vector<QByteArray> out(junk.begin(), junk.end());
        switch (Command(commandOf(command))) {
        case Command::ResetNand: out.insert(out.end(), {reply(0x2A, 2), dataReply(0x29), reply(0x2D)}); break;
        case Command::ReadChunk: out.insert(out.end(), {reply(0x2E), dataReply(0x28), reply(0x2C)}); break;
        case Command::ReadDefectList: out.insert(out.end(), {dataReply(0x29), reply(0x2A)}); break;
        case Command::EraseBlock: out.insert(out.end(), {reply(0x2C), reply(0x2D, 2), reply(0x2B)}); break;
        case Command::BeginPage: out.insert(out.end(), {reply(0x2A, 2), reply(0x2C), reply(0x2D)}); break;
        case Command::PageData: out.insert(out.end(), {reply(0x2B), reply(0x2D, 2), reply(0x2A)}); break;
        case Command::ProgramPage: out.insert(out.end(), {reply(0x2C), reply(0x2B), reply(0x2E)}); break;
        default: break;
        }
        const auto real = noisy.device.handle(command);
        out.insert(out.end(), real.begin(), real.end());
        return out;
    };
    noisy.run(image);

    COMPARE_SENT(noisy.sent, clean.sent);
    QCOMPARE(noisy.outcomes, QList<UpdateOutcome>{UpdateOutcome::Success});
    QCOMPARE(noisy.device.image(image.size()), image);
    QCOMPARE(noisy.device.storedList()->badBlocks, (Blocks{1, 3}));

    // Once the update is over, nothing moves it.
    for (const QByteArray &late : {reply(0x2E), reply(0x2A), reply(0x2D), dataReply(0x29)})
        noisy.feed(late);
    noisy.tick(2 * ReplyTimeout);
    QCOMPARE(noisy.sent.size(), clean.sent.size());
}

void TestUpdateEngine::refusedSendStops_data()
{
    QTest::addColumn<int>("refuseFrom");
    QTest::newRow("ResetNand") << 0;
    QTest::newRow("a probe") << 1;
    QTest::newRow("the first erase") << 7;
    QTest::newRow("a piece") << 20;
    QTest::newRow("Finish") << 8 + 35;
}

void TestUpdateEngine::refusedSendStops()
{
    QFETCH(int, refuseFrom);
    EngineRig rig;
    rig.device.storeListCopies(1, {}, 0);
    rig.refuseFrom = refuseFrom;
    rig.run(makeImage(PageBytes));
    QCOMPARE(rig.sent.size(), refuseFrom);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::PortLost});
    QVERIFY(!rig.messages.first().isEmpty());
    QVERIFY(!rig.engine.isRunning());
    rig.tick(3 * ReplyTimeout);
    QCOMPARE(rig.outcomes.size(), 1);
}

void TestUpdateEngine::noImageSendsNothing()
{
    EngineRig rig;
    rig.run(QByteArray());
    QVERIFY(rig.sent.isEmpty());
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::NoImage});
    QVERIFY(!rig.messages.first().isEmpty());
}

void TestUpdateEngine::cancelStopsSending()
{
    EngineRig rig;
    rig.device.storeListCopies(1, {}, 0);
    rig.fate = lose(Command::PageData, 3, EngineRig::Fate::Hold);
    rig.run(makeImage(PageBytes));
    const int sentBefore = rig.sent.size();
    rig.engine.cancel();
    rig.releaseHeld();
    rig.pump();
    rig.tick(2 * ReplyTimeout);
    QCOMPARE(rig.sent.size(), sentBefore);
    QCOMPARE(rig.outcomes, QList<UpdateOutcome>{UpdateOutcome::Cancelled});
}

QTEST_GUILESS_MAIN(TestUpdateEngine)
#include "tst_updateengine.moc"
