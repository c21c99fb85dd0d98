#include "simulatoroptions.h"

#include "devicereplies.h"
#include "simworker.h"

#include <QRegularExpression>

#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t SerialLimit = 1u << 28;   // four 7-bit groups
constexpr std::uint32_t VersionLimit = 1u << 14;  // two 7-bit groups
constexpr int VersionShift = 8;                    // low byte major, high byte minor
constexpr int MaxListCopies = SimDevice::PagesPerBlock;

struct Option
{
    QString name;
    QString value;
    QString help;
    QString fallback;
};

QString versionText(std::uint32_t version)
{
    return QStringLiteral("%1.%2").arg(version & 0xFF).arg(version >> VersionShift, 2, 10, QLatin1Char('0'));
}

std::vector<Option> options()
{
    const SimDevice::Identity shipped;
    return {
        {"api", "name", "MIDI system: jack or alsa (default: RtMidi's choice).", ""},
        {"port-name", "text", "Ports are called \"<text> MIDI IN\" and \"<text> MIDI OUT\".", "Qel"},
        {"serial", "number", "Serial number the device reports (below 2^28).",
         QString::number(shipped.serialNumber)},
        {"version", "major.minor", "Firmware version the device reports, e.g. 1.08.",
         versionText(shipped.firmwareVersion)},
        {"name", "text", "Device name (at most 16 characters).", QString::fromLatin1(shipped.name.c_str())},
        {"list-copies", "k", "Copies of the bad-block list in block 0 (0 = unused flash).", "1"},
        {"list-bad", "blocks", "Bad blocks named in those copies, e.g. 3,7,20-22.", ""},
        {"factory-bad", "blocks", "Blocks the factory defect list marks bad.", ""},
        {"fail-erase", "blocks", "Blocks whose erase fails.", ""},
        {"fail-program", "pages", "Pages whose program fails: block or block:page, comma separated.", ""},
        {"reads", "reach", "What ReadChunk reaches: whole, block0 (0xFF beyond block 0), block0-aliased, "
                           "block0-silent.", "whole"},
        {"lose", "p", "Probability that a command is lost on its way in, and that a reply is lost.", "0"},
        {"late", "p", "Probability that a reply comes after the time-out.", "0"},
        {"late-delay", "ms", "How late a late reply is.", QString::number(SimWorker::DefaultLateDelay.count())},
        {"duplicate", "p", "Probability that a reply comes twice.", "0"},
        {"corrupt", "p", "Probability that one byte of a reply changes.", "0"},
        {"cut-short", "p", "Probability that a reply is cut short.", "0"},
        {"foreign", "p", "Probability of a foreign message before a reply.", "0"},
        {"short", "p", "Probability of a stub message before a reply.", "0"},
        {"vanish", "p", "Probability, per reply, that the ports go away.", "0"},
        {"vanish-after", "n", "The ports go away instead of sending the n-th message.", "0"},
        {"seed", "n", "Seed of the random faults.", "1"},
    };
}

// "3,7,20-22" into block numbers; false on anything else.
bool parseBlocks(const QString &text, std::set<int> &blocks)
{
    static const QRegularExpression item(QStringLiteral("^(\\d+)(?:-(\\d+))?$"));
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const auto match = item.match(part.trimmed());
        if (!match.hasMatch())
            return false;
        const int first = match.captured(1).toInt();
        const int last = match.captured(2).isEmpty() ? first : match.captured(2).toInt();
        if (first > last || !SimNand::validBlock(first) || !SimNand::validBlock(last))
            return false;
        for (int block = first; block <= last; ++block)
            blocks.insert(block);
    }
    return true;
}

bool parsePages(const QString &text, std::vector<std::pair<int, int>> &pages)
{
    static const QRegularExpression item(QStringLiteral("^(\\d+)(?::(\\d+))?$"));
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const auto match = item.match(part.trimmed());
        if (!match.hasMatch())
            return false;
        const int block = match.captured(1).toInt();
        const int page = match.captured(2).isEmpty() ? -1 : match.captured(2).toInt();
        if (!SimNand::validBlock(block) || (page != -1 && !SimNand::validPage(page)))
            return false;
        pages.emplace_back(block, page);
    }
    return true;
}

std::optional<std::uint32_t> parseVersion(const QString &text)
{
    bool ok = false;
    std::uint32_t version = 0;
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() == 2) {
        bool minorOk = false;
        const uint major = parts[0].toUInt(&ok);
        const uint minor = parts[1].toUInt(&minorOk);
        ok = ok && minorOk && major <= 0xFF;
        version = major | (minor << VersionShift);
    } else {
        version = text.toUInt(&ok, 0);
    }
    if (!ok || version >= VersionLimit)
        return std::nullopt;
    return version;
}

} // namespace

void addSimulatorOptions(QCommandLineParser &parser)
{
    for (const Option &option : options())
        parser.addOption(QCommandLineOption(option.name, option.help, option.value, option.fallback));
    parser.addOption({{QStringLiteral("v"), QStringLiteral("verbose")},
                      QStringLiteral("Print one line per command received.")});
    parser.addOption({QStringLiteral("save-image"),
                      QStringLiteral("On stopping, write the image the device holds (of the size the last "
                                     "update announced) to <file>."),
                      QStringLiteral("file")});
}

std::optional<SimulatorSetup> readSimulatorOptions(const QCommandLineParser &parser, QString *error)
{
    const auto fail = [error](const QString &option) {
        *error = QStringLiteral("bad value for --%1").arg(option);
        return std::nullopt;
    };
    const auto value = [&parser](const char *name) { return parser.value(QString::fromLatin1(name)); };

    SimulatorSetup setup;
    setup.api = value("api").trimmed().toLower();
    setup.portName = value("port-name");
    setup.verbose = parser.isSet(QStringLiteral("verbose"));
    setup.saveImage = value("save-image");

    SimDevice::Identity identity;
    bool ok = false;
    identity.serialNumber = value("serial").toUInt(&ok);
    if (!ok || identity.serialNumber >= SerialLimit)
        return fail(QStringLiteral("serial"));
    const auto version = parseVersion(value("version"));
    if (!version)
        return fail(QStringLiteral("version"));
    identity.firmwareVersion = *version;
    identity.name = value("name").left(DeviceReply::MaxNameLength).toLatin1().toStdString();
    setup.device.setIdentity(identity);

    const int copies = value("list-copies").toInt(&ok);
    if (!ok || copies < 0 || copies > MaxListCopies)
        return fail(QStringLiteral("list-copies"));
    std::set<int> listBad, factoryBad, eraseBad;
    if (!parseBlocks(value("list-bad"), listBad))
        return fail(QStringLiteral("list-bad"));
    if (!parseBlocks(value("factory-bad"), factoryBad))
        return fail(QStringLiteral("factory-bad"));
    if (!parseBlocks(value("fail-erase"), eraseBad))
        return fail(QStringLiteral("fail-erase"));
    std::vector<std::pair<int, int>> programBad;
    if (!parsePages(value("fail-program"), programBad))
        return fail(QStringLiteral("fail-program"));
    setup.device.setFactoryDefects(factoryBad);
    // A flash in use lists its factory defects in every copy.
    std::set<int> stored = listBad;
    stored.insert(factoryBad.begin(), factoryBad.end());
    if (copies > 0)
        setup.device.storeListCopies(copies, stored, static_cast<std::int16_t>(factoryBad.size()));
    for (int block : eraseBad)
        setup.device.failErase(block);
    for (const auto &[block, page] : programBad)
        setup.device.failProgram(block, page);
    const auto reach = SimDevice::reachNamed(value("reads").toStdString());
    if (!reach)
        return fail(QStringLiteral("reads"));
    setup.device.setReadReach(*reach);

    LinkFaults::Rates rates;
    const std::pair<const char *, double *> probabilities[] = {
        {"lose", &rates.lose}, {"late", &rates.late}, {"duplicate", &rates.duplicate},
        {"corrupt", &rates.corrupt}, {"cut-short", &rates.cutShort}, {"foreign", &rates.foreign},
        {"short", &rates.shortMessage}, {"vanish", &rates.vanish},
    };
    for (const auto &[name, rate] : probabilities) {
        *rate = value(name).toDouble(&ok);
        if (!ok || *rate < 0 || *rate > 1)
            return fail(QString::fromLatin1(name));
    }
    rates.loseCommand = rates.lose;
    const std::uint32_t seed = value("seed").toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("seed"));
    setup.faults.setRates(rates, seed);
    const int vanishAfter = value("vanish-after").toInt(&ok);
    if (!ok || vanishAfter < 0)
        return fail(QStringLiteral("vanish-after"));
    if (vanishAfter > 0)
        setup.faults.inject(LinkFaults::Fault::Vanish, LinkFaults::AnyType, vanishAfter);
    const int delay = value("late-delay").toInt(&ok);
    if (!ok || delay < 0)
        return fail(QStringLiteral("late-delay"));
    setup.lateDelay = std::chrono::milliseconds(delay);
    return setup;
}
