#include "ZvcKey.h"

#include "TeaCipher.h"

#include <cstdio>

namespace zvc {

std::string zvcKeyText()
{
    // Every .zvc file ever written depends on these values: never change them.
    char text[19] = {};
    std::snprintf(text, sizeof text, "%c%c%c%c%c%c%c%c%c%c%c%c%c%c%c%c%c%c", 0x43, 0x76, 0x6e, 0x21, 0x50, 0x65,
                  0x6c, 0x30, 0x72, 0x2d, 0x5a, 0x76, 0x63, 0x23, 0x37, 0x71, 0x4b, 0x39);
    return std::string(text, 18);
}

Bytes zvcKey()
{
    const std::string text = zvcKeyText();
    return Bytes(text.begin(), text.begin() + kKeySize);
}

} // namespace zvc
