#include "pack7.h"

namespace Pack7 {

namespace {

constexpr std::uint8_t LowSeven = 0x7F;

// One whole group, without the bounds checks of a group cut short.
inline void encodeGroup(const std::uint8_t *d, std::uint8_t *out)
{
    out[0] = d[0] & LowSeven;
    out[1] = d[1] & LowSeven;
    out[2] = d[2] & LowSeven;
    out[3] = d[3] & LowSeven;
    out[4] = static_cast<std::uint8_t>((d[0] >> 7) | ((d[1] >> 7) << 1) | ((d[2] >> 7) << 2) | ((d[3] >> 7) << 3));
}

inline void decodeGroup(const std::uint8_t *in, std::uint8_t *out)
{
    const std::uint8_t flags = in[DataBytes];
    for (int j = 0; j < DataBytes; ++j)
        out[j] = static_cast<std::uint8_t>(in[j] | (((flags >> j) & 1) << 7));
}

} // namespace

std::uint8_t checksum(const std::uint8_t *data, std::size_t length)
{
    unsigned int sum = 0; // only the low byte counts, so the wider sum may wrap as it likes
    for (std::size_t i = 0; i < length; ++i)
        sum += data[i];
    return static_cast<std::uint8_t>(sum & LowSeven);
}

std::size_t encode(const std::uint8_t *data, std::size_t length, std::uint8_t *out)
{
    std::uint8_t *p = out;
    std::size_t at = 0;
    for (; at + DataBytes <= length; at += DataBytes, p += GroupBytes)
        encodeGroup(data + at, p);
    if (at < length) {
        // The last group, padded with zeros; nothing past the data is read.
        std::uint8_t last[DataBytes] = {};
        for (std::size_t j = 0; at + j < length; ++j)
            last[j] = data[at + j];
        encodeGroup(last, p);
        p += GroupBytes;
    }
    return static_cast<std::size_t>(p - out);
}

std::size_t decode(const std::uint8_t *in, std::size_t length, std::size_t readable,
                   std::uint8_t *out, std::size_t capacity)
{
    std::size_t written = 0;
    std::size_t at = 0;
    // Whole groups that lie within what may be read and fit the output.
    for (; at < length && at + GroupBytes <= readable && written + DataBytes <= capacity; at += GroupBytes) {
        decodeGroup(in + at, out + written);
        written += DataBytes;
    }
    // A group running past `readable` (read on as zeros) or past `capacity`.
    for (; at < length && written < capacity; at += GroupBytes) {
        std::uint8_t group[GroupBytes] = {};
        for (std::size_t i = 0; i < std::size_t(GroupBytes) && at + i < readable; ++i)
            group[i] = in[at + i];
        std::uint8_t bytes[DataBytes];
        decodeGroup(group, bytes);
        for (int j = 0; j < DataBytes && written < capacity; ++j)
            out[written++] = bytes[j];
    }
    return written;
}

} // namespace Pack7
