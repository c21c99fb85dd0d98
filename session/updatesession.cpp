#include "updatesession.h"

#include "firmwareimage.h"
#include "resourcepaths.h"
#include "sessiontexts.h"
#include "texts.h"

#include <QFileInfo>
#include <QMetaMethod>

// Every received message as hex; off unless QT_LOGGING_RULES="qel.trace.debug=true".
Q_LOGGING_CATEGORY(lcTrace, "qel.trace", QtWarningMsg)

UpdateSession::UpdateSession(std::unique_ptr<MidiService> service, QObject *parent)
    : QObject(parent), link(std::move(service)), imageFile(ResourcePaths::FirmwareImage)
{
    link.ports().setReceiver([this](const std::uint8_t *data, std::size_t length) { takeMessage(data, length); });
    monotonic.start();
    clock = [this] { return monotonic.nsecsElapsed() / 1000; };
    connect(&ticker, &QTimer::timeout, this, &UpdateSession::tick);
}

UpdateSession::~UpdateSession()
{
    // No callback may post to a receiver that is going away.
    link.ports().closePorts();
}

QStringList UpdateSession::portNames(bool input) const
{
    return link.ports().portNames(input);
}

bool UpdateSession::connectDevice(int inIndex, int outIndex)
{
    if (!link.ports().openPorts(inIndex, outIndex)) {
        link.ports().closePorts();
        conversation.disconnect();
        return false;
    }
    openNames = {link.ports().portNames(true).value(inIndex), link.ports().portNames(false).value(outIndex)};
    conversation.connect(clock());
    return true;
}

void UpdateSession::disconnectDevice()
{
    conversation.disconnect();
    link.ports().closePorts();
    openNames = {};
}

void UpdateSession::takeMessage(const std::uint8_t *data, std::size_t length)
{
    Reply reply = link.takeReply(data, length);
    reply.sentBefore = link.ports().arrivalStamp();
    ++count.received;
    if (lcTrace().isDebugEnabled())
        qCDebug(lcTrace).noquote() << Texts::tr("e=%1 %2").arg(int(reply.code)).arg(DeviceLink::hexText(data, length));
    conversation.takeReply(reply, clock());
}

QString UpdateSession::verdict() const
{
    return Texts::render(conversation.verdict());
}

void UpdateSession::tick()
{
    // Nothing waits longer than a tick should a wake-up of the loop go astray.
    link.ports().takeWaiting();
    // Dropped on the MIDI thread, where nothing may be logged.
    if (const std::uint64_t dropped = link.ports().droppedMessages(); dropped != droppedSeen) {
        qCWarning(lcTrace) << dropped - droppedSeen << "received messages were dropped: the updater fell behind";
        droppedSeen = dropped;
    }
    // An unplugged interface often takes no message amiss; its ports leave the
    // list. Ports opened without connectDevice() (benchmarks) have no names to look for.
    if (conversation.isUpdating() && !openNames.first.isEmpty() && ++portCheckTicks >= PortCheckTicks) {
        portCheckTicks = 0;
        if (!link.ports().portNames(true).contains(openNames.first)
            || !link.ports().portNames(false).contains(openNames.second))
            conversation.portGone();
    }
    conversation.tick(clock());
}

void UpdateSession::startTicking()
{
    ticker.start(TickIntervalMs);
}

qint64 UpdateSession::expectedDurationMs() const
{
    return conversation.expectedDurationMs(QFileInfo(imageFile).size(), verifyAfterWriting);
}

QString UpdateSession::confirmationText() const
{
    return Texts::render(conversation.confirmation(QFileInfo(imageFile).size(), verifyAfterWriting));
}

void UpdateSession::startUpdate()
{
    const FirmwareImage image = FirmwareImage::load(imageFile);
    if (!image.problem.isEmpty()) {
        emit finished(UpdateOutcome::NoImage, image.problem);
        return;
    }
    conversation.startUpdate(reinterpret_cast<const std::uint8_t *>(image.bytes.constData()),
                             std::size_t(image.bytes.size()), verifyAfterWriting, clock());
}

void UpdateSession::Relay::connectionChanged(Connection state)
{
    emit session.connectionChanged(ConnectionState(state));
}

void UpdateSession::Relay::identified()
{
    emit session.identified();
}

void UpdateSession::Relay::identifyTimedOut()
{
    emit session.identifyTimedOut();
}

void UpdateSession::Relay::measured()
{
    emit session.measured();
}

void UpdateSession::Relay::verdictChanged()
{
    emit session.verdictChanged();
}

void UpdateSession::Relay::transferStateChanged(bool on)
{
    emit session.transferStateChanged(on);
}

void UpdateSession::Relay::progressChanged(const Progress &progress)
{
    emit session.progressChanged(progress);
}

bool UpdateSession::Relay::wantsTraces() const
{
    // Nobody listening needs no words.
    static const QMetaMethod tracedSignal = QMetaMethod::fromSignal(&UpdateSession::traced);
    return session.isSignalConnected(tracedSignal);
}

void UpdateSession::Relay::traced(const TraceLine &line)
{
    emit session.traced(Texts::render(SessionTexts::traceLine(line)));
}

void UpdateSession::Relay::finished(UpdateOutcome outcome, const Phrase &message)
{
    emit session.finished(outcome, Texts::render(message));
}
