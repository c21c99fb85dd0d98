#pragma once

#include "midiports.h"
#include "replycode.h"
#include "sysex.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

class MidiEvent;

// The conversation with one device: sends the commands through the port pair,
// takes in and decodes replies, and keeps the last reply's side data.
class DeviceLink
{
public:
    static constexpr int ReplyDataSize = 1024;

    explicit DeviceLink(std::unique_ptr<MidiService> service);

    MidiPorts &ports() { return midiPorts; }
    const MidiPorts &ports() const { return midiPorts; }

    // Port operations, forwarded to MidiPorts.
    std::optional<QString> inPortName(int index) const { return midiPorts.inPortName(index); }
    std::optional<QString> outPortName(int index) const { return midiPorts.outPortName(index); }
    QStringList portNames(bool input) const { return midiPorts.portNames(input); }
    bool openPorts(int inIndex, int outIndex) { return midiPorts.openPorts(inIndex, outIndex); }
    void closePorts() { midiPorts.closePorts(); }
    void setReceiver(QObject *receiver) { midiPorts.setReceiver(receiver); }

    // Commands; each returns whether the port accepted the message.
    bool sendIdentify();
    bool sendReadDefectList(std::uint8_t part);
    bool sendReadChunk(std::int32_t chunkAddress, std::uint8_t piece);
    bool sendEraseBlock(std::uint32_t block);
    bool sendBeginPage(std::uint32_t block, std::uint8_t page);
    bool sendPageData(const std::uint8_t *data, int length);
    bool sendProgramPage();
    bool sendResetNand(std::uint8_t major, std::uint8_t minor, std::uint32_t imageSize);
    bool sendFinish();

    // The reply intake: decodes the message a MidiEvent carries.
    ReplyCode takeReply(const MidiEvent &event);
    ReplyCode takeReply(const QByteArray &message);
    // Decodes one message as if it lay in a zero-filled receive buffer of
    // MidiPorts::ReceiveBufferSize bytes; never reads or writes beyond that.
    ReplyCode decodeReply(const std::uint8_t *data, int length);

    // Eleven characters such as 586-638-764, from the nine leading digits of
    // the zero-padded decimal number.
    static QString formatSerial(std::uint32_t serialNumber);

    // Side data of the last reply that set it.
    const std::array<std::uint8_t, ReplyDataSize> &replyData() const { return replyBytes; }
    // Bytes of side data the last reply carried: what a data reply unpacked
    // from whole Pack7 groups, 1 for a status reply (EraseBlock, PageData,
    // ProgramPage) that holds its status byte, else 0.
    int replyDataLength() const { return dataLength; }
    bool failFlag() const { return failed; }
    std::uint8_t pieceStatus() const { return lastPieceStatus; }
    // Lower-case hex of the last received message, built only while tracing is on.
    const QString &traceText() const { return trace; }
    void setTraceEnabled(bool on) { traceOn = on; }

    // Identity from the last identity reply.
    std::uint32_t serialNumber() const { return serial; }
    std::uint32_t firmwareVersion() const { return version; }
    const QString &serialText() const { return serialString; }
    const QString &deviceName() const { return name; }

private:
    bool send(const SysExMessage &message);
    // Both take a message already clamped to the receive buffer.
    void takeIdentity(const std::uint8_t *data, int length);
    void unpackData(const std::uint8_t *data, int length);

    std::array<std::uint8_t, ReplyDataSize> replyBytes{};
    bool failed = false;
    int dataLength = 0;
    std::uint8_t lastPieceStatus = 0;
    QString trace;
    bool traceOn = true;
    MidiPorts midiPorts;
    std::uint32_t serial = 0;
    std::uint32_t version = 0;
    QString serialString;
    QString name;
};
