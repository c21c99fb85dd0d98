#include "inbox.h"
#include "pageframe.h"
#include "qtbytes.h"
#include "simdevice.h"
#include "sysex.h"

#include <QtTest>

namespace {

// Pattern that differs in every byte of a page, so a wrong offset shows.
PageFrame patternFrame(int seed)
{
    PageFrame frame;
    frame.bytes.fill(0xFF);
    frame.bytes[0] = static_cast<std::uint8_t>(seed);
    for (int i = 0; i < PageFrame::DataSize; ++i)
        frame.bytes[PageFrame::frameOffset(i)] = static_cast<std::uint8_t>(i * 7 + seed + (i >> 8));
    computeChunkEcc(frame);
    return frame;
}

enum class Tamper { None, WrongChecksum, FlippedCheckByte, FlippedDataByte, MissingPiece, ExtraPiece, NoBeginPage, Twice };

} // namespace

Q_DECLARE_METATYPE(Tamper)
Q_DECLARE_METATYPE(SimDevice::ReadReach)

class TestSimDevice : public QObject
{
    Q_OBJECT

    Reply last; // the only reply to the last command, as the updater decodes it
    SimDevice device;
    std::vector<int> statuses; // piece status of each PageData answer in the last writePage

    std::vector<Bytes> replies(const SysExMessage &message) { return device.handle(message.data(), message.size()); }
    ReplyCode send(const SysExMessage &message)
    {
        const std::vector<Bytes> all = replies(message);
        last = all.size() == 1 ? decoded(all[0]) : Reply();
        return last.code;
    }
    bool erased(int block) { return send(buildEraseBlock(std::uint32_t(block))) == ReplyEraseBlock && !last.fail; }

    // BeginPage, the 33 pieces and ProgramPage; true when the program failed.
    bool writePage(int block, int page, const PageFrame &frame, Tamper tamper = Tamper::None)
    {
        statuses.clear();
        if (tamper != Tamper::NoBeginPage)
            send(buildBeginPage(std::uint32_t(block), std::uint8_t(page)));
        for (int piece = 0; piece < PageFrame::Pieces + (tamper == Tamper::ExtraPiece); ++piece) {
            const int p = std::min(piece, PageFrame::Pieces - 1);
            SysExMessage message = buildPageData(frame.bytes.data() + PageFrame::pieceOffset(p), PageFrame::pieceLength(p));
            if (tamper == Tamper::WrongChecksum && piece == 5)
                message.bytes[SysEx::ArgumentOffset] ^= 0x01;
            if (tamper != Tamper::MissingPiece || piece != 20)
                statuses.push_back(send(message) == ReplyPageData ? last.status : -1);
        }
        return send(buildProgramPage()) != ReplyProgramPage || last.fail;
    }

private slots:
    void init()
    {
        device = SimDevice();
        send(buildResetNand(1, 9, 3915900));
    }

    void identityFollowsTheTransfer()
    {
        device = SimDevice();
        device.setIdentity({268435455u, 0x0801u, "ABCDEFGHIJKLMNOPQRS"});
        QCOMPARE(replies(buildIdentify()).at(0).size(), 12 + 16 + 1); // the name stops at 16 bytes
        QCOMPARE(send(buildIdentify()), ReplyIdentify);
        QCOMPARE(last.serialNumber, 268435455u);
        QCOMPARE(last.firmwareVersion, 0x0801u);
        const auto reset = replies(buildResetNand(1, 9, 3915900));
        QCOMPARE(reset.size(), std::size_t(2));
        QVERIFY(decoded(reset[0]).code == ReplyTransferOn && decoded(reset[1]).code == ReplyResetNand);
        QCOMPARE(send(buildFinish()), ReplyTransferOff);
        QCOMPARE(send(buildIdentify()), ReplyIdentify);
        QCOMPARE(last.firmwareVersion, 0x0901u); // it now runs what was written
        QVERIFY(device.violations().empty());
    }

    void pageChecks_data()
    {
        QTest::addColumn<Tamper>("tamper");
        QTest::addColumn<int>("refused"); // pieces
        QTest::addColumn<bool>("failed");
        QTest::addColumn<bool>("stored");
        QTest::newRow("intact") << Tamper::None << 0 << false << true;
        QTest::newRow("wrong checksum") << Tamper::WrongChecksum << 1 << true << false;
        QTest::newRow("flipped check byte") << Tamper::FlippedCheckByte << 0 << true << false;
        QTest::newRow("flipped data byte") << Tamper::FlippedDataByte << 0 << true << false;
        QTest::newRow("piece missing") << Tamper::MissingPiece << 0 << true << false;
        // A surplus piece is refused on its own; the page still holds exactly one frame.
        QTest::newRow("piece too many") << Tamper::ExtraPiece << 1 << false << true;
        QTest::newRow("no BeginPage") << Tamper::NoBeginPage << PageFrame::Pieces << true << false;
        QTest::newRow("programmed twice") << Tamper::Twice << 0 << true << true;
    }
    void pageChecks()
    {
        QFETCH(Tamper, tamper);
        QFETCH(bool, stored);
        PageFrame frame = patternFrame(9);
        if (tamper == Tamper::Twice)
            QVERIFY(!writePage(1, 0, frame));
        if (tamper == Tamper::FlippedCheckByte)
            frame.bytes[PageFrame::HeaderSize + 3 * PageFrame::ChunkStride + PageFrame::ChunkSize + 1] ^= 0x01;
        if (tamper == Tamper::FlippedDataByte)
            frame.bytes[PageFrame::frameOffset(1500)] ^= 0x10;
        QTEST(writePage(1, 0, frame, tamper), "failed");
        QTEST(int(std::count_if(statuses.begin(), statuses.end(), [](int s) { return s != SimDevice::PieceOk; })),
              "refused");
        if (tamper == Tamper::WrongChecksum)
            QCOMPARE(statuses[5], int(SimDevice::PieceBadChecksum));
        QCOMPARE(device.violations().empty(), tamper == Tamper::None);
        QCOMPARE(device.pageFrame(1, 0), stored ? Bytes(frame.bytes.begin(), frame.bytes.end()) : Bytes());
        if (tamper == Tamper::Twice) // until the block is erased
            QVERIFY(erased(1) && !writePage(1, 0, frame));
    }

    void malformedCommands_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("empty sysex") << QByteArray::fromHex("f0f7");
        QTest::newRow("foreign head") << QByteArray::fromHex("f00011220b0000000000f7");
        QTest::newRow("unknown command") << QByteArray::fromHex("f00011220a0000000005f7");
        QTest::newRow("no end byte") << QByteArray::fromHex("f00011220a000000000000");
        QTest::newRow("8-bit byte inside") << QByteArray::fromHex("f00011220a00000000097f8000000000f7");
        QTest::newRow("no marker") << QByteArray::fromHex("f00011220a000000000a000100f7");
        QTest::newRow("erase cut short") << QByteArray::fromHex("f00011220a000000000a7f01f7");
        QTest::newRow("wrong reset code") << QByteArray::fromHex("f00011220a000000000e01097c006f01351c620cf7");
    }
    // What ReadChunk answers beyond block 0 depends on the device; block 0
    // itself always reads as written.
    void readReach_data()
    {
        QTest::addColumn<SimDevice::ReadReach>("reach");
        QTest::addColumn<int>("answer");  // 0: the page, 1: erased, 2: block 0's page, 3: none
        QTest::newRow("whole flash") << SimDevice::ReadReach::WholeFlash << 0;
        QTest::newRow("block 0, else erased") << SimDevice::ReadReach::BlockZero << 1;
        QTest::newRow("block 0, aliased") << SimDevice::ReadReach::BlockZeroAliased << 2;
        QTest::newRow("block 0, else silent") << SimDevice::ReadReach::BlockZeroSilent << 3;
    }
    void readReach()
    {
        QFETCH(SimDevice::ReadReach, reach);
        QFETCH(int, answer);
        device.setReadReach(reach);
        const PageFrame listPage = patternFrame(3);
        const PageFrame dataPage = patternFrame(4);
        QVERIFY(!writePage(0, 2, listPage) && !writePage(1, 2, dataPage));
        const auto dataOf = [](const PageFrame &frame, int chunk, int piece) {
            const int at = PageFrame::frameOffset(chunk * PageFrame::ChunkSize + piece * 64);
            return QByteArray(reinterpret_cast<const char *>(frame.bytes.data()) + at, 64);
        };
        const auto read = [this](int address, int piece) {
            const std::vector<Bytes> all = replies(buildReadChunk(address, std::uint8_t(piece)));
            if (all.empty())
                return QByteArray("none");
            const Reply reply = decoded(all.front());
            return QByteArray(reinterpret_cast<const char *>(reply.data.data()), reply.dataLength);
        };
        QCOMPARE(read(2 * 8 + 5, 3), dataOf(listPage, 5, 3));
        const QByteArray expected[] = {dataOf(dataPage, 5, 3), QByteArray(64, char(0xFF)), dataOf(listPage, 5, 3),
                                       QByteArray("none")};
        QCOMPARE(read((64 + 2) * 8 + 5, 3), expected[answer]);
        QVERIFY(device.violations().empty());
    }

    // A device that keeps its buffer over a repeated BeginPage programs what
    // it holds; reporting that as success is a violation the updater caused.
    void keptBufferIsAViolation()
    {
        device.keepBufferOnRepeatedBeginPage(true);
        const PageFrame frame = patternFrame(5);
        send(buildBeginPage(1, 0));
        for (int piece = 0; piece < 10; ++piece)
            send(buildPageData(frame.bytes.data() + PageFrame::pieceOffset(piece), PageFrame::pieceLength(piece)));
        QVERIFY(!writePage(1, 0, frame));
        QCOMPARE(device.violations().size(), std::size_t(1));
        QVERIFY(device.violations().front().find("other than its frame") != std::string::npos);
    }

    void malformedCommands()
    {
        QFETCH(QByteArray, message);
        device = SimDevice();
        QVERIFY(device.handle(toBytes(message)).empty());
        QCOMPARE(device.violations().size(), std::size_t(1));
        QVERIFY(!device.transferOn());
        QCOMPARE(send(buildIdentify()), ReplyIdentify); // still answering
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
