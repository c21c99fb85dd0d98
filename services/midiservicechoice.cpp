#include "midiservicechoice.h"

#include "rtmidiservice.h"
#include "simsetup.h"

MidiServiceMaker midiServiceMaker(const QString &api)
{
    if (api.trimmed().compare(QLatin1String("sim"), Qt::CaseInsensitive) == 0)
        return [world = createSimWorldFromEnvironment()] { return createSimService(world); };
    return [api = api.trimmed()]() -> std::unique_ptr<MidiService> { return std::make_unique<RtMidiService>(api); };
}
