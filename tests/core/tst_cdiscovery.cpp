// Discovery through the browser's C interface, as a page drives it: Identify
// on each output it names, the answers of the device models behind them
// handed in with their input, a tick until it says the list is final.

#include "qeldevice.h"
#include "qeldiscovery.h"
#include "reply.h"
#include "sysex.h"

#include <doctest/doctest.h>

#include <array>
#include <string>
#include <vector>

namespace {

struct Qel
{
    int output;
    int input;
    std::uint32_t serial;
    std::uint32_t firmware;
};

} // namespace

TEST_CASE("Qels found through the C interface, at their pairs, by serial number")
{
    const std::vector<Qel> wiring{{5, 0, 90000001, 0x0801}, {0, 4, 30000002, 0x0901}, {3, 3, 60000003, 0x0A01}};
    std::vector<QelDevice *> devices;
    for (const Qel &q : wiring) {
        devices.push_back(qel_device_new(QEL_READS_WHOLE_FLASH, 0, 1));
        qel_device_set_identity(devices.back(), q.serial, q.firmware);
    }
    std::array<std::uint8_t, 64> identify{};
    const std::size_t identifyLength = qel_identify_message(identify.data(), identify.size());
    std::array<std::uint8_t, 1024> reply{};

    QelDiscovery *discovery = qel_discovery_new(5, 6);
    const auto ask = [&] {
        for (int out = qel_discovery_next_ask(discovery); out >= 0; out = qel_discovery_next_ask(discovery))
            for (std::size_t k = 0; k < wiring.size(); ++k) {
                if (wiring[k].output != out)
                    continue;
                const std::size_t answers = qel_device_handle(devices[k], identify.data(), identifyLength);
                for (std::size_t i = 0; i < answers; ++i) {
                    const std::size_t length = qel_device_reply(devices[k], i, reply.data(), reply.size());
                    qel_discovery_take_message(discovery, wiring[k].input, reply.data(), length);
                }
            }
    };
    int ticks = 0;
    ask();
    while (qel_discovery_tick(discovery) != 0 && ticks < 1000) {
        ++ticks;
        ask();
    }
    ++ticks;
    CHECK(ticks == qel_discovery_duration_ticks(6));
    CHECK(qel_discovery_next_ask(discovery) == -1);
    CHECK(qel_discovery_tick(discovery) == 0);

    REQUIRE(qel_discovery_found_count(discovery) == 3);
    const int order[] = {1, 2, 0};  // by serial number
    for (int i = 0; i < 3; ++i) {
        const Qel &q = wiring[std::size_t(order[i])];
        CAPTURE(i);
        CHECK(qel_discovery_input(discovery, i) == q.input);
        CHECK(qel_discovery_output(discovery, i) == q.output);
        CHECK(qel_discovery_firmware(discovery, i) == q.firmware);
        CHECK(std::string(qel_discovery_serial_text(discovery, i)) == formatSerial(q.serial));
    }
    // Beyond the list: nothing, never a crash.
    for (const int i : {-1, 3}) {
        CHECK(std::string(qel_discovery_serial_text(discovery, i)).empty());
        CHECK(qel_discovery_input(discovery, i) == -1);
        CHECK(qel_discovery_output(discovery, i) == -1);
        CHECK(qel_discovery_firmware(discovery, i) == 0);
    }
    qel_discovery_free(discovery);
    for (QelDevice *device : devices)
        qel_device_free(device);
}

TEST_CASE("Identify through the C interface, copied only whole")
{
    const SysExMessage expected = buildIdentify();
    std::array<std::uint8_t, 64> buffer{};
    buffer.fill(0x55);
    CHECK(qel_identify_message(buffer.data(), expected.size() - 1) == expected.size());
    CHECK(buffer[0] == 0x55);
    CHECK(qel_identify_message(nullptr, 0) == expected.size());
    REQUIRE(qel_identify_message(buffer.data(), buffer.size()) == expected.size());
    CHECK(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + long(expected.size()))
          == std::vector<std::uint8_t>(expected.data(), expected.data() + expected.size()));
}
