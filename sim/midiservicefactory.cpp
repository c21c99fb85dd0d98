#include "midiservicefactory.h"

#include "rtmidiservice.h"
#include "simmidiservice.h"

namespace {

const char ApiVariable[] = "QEL_MIDI_API";

} // namespace

std::unique_ptr<MidiService> createMidiService(const QString &api)
{
    if (api.trimmed().compare(QLatin1String("sim"), Qt::CaseInsensitive) == 0)
        return std::make_unique<SimMidiService>();
    return std::make_unique<RtMidiService>(api.trimmed());
}

std::unique_ptr<MidiService> createMidiServiceFromEnvironment()
{
    return createMidiService(qEnvironmentVariable(ApiVariable));
}
