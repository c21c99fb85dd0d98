#include "devicelink.h"
#include "midievent.h"
#include "testmidiservice.h"

#include <QTest>

#include <vector>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
const std::uint8_t *u8(const QByteArray &b) { return reinterpret_cast<const std::uint8_t *>(b.constData()); }
QByteArray bytesOf(const SysExMessage &m) { return QByteArray(reinterpret_cast<const char *>(m.data()), qsizetype(m.size())); }
QByteArray reply(int type, const QByteArray &body) { return hex("f0 00 11 22 0a 00 00 00 00") + char(type) + body + hex("f7"); }

// Data bytes and their Pack7 groups: what PageData sends and a data reply brings back.
struct PackedCase { const char *name; const char *data; const char *groups; std::uint8_t checksum; };
const PackedCase packedCases[] = {
    {"mixed high bits", "81 02 ff 10", "01 02 7f 10 05", 0x12},
    {"0x80 is 0 plus its flag", "80 00 00 00", "00 00 00 00 01", 0x00},
    {"all high: flag byte 0f", "80 ff 90 c0", "00 7f 10 40 0f", 0x4f},
    {"short last group zero-padded", "01 02 03", "01 02 03 00 00", 0x06},
    {"checksum wraps, two groups", "ff ff ff ff 7f", "7f 7f 7f 7f 0f 7f 00 00 00 00", 0x7b},
};

// Every command as the link sends it.
struct CommandCase { const char *name; bool (*send)(DeviceLink &); const char *message; };
#define COMMAND(name, call, bytes) {name, [](DeviceLink &l) { return l.send##call; }, "f0 00 11 22 0a 00 00 00 00 " bytes}
const CommandCase commandCases[] = {
    COMMAND("identify", Identify(), "00 f7"),
    COMMAND("program page", ProgramPage(), "0d f7"),
    COMMAND("finish", Finish(), "0f f7"),
    COMMAND("defect list, 7 bits kept", ReadDefectList(0x81), "08 7f 01 f7"),
    COMMAND("read chunk 40 piece 2", ReadChunk(40, 2), "09 7f 28 00 00 02 f7"),
    COMMAND("read chunk, 21 bits kept", ReadChunk(0x3fc085, 0x83), "09 7f 05 01 7f 03 f7"),
    COMMAND("erase block 1000", EraseBlock(1000), "0a 7f 68 07 f7"),
    COMMAND("erase block, 14 bits kept", EraseBlock(0x4003), "0a 7f 03 00 f7"),
    COMMAND("begin page 1023/63", BeginPage(1023, 63), "0b 7f 7f 07 3f f7"),
    COMMAND("reset nand 1.09", ResetNand(1, 9, 3915900), "0e 01 09 7c 00 6f 01 35 1c 62 0b f7"),
    COMMAND("reset nand, 28 bits kept", ResetNand(0x81, 0xff, 0xf0204081), "0e 01 7f 01 01 01 01 35 1c 62 0b f7"),
    COMMAND("page data, empty", PageData(u8(hex("11")), 0), "0c 00 f7"),
    COMMAND("page data, negative", PageData(u8(hex("11")), -4), "0c 00 f7"),
    COMMAND("page data, no data", PageData(nullptr, 64), "0c 00 f7"),
};
#undef COMMAND

template <class Case, std::size_t N>
void addRows(const Case (&cases)[N])
{
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(cases[i].name) << int(i);
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

    std::unique_ptr<DeviceLink> link;
    TestMidiService *service = nullptr;

    QByteArray replyBytes(int from, int count) const
    {
        return QByteArray(reinterpret_cast<const char *>(link->replyData().data()) + from, count).toHex(' ');
    }

private slots:
    void init()
    {
        auto recording = std::make_unique<TestMidiService>();
        service = recording.get();
        link = std::make_unique<DeviceLink>(std::move(recording));
    }

    void commands_data() { addRows(commandCases); }
    void commands()
    {
        QFETCH(int, row);
        const CommandCase &c = commandCases[row];
        QVERIFY(!c.send(*link)); // no port open
        QVERIFY(link->openPorts(0, 0));
        QVERIFY(c.send(*link));
        QCOMPARE(service->sent.value(0).toHex(' '), hex(c.message).toHex(' '));
        service->acceptSends = false;
        QVERIFY(!c.send(*link));
    }

    void packed_data() { addRows(packedCases); }
    void packed()
    {
        QFETCH(int, row);
        const PackedCase &c = packedCases[row];
        const QByteArray data = hex(c.data);
        const QByteArray groups = hex(c.groups);
        const QByteArray message = reply(0x0c, char(c.checksum) + groups);
        QCOMPARE(bytesOf(buildPageData(u8(data), int(data.size()))).toHex(' '), message.toHex(' '));

        // The same groups in a data reply unpack to the data, zero-padded to whole groups.
        QCOMPARE(link->takeReply(reply(0x29, char(c.checksum) + groups)), ReplyReadChunk);
        const QByteArray padded = data + QByteArray(groups.size() / 5 * 4 - data.size(), 0);
        QCOMPARE(replyBytes(0, int(padded.size())), padded.toHex(' '));
    }

    void pageDataSizes_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("expected");
        QTest::newRow("full piece") << 64 << 92;
        QTest::newRow("last piece") << 48 << 72;
        QTest::newRow("largest") << 604 << 767;
        QTest::newRow("a whole frame, cut") << 2096 << 767;
    }
    void pageDataSizes()
    {
        QFETCH(int, length);
        QByteArray data(length, 0);
        for (int i = 0; i < length; ++i)
            data[i] = char(i * 37 + 0x80);
        const SysExMessage m = buildPageData(u8(data), length);
        QTEST(int(m.size()), "expected");
        QCOMPARE(m.bytes[m.size() - 1], SysEx::End);
        for (std::size_t i = 1; i + 1 < m.size(); ++i)
            QVERIFY2(m.bytes[i] < 0x80, qPrintable(QString::number(i)));
        // An over-long piece sends exactly its first 604 bytes.
        QCOMPARE(bytesOf(m), bytesOf(buildPageData(u8(data), std::min(length, SysEx::MaxPageDataLength))));
    }

    void replyCodes_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("code");
        QTest::newRow("empty") << QByteArray() << int(ReplyNone);
        QTest::newRow("head only") << hex("f0 00 11 22 0a") << int(ReplyNone);
        QTest::newRow("device byte 0b") << hex("f0 00 11 22 0b 00 00 00 00 2a 02 f7") << int(ReplyNone);
        QTest::newRow("other maker") << hex("f0 00 11 23 0a 00 00 00 00 2a 02 f7") << int(ReplyNone);
        QTest::newRow("junk before head") << hex("00 f0 00 11 22 0a 00 00 00 2a 02 f7") << int(ReplyNone);
        const std::pair<int, ReplyCode> types[] = {
            {0x20, ReplyIdentify}, {0x28, ReplyReadDefectList}, {0x29, ReplyReadChunk},
            {0x2a, ReplyEraseBlock}, {0x2b, ReplyBeginPage}, {0x2c, ReplyPageData},
            {0x2d, ReplyProgramPage}, {0x2e, ReplyResetNand}, {0x2f, ReplyNone}, {0x21, ReplyNone}};
        for (const auto &[type, code] : types)
            QTest::addRow("type %02x", type) << reply(type, hex("00")) << int(code);
        QTest::newRow("transfer off") << reply(0x43, hex("00")) << int(ReplyTransferOff);
        QTest::newRow("transfer 7f") << reply(0x43, hex("7f")) << int(ReplyTransferOn);
    }
    void replyCodes()
    {
        QFETCH(QByteArray, message);
        QTEST(int(link->takeReply(MidiEvent(message))), "code");
        QCOMPARE(link->traceText(), QString::fromLatin1(message.toHex()));
        link->setTraceEnabled(false);
        QTEST(int(link->takeReply(message)), "code");
        QVERIFY(link->traceText().isEmpty());
    }

    void sideDataLastsUntilRewritten()
    {
        struct Step { QByteArray message; bool fail; int status; };
        const Step steps[] = {
            {reply(0x2a, hex("02")), true, 0},
            {reply(0x2a, hex("01")), false, 0},
            {reply(0x2d, hex("02")), true, 0},
            {reply(0x2c, hex("55")), true, 0x55},
            {reply(0x2b, hex("00")), true, 0x55},
            {hex("f0 00 11 22 0b 00 00 00 00 2d 00 f7"), true, 0x55},
            {reply(0x2d, hex("00")), false, 0x55},
            {reply(0x2c, {}), false, 0xf7}, // cut short: the status is the end marker
        };
        for (const Step &s : steps) {
            link->takeReply(s.message);
            QCOMPARE(link->failFlag(), s.fail);
            QCOMPARE(int(link->pieceStatus()), s.status);
        }
    }

    void identity_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<uint>("serial");
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("version");
        QTest::addColumn<QString>("name");
        const QByteArray id = hex("f0 00 11 22 0a 15 1a 6f 3a 20 01 12");
        const QString text = "586-638-764";
        QTest::newRow("name ends at 7f") << id + "ABC" + hex("7f 44 f7") << 123456789u << text << 0x0901u << "ABC";
        QTest::newRow("sixteen letters") << id + "ABCDEFGHIJKLMNOPQ" + hex("f7") << 123456789u << text << 0x0901u
                                         << "ABCDEFGHIJKLMNOP";
        QTest::newRow("name ends at 00") << id + "Qel" + hex("00 41 f7") << 123456789u << text << 0x0901u << "Qel";
        QTest::newRow("name runs into f7") << id + "Qel" + hex("f7") << 123456789u << text << 0x0901u << "Qel";
        // Cut after its type: the version reads the end marker and the zero fill.
        QTest::newRow("cut short") << hex("f0 00 11 22 0a 2a 00 00 00 20 f7") << 42u << "040-000-020" << 0xf7u << "";
    }
    void identity()
    {
        QFETCH(QByteArray, message);
        link->takeReply(reply(0x20, hex("01 12") + "old name" + hex("7f")));
        QCOMPARE(link->takeReply(message), ReplyIdentify);
        QTEST(uint(link->serialNumber()), "serial");
        QTEST(link->serialText(), "text");
        QTEST(uint(link->firmwareVersion()), "version");
        QTEST(link->deviceName(), "name");
    }

    void dataReplyBounds()
    {
        // A device answer of 64 bytes fills 0..63 and leaves the rest as it was.
        link->takeReply(reply(0x28, hex("00") + hex("2a 2a 2a 2a 00").repeated(30)));
        const QByteArray answer = reply(0x29, hex("00") + hex("01 02 03 04 0f").repeated(16));
        QCOMPARE(answer.size(), 92);
        QCOMPARE(link->takeReply(answer), ReplyReadChunk);
        QCOMPARE(replyBytes(0, 64), hex("81 82 83 84").repeated(16).toHex(' '));
        QCOMPARE(replyBytes(64, 56), QByteArray(56, 0x2a).toHex(' '));

        // Fewer than 13 bytes unpack nothing.
        QCOMPARE(link->takeReply(reply(0x29, hex("00"))), ReplyReadChunk);
        QCOMPARE(replyBytes(0, 4), "81 82 83 84");

        // A last group cut short runs into the end marker, then the zero fill.
        link->takeReply(reply(0x28, hex("00  05 06 07 08 00  09 0a")));
        QCOMPARE(replyBytes(0, 12), "05 06 07 08 09 0a f7 00 81 82 83 84");

        // A full 1024-byte buffer: its last group reaches past the buffer, read as zeros.
        std::vector<std::uint8_t> full(MidiPorts::ReceiveBufferSize);
        for (std::size_t i = 0; i < full.size(); ++i)
            full[i] = std::uint8_t(i & 0x7f);
        std::copy_n(u8(hex("f0 00 11 22 0a 00 00 00 00 29")), 10, full.begin());
        full.back() = SysEx::End;
        QCOMPARE(link->decodeReply(full.data(), int(full.size())), ReplyReadChunk);
        QCOMPARE(replyBytes(0, 4), "8b 8c 8d 8e");
        QCOMPARE(replyBytes(808, 4), "7d 7e f7 00");

        // Longer counts as its first 1024 bytes; a bad length as nothing.
        const QString fullTrace = link->traceText();
        link->takeReply(QByteArray(reinterpret_cast<const char *>(full.data()), 1024) + QByteArray(100, 0x11));
        QCOMPARE(link->traceText(), fullTrace);
        QCOMPARE(link->decodeReply(full.data(), 5000), ReplyReadChunk);
        QCOMPARE(link->decodeReply(full.data(), -1), ReplyNone);
        QCOMPARE(link->decodeReply(nullptr, 20), ReplyNone);
        QVERIFY(link->traceText().isEmpty());
    }

    void formatSerial_data()
    {
        QTest::addColumn<uint>("serial");
        QTest::addColumn<QString>("text");
        QTest::newRow("123456789") << 123456789u << "586-638-764";
        QTest::newRow("42") << 42u << "040-000-020";
        QTest::newRow("0") << 0u << "000-000-000";
        QTest::newRow("largest 28-bit") << 268435455u << "355-581-494";
        QTest::newRow("ten digits: leading nine") << 4294967295u << "923-698-764";
    }
    void formatSerial()
    {
        QFETCH(uint, serial);
        QTEST(DeviceLink::formatSerial(serial), "text");
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
