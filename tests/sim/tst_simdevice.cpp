#include "devicelink.h"
#include "pageframe.h"
#include "simdevice.h"
#include "sysex.h"
#include "testmidiservice.h"

#include <QtTest>

namespace {

// Pattern that differs in every byte of a page, so a wrong offset shows.
PageFrame patternFrame(int seed)
{
    PageFrame frame;
    frame.bytes.fill(0xFF);
    frame.bytes[0] = static_cast<std::uint8_t>(seed);
    for (int i = 0; i < PageFrame::DataSize; ++i)
        frame.bytes[PageFrame::frameOffset(i)] = static_cast<std::uint8_t>(i * 7 + seed);
    computeChunkEcc(frame);
    return frame;
}

enum class Tamper { None, WrongChecksum, FlippedCheckByte, FlippedDataByte, MissingPiece, ExtraPiece, NoBeginPage };

} // namespace

Q_DECLARE_METATYPE(Tamper)

class TestSimDevice : public QObject
{
    Q_OBJECT

    // Decodes what the device answers, as the updater would.
    DeviceLink link{std::make_unique<TestMidiService>()};
    SimDevice device;
    std::vector<int> statuses; // piece status of each PageData answer in the last writePage

    std::vector<QByteArray> send(const SysExMessage &message) { return device.handle(message.data(), message.size()); }
    ReplyCode only(const std::vector<QByteArray> &replies)
    {
        return replies.size() == 1 ? link.takeReply(replies[0]) : ReplyNone;
    }
    bool erased(int block) { return only(send(buildEraseBlock(std::uint32_t(block)))) == ReplyEraseBlock && !link.failFlag(); }

    // BeginPage, the 33 pieces and ProgramPage; true when the program failed.
    bool writePage(int block, int page, const PageFrame &frame, Tamper tamper = Tamper::None)
    {
        statuses.clear();
        if (tamper != Tamper::NoBeginPage)
            only(send(buildBeginPage(std::uint32_t(block), std::uint8_t(page))));
        const int pieces = PageFrame::Pieces + (tamper == Tamper::ExtraPiece ? 1 : 0);
        for (int piece = 0; piece < pieces; ++piece) {
            if (tamper == Tamper::MissingPiece && piece == 20)
                continue;
            const int p = std::min(piece, PageFrame::Pieces - 1);
            SysExMessage message = buildPageData(frame.bytes.data() + PageFrame::pieceOffset(p), PageFrame::pieceLength(p));
            if (tamper == Tamper::WrongChecksum && piece == 5)
                message.bytes[SysEx::ArgumentOffset] ^= 0x01;
            statuses.push_back(only(send(message)) == ReplyPageData ? link.pieceStatus() : -1);
        }
        return only(send(buildProgramPage())) != ReplyProgramPage || link.failFlag();
    }

private slots:
    void init()
    {
        device = SimDevice();
        send(buildResetNand(1, 9, 3915900));
    }

    void identityAndTransferState()
    {
        device = SimDevice();
        device.setIdentity({268435455u, 0x0801u, QStringLiteral("ABCDEFGHIJKLMNOPQRS")});
        const auto identity = send(buildIdentify());
        QCOMPARE(identity.size(), std::size_t(1));
        QCOMPARE(identity[0].size(), 12 + 16 + 1); // the name stops at 16 bytes
        QCOMPARE(link.takeReply(identity[0]), ReplyIdentify);
        QCOMPARE(link.serialNumber(), 268435455u);
        QCOMPARE(link.firmwareVersion(), 0x0801u);
        QCOMPARE(link.deviceName(), QStringLiteral("ABCDEFGHIJKLMNOP"));

        const auto replies = send(buildResetNand(1, 9, 3915900));
        QCOMPARE(replies.size(), std::size_t(2));
        QCOMPARE(link.takeReply(replies[0]), ReplyTransferOn);
        QCOMPARE(link.takeReply(replies[1]), ReplyResetNand);
        QCOMPARE(device.announcedSize(), 3915900u);
        QCOMPARE(only(send(buildFinish())), ReplyTransferOff);
        QVERIFY(!device.transferOn());
        QCOMPARE(only(send(buildIdentify())), ReplyIdentify);
        QCOMPARE(link.firmwareVersion(), 0x0901u); // it now runs what was written
        QVERIFY(device.violations().empty());
    }

    void readChunkSkipsCheckBytes()
    {
        const PageFrame frame = patternFrame(3);
        QVERIFY(!writePage(0, 4, frame));
        // Chunk 3 of page 4, third quarter: data bytes 3 * 256 + 128 ..
        QCOMPARE(only(send(buildReadChunk(4 * 8 + 3, 2))), ReplyReadChunk);
        for (int i = 0; i < 64; ++i)
            QCOMPARE(link.replyData()[i], frame.bytes[PageFrame::frameOffset(3 * 256 + 128 + i)]);
    }

    void chosenFlashFaults()
    {
        device.failErase(5);
        device.failProgram(7, 3);
        device.failProgram(8);
        device.setFactoryDefects({9});
        QVERIFY(!erased(5) && erased(6) && !erased(9));
        const PageFrame frame = patternFrame(1);
        QVERIFY(!writePage(7, 2, frame));
        QVERIFY(writePage(7, 3, frame));
        QVERIFY(writePage(8, 63, frame));
        QVERIFY(!device.pageWritten(7, 3));
        QVERIFY(device.violations().empty()); // chosen faults are not the sender's fault
    }

    void pageChecks_data()
    {
        QTest::addColumn<Tamper>("tamper");
        QTest::addColumn<int>("refusedPieces");
        QTest::newRow("intact") << Tamper::None << 0;
        QTest::newRow("wrong checksum") << Tamper::WrongChecksum << 1;
        QTest::newRow("flipped check byte") << Tamper::FlippedCheckByte << 0;
        QTest::newRow("flipped data byte") << Tamper::FlippedDataByte << 0;
        QTest::newRow("piece missing") << Tamper::MissingPiece << 0;
        QTest::newRow("piece too many") << Tamper::ExtraPiece << 1;
        QTest::newRow("no BeginPage") << Tamper::NoBeginPage << PageFrame::Pieces;
    }
    void pageChecks()
    {
        QFETCH(Tamper, tamper);
        PageFrame frame = patternFrame(9);
        if (tamper == Tamper::FlippedCheckByte)
            frame.bytes[PageFrame::HeaderSize + 3 * PageFrame::ChunkStride + PageFrame::ChunkSize + 1] ^= 0x01;
        if (tamper == Tamper::FlippedDataByte)
            frame.bytes[PageFrame::frameOffset(1500)] ^= 0x10;
        const bool failed = writePage(1, 0, frame, tamper);
        QTEST(int(std::count_if(statuses.begin(), statuses.end(), [](int s) { return s != SimDevice::PieceOk; })),
              "refusedPieces");
        if (tamper == Tamper::WrongChecksum)
            QCOMPARE(statuses[5], int(SimDevice::PieceBadChecksum));
        // A surplus piece is refused on its own; the page still holds exactly one frame.
        const bool intact = tamper == Tamper::None || tamper == Tamper::ExtraPiece;
        QCOMPARE(failed, !intact);
        QCOMPARE(device.violations().empty(), tamper == Tamper::None);
        QCOMPARE(device.pageFrame(1, 0),
                 intact ? QByteArray(reinterpret_cast<const char *>(frame.bytes.data()), PageFrame::Size) : QByteArray());
    }

    void pageCannotBeProgrammedTwice()
    {
        QVERIFY(!writePage(1, 0, patternFrame(1)));
        QVERIFY(writePage(1, 0, patternFrame(2)));
        QCOMPARE(device.violations().size(), std::size_t(1));
        QVERIFY(erased(1));
        QVERIFY(!writePage(1, 0, patternFrame(2)));
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
        QCOMPARE(only(send(buildIdentify())), ReplyIdentify); // still answering
    }

    void imageFollowsTheStoredList()
    {
        QVERIFY(device.image(100).isEmpty()); // no list: nothing to boot from
        QByteArray image(SimDevice::PageBytes + 100, Qt::Uninitialized);
        for (int i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(i * 31 + (i >> 8));
        PageFrame frame;
        for (int page = 0; page < 2; ++page) {
            buildDataFrame(frame, 0, page, reinterpret_cast<const std::uint8_t *>(image.constData()), image.size());
            frame.bytes[0] = std::uint8_t(page * 7); // page 1 claims another image block
            QVERIFY(!writePage(2, page, frame));
        }
        device.storeListCopies(1, {1}, 0);
        QStringList problems;
        QCOMPARE(device.image(image.size(), &problems), image);
        QCOMPARE(problems.size(), 1);
        // With block 1 good again the image is looked for there, and it is empty.
        problems.clear();
        device.storeListCopies(1, {}, 0);
        QVERIFY(device.image(image.size(), &problems) != image);
        QCOMPARE(problems.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
