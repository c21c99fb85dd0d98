#include "rtmidiservice.h"

#include "midiports.h"

#include <algorithm>
#include <array>
#include <exception>

namespace {

constexpr char ClientName[] = "Qel update";
constexpr char InPortName[] = "in";
constexpr char OutPortName[] = "out";
constexpr unsigned int QueueSizeLimit = 100;

// WinMM delivers a SysEx in pieces of one input buffer; this many bytes hold
// any reply of the device whole. Other APIs ignore the setting.
constexpr unsigned int InputBufferSize = MidiPorts::ReceiveBufferSize;
constexpr unsigned int InputBufferCount = 4;

// RtMidi's JACK output ring holds 16,384 bytes less one, each message behind a
// four-byte length; a longer message is dropped without a word.
constexpr std::size_t JackMaxMessageSize = 16379;

struct ApiName
{
    const char *name;
    RtMidi::Api api;
};

constexpr std::array<ApiName, 4> ApiNames{{
    {"alsa", RtMidi::LINUX_ALSA},
    {"jack", RtMidi::UNIX_JACK},
    {"winmm", RtMidi::WINDOWS_MM},
    {"core", RtMidi::MACOSX_CORE},
}};

// Errors RtMidi reported to onError on this thread; a call succeeded when it
// reported none. Per thread, so a report from a MIDI thread blames no call here.
thread_local unsigned int reportedErrors = 0;

template<typename Call>
bool attempt(const char *what, Call &&call)
{
    const unsigned int before = reportedErrors;
    try {
        call();
    } catch (const std::exception &e) {
        // Only reachable through RtMidi paths that ignore the error callback.
        qCWarning(lcMidi, "%s: %s", what, e.what());
        return false;
    }
    return reportedErrors == before;
}

bool isCompiled(RtMidi::Api api)
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

} // namespace

RtMidiService::RtMidiService(const QString &apiName)
{
    const std::optional<RtMidi::Api> api = apiFromName(apiName);
    if (!api) {
        qCWarning(lcMidi) << "unknown MIDI system" << apiName << "(known: alsa, jack, winmm, core)";
        return;
    }
    // RtMidi would quietly fall back to its default for an API it lacks.
    if (*api != RtMidi::UNSPECIFIED && !isCompiled(*api)) {
        qCWarning(lcMidi) << "this build of RtMidi has no" << apiName << "support";
        return;
    }
    // The watch connects before RtMidi does, so it hears of any server that
    // RtMidi's clients are on.
    if (*api == RtMidi::UNIX_JACK)
        jackWatch.attach();
    try {
        // The error callback can only be set once an object exists, so
        // construction is the one place RtMidi throws.
        input = std::make_unique<RtMidiIn>(*api, ClientName, QueueSizeLimit);
        input->setErrorCallback(&RtMidiService::onError, this);
        output = std::make_unique<RtMidiOut>(*api, ClientName);
        output->setErrorCallback(&RtMidiService::onError, this);
    } catch (const RtMidiError &e) {
        qCWarning(lcMidi, "no MIDI system: %s", e.what());
        if (*api == RtMidi::UNSPECIFIED)
            qCWarning(lcMidi) << "QEL_MIDI_API=jack uses a JACK server instead";
        input.reset();
        output.reset();
        return;
    }
    inApi = input->getCurrentApi();
    outApi = output->getCurrentApi();
    if (*api == RtMidi::UNSPECIFIED && (inApi == RtMidi::UNIX_JACK || outApi == RtMidi::UNIX_JACK))
        jackWatch.attach();
    attempt("setting up MIDI input", [this] {
        input->setCallback(&RtMidiService::onMessage, this);
        // SysEx is what we are here for; RtMidi drops it unless told otherwise.
        input->ignoreTypes(false, true, true);
        input->setBufferSize(InputBufferSize, InputBufferCount);
    });
}

RtMidiService::~RtMidiService()
{
    closeIn();
    closeOut();
    // Else a cycle that saw the output open may read (and move the read
    // pointer of) the ring buffer RtMidi frees.
    if (outApi == RtMidi::UNIX_JACK)
        jackWatch.waitForCycleEnd();
    input.reset();
    output.reset();
}

std::optional<RtMidi::Api> RtMidiService::apiFromName(const QString &name)
{
    if (name.isEmpty())
        return RtMidi::UNSPECIFIED;
    for (const ApiName &entry : ApiNames) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return entry.api;
    }
    return std::nullopt;
}

std::optional<QString> RtMidiService::inPortName(int index) const
{
    if (!input || !jackServerUsable(inApi))
        return std::nullopt;
    return portName(*input, ownOutPorts, index);
}

std::optional<QString> RtMidiService::outPortName(int index) const
{
    if (!output || !jackServerUsable(outApi))
        return std::nullopt;
    return portName(*output, ownInPorts, index);
}

QStringList RtMidiService::portNames(bool inputs, int limit) const
{
    // One listing for the whole list: each name lookup would list every port again.
    RtMidi *port = inputs ? static_cast<RtMidi *>(input.get()) : output.get();
    if (!port || !jackServerUsable(inputs ? inApi : outApi))
        return {};
    // Our own ports of the other direction are left out, as portName() does.
    const std::vector<std::string> &own = inputs ? ownOutPorts : ownInPorts;
    QStringList names;
    for (const std::string &name : allPortNames(*port)) {
        if (names.size() >= limit || name.empty())
            break;
        if (std::find(own.begin(), own.end(), name) == own.end())
            names << QString::fromStdString(name);
    }
    return names;
}

bool RtMidiService::openIn(int index, ReceiveCallback receive)
{
    closeIn();
    const std::optional<unsigned int> port =
        input && jackServerUsable(inApi) ? rtMidiIndex(*input, ownOutPorts, index) : std::nullopt;
    if (!port) {
        qCWarning(lcMidi) << "MIDI IN" << index << "cannot be opened";
        return false;
    }
    // closeIn() above left no call under way.
    callback = std::move(receive);
    if (callback)
        gate.open();
    const std::vector<std::string> before = output ? allPortNames(*output) : std::vector<std::string>();
    const bool opened = attempt("opening MIDI IN", [&] { input->openPort(*port, InPortName); });
    if (!opened || !input->isPortOpen()) {
        closeIn();
        return false;
    }
    ownInPorts = ownPortNames(output.get(), before);
    return true;
}

bool RtMidiService::openOut(int index)
{
    closeOut();
    const std::optional<unsigned int> port =
        output && jackServerUsable(outApi) ? rtMidiIndex(*output, ownInPorts, index) : std::nullopt;
    if (!port) {
        qCWarning(lcMidi) << "MIDI OUT" << index << "cannot be opened";
        return false;
    }
    const std::vector<std::string> before = input ? allPortNames(*input) : std::vector<std::string>();
    const bool opened = attempt("opening MIDI OUT", [&] { output->openPort(*port, OutPortName); });
    if (!opened || !output->isPortOpen()) {
        closeOut();
        return false;
    }
    ownOutPorts = ownPortNames(input.get(), before);
    return true;
}

void RtMidiService::closeIn()
{
    gate.close();
    callback = nullptr;
    if (input)
        attempt("closing MIDI IN", [this] { input->closePort(); });
    ownInPorts.clear();
}

void RtMidiService::closeOut()
{
    // After the JACK server has gone this waits about a second inside RtMidi.
    if (output)
        attempt("closing MIDI OUT", [this] { output->closePort(); });
    ownOutPorts.clear();
}

bool RtMidiService::isInOpen() const
{
    return input && input->isPortOpen() && !jackServerGone(inApi);
}

bool RtMidiService::isOutOpen() const
{
    return output && output->isPortOpen() && !jackServerGone(outApi);
}

bool RtMidiService::send(const std::uint8_t *data, std::size_t length)
{
    if (!isOutOpen() || !data || length == 0) {
        qCWarning(lcMidi) << "MIDI OUT is not open or the message is empty; nothing sent";
        return false;
    }
    if (outApi == RtMidi::UNIX_JACK && length > JackMaxMessageSize) {
        qCWarning(lcMidi) << "a message of" << length << "bytes is too long for JACK; nothing sent";
        return false;
    }
    return attempt("sending", [&] { output->sendMessage(data, length); });
}

void RtMidiService::onError(RtMidiError::Type type, const std::string &text, void *)
{
    if (type == RtMidiError::DEBUG_WARNING) {
        qCDebug(lcMidi, "%s", text.c_str());
        return;
    }
    ++reportedErrors;
    qCWarning(lcMidi, "%s", text.c_str());
}

void RtMidiService::onMessage(double, std::vector<unsigned char> *message, void *service)
{
    // On the MIDI thread: hand the bytes on and nothing more.
    if (!message || message->empty())
        return;
    auto *self = static_cast<RtMidiService *>(service);
    self->gate.pass([&] { self->callback(message->data(), message->size()); });
}

std::vector<std::string> RtMidiService::allPortNames(RtMidi &port)
{
    std::vector<std::string> names;
    const bool listed = attempt("listing MIDI ports", [&] {
        const unsigned int count = port.getPortCount();
        for (unsigned int i = 0; i < count; ++i)
            names.push_back(port.getPortName(i));
    });
    return listed ? names : std::vector<std::string>();
}

std::vector<std::string> RtMidiService::ownPortNames(RtMidi *port, const std::vector<std::string> &before)
{
    // Whatever appeared while our port opened is ours.
    std::vector<std::string> appeared;
    if (!port)
        return appeared;
    for (std::string &name : allPortNames(*port)) {
        if (std::find(before.begin(), before.end(), name) == before.end())
            appeared.push_back(std::move(name));
    }
    return appeared;
}

std::optional<unsigned int> RtMidiService::rtMidiIndex(RtMidi &port, const std::vector<std::string> &own,
                                                       int index)
{
    // Checked here because JACK only warns about an index past the end and
    // then claims an open port connected to nothing.
    if (index < 0)
        return std::nullopt;
    const std::vector<std::string> names = allPortNames(port);
    int visible = -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (std::find(own.begin(), own.end(), names[i]) == own.end() && ++visible == index)
            return unsigned(i);
    }
    return std::nullopt;
}

std::optional<QString> RtMidiService::portName(RtMidi &port, const std::vector<std::string> &own,
                                                int index)
{
    const std::optional<unsigned int> i = rtMidiIndex(port, own, index);
    std::string name;
    if (!i || !attempt("reading a MIDI port name", [&] { name = port.getPortName(*i); }) || name.empty())
        return std::nullopt;
    return QString::fromStdString(name);
}

bool RtMidiService::jackServerUsable(RtMidi::Api api) const
{
    if (api != RtMidi::UNIX_JACK)
        return true;
    // Attaching is harmless while no server has gone; after that nothing may
    // open a new JACK client, and attach() does not.
    if (!jackWatch.attach())
        return false;
    if (jackWatch.serverGone()) {
        qCWarning(lcMidi) << "the JACK server has gone; restart the updater to reconnect";
        return false;
    }
    return true;
}

bool RtMidiService::jackServerGone(RtMidi::Api api) const
{
    return api == RtMidi::UNIX_JACK && jackWatch.serverGone();
}
