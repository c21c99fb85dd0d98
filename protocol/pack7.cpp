#include "pack7.h"

namespace Pack7 {

std::uint8_t checksum(const std::uint8_t *data, std::size_t length)
{
    std::uint8_t sum = 0; // wraps modulo 256 by itself
    for (std::size_t i = 0; i < length; ++i)
        sum = static_cast<std::uint8_t>(sum + data[i]);
    return sum & 0x7F;
}

std::size_t encode(const std::uint8_t *data, std::size_t length, std::uint8_t *out)
{
    std::uint8_t *p = out;
    for (std::size_t at = 0; at < length; at += DataBytes) {
        std::uint8_t flags = 0;
        for (int j = 0; j < DataBytes; ++j) {
            const std::uint8_t d = at + j < length ? data[at + j] : 0;
            *p++ = d & 0x7F;
            flags |= static_cast<std::uint8_t>((d >> 7) << j);
        }
        *p++ = flags;
    }
    return static_cast<std::size_t>(p - out);
}

std::size_t decode(const std::uint8_t *in, std::size_t length, std::size_t readable,
                   std::uint8_t *out, std::size_t capacity)
{
    std::size_t written = 0;
    for (std::size_t at = 0; at < length && written < capacity; at += GroupBytes) {
        const auto byteAt = [&](std::size_t i) -> std::uint8_t { return i < readable ? in[i] : 0; };
        const std::uint8_t flags = byteAt(at + DataBytes);
        for (int j = 0; j < DataBytes && written < capacity; ++j)
            out[written++] = static_cast<std::uint8_t>(byteAt(at + j) | (((flags >> j) & 1) << 7));
    }
    return written;
}

} // namespace Pack7
