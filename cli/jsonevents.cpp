#include "jsonevents.h"

#include "firmwareimage.h"
#include "firmwareversion.h"

namespace {

QJsonObject named(const char *event, const QString &serial)
{
    return {{QStringLiteral("event"), QLatin1String(event)}, {QStringLiteral("serial"), serial}};
}

} // namespace

QString JsonEvents::outcomeName(UpdateOutcome outcome)
{
    switch (outcome) {
    case UpdateOutcome::Success: return QStringLiteral("success");
    case UpdateOutcome::NoImage: return QStringLiteral("no_image");
    case UpdateOutcome::FlashUnhealthy: return QStringLiteral("flash_unhealthy");
    case UpdateOutcome::NoSpace: return QStringLiteral("no_space");
    case UpdateOutcome::ListWriteFailed: return QStringLiteral("list_write_failed");
    case UpdateOutcome::FirstListWriteFailed: return QStringLiteral("first_list_write_failed");
    case UpdateOutcome::ListUnreadable: return QStringLiteral("list_unreadable");
    case UpdateOutcome::FlashWornOut: return QStringLiteral("flash_worn_out");
    case UpdateOutcome::DeviceSilent: return QStringLiteral("device_silent");
    case UpdateOutcome::Stalled: return QStringLiteral("stalled");
    case UpdateOutcome::PortLost: return QStringLiteral("port_lost");
    case UpdateOutcome::PortGone: return QStringLiteral("port_gone");
    case UpdateOutcome::Cancelled: return QStringLiteral("cancelled");
    case UpdateOutcome::NotVerified: return QStringLiteral("not_verified");
    case UpdateOutcome::ListLost: return QStringLiteral("list_lost");
    }
    return QStringLiteral("unknown");
}

QJsonObject JsonEvents::image(const FirmwareImage &image, const QString &path)
{
    return {{QStringLiteral("event"), QStringLiteral("image")},
            {path.isEmpty() ? QStringLiteral("version") : QStringLiteral("file"), path.isEmpty() ? image.name : path},
            {QStringLiteral("size"), qint64(image.bytes.size())},
            {QStringLiteral("sha256"), QString::fromLatin1(image.sha256)}};
}

QJsonObject JsonEvents::port(bool input, int index, const QString &name)
{
    return {{QStringLiteral("event"), QStringLiteral("port")},
            {QStringLiteral("direction"), input ? QStringLiteral("in") : QStringLiteral("out")},
            {QStringLiteral("index"), index},
            {QStringLiteral("name"), name}};
}

QJsonObject JsonEvents::found(const FoundDevice &device)
{
    QJsonObject object = named("found", device.serialText);
    object.insert(QStringLiteral("firmware"), FirmwareVersion::text(device.firmwareVersion));
    object.insert(QStringLiteral("inIndex"), device.inIndex);
    object.insert(QStringLiteral("outIndex"), device.outIndex);
    object.insert(QStringLiteral("in"), device.inName);
    object.insert(QStringLiteral("out"), device.outName);
    return object;
}

QJsonObject JsonEvents::connected(const QString &serial, std::uint32_t firmwareVersion, const QString &inName,
                                  const QString &outName)
{
    QJsonObject object = named("connected", serial);
    object.insert(QStringLiteral("firmware"), FirmwareVersion::text(firmwareVersion));
    object.insert(QStringLiteral("in"), inName);
    object.insert(QStringLiteral("out"), outName);
    return object;
}

QJsonObject JsonEvents::progress(const QString &serial, const UpdateSession::Progress &progress)
{
    QJsonObject object = named("progress", serial);
    object.insert(QStringLiteral("pagesDone"), progress.pagesDone);
    object.insert(QStringLiteral("pagesTotal"), progress.pagesTotal);
    object.insert(QStringLiteral("block"), progress.block);
    object.insert(QStringLiteral("page"), progress.page);
    // null while no estimate exists
    object.insert(QStringLiteral("remainingMs"), progress.remainingMs == EtaEstimator::Unknown
                                                     ? QJsonValue() : QJsonValue(progress.remainingMs));
    return object;
}

QJsonObject JsonEvents::trace(const QString &serial, const QString &line)
{
    QJsonObject object = named("trace", serial);
    object.insert(QStringLiteral("line"), line);
    return object;
}

QJsonObject JsonEvents::finished(const QString &serial, const QString &outcome, const QString &message)
{
    QJsonObject object = named("finished", serial);
    object.insert(QStringLiteral("outcome"), outcome);
    object.insert(QStringLiteral("message"), message);
    return object;
}
