#pragma once

#include <cstddef>
#include <cstdint>

// Pack7: four 8-bit bytes travel as their low seven bits each, then one byte
// whose bit j is the top bit of byte j.
namespace Pack7 {

constexpr int GroupBytes = 5;
constexpr int DataBytes = 4;

// Sum of the bytes modulo 256, masked to seven bits.
std::uint8_t checksum(const std::uint8_t *data, std::size_t length);

// Encodes `length` bytes (the last group padded with zeros) into `out`, which
// must hold groupsFor(length) * 5 bytes; returns the bytes written.
std::size_t encode(const std::uint8_t *data, std::size_t length, std::uint8_t *out);
constexpr std::size_t groupsFor(std::size_t length) { return length == 0 ? 0 : (length - 1) / 4 + 1; }

// Decodes every group that starts below `length`. A group running past it
// reads on into what follows, up to `readable` bytes from `in`, then zeros.
// Writes at most `capacity` bytes; returns the bytes written.
std::size_t decode(const std::uint8_t *in, std::size_t length, std::size_t readable,
                   std::uint8_t *out, std::size_t capacity);

} // namespace Pack7
