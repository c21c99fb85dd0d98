#include "qeldiscovery.h"

#include "discoveryrounds.h"
#include "sysex.h"

#include <cstring>

struct QelDiscovery
{
    DiscoveryRounds rounds;
};

namespace {

const FoundQel *foundAt(const QelDiscovery *discovery, int index)
{
    const std::vector<FoundQel> &found = discovery->rounds.found();
    return index >= 0 && std::size_t(index) < found.size() ? &found[std::size_t(index)] : nullptr;
}

} // namespace

extern "C" {

QelDiscovery *qel_discovery_new(int inputs, int outputs)
{
    auto *discovery = new QelDiscovery;
    discovery->rounds.start(inputs, outputs);
    return discovery;
}

void qel_discovery_free(QelDiscovery *discovery)
{
    delete discovery;
}

int qel_discovery_next_ask(QelDiscovery *discovery)
{
    return discovery->rounds.nextAsk();
}

void qel_discovery_take_message(QelDiscovery *discovery, int input, const uint8_t *data, size_t length)
{
    discovery->rounds.takeMessage(input, data, length);
}

int qel_discovery_tick(QelDiscovery *discovery)
{
    return discovery->rounds.tick() ? 1 : 0;
}

int qel_discovery_duration_ticks(int outputs)
{
    return DiscoveryRounds::durationTicks(outputs);
}

int qel_discovery_found_count(const QelDiscovery *discovery)
{
    return int(discovery->rounds.found().size());
}

const char *qel_discovery_serial_text(const QelDiscovery *discovery, int index)
{
    const FoundQel *found = foundAt(discovery, index);
    return found ? found->serialText.c_str() : "";
}

uint32_t qel_discovery_firmware(const QelDiscovery *discovery, int index)
{
    const FoundQel *found = foundAt(discovery, index);
    return found ? found->firmwareVersion : 0;
}

int qel_discovery_input(const QelDiscovery *discovery, int index)
{
    const FoundQel *found = foundAt(discovery, index);
    return found ? found->input : -1;
}

int qel_discovery_output(const QelDiscovery *discovery, int index)
{
    const FoundQel *found = foundAt(discovery, index);
    return found ? found->output : -1;
}

size_t qel_identify_message(uint8_t *out, size_t capacity)
{
    const SysExMessage identify = buildIdentify();
    if (out && identify.size() <= capacity)
        std::memcpy(out, identify.data(), identify.size());
    return identify.size();
}

} // extern "C"
