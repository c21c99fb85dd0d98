// The simulated device's command intake: any bytes, cut into messages at
// each 0xF7, must be answered or refused without harm, and its flash must
// stay readable.

#include "simdevice.h"

#include <cstdlib>

namespace {

constexpr std::uint8_t End = 0xF7;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SimDevice device;
    device.setFactoryDefects({3});
    device.storeListCopies(1, {3}, 1);

    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != End && i + 1 != size)
            continue;
        for (const Bytes &reply : device.handle(data + start, i + 1 - start)) {
            if (reply.size() < 2 || reply.front() != 0xF0 || reply.back() != End)
                std::abort();
        }
        start = i + 1;
    }
    device.storedList();
    device.image(2048 * 3);
    return 0;
}
