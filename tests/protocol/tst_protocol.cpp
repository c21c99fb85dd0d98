#include "reply.h"
#include "sysex.h"

#include <QTest>

#include <vector>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
const std::uint8_t *u8(const QByteArray &b) { return reinterpret_cast<const std::uint8_t *>(b.constData()); }
QByteArray bytesOf(const SysExMessage &m) { return QByteArray(reinterpret_cast<const char *>(m.data()), qsizetype(m.size())); }
QByteArray reply(int type, const QByteArray &body) { return hex("f0 00 11 22 0a 00 00 00 00") + char(type) + body + hex("f7"); }
Reply decode(const QByteArray &m) { return decodeReply(u8(m), int(m.size())); }
QByteArray dataOf(const Reply &r, int from, int count) { return QByteArray(reinterpret_cast<const char *>(r.data.data()) + from, count).toHex(' '); }

// Data bytes and their Pack7 groups: what PageData sends and a data reply brings back.
struct PackedCase { const char *name; const char *data; const char *groups; std::uint8_t checksum; };
const PackedCase packedCases[] = {
    {"mixed high bits", "81 02 ff 10", "01 02 7f 10 05", 0x12},
    {"0x80 is 0 plus its flag", "80 00 00 00", "00 00 00 00 01", 0x00},
    {"all high: flag byte 0f", "80 ff 90 c0", "00 7f 10 40 0f", 0x4f},
    {"short last group zero-padded", "01 02 03", "01 02 03 00 00", 0x06},
    {"checksum wraps, two groups", "ff ff ff ff 7f", "7f 7f 7f 7f 0f 7f 00 00 00 00", 0x7b},
};

// Every command as it goes on the wire.
struct CommandCase { const char *name; SysExMessage (*build)(); const char *message; };
#define COMMAND(name, call, bytes) {name, [] { return build##call; }, "f0 00 11 22 0a 00 00 00 00 " bytes}
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

private slots:
    void commands_data() { addRows(commandCases); }
    void commands()
    {
        QFETCH(int, row);
        const CommandCase &c = commandCases[row];
        QCOMPARE(bytesOf(c.build()).toHex(' '), hex(c.message).toHex(' '));
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
        const Reply r = decode(reply(0x29, char(c.checksum) + groups));
        QCOMPARE(r.code, ReplyReadChunk);
        const QByteArray padded = data + QByteArray(groups.size() / 5 * 4 - data.size(), 0);
        QCOMPARE(r.dataLength, int(padded.size()));
        QCOMPARE(dataOf(r, 0, int(padded.size())), padded.toHex(' '));
    }

    void pageDataSizes_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("expected");
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

    // What each message turns out to be, with the status it carries.
    void replyCodes_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("fail");
        QTest::addColumn<int>("dataLength");
        QTest::newRow("empty") << QByteArray() << int(ReplyNone) << false << 0;
        QTest::newRow("head only") << hex("f0 00 11 22 0a") << int(ReplyNone) << false << 0;
        QTest::newRow("device byte 0b") << hex("f0 00 11 22 0b 00 00 00 00 2a 02 f7") << int(ReplyNone) << false << 0;
        QTest::newRow("other maker") << hex("f0 00 11 23 0a 00 00 00 00 2a 02 f7") << int(ReplyNone) << false << 0;
        QTest::newRow("junk before head") << hex("00 f0 00 11 22 0a 00 00 00 2a 02 f7") << int(ReplyNone) << false << 0;
        const std::pair<int, ReplyCode> types[] = {
            {0x20, ReplyIdentify}, {0x2b, ReplyBeginPage}, {0x2e, ReplyResetNand}, {0x2f, ReplyNone}, {0x21, ReplyNone}};
        for (const auto &[type, code] : types)
            QTest::addRow("type %02x", type) << reply(type, hex("00")) << int(code) << false << 0;
        QTest::newRow("transfer off") << reply(0x43, hex("00")) << int(ReplyTransferOff) << false << 0;
        QTest::newRow("transfer 7f") << reply(0x43, hex("7f")) << int(ReplyTransferOn) << false << 0;
        QTest::newRow("erase failed") << reply(0x2a, hex("02")) << int(ReplyEraseBlock) << true << 1;
        QTest::newRow("erase ok") << reply(0x2a, hex("01")) << int(ReplyEraseBlock) << false << 1;
        QTest::newRow("program failed") << reply(0x2d, hex("02")) << int(ReplyProgramPage) << true << 1;
        QTest::newRow("program ok") << reply(0x2d, hex("00")) << int(ReplyProgramPage) << false << 1;
        QTest::newRow("piece status 55") << reply(0x2c, hex("55")) << int(ReplyPageData) << false << 1;
        // Cut just before the status byte: the end marker is no status.
        QTest::newRow("program cut short") << reply(0x2d, {}) << int(ReplyProgramPage) << false << 0;
        QTest::newRow("defect list, no group") << reply(0x28, hex("00")) << int(ReplyReadDefectList) << false << 0;
        // A reply cut on the wire must not pass for a whole one: the engine
        // reads list copies and defect lists only as far as dataLength reaches.
        const QByteArray groups = hex("00") + hex("01 02 03 04 0f").repeated(16);
        QTest::newRow("data, one byte short") << reply(0x29, groups.chopped(1)) << int(ReplyReadChunk) << false << 60;
    }
    void replyCodes()
    {
        QFETCH(QByteArray, message);
        const Reply r = decode(message);
        QTEST(int(r.code), "code");
        QTEST(r.fail, "fail");
        QTEST(r.dataLength, "dataLength");
        if (r.code == ReplyPageData)
            QCOMPARE(int(r.status), 0x55);
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
        const Reply r = decode(message);
        QCOMPARE(r.code, ReplyIdentify);
        QTEST(uint(r.serialNumber), "serial");
        QTEST(QString::fromStdString(::formatSerial(r.serialNumber)), "text");
        QTEST(uint(r.firmwareVersion), "version");
        QTEST(QString::fromStdString(r.deviceName), "name");
    }

    void dataReplyBounds()
    {
        const QByteArray answer = reply(0x29, hex("00") + hex("01 02 03 04 0f").repeated(16));
        QCOMPARE(answer.size(), 92);
        Reply r = decode(answer);
        QCOMPARE(r.dataLength, 64);
        QCOMPARE(dataOf(r, 0, 64), hex("81 82 83 84").repeated(16).toHex(' '));

        // A last group cut short runs into the end marker, then the zero fill,
        // and only whole groups count.
        r = decode(reply(0x28, hex("00  05 06 07 08 00  09 0a")));
        QCOMPARE(r.dataLength, 4);
        QCOMPARE(dataOf(r, 0, 8), "05 06 07 08 09 0a f7 00");

        // A full 1024-byte buffer: its last group reaches past the buffer, read as zeros.
        std::vector<std::uint8_t> full(SysEx::MaxReplyLength);
        for (std::size_t i = 0; i < full.size(); ++i)
            full[i] = std::uint8_t(i & 0x7f);
        std::copy_n(u8(hex("f0 00 11 22 0a 00 00 00 00 29")), 10, full.begin());
        full.back() = SysEx::End;
        r = decodeReply(full.data(), int(full.size()));
        QCOMPARE(r.code, ReplyReadChunk);
        QCOMPARE(dataOf(r, 0, 4), "8b 8c 8d 8e");
        QCOMPARE(dataOf(r, 808, 4), "7d 7e f7 00");

        // Longer counts as its first 1024 bytes; a bad length as nothing.
        full.resize(5000, 0x11);
        QCOMPARE(dataOf(decodeReply(full.data(), 5000), 808, 4), "7d 7e f7 00");
        QCOMPARE(decodeReply(full.data(), -1).code, ReplyNone);
        QCOMPARE(decodeReply(nullptr, 20).code, ReplyNone);
    }

    void formatSerial_data()
    {
        QTest::addColumn<uint>("serial");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0u << "000-000-000";
        QTest::newRow("largest 28-bit") << 268435455u << "355-581-494";
        QTest::newRow("ten digits: leading nine") << 4294967295u << "923-698-764";
    }
    void formatSerial()
    {
        QFETCH(uint, serial);
        QTEST(QString::fromStdString(::formatSerial(serial)), "text");
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
