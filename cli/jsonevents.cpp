#include "jsonevents.h"

#include "firmwareimage.h"
#include "firmwareversion.h"

namespace {

QJsonObject event(const char *name)
{
    return {{QStringLiteral("schema"), JsonEvents::SchemaVersion}, {QStringLiteral("event"), QLatin1String(name)}};
}

QJsonObject named(const char *name, const QString &serial)
{
    QJsonObject object = event(name);
    object.insert(QStringLiteral("serial"), serial);
    return object;
}

} // namespace

QString JsonEvents::outcomeName(UpdateOutcome outcome)
{
    return QString::fromLatin1(::outcomeName(outcome));
}

QJsonObject JsonEvents::image(const FirmwareImage &image, const QString &path)
{
    QJsonObject object = event("image");
    object.insert(path.isEmpty() ? QStringLiteral("version") : QStringLiteral("file"), path.isEmpty() ? image.name : path);
    object.insert(QStringLiteral("size"), qint64(image.bytes.size()));
    object.insert(QStringLiteral("sha256"), QString::fromLatin1(image.sha256));
    return object;
}

QJsonObject JsonEvents::port(bool input, int index, const QString &name)
{
    QJsonObject object = event("port");
    object.insert(QStringLiteral("direction"), input ? QStringLiteral("in") : QStringLiteral("out"));
    object.insert(QStringLiteral("index"), index);
    object.insert(QStringLiteral("name"), name);
    return object;
}

QJsonObject JsonEvents::found(const FoundDevice &device)
{
    QJsonObject object = named("found", device.serialText);
    object.insert(QStringLiteral("firmware"), QString::fromStdString(FirmwareVersion::text(device.firmwareVersion)));
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
    object.insert(QStringLiteral("firmware"), QString::fromStdString(FirmwareVersion::text(firmwareVersion)));
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
                                                     ? QJsonValue() : QJsonValue(qint64(progress.remainingMs)));
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
