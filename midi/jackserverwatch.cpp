#include "jackserverwatch.h"

#include "midiports.h"

#ifdef QEL_HAVE_JACK
#include <jack/jack.h>
#endif

namespace {

constexpr char WatchClientName[] = "Qel update watch";

} // namespace

JackServerWatch::~JackServerWatch()
{
#ifdef QEL_HAVE_JACK
    if (client)
        jack_client_close(client);
#endif
}

bool JackServerWatch::attach()
{
#ifdef QEL_HAVE_JACK
    if (client)
        return true;
    client = jack_client_open(WatchClientName, JackNoStartServer, nullptr);
    if (!client) {
        qCWarning(lcMidi) << "no JACK server is running";
        return false;
    }
    // Told on libjack's own thread; no activation needed for that.
    jack_on_shutdown(client, &JackServerWatch::onShutdown, this);
    return true;
#else
    Q_UNUSED(WatchClientName);
    return true;
#endif
}

void JackServerWatch::onShutdown(void *watch)
{
    static_cast<JackServerWatch *>(watch)->gone.store(true);
}
