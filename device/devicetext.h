#pragma once

#include <string>

// Pieces of the device model's lines about what it was sent.
namespace DeviceText {

// "0x" and two hex digits.
std::string hexByte(unsigned value);
// "block B page P".
std::string at(int block, int page);

} // namespace DeviceText
