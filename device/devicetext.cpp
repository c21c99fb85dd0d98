#include "devicetext.h"

namespace DeviceText {

std::string hexByte(unsigned value)
{
    static constexpr char Digits[] = "0123456789abcdef";
    return std::string("0x") + Digits[(value >> 4) & 0xF] + Digits[value & 0xF];
}

std::string at(int block, int page)
{
    return "block " + std::to_string(block) + " page " + std::to_string(page);
}

} // namespace DeviceText
