#include "inbox.h"
#include "pageframe.h"
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

class TestSimDevice : public QObject
{
    Q_OBJECT

    Reply last; // the only reply to the last command, as the updater decodes it
    SimDevice device;
    std::vector<int> statuses; // piece status of each PageData answer in the last writePage

    std::vector<QByteArray> replies(const SysExMessage &message) { return device.handle(message.data(), message.size()); }
    ReplyCode send(const SysExMessage &message)
    {
        const std::vector<QByteArray> all = replies(message);
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
        device.setIdentity({268435455u, 0x0801u, QStringLiteral("ABCDEFGHIJKLMNOPQRS")});
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
        QCOMPARE(device.pageFrame(1, 0),
                 stored ? QByteArray(reinterpret_cast<const char *>(frame.bytes.data()), PageFrame::Size) : QByteArray());
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
    void malformedCommands()
    {
        QFETCH(QByteArray, message);
        device = SimDevice();
        QVERIFY(device.handle(message).empty());
        QCOMPARE(device.violations().size(), std::size_t(1));
        QVERIFY(!device.transferOn());
        QCOMPARE(send(buildIdentify()), ReplyIdentify); // still answering
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
