#include "jackserverwatch.h"

#include "midiports.h"

#ifdef QEL_HAVE_JACK
#include <jack/jack.h>
#endif

#include <chrono>
#include <thread>

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

void JackServerWatch::waitForCycleEnd() const
{
#ifdef QEL_HAVE_JACK
    if (!client || gone.load())
        return;
    // Frame time and buffer size may be read from any thread; the frame time
    // of a cycle's start may not.
    const jack_nframes_t start = jack_frame_time(client);
    const jack_nframes_t wanted = jack_nframes_t(CycleEndPeriods) * jack_get_buffer_size(client);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(CycleEndLimitMs);
    while (jack_frame_time(client) - start < wanted && !gone.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
#endif
}

void JackServerWatch::onShutdown(void *watch)
{
    static_cast<JackServerWatch *>(watch)->gone.store(true);
}
