#include "badblocklist.h"
#include "devicelink.h"
#include "pageframe.h"
#include "simdevice.h"
#include "simmidiservice.h"
#include "sysex.h"

#include <QtTest>

namespace {

std::vector<QByteArray> send(SimDevice &device, const SysExMessage &message)
{
    return device.handle(message.data(), message.size());
}

// Pattern that differs in every byte of a page, so a wrong offset shows.
PageFrame patternFrame(int seed)
{
    PageFrame frame;
    frame.bytes.fill(0xFF);
    frame.bytes[0] = frame.bytes[1] = frame.bytes[2] = static_cast<std::uint8_t>(seed);
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

    DeviceLink link{std::make_unique<SimMidiService>()};

    ReplyCode decode(const QByteArray &reply)
    {
        return link.decodeReply(reinterpret_cast<const std::uint8_t *>(reply.constData()), int(reply.size()));
    }
    ReplyCode only(const std::vector<QByteArray> &replies)
    {
        return replies.size() == 1 ? decode(replies[0]) : ReplyNone;
    }
    std::vector<int> statuses;  // piece status of each PageData answer in the last writePage

    // BeginPage, the 33 pieces and ProgramPage; returns the program's fail flag.
    bool writePage(SimDevice &device, int block, int page, const PageFrame &frame, Tamper tamper = Tamper::None)
    {
        statuses.clear();
        if (tamper != Tamper::NoBeginPage)
            only(send(device, buildBeginPage(std::uint32_t(block), std::uint8_t(page))));
        const int pieces = PageFrame::Pieces + (tamper == Tamper::ExtraPiece ? 1 : 0);
        for (int piece = 0; piece < pieces; ++piece) {
            if (tamper == Tamper::MissingPiece && piece == 20)
                continue;
            const int p = std::min(piece, PageFrame::Pieces - 1);
            SysExMessage message = buildPageData(frame.bytes.data() + PageFrame::pieceOffset(p), PageFrame::pieceLength(p));
            if (tamper == Tamper::WrongChecksum && piece == 5)
                message.bytes[SysEx::ArgumentOffset] ^= 0x01;
            statuses.push_back(only(send(device, message)) == ReplyPageData ? link.pieceStatus() : -1);
        }
        return only(send(device, buildProgramPage())) != ReplyProgramPage || link.failFlag();
    }
    SimDevice transferring()
    {
        SimDevice device;
        send(device, buildResetNand(1, 9, 4096));
        return device;
    }

private slots:
    void identity_data()
    {
        QTest::addColumn<quint32>("serial");
        QTest::addColumn<quint32>("version");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expectedName");
        QTest::newRow("shipped") << 123456789u << 0x0801u << "Qel" << "Qel";
        QTest::newRow("largest serial, 1.09") << 268435455u << 0x0901u << "Qel Rack" << "Qel Rack";
        QTest::newRow("name of 16") << 0u << 0x3FFFu << "ABCDEFGHIJKLMNOP" << "ABCDEFGHIJKLMNOP";
        QTest::newRow("name too long") << 42u << 1u << "ABCDEFGHIJKLMNOPQRS" << "ABCDEFGHIJKLMNOP";
        QTest::newRow("no name") << 7u << 0x0102u << "" << "";
    }
    void identity()
    {
        QFETCH(quint32, serial);
        QFETCH(quint32, version);
        QFETCH(QString, name);
        SimDevice device;
        device.setIdentity({serial, version, name});
        QCOMPARE(only(send(device, buildIdentify())), ReplyIdentify);
        QCOMPARE(link.serialNumber(), serial);
        QCOMPARE(link.firmwareVersion(), version);
        QTEST(link.deviceName(), "expectedName");
    }

    void transferStateAroundAnUpdate()
    {
        SimDevice device;
        auto replies = send(device, buildResetNand(1, 9, 3915900));
        QCOMPARE(replies.size(), std::size_t(2));
        QCOMPARE(decode(replies[0]), ReplyTransferOn);
        QCOMPARE(decode(replies[1]), ReplyResetNand);
        QVERIFY(device.transferOn());
        QCOMPARE(device.announcedSize(), 3915900u);

        QCOMPARE(only(send(device, buildFinish())), ReplyTransferOff);
        QVERIFY(!device.transferOn());
        QCOMPARE(device.finishCount(), 1);
        QCOMPARE(only(send(device, buildIdentify())), ReplyIdentify);
        QCOMPARE(link.firmwareVersion(), 0x0901u);  // it now runs what was written
        QVERIFY(device.violations().empty());
    }

    void resetNandWithWrongCodeIsRefused()
    {
        SimDevice device;
        SysExMessage message = buildResetNand(1, 9, 1000);
        message.bytes[16] ^= 0x01;
        QVERIFY(send(device, message).empty());
        QVERIFY(!device.transferOn());
        QCOMPARE(device.violations().size(), std::size_t(1));
    }

    void readChunkFindsTheNewestList()
    {
        SimDevice device;
        device.storeListCopies(3, {5, 700, 1023}, 2);
        for (int page = 0; page < 4; ++page) {
            QCOMPARE(only(send(device, buildReadChunk(page * 8, 0))), ReplyReadChunk);
            QCOMPARE(link.replyData()[0], page < 3 ? PageFrame::ListMarker : std::uint8_t(0xFF));
        }
        std::array<std::uint8_t, PageFrame::ChunkSize> chunk{};
        for (int piece = 0; piece < 4; ++piece) {
            QCOMPARE(only(send(device, buildReadChunk(2 * 8, std::uint8_t(piece)))), ReplyReadChunk);
            std::copy_n(link.replyData().begin(), 64, chunk.begin() + 64 * piece);
        }
        BadBlockList list;
        list.loadBblCopy(chunk.data());
        QCOMPARE(list.factoryDefects(), std::int16_t(2));
        for (int block : {5, 700, 1023})
            QVERIFY(list.isBad(block));
        QVERIFY(!list.isBad(6));
        QCOMPARE(device.storedList()->page, 2);
    }

    void readChunkSkipsCheckBytes()
    {
        SimDevice device = transferring();
        const PageFrame frame = patternFrame(3);
        QVERIFY(!writePage(device, 0, 4, frame));
        // Chunk 3 of page 4, third quarter: data bytes 3 * 256 + 128 ..
        QCOMPARE(only(send(device, buildReadChunk(4 * 8 + 3, 2))), ReplyReadChunk);
        for (int i = 0; i < 64; ++i)
            QCOMPARE(link.replyData()[i], frame.bytes[PageFrame::frameOffset(3 * 256 + 128 + i)]);
    }

    void defectListBits()
    {
        SimDevice device;
        const std::set<int> defects{0, 9, 511, 512, 1023};
        device.setFactoryDefects(defects);
        BadBlockList list;
        for (int part = 0; part < 2; ++part) {
            QCOMPARE(only(send(device, buildReadDefectList(std::uint8_t(part)))), ReplyReadDefectList);
            list.loadDefectPart(part, link.replyData().data());
        }
        for (int block = 0; block < SimDevice::Blocks; ++block)
            QCOMPARE(list.isBad(block), defects.count(block) == 1);
    }

    void failFlagsOnChosenBlocks()
    {
        SimDevice device = transferring();
        device.failErase(5);
        device.failProgram(7, 3);
        device.failProgram(8);
        device.setFactoryDefects({9});
        const auto erase = [&](int block) {
            return only(send(device, buildEraseBlock(std::uint32_t(block)))) == ReplyEraseBlock && !link.failFlag();
        };
        QVERIFY(!erase(5));
        QVERIFY(erase(6));
        QVERIFY(!erase(9));
        const PageFrame frame = patternFrame(1);
        QVERIFY(!writePage(device, 7, 2, frame));
        QVERIFY(writePage(device, 7, 3, frame));
        QVERIFY(writePage(device, 8, 0, frame));
        QVERIFY(writePage(device, 8, 63, frame));
        QVERIFY(!device.pageWritten(7, 3));
        QVERIFY(device.violations().empty());  // chosen faults are not the sender's fault
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
        SimDevice device = transferring();
        PageFrame frame = patternFrame(9);
        if (tamper == Tamper::FlippedCheckByte)
            frame.bytes[PageFrame::HeaderSize + 3 * PageFrame::ChunkStride + PageFrame::ChunkSize + 1] ^= 0x01;
        if (tamper == Tamper::FlippedDataByte)
            frame.bytes[PageFrame::frameOffset(1500)] ^= 0x10;
        const bool failed = writePage(device, 1, 0, frame, tamper);
        QTEST(int(std::count_if(statuses.begin(), statuses.end(), [](int s) { return s != SimDevice::PieceOk; })),
              "refusedPieces");
        if (tamper == Tamper::WrongChecksum)
            QCOMPARE(statuses[5], int(SimDevice::PieceBadChecksum));
        // A surplus piece is refused on its own; the page still holds exactly one frame.
        const bool intact = tamper == Tamper::None || tamper == Tamper::ExtraPiece;
        QCOMPARE(failed, !intact);
        QCOMPARE(device.violations().empty(), tamper == Tamper::None);
        QCOMPARE(device.pageWritten(1, 0), intact);
        if (intact)
            QCOMPARE(device.pageFrame(1, 0), QByteArray(reinterpret_cast<const char *>(frame.bytes.data()), PageFrame::Size));
    }

    void pageCannotBeProgrammedTwice()
    {
        SimDevice device = transferring();
        QVERIFY(!writePage(device, 1, 0, patternFrame(1)));
        QVERIFY(writePage(device, 1, 0, patternFrame(2)));
        QCOMPARE(device.violations().size(), std::size_t(1));
        QVERIFY(only(send(device, buildEraseBlock(1))) == ReplyEraseBlock && !link.failFlag());
        QVERIFY(!writePage(device, 1, 0, patternFrame(2)));
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
        QTest::newRow("reset cut short") << QByteArray::fromHex("f00011220a000000000e0109f7");
    }
    void malformedCommands()
    {
        QFETCH(QByteArray, message);
        SimDevice device = transferring();
        QVERIFY(device.handle(message).empty());
        QCOMPARE(device.violations().size(), std::size_t(1));
        QCOMPARE(only(send(device, buildIdentify())), ReplyIdentify);  // still answering
    }

    void imageRebuiltFromGoodBlocks()
    {
        SimDevice device = transferring();
        QVERIFY(device.image(100).isEmpty());  // no list: nothing to boot from
        device.storeListCopies(1, {2}, 0);
        QByteArray image(SimDevice::PagesPerBlock * SimDevice::PageBytes + 3000, Qt::Uninitialized);
        for (int i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>((i * 31) ^ (i >> 11));
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(image.constData());
        PageFrame frame;
        for (int page = 0; page < SimDevice::PagesPerBlock; ++page) {
            buildDataFrame(frame, 0, page, bytes, image.size());
            QVERIFY(!writePage(device, 1, page, frame));
        }
        for (int page = 0; page < 2; ++page) {
            buildDataFrame(frame, 1, page, bytes, image.size());
            QVERIFY(!writePage(device, 3, page, frame));
        }
        QStringList problems;
        QCOMPARE(device.image(image.size(), &problems), image);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));

        // A newer copy that calls block 3 bad moves the second image block to block 4.
        std::array<std::uint8_t, SimDevice::Blocks> bad{};
        bad[2] = bad[3] = 1;
        buildBblFrame(frame, bad.data(), SimDevice::Blocks, 0);
        QVERIFY(!writePage(device, 0, 1, frame));
        QCOMPARE(device.storedList()->page, 1);
        QCOMPARE(device.storedList()->badBlocks, (std::set<int>{2, 3}));
        QVERIFY(device.image(image.size(), &problems) != image);
        QVERIFY(!problems.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
